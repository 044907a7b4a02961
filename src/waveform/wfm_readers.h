// SPDX-License-Identifier: GPL-3.0-or-later
// The ".wfm" files of the instrument families, told apart by their first 13 bytes:
//   1 "CURVE"       ASCII curve without preamble (TDS 300..), becomes a sample-index file
//   2 ":WFM"        reference waveform file, versions :WFM#001..#003 (TDS 5000..8000 and later);
//                   a FastFrame file holds several frames, of which one is read
//   3 "LLWFM"       big-endian binary waveform (TDS 500..800)
//   4 "MAGIC 1000"  arbitrary generator waveform: singles with marker bytes and a CLOCK record
//   0 none of these
#pragma once

#include <cstdint>
#include <string>

#include "waveform/import_result.h"

namespace ktx {

class Notifier;
class ProgressSink;

// 0..4 as above; 0 also when the file cannot be read or its name contains "*".
int WfmVariant(const std::string& path);
// The model label shown for a variant ("unknown" for 0).
const char* WfmModelLabel(int variant);

ImportResult ReadWfmAscii(const std::string& path, const std::string& target, Notifier& notifier,
                          ProgressSink& progress);
// `frame` counts from 0; the result tells how many frames the file holds.
ImportResult ReadWfmTds5000(const std::string& path, const std::string& target, Notifier& notifier,
                            ProgressSink& progress, std::int64_t frame = 0);
ImportResult ReadWfmLlwfm(const std::string& path, const std::string& target, Notifier& notifier,
                          ProgressSink& progress);
ImportResult ReadWfmMagic(const std::string& path, const std::string& target, Notifier& notifier,
                          ProgressSink& progress);

}  // namespace ktx

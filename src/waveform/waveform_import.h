// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a file by its extension: which reader turns it into a waveform file and which file a
// view then reads. Shared by the main window and `ktx import`.
#pragma once

#include <string>

namespace ktx {

class Notifier;
class ProgressSink;

enum class ImportKind {
    Waveform,   // ".ktx": the file itself is a waveform file, nothing was converted
    Converted,  // a foreign file was converted into the target
    Failed,     // a reader rejected the file; message 12 (or the reader's own) was shown
    OtherView,  // ".mth" / ".fft": opened by the math or FFT view, not here
    Ignored,    // any other extension
};

struct ImportOutcome {
    ImportKind kind = ImportKind::Ignored;
    std::string viewFile;     // the file a view reads: the source itself or the target
    bool sampleAxis = false;  // show x in point numbers (ASCII ".wfm" curves)
    long long points = 0;
};

// `target` is normally the conversion file. The extension is compared without case.
ImportOutcome ImportWaveformFile(const std::string& path, const std::string& target,
                                 Notifier& notifier, ProgressSink& progress);

}  // namespace ktx

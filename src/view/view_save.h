// SPDX-License-Identifier: GPL-3.0-or-later
// Saving a waveform view's file under a name the user chose ("Speichern unter", "Komplett" and
// "Auswahl"). The target is written through SafeFile: it keeps its old content until the new one
// is complete, and the files the view shows or came from are refused as targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/safe_file.h"

namespace ktx {

// `source` unchanged under `target`; `own` are the files the target must not be.
FileError SaveWholeFile(const std::string& source, const std::string& target,
                        const std::vector<std::string>& own);

// The header record and the points first..last, both included (point 0 is the record after
// the header), of `source`, whose records are `recordSize` bytes long. `last` beyond the end
// of the file ends the range there.
FileError SaveRecordRange(const std::string& source, std::size_t recordSize, std::int64_t first,
                          std::int64_t last, const std::string& target,
                          const std::vector<std::string>& own);

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// What a foreign-format reader tells its caller.
#pragma once

#include <cstdint>

namespace ktx {

struct ImportResult {
    bool ok = false;
    // The reader has shown its own message (message 12 with the file name for a file of the
    // wrong size, 41 for a write error, 34 for a failed curve conversion); the opener adds none.
    bool reported = false;
    std::int64_t points = 0;  // data records in the target
    bool sampleAxis = false;  // the target is a sample-index file (x in point numbers)
    // Records (ISF) or frames (FastFrame .wfm) the file holds; the target holds the one asked for.
    std::int64_t frames = 1;
};

}  // namespace ktx

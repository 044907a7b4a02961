// SPDX-License-Identifier: GPL-3.0-or-later
// A waveform file as a NumPy ".npy" file (format version 1.0): a one-dimensional structured
// array with a float64 field "time" (seconds) and one float64 field "ch1" .. "ch4" per present
// column (unit not "#"), little-endian, so `numpy.load` reads it without further help.
#pragma once

#include <string>

namespace ktx {

class Notifier;

// The ".npy" header for `points` records of the fields named in `fields` (all float64), padded
// with blanks and a line feed so the data starts at a multiple of 64 bytes.
std::string NpyHeader(const std::string* fields, int count, long long points);

// Writes every record of the one- or four-column waveform file `source` to `target`, read as
// it is written (constant memory). A source that is no waveform file shows message 12; a
// target that cannot be written 7 or 41 with the cause; the old target stays on failure.
bool WriteWaveFileNpy(const std::string& source, const std::string& target, Notifier& notifier);

}  // namespace ktx

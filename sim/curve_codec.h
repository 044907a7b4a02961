// SPDX-License-Identifier: GPL-3.0-or-later
// Curve data of "CURVe": 16-bit digitizer levels to the encodings of DATA:ENC / DATA:WID and
// back. With one byte per point only the upper byte of a level travels.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ktx::sim {

struct DataFormat {
    bool ascii = false;    // "ASCIi": comma-separated decimal numbers
    bool isSigned = true;  // RIB/SRI signed, RPB/SRP offset binary
    bool msbFirst = true;  // RIB/RPB more significant byte first, SRI/SRP less significant first
    int width = 1;         // bytes per point: 1 or 2

    bool operator==(const DataFormat&) const = default;
};

// "ASCIi", "RIBinary", "RPBinary", "SRIbinary", "SRPbinary" (short or long, any case).
std::optional<DataFormat> EncodingFromName(std::string_view name, DataFormat current);
// "ASCII", "RIBINARY", ... (long) or "ASC", "RIB", ... (short).
std::string EncodingName(const DataFormat& format, bool longForm);

// The value one level has on the wire as a number (what ASCII prints and what a binary
// sample holds): the level scaled to the width, shifted into the unsigned range if asked.
std::int32_t WireValue(std::int16_t level, const DataFormat& format);
std::int16_t LevelFromWire(std::int64_t value, const DataFormat& format);

// ASCII list or definite-length block "#<d><len><bytes>". `truncate` makes the block carry
// about half of the bytes it announces (a broken instrument).
std::string EncodeCurve(std::span<const std::int16_t> levels, const DataFormat& format,
                        bool truncate = false);

// Incoming curve data (the argument of "CURVe"): a definite-length block (a short block is
// taken as far as it goes) or an ASCII list. Nothing when the data are not a curve.
std::optional<std::vector<std::int16_t>> DecodeCurve(std::string_view data,
                                                     const DataFormat& format);

}  // namespace ktx::sim

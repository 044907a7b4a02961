// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the simulator tests: a query through the instrument and a block decoder
// written here from the IEEE 488.2 block layout (independent of the simulator's own codec).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim_instrument.h"

namespace ktx::sim::test {

// Sends `command` with a line feed and returns everything the instrument answered.
std::string Ask(SimInstrument& instrument, std::string_view command);

// The answer without its final line feed.
std::string Chomp(std::string answer);

struct WireLayout {
    bool isSigned = true;
    bool msbFirst = true;
    int width = 2;
};

// "#<d><len><bytes>" to sample values; nothing when the block is malformed or its data are
// shorter than announced.
std::optional<std::vector<std::int32_t>> DecodeBlock(std::string_view block,
                                                     const WireLayout& layout);
// "1,-2,3" to values; nothing when any item is not a decimal integer.
std::optional<std::vector<std::int32_t>> DecodeAsciiList(std::string_view text);

// The values a 16-bit level takes on the wire for a layout (one byte: the upper byte).
std::vector<std::int32_t> ExpectedWire(const std::vector<std::int16_t>& levels,
                                       const WireLayout& layout, bool ascii = false);

// A block "#<d><len>" + bytes.
std::string MakeBlock(std::string_view bytes);

}  // namespace ktx::sim::test

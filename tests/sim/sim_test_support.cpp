// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the simulator tests.
#include "sim_test_support.h"

#include <charconv>
#include <cmath>

namespace ktx::sim::test {

std::string Ask(SimInstrument& instrument, std::string_view command) {
    instrument.Receive(std::string(command) + "\n");
    return instrument.TakeOutput();
}

std::string Chomp(std::string answer) {
    if (!answer.empty() && answer.back() == '\n') {
        answer.pop_back();
    }
    return answer;
}

std::optional<std::vector<std::int32_t>> DecodeBlock(std::string_view block,
                                                     const WireLayout& layout) {
    if (block.size() < 2 || block[0] != '#' || block[1] < '1' || block[1] > '9') {
        return std::nullopt;
    }
    const std::size_t digits = static_cast<std::size_t>(block[1] - '0');
    if (block.size() < 2 + digits) {
        return std::nullopt;
    }
    std::size_t length = 0;
    const auto parsed = std::from_chars(block.data() + 2, block.data() + 2 + digits, length);
    if (parsed.ec != std::errc() || parsed.ptr != block.data() + 2 + digits) {
        return std::nullopt;
    }
    const std::string_view data = block.substr(2 + digits);
    if (data.size() < length || length % static_cast<std::size_t>(layout.width) != 0) {
        return std::nullopt;
    }
    std::vector<std::int32_t> values;
    for (std::size_t i = 0; i < length; i += static_cast<std::size_t>(layout.width)) {
        const auto b0 = static_cast<unsigned char>(data[i]);
        if (layout.width == 1) {
            values.push_back(layout.isSigned ? static_cast<std::int8_t>(b0) : b0);
            continue;
        }
        const auto b1 = static_cast<unsigned char>(data[i + 1]);
        const unsigned word = layout.msbFirst ? (b0 * 256u + b1) : (b1 * 256u + b0);
        values.push_back(layout.isSigned ? static_cast<std::int16_t>(word)
                                         : static_cast<std::int32_t>(word));
    }
    return values;
}

std::optional<std::vector<std::int32_t>> DecodeAsciiList(std::string_view text) {
    std::vector<std::int32_t> values;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::int32_t value = 0;
        const auto parsed = std::from_chars(text.data() + start, text.data() + end, value);
        if (parsed.ec != std::errc() || parsed.ptr != text.data() + end) {
            return std::nullopt;
        }
        values.push_back(value);
        start = end + 1;
    }
    return values;
}

std::vector<std::int32_t> ExpectedWire(const std::vector<std::int16_t>& levels,
                                       const WireLayout& layout, bool ascii) {
    std::vector<std::int32_t> values;
    values.reserve(levels.size());
    for (std::int16_t level : levels) {
        // One byte per point carries the upper byte: floor(level / 256).
        std::int32_t v =
            layout.width == 1
                ? static_cast<std::int32_t>(std::floor(static_cast<double>(level) / 256.0))
                : level;
        if (!ascii && !layout.isSigned) {
            v += layout.width == 1 ? 128 : 32768;
        }
        values.push_back(v);
    }
    return values;
}

std::string MakeBlock(std::string_view bytes) {
    const std::string count = std::to_string(bytes.size());
    return "#" + std::to_string(count.size()) + count + std::string(bytes);
}

}  // namespace ktx::sim::test

// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes as what LinkReadData stored for the live display: the block header
// check and the curve's scaling on a drawing area whose size the first two bytes choose.
#include <cstdint>
#include <vector>

#include "view/live_display.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const int width = data[0] * 4 - 8;  // negative and zero widths too
    const int height = data[1] * 2 - 4;
    // Exactly the stored bytes on the heap: a read past them is caught.
    const std::vector<std::uint8_t> stored(data + 2, data + size);
    const ktx::LiveBlock block = ktx::ParseLiveBlock(stored.data(), stored.size());
    if (block.offset + block.count > stored.size()) {
        __builtin_trap();
    }
    const auto points =
        ktx::ScaleLiveCurve(stored.data() + block.offset, block.count, width, height);
    for (const ktx::LivePoint& p : points) {
        if (p.x < 0 || p.x > width) {
            __builtin_trap();
        }
    }
    return 0;
}

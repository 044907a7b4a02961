// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the picture tests: the reference pictures in tests/data/images, PPM reading, and
// hand-made PCX files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "images/picture_codec.h"

namespace ktx::test {

std::string ImageData(const std::string& name);
// A binary PPM (P6, maxval 255) as RGB.
RgbImage ReadPpm(const std::string& path);

struct PcxLayout {
    int bits = 8;
    int planes = 1;
    int xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    int bytesPerLine = 0;
};
// A 128-byte header, `data` as the run-length data, and for 8 bits the grey end palette
// unless `palette` is false.
std::vector<std::uint8_t> MakePcx(const PcxLayout& layout, const std::vector<std::uint8_t>& data,
                                  bool palette = true);

}  // namespace ktx::test

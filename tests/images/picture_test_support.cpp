// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture_test_support.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace ktx::test {

std::string ImageData(const std::string& name) {
    return std::string(KTX_IMAGE_DATA_DIR) + "/" + name;
}

RgbImage ReadPpm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    RgbImage image;
    in >> magic >> image.width >> image.height >> maxval;
    in.get();
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    in.read(reinterpret_cast<char*>(image.rgb.data()),
            static_cast<std::streamsize>(image.rgb.size()));
    if (magic != "P6" || maxval != 255 || !in) {
        return {};
    }
    return image;
}

std::vector<std::uint8_t> MakePcx(const PcxLayout& l, const std::vector<std::uint8_t>& data,
                                  bool palette) {
    std::vector<std::uint8_t> f(128, 0);
    auto put16 = [&](int at, int v) {
        f[at] = static_cast<std::uint8_t>(v);
        f[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    f[0] = 10;
    f[1] = 5;
    f[2] = 1;
    f[3] = static_cast<std::uint8_t>(l.bits);
    put16(4, l.xMin);
    put16(6, l.yMin);
    put16(8, l.xMax);
    put16(10, l.yMax);
    for (int i = 0; i < 48; ++i) {
        f[16 + i] = static_cast<std::uint8_t>(i * 5);  // header palette: entry k = (15k, 15k+5, ..)
    }
    f[65] = static_cast<std::uint8_t>(l.planes);
    put16(66, l.bytesPerLine);
    f.insert(f.end(), data.begin(), data.end());
    if (l.bits == 8 && palette) {
        f.push_back(12);
        for (int i = 0; i < 256; ++i) {
            f.insert(f.end(), 3, static_cast<std::uint8_t>(i));
        }
    }
    return f;
}

}  // namespace ktx::test

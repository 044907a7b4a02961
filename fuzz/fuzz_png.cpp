// SPDX-License-Identifier: GPL-3.0-or-later
// The PNG path of the image window: arbitrary bytes through libpng's simplified API into RGB,
// and the BMP reader, which takes the same files when they start with "BM".
#include <cstdint>
#include <span>
#include <string>

#include "images/picture_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ktx::RgbImage image;
    std::string error;
    if (ktx::DecodePng(std::span(data, size), image, error) &&
        image.rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3) {
        __builtin_trap();
    }
    ktx::DecodeBmp(std::span(data, size), image, error);
    return 0;
}

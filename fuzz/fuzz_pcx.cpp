// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the PCX decoder, then reads the bitmap it made back as the image
// window would.
#include <cstdint>
#include <span>
#include <string>

#include "images/pcx_decoder.h"
#include "images/picture_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bmp = ktx::DecodePcxToBmp(std::span(data, size));
    if (!bmp.empty()) {
        ktx::RgbImage image;
        std::string error;
        if (!ktx::DecodeBmp(bmp, image, error)) {
            __builtin_trap();  // the decoder's own bitmaps are always readable
        }
    }
    return 0;
}

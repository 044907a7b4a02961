// SPDX-License-Identifier: GPL-3.0-or-later
// ktxconv.so: the display conversion library shipped for the handheld family. It draws the 40
// characters of the instrument's display ("!S?") as the instrument shows them: two lines of 20
// characters on a grey-green liquid crystal panel, the first line (function and reading) large,
// the second (range and state) small, and writes the picture as a 24-bit BMP.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "images/ktx_conversion.h"
#include "images/pixel_font.h"

namespace {

constexpr int kWidth = 520;
constexpr int kHeight = 160;
constexpr int kLineChars = 20;
constexpr std::uint8_t kPanel[3] = {150, 178, 140};  // R, G, B
constexpr std::uint8_t kInk[3] = {28, 36, 30};
constexpr std::uint8_t kBezel[3] = {50, 50, 55};

void Put(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
}

}  // namespace

extern "C" KTX_CONVERSION_EXPORT std::uint8_t ktx_convert_display(const char* displayText,
                                                                  const char* targetFile) {
    if (displayText == nullptr || targetFile == nullptr) {
        return 0;
    }
    std::string text(displayText, strnlen(displayText, KTX_DISPLAY_TEXT_LENGTH));
    text.resize(KTX_DISPLAY_TEXT_LENGTH, ' ');
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
    auto set = [&](int x, int y, const std::uint8_t* c) {
        if (x >= 0 && y >= 0 && x < kWidth && y < kHeight) {
            std::memcpy(&rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3], c, 3);
        }
    };
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool bezel = x < 8 || y < 8 || x >= kWidth - 8 || y >= kHeight - 8;
            set(x, y, bezel ? kBezel : kPanel);
        }
    }
    const std::string first = text.substr(0, kLineChars);
    const std::string second = text.substr(kLineChars, kLineChars);
    ktx::font::DrawText(first.c_str(), 22, 28, 4, [&](int x, int y) { set(x, y, kInk); });
    ktx::font::DrawText(second.c_str(), 22, 108, 2, [&](int x, int y) { set(x, y, kInk); });

    const std::size_t stride = static_cast<std::size_t>(kWidth) * 3;  // a multiple of 4
    std::string bmp = "BM";
    Put(bmp, static_cast<std::uint32_t>(54 + stride * kHeight), 4);
    Put(bmp, 0, 4);
    Put(bmp, 54, 4);
    Put(bmp, 40, 4);
    Put(bmp, kWidth, 4);
    Put(bmp, kHeight, 4);
    Put(bmp, 1, 2);
    Put(bmp, 24, 2);
    Put(bmp, 0, 4);
    Put(bmp, static_cast<std::uint32_t>(stride * kHeight), 4);
    bmp.append(16, '\0');  // resolutions, colours used, important colours
    for (int y = kHeight - 1; y >= 0; --y) {
        for (int x = 0; x < kWidth; ++x) {
            const std::uint8_t* c = &rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3];
            bmp += static_cast<char>(c[2]);
            bmp += static_cast<char>(c[1]);
            bmp += static_cast<char>(c[0]);
        }
    }
    std::FILE* f = std::fopen(targetFile, "wb");
    if (f == nullptr) {
        return 0;
    }
    const bool written = std::fwrite(bmp.data(), 1, bmp.size(), f) == bmp.size();
    return (std::fclose(f) == 0 && written) ? 1 : 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "screen_picture.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "src/images/pixel_font.h"

namespace ktx::sim {

namespace {

using Rgb = std::array<std::uint8_t, 3>;

constexpr int kDivisionsX = 10;
constexpr int kDivisionsY = 8;
constexpr int kGridLeft = 20;
constexpr int kGridTop = 30;
constexpr int kDivision = 50;  // pixels a division
constexpr double kLevelsPerDivision = 6400.0;
// Colour indices. The graticule dots are index 10, so the 8-bit pictures hold line feed bytes
// inside, as real ones do.
constexpr std::uint8_t kBackground = 0;
constexpr std::uint8_t kFrame = 1;
constexpr std::uint8_t kText = 6;
constexpr std::uint8_t kGrid = 10;

Rgb PaletteColour(int index, bool inkSaver) {
    static constexpr Rgb kScreen[16] = {
        Rgb{0, 0, 0},      Rgb{150, 150, 150}, Rgb{240, 220, 0},   Rgb{0, 200, 240},
        Rgb{230, 60, 200}, Rgb{40, 220, 60},   Rgb{255, 255, 255}, Rgb{90, 90, 90},
        Rgb{200, 40, 40},  Rgb{40, 40, 200},   Rgb{110, 110, 110}, Rgb{200, 120, 0},
        Rgb{0, 120, 120},  Rgb{120, 0, 120},   Rgb{180, 180, 60},  Rgb{220, 220, 220}};
    static constexpr Rgb kInk[16] = {
        Rgb{255, 255, 255}, Rgb{100, 100, 100}, Rgb{160, 130, 0},   Rgb{0, 110, 160},
        Rgb{170, 0, 140},   Rgb{0, 140, 30},    Rgb{0, 0, 0},       Rgb{170, 170, 170},
        Rgb{170, 0, 0},     Rgb{0, 0, 170},     Rgb{190, 190, 190}, Rgb{170, 90, 0},
        Rgb{0, 90, 90},     Rgb{90, 0, 90},     Rgb{120, 120, 0},   Rgb{60, 60, 60}};
    if (index < 16) {
        return inkSaver ? kInk[index] : kScreen[index];
    }
    const auto v = static_cast<std::uint8_t>(index);  // the rest of 256: a grey ramp
    return Rgb{v, v, v};
}

Rgb Colour(int index, bool grey, bool inkSaver) {
    const Rgb c = PaletteColour(index, inkSaver);
    if (!grey) {
        return c;
    }
    const auto y = static_cast<std::uint8_t>((c[0] * 299 + c[1] * 587 + c[2] * 114 + 500) / 1000);
    return Rgb{y, y, y};
}

void Put16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// The bits of one row packed MSB first: 1 bit (index != background), 4 bits or 8 bits.
std::vector<std::uint8_t> PackRow(const std::uint8_t* row, int bits, std::size_t bytes) {
    std::vector<std::uint8_t> out(bytes, 0);
    for (int x = 0; x < Screen::kWidth; ++x) {
        const unsigned v = bits == 1 ? (row[x] != kBackground ? 1 : 0) : row[x];
        const std::size_t bit = static_cast<std::size_t>(x) * bits;
        out[bit / 8] |= static_cast<std::uint8_t>(v << (8 - bits - bit % 8));
    }
    return out;
}

void RunLengthLine(const std::uint8_t* data, std::size_t size, std::string& out) {
    for (std::size_t i = 0; i < size;) {
        std::size_t run = 1;
        while (i + run < size && run < 63 && data[i + run] == data[i]) {
            ++run;
        }
        if (run > 1 || data[i] >= 0xC0) {
            out += static_cast<char>(0xC0 | run);
        }
        out += static_cast<char>(data[i]);
        i += run;
    }
}

std::string EncodePcx(const Screen& s, int bits, int planes, bool grey, bool ink) {
    const int w = Screen::kWidth;
    const int h = Screen::kHeight;
    // Bytes a plane line: even, as the format wants.
    const std::size_t bpl = ((static_cast<std::size_t>(w) * bits + 7) / 8 + 1) / 2 * 2;
    std::string out;
    out += '\x0a';  // manufacturer
    out += '\x05';  // version 3.0 with palette
    out += '\x01';  // run-length encoding
    out += static_cast<char>(bits);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, w - 1);
    Put16(out, h - 1);
    Put16(out, 75);
    Put16(out, 75);
    for (int i = 0; i < 16; ++i) {
        // 2 colours: background and foreground.
        const Rgb c =
            planes == 1 && bits == 1 ? Colour(i == 0 ? 0 : kText, grey, ink) : Colour(i, grey, ink);
        out.append(reinterpret_cast<const char*>(c.data()), 3);
    }
    out += '\0';
    out += static_cast<char>(planes);
    Put16(out, static_cast<unsigned>(bpl));
    Put16(out, grey ? 2 : 1);
    out.resize(128, '\0');
    std::vector<std::uint8_t> line(bpl * planes);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = &s.pixels[static_cast<std::size_t>(y) * w];
        std::fill(line.begin(), line.end(), 0);
        if (planes == 4) {
            for (int x = 0; x < w; ++x) {
                for (int p = 0; p < 4; ++p) {
                    if ((row[x] >> p) & 1) {
                        line[p * bpl + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                    }
                }
            }
        } else {
            const std::vector<std::uint8_t> packed = PackRow(row, bits, bpl);
            std::copy(packed.begin(), packed.end(), line.begin());
        }
        RunLengthLine(line.data(), line.size(), out);
    }
    if (bits == 8) {
        out += '\x0c';
        for (int i = 0; i < 256; ++i) {
            const Rgb c = Colour(i, grey, ink);
            out.append(reinterpret_cast<const char*>(c.data()), 3);
        }
    }
    return out;
}

std::string EncodeBmp(const Screen& s, int bits, bool grey, bool ink) {
    const int w = Screen::kWidth;
    const int h = Screen::kHeight;
    const std::size_t stride = (static_cast<std::size_t>(w) * bits + 31) / 32 * 4;
    const int colours = 1 << bits;
    const std::uint32_t offset = 14 + 40 + 4 * colours;
    std::string out = "BM";
    Put32(out, static_cast<std::uint32_t>(offset + stride * h));
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, w);
    Put32(out, h);
    Put16(out, 1);
    Put16(out, bits);
    Put32(out, 0);
    Put32(out, static_cast<std::uint32_t>(stride * h));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, 0);
    for (int i = 0; i < colours; ++i) {
        const Rgb c = bits == 1 ? Colour(i == 0 ? 0 : kText, grey, ink) : Colour(i, grey, ink);
        out += static_cast<char>(c[2]);
        out += static_cast<char>(c[1]);
        out += static_cast<char>(c[0]);
        out += '\0';
    }
    for (int y = h - 1; y >= 0; --y) {
        const std::vector<std::uint8_t> packed =
            PackRow(&s.pixels[static_cast<std::size_t>(y) * w], bits, stride);
        out.append(reinterpret_cast<const char*>(packed.data()), packed.size());
    }
    return out;
}

std::string EncodePng(const Screen& s, bool grey, bool ink) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = Screen::kWidth;
    png.height = Screen::kHeight;
    png.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
    const int channels = grey ? 1 : 3;
    std::vector<std::uint8_t> pixels(s.pixels.size() * channels);
    for (std::size_t i = 0; i < s.pixels.size(); ++i) {
        const Rgb c = Colour(s.pixels[i], grey, ink);
        std::copy_n(c.data(), channels, &pixels[i * channels]);
    }
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, pixels.data(), 0, nullptr)) {
        return {};
    }
    std::string out(size, '\0');
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, pixels.data(), 0, nullptr)) {
        return {};
    }
    out.resize(size);
    return out;
}

std::string EncodeEps(const Screen& s, bool ink) {
    // A grey-level image in hexadecimal, eight pixels of the screen to one of the image.
    const int w = Screen::kWidth / 4;
    const int h = Screen::kHeight / 4;
    std::string out = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 " + std::to_string(w) + " " +
                      std::to_string(h) + "\n%%Creator: KTXSIM\n%%EndComments\n" +
                      std::to_string(w) + " " + std::to_string(h) + " scale\n" + std::to_string(w) +
                      " " + std::to_string(h) + " 8 [" + std::to_string(w) + " 0 0 -" +
                      std::to_string(h) + " 0 " + std::to_string(h) + "]\n{currentfile " +
                      std::to_string(w) + " string readhexstring pop} image\n";
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Rgb c = Colour(s.pixels[static_cast<std::size_t>(y * 4) * Screen::kWidth + x * 4],
                                 true, ink);
            out += kHex[c[0] >> 4];
            out += kHex[c[0] & 15];
        }
        out += '\n';
    }
    return out + "showpage\n%%EOF\n";
}

}  // namespace

Screen DrawScreen(const ScreenContent& content) {
    Screen s;
    s.pixels.assign(static_cast<std::size_t>(Screen::kWidth) * Screen::kHeight, kBackground);
    auto plot = [&](int x, int y, std::uint8_t colour) {
        if (x >= 0 && y >= 0 && x < Screen::kWidth && y < Screen::kHeight) {
            s.pixels[static_cast<std::size_t>(y) * Screen::kWidth + x] = colour;
        }
    };
    const int right = kGridLeft + kDivisionsX * kDivision;
    const int bottom = kGridTop + kDivisionsY * kDivision;
    for (int x = kGridLeft; x <= right; ++x) {
        for (int y = kGridTop; y <= bottom; ++y) {
            const bool frame = x == kGridLeft || x == right || y == kGridTop || y == bottom;
            const bool onLine = (x - kGridLeft) % kDivision == 0 || (y - kGridTop) % kDivision == 0;
            if (frame) {
                plot(x, y, kFrame);
            } else if (onLine && (x + y) % 5 == 0) {
                plot(x, y, kGrid);
            }
        }
    }
    const double centre = kGridTop + kDivisionsY * kDivision / 2.0;
    for (const ScreenTrace& trace : content.traces) {
        if (trace.levels.empty()) {
            continue;
        }
        const int width = right - kGridLeft - 1;
        int lastY = -1;
        for (int i = 0; i < width; ++i) {
            const std::size_t at = trace.levels.size() * i / width;
            const double divisions =
                trace.levels[at] / kLevelsPerDivision + trace.positionDivisions;
            const int y = std::clamp(static_cast<int>(std::lround(centre - divisions * kDivision)),
                                     kGridTop + 1, bottom - 1);
            const int from = lastY < 0 ? y : std::min(y, lastY);
            const int to = lastY < 0 ? y : std::max(y, lastY);
            for (int yy = from; yy <= to; ++yy) {
                plot(kGridLeft + 1 + i, yy, static_cast<std::uint8_t>(trace.colour));
            }
            lastY = y;
        }
    }
    auto text = [&](const std::string& t, int x, int y, std::uint8_t colour) {
        font::DrawText(t.c_str(), x, y, 2, [&](int px, int py) { plot(px, py, colour); });
    };
    text(content.title, kGridLeft, 8, kText);
    int x = kGridLeft;
    for (std::size_t i = 0; i < content.labels.size(); ++i) {
        const std::uint8_t colour =
            i < content.traces.size() ? static_cast<std::uint8_t>(content.traces[i].colour) : kText;
        text(content.labels[i], x, bottom + 12, colour);
        x += static_cast<int>(content.labels[i].size() + 2) * 12;
    }
    return s;
}

std::string EncodePicture(const Screen& screen, PictureEncoding encoding, bool grey,
                          bool inkSaver) {
    switch (encoding) {
        case PictureEncoding::Pcx2:
            return EncodePcx(screen, 1, 1, grey, inkSaver);
        case PictureEncoding::Pcx16:
            return EncodePcx(screen, 1, 4, grey, inkSaver);
        case PictureEncoding::Pcx256:
            return EncodePcx(screen, 8, 1, grey, inkSaver);
        case PictureEncoding::Bmp1:
            return EncodeBmp(screen, 1, grey, inkSaver);
        case PictureEncoding::Bmp4:
            return EncodeBmp(screen, 4, grey, inkSaver);
        case PictureEncoding::Bmp8:
            return EncodeBmp(screen, 8, grey, inkSaver);
        case PictureEncoding::PngGrey:
            return EncodePng(screen, true, inkSaver);
        case PictureEncoding::PngColour:
            return EncodePng(screen, grey, inkSaver);
        case PictureEncoding::Eps:
            return EncodeEps(screen, inkSaver);
    }
    return {};
}

}  // namespace ktx::sim

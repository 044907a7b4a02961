// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/picture_codec.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "images/pcx_decoder.h"

namespace ktx {

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t Le(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = v << 8 | p[i];
    }
    return v;
}

void PutLe(std::uint8_t* p, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::string Lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

PictureKind SniffPicture(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        return PictureKind::Bmp;
    }
    if (bytes.size() >= 8 &&
        std::equal(std::begin(kPngSignature), std::end(kPngSignature), bytes.begin())) {
        return PictureKind::Png;
    }
    if (!bytes.empty() && bytes[0] == 10) {
        return PictureKind::Pcx;
    }
    return PictureKind::Unknown;
}

PictureKind KindOfName(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    const std::size_t slash = fileName.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return PictureKind::Unknown;
    }
    const std::string ext = Lower(fileName.substr(dot));
    return ext == ".bmp"   ? PictureKind::Bmp
           : ext == ".pcx" ? PictureKind::Pcx
           : ext == ".png" ? PictureKind::Png
                           : PictureKind::Unknown;
}

bool DecodeBmp(std::span<const std::uint8_t> b, RgbImage& image, std::string& error) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
        error = "keine BMP-Datei";
        return false;
    }
    const std::uint32_t offset = Le(&b[10], 4);
    const std::uint32_t infoSize = Le(&b[14], 4);
    if (infoSize < 40 || 14 + std::uint64_t{infoSize} > b.size()) {
        error = "BMP-Kopf unvollständig";
        return false;
    }
    const std::int32_t width = static_cast<std::int32_t>(Le(&b[18], 4));
    const std::int32_t rawHeight = static_cast<std::int32_t>(Le(&b[22], 4));
    const int bits = static_cast<int>(Le(&b[28], 2));
    const std::uint32_t compression = Le(&b[30], 4);
    std::uint32_t colours = Le(&b[46], 4);
    const bool topDown = rawHeight < 0;
    const std::int64_t height = topDown ? -std::int64_t{rawHeight} : rawHeight;
    if (width <= 0 || height <= 0 || std::int64_t{width} * height > kMaxPicturePixels) {
        error = "ungültige Bildgröße";
        return false;
    }
    if (compression != 0 && !(compression == 3 && (bits == 32))) {
        error = "komprimierte BMP-Datei";
        return false;
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
        error = "nicht unterstützte Farbtiefe";
        return false;
    }
    std::uint8_t palette[256][3] = {};
    if (bits <= 8) {
        const std::uint32_t maxColours = 1u << bits;
        colours = colours == 0 || colours > maxColours ? maxColours : colours;
        const std::uint64_t at = 14 + std::uint64_t{infoSize};
        if (at + std::uint64_t{colours} * 4 > b.size()) {
            error = "BMP-Palette unvollständig";
            return false;
        }
        for (std::uint32_t i = 0; i < colours; ++i) {
            palette[i][0] = b[at + 4 * i + 2];
            palette[i][1] = b[at + 4 * i + 1];
            palette[i][2] = b[at + 4 * i + 0];
        }
    }
    const std::uint64_t stride =
        (std::uint64_t{static_cast<std::uint32_t>(width)} * bits + 31) / 32 * 4;
    if (offset > b.size() || stride * height > b.size() - offset) {
        error = "BMP-Bilddaten unvollständig";
        return false;
    }
    image.width = width;
    image.height = static_cast<int>(height);
    image.rgb.assign(static_cast<std::size_t>(width) * height * 3, 0);
    for (std::int64_t y = 0; y < height; ++y) {
        const std::uint8_t* row = &b[offset + stride * (topDown ? y : height - 1 - y)];
        std::uint8_t* out = &image.rgb[static_cast<std::size_t>(y) * width * 3];
        for (std::int32_t x = 0; x < width; ++x, out += 3) {
            if (bits >= 24) {
                const std::uint8_t* px = row + static_cast<std::size_t>(x) * (bits / 8);
                out[0] = px[2];
                out[1] = px[1];
                out[2] = px[0];
                continue;
            }
            const unsigned bitPos = static_cast<unsigned>(x) * bits;
            const unsigned byte = row[bitPos / 8];
            const unsigned index = (byte >> (8 - bits - bitPos % 8)) & ((1u << bits) - 1);
            std::memcpy(out, palette[index], 3);
        }
    }
    return true;
}

std::vector<std::uint8_t> EncodeBmp(const RgbImage& image) {
    const std::size_t stride = (static_cast<std::size_t>(image.width) * 3 + 3) / 4 * 4;
    const std::size_t size = 54 + stride * image.height;
    std::vector<std::uint8_t> b(size, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLe(&b[2], static_cast<std::uint32_t>(size), 4);
    PutLe(&b[10], 54, 4);
    PutLe(&b[14], 40, 4);
    PutLe(&b[18], static_cast<std::uint32_t>(image.width), 4);
    PutLe(&b[22], static_cast<std::uint32_t>(image.height), 4);
    PutLe(&b[26], 1, 2);
    PutLe(&b[28], 24, 2);
    PutLe(&b[34], static_cast<std::uint32_t>(stride * image.height), 4);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = &image.rgb[static_cast<std::size_t>(y) * image.width * 3];
        std::uint8_t* out = &b[54 + stride * (image.height - 1 - y)];
        for (int x = 0; x < image.width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    return b;
}

bool DecodePng(std::span<const std::uint8_t> bytes, RgbImage& image, std::string& error) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
        error = png.message;
        return false;
    }
    if (png.width == 0 || png.height == 0 ||
        std::int64_t{png.width} * png.height > kMaxPicturePixels) {
        png_image_free(&png);
        error = "ungültige Bildgröße";
        return false;
    }
    // 8-bit sRGB with straight alpha; libpng expands palettes, grey and tRNS and scales 16-bit
    // samples itself. Compositing is done here, over black.
    png.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr)) {
        error = png.message;
        png_image_free(&png);
        return false;
    }
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    image.rgb.resize(pixels * 3);
    for (std::size_t i = 0; i < pixels; ++i) {
        const unsigned a = rgba[4 * i + 3];
        for (int c = 0; c < 3; ++c) {
            image.rgb[3 * i + c] = static_cast<std::uint8_t>((rgba[4 * i + c] * a + 127) / 255);
        }
    }
    return true;
}

std::vector<std::uint8_t> EncodePng(const RgbImage& image) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.rgb.data(), 0, nullptr)) {
        return {};
    }
    std::vector<std::uint8_t> out(size);
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, image.rgb.data(), 0, nullptr)) {
        return {};
    }
    out.resize(size);
    return out;
}

void InvertColours(RgbImage& image) {
    for (std::uint8_t& c : image.rgb) {
        c = static_cast<std::uint8_t>(255 - c);
    }
}

bool ReadWholeFile(const std::string& fileName, std::vector<std::uint8_t>& bytes, FileError& error,
                   std::uint64_t limit) {
    std::FILE* f = OpenSourceFile(fileName, error);
    if (f == nullptr) {
        return false;
    }
    bytes.clear();
    std::uint8_t buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (bytes.size() + n > limit) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    const bool ok = std::ferror(f) == 0 && n == 0;
    std::fclose(f);
    if (!ok) {
        error = {FileFault::OpenFailed, EIO, fileName};
    }
    return ok;
}

bool LoadPictureFile(const std::string& fileName, RgbImage& image, std::string& error) {
    std::vector<std::uint8_t> bytes;
    FileError fileError;
    if (!ReadWholeFile(fileName, bytes, fileError)) {
        error = fileError.Text();
        return false;
    }
    switch (SniffPicture(bytes)) {
        case PictureKind::Bmp:
            return DecodeBmp(bytes, image, error);
        case PictureKind::Png:
            return DecodePng(bytes, image, error);
        case PictureKind::Pcx: {
            const std::vector<std::uint8_t> bmp = DecodePcxToBmp(bytes);
            if (bmp.empty()) {
                error = "nicht unterstütztes PCX-Format";
                return false;
            }
            return DecodeBmp(bmp, image, error);
        }
        case PictureKind::Unknown:
            break;
    }
    error = "unbekanntes Bildformat";
    return false;
}

bool SavePictureFile(const RgbImage& image, const std::string& fileName, FileError& error,
                     bool& unsupported) {
    unsupported = false;
    const PictureKind kind = KindOfName(fileName);
    if (kind != PictureKind::Bmp && kind != PictureKind::Png) {
        unsupported = true;
        return false;
    }
    const std::vector<std::uint8_t> bytes =
        kind == PictureKind::Png ? EncodePng(image) : EncodeBmp(image);
    SafeFile out(fileName);
    if (!out.Begin()) {
        error = out.Error();
        return false;
    }
    if (bytes.empty() || !WriteBytes(out.TempPath(), bytes)) {
        out.Fail(errno != 0 ? errno : EIO);
        error = out.Error();
        return false;
    }
    if (!out.Commit()) {
        error = out.Error();
        return false;
    }
    return true;
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Screen pictures as pixels: BMP, PCX and PNG files read into 8-bit RGB, and RGB written as BMP
// or PNG. PNG goes through libpng's simplified API, whose errors come back as text instead of
// ending the program; grey, grey+alpha, palette and 16-bit pictures all become 8-bit RGB, with
// alpha composited over black (as the image window's inversion of PNG pictures expects).
//
// Every reader bounds the sizes it takes from a header before it allocates. Pure functions
// (files aside); any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "config/safe_file.h"

namespace ktx {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // top row first, R G B per pixel, no padding

    bool Empty() const { return width <= 0 || height <= 0; }
};

// A picture larger than this in pixels is refused by every reader.
constexpr std::int64_t kMaxPicturePixels = std::int64_t{1} << 26;

enum class PictureKind { Unknown, Bmp, Pcx, Png };

// By the file's first bytes: "BM", the PCX manufacturer byte 10, the PNG signature.
PictureKind SniffPicture(std::span<const std::uint8_t> bytes);
// By the file name's suffix, case-insensitive (".bmp", ".pcx", ".png").
PictureKind KindOfName(const std::string& fileName);

// Uncompressed BMP of 1, 4, 8, 24 or 32 bits per pixel, bottom-up or top-down. `error` gets a
// short (German) reason on failure.
bool DecodeBmp(std::span<const std::uint8_t> bytes, RgbImage& image, std::string& error);
// A 24-bit BMP file.
std::vector<std::uint8_t> EncodeBmp(const RgbImage& image);

// `LoadPngAsBitmap`: any PNG as 8-bit RGB, alpha composited over black.
bool DecodePng(std::span<const std::uint8_t> bytes, RgbImage& image, std::string& error);
std::vector<std::uint8_t> EncodePng(const RgbImage& image);

// Each channel c becomes 255 - c (how the image window shows PNG hard copies).
void InvertColours(RgbImage& image);

// Reads a picture file of any of the three kinds, chosen by its content.
bool LoadPictureFile(const std::string& fileName, RgbImage& image, std::string& error);
// Writes `image` in the format the suffix of `fileName` names (".bmp" or ".png"), through a
// SafeFile. False with `error` set otherwise; an unknown suffix is refused before anything is
// written (error.fault stays None then, `unsupported` is set).
bool SavePictureFile(const RgbImage& image, const std::string& fileName, FileError& error,
                     bool& unsupported);

// Whole file into memory, at most `limit` bytes (a larger file fails).
bool ReadWholeFile(const std::string& fileName, std::vector<std::uint8_t>& bytes, FileError& error,
                   std::uint64_t limit = std::uint64_t{512} << 20);

}  // namespace ktx

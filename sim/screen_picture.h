// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument's screen as a picture: graticule, the traces of the displayed
// channels and a few labels, drawn into 16 colour indices, and the hard-copy file formats the
// instruments send (PCX with 2, 16 or 256 colours, BMP with 1, 4 or 8 bits, PNG, EPS).
// With the ink saver the background is white.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ktx::sim {

struct ScreenTrace {
    std::vector<std::int16_t> levels;  // digitizer levels, 6400 a division, 0 at the centre
    double positionDivisions = 0.0;
    int colour = 2;  // colour index
};

struct ScreenContent {
    std::vector<ScreenTrace> traces;
    std::vector<std::string> labels;  // along the bottom edge
    std::string title;                // top left ("Tek  Run", ...)
};

struct Screen {
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    std::vector<std::uint8_t> pixels;  // colour index per pixel, top row first
};

Screen DrawScreen(const ScreenContent& content);

enum class PictureEncoding {
    Pcx2,    // 1 bit x 1 plane
    Pcx16,   // 1 bit x 4 planes, header palette
    Pcx256,  // 8 bits x 1 plane, palette at the end
    Bmp1,
    Bmp4,
    Bmp8,
    PngGrey,
    PngColour,
    Eps,
};

// The picture file of `screen`. `grey` turns the colours into grey levels (the formats
// without "color"); `inkSaver` gives a white background.
std::string EncodePicture(const Screen& screen, PictureEncoding encoding, bool grey, bool inkSaver);

}  // namespace ktx::sim

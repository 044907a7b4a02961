// SPDX-License-Identifier: GPL-3.0-or-later
// The PCX decoder of the image window: turns the instruments' PCX hard copies (2 colours,
// 16 colours in four planes, 256 colours with the palette at the end) into a complete BMP file
// in memory (bottom-up rows), which any bitmap loader then shows.
//
// Nothing in the header is trusted: sizes are bounded, a header whose XMax lies before XMin is
// refused, and pixel data or a palette that the file does not hold reads as zeros. The row
// stride of the bitmap comes from the width (a line's BPL may be padded), so odd widths are not
// sheared. Runs that cross the end of a line go on in the next line, as encoders that do not
// break their runs at line ends mean them.
//
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace ktx {

// The first 70 of the 128 header bytes (little-endian).
struct PcxHeader {
    std::uint8_t manufacturer = 0;  // 10
    std::uint8_t version = 0;
    std::uint8_t encoding = 0;
    std::uint8_t bitsPerPixel = 0;
    std::uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    std::uint8_t palette[48] = {};  // 16 RGB triplets
    std::uint8_t planes = 0;
    std::uint16_t bytesPerLine = 0;  // BPL, per plane
    std::uint16_t paletteInfo = 0;

    int Width() const { return int{xMax} - int{xMin} + 1; }
    int Height() const { return int{yMax} - int{yMin} + 1; }
};

constexpr std::size_t kPcxHeaderSize = 128;
// A picture larger than this (in pixels or in either direction) is refused: no instrument
// screen comes near it, and a forged header must not make the decoder allocate gigabytes.
constexpr std::int64_t kPcxMaxPixels = std::int64_t{1} << 26;
constexpr int kPcxMaxSide = 16384;

// Reads the header; nothing when the file is shorter than the header or the manufacturer byte
// is not 10.
bool ReadPcxHeader(std::span<const std::uint8_t> file, PcxHeader& header);

// One conversion of one PCX file into a BMP file. The decoders differ in palette, bits per
// pixel and how a decoded line becomes a bitmap row.
class TDecoder {
  public:
    TDecoder(const PcxHeader& header, std::span<const std::uint8_t> file);
    virtual ~TDecoder() = default;
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;

    // The BMP file, or empty when the header describes no picture this decoder can make.
    std::vector<std::uint8_t> Convert();

  protected:
    virtual int BitsPerPixel() const = 0;
    virtual int PaletteSize() const = 0;  // bytes of the BMP palette
    virtual std::uint32_t ColoursUsed() const { return 0; }
    // Fills PaletteSize() bytes of blue, green, red, 0 quadruples.
    virtual void ReadPalette(std::uint8_t* out) const = 0;
    // Bytes of one PCX line, all planes.
    virtual std::size_t LineBytes() const;
    // Turns one decoded line into `stride` bytes of bitmap row.
    virtual void MakeRow(const std::uint8_t* line, std::uint8_t* row) const;
    // Where the run-length data ends (the 256-colour palette follows it).
    virtual std::size_t DataEnd() const { return m_file.size(); }

    void HeaderPalette(std::uint8_t* out, int count) const;

    PcxHeader m_header;
    std::span<const std::uint8_t> m_file;
    int m_width;
    int m_height;
    std::size_t m_stride = 0;  // of the bitmap rows: round4(ceil(width x bits / 8))
};

class TDecoder256 final : public TDecoder {
  public:
    using TDecoder::TDecoder;

  protected:
    int BitsPerPixel() const override { return 8; }
    int PaletteSize() const override { return 1024; }
    std::uint32_t ColoursUsed() const override { return 256; }
    void ReadPalette(std::uint8_t* out) const override;
    std::size_t DataEnd() const override;

  private:
    bool HasPalette() const;
};

class TDecoder16 final : public TDecoder {
  public:
    using TDecoder::TDecoder;

  protected:
    int BitsPerPixel() const override { return 4; }
    int PaletteSize() const override { return 64; }
    void ReadPalette(std::uint8_t* out) const override { HeaderPalette(out, 16); }
    std::size_t LineBytes() const override;
    void MakeRow(const std::uint8_t* line, std::uint8_t* row) const override;
};

class TDecoder2 final : public TDecoder {
  public:
    using TDecoder::TDecoder;

  protected:
    int BitsPerPixel() const override { return 1; }
    int PaletteSize() const override { return 8; }
    void ReadPalette(std::uint8_t* out) const override { HeaderPalette(out, 2); }
};

// The decoder for the header's variant (8 x 1, 1 x 4, 1 x 1 bits x planes); nothing for any
// other layout, which is then no PCX to this program.
std::unique_ptr<TDecoder> MakePcxDecoder(const PcxHeader& header,
                                         std::span<const std::uint8_t> file);

// The whole conversion: the BMP file, or empty when `file` is no PCX this decoder takes.
std::vector<std::uint8_t> DecodePcxToBmp(std::span<const std::uint8_t> file);

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/pcx_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ktx {

namespace {

constexpr std::uint8_t kPcxManufacturer = 10;
constexpr std::size_t kBmpFileHeader = 14;
constexpr std::size_t kBmpInfoHeader = 40;
// The 256-colour palette: a marker byte 12, then 256 RGB triplets, at the very end.
constexpr std::size_t kEndPaletteSize = 769;
constexpr std::uint8_t kEndPaletteMarker = 12;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// One plane byte spread over four output bytes, one bit per pixel nibble: bit 7 goes to the
// high nibble of byte 0, bit 6 to its low nibble, ... bit 0 to the low nibble of byte 3.
// Merging four planes is then four lookups, three shifts and three ors per eight pixels.
const std::array<std::uint32_t, 256>& SpreadTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (unsigned v = 0; v < 256; ++v) {
            std::uint8_t bytes[4] = {};
            for (int k = 0; k < 8; ++k) {
                if (v & (0x80u >> k)) {
                    bytes[k / 2] |= static_cast<std::uint8_t>((k % 2 == 0) ? 0x10 : 0x01);
                }
            }
            std::memcpy(&t[v], bytes, 4);  // kept in memory order: stored back with memcpy
        }
        return t;
    }();
    return table;
}

// Run-length decoding as one stream over all lines: a byte below C0 hex is a literal, any
// other byte repeats the next one (byte - C0) times. Input that has run out reads as zeros.
class RunLengthStream {
  public:
    RunLengthStream(const std::uint8_t* data, std::size_t size) : m_p(data), m_end(data + size) {}

    void Fill(std::uint8_t* out, std::size_t count) {
        while (count > 0) {
            if (m_runLeft > 0) {
                const std::size_t n = std::min<std::size_t>(count, m_runLeft);
                std::memset(out, m_runValue, n);
                out += n;
                count -= n;
                m_runLeft -= n;
                continue;
            }
            // Literal bytes are copied in one go while they last.
            const std::uint8_t* start = m_p;
            const std::uint8_t* stop = m_p + std::min<std::size_t>(count, m_end - m_p);
            while (m_p < stop && *m_p < 0xC0) {
                ++m_p;
            }
            if (m_p > start) {
                const std::size_t n = static_cast<std::size_t>(m_p - start);
                std::memcpy(out, start, n);
                out += n;
                count -= n;
                continue;
            }
            if (m_p >= m_end) {
                std::memset(out, 0, count);  // truncated pixel data
                return;
            }
            m_runLeft = static_cast<std::size_t>(*m_p++ - 0xC0);
            m_runValue = m_p < m_end ? *m_p++ : 0;
        }
    }

  private:
    const std::uint8_t* m_p;
    const std::uint8_t* m_end;
    std::size_t m_runLeft = 0;
    std::uint8_t m_runValue = 0;
};

}  // namespace

bool ReadPcxHeader(std::span<const std::uint8_t> file, PcxHeader& h) {
    if (file.size() < kPcxHeaderSize || file[0] != kPcxManufacturer) {
        return false;
    }
    const std::uint8_t* p = file.data();
    h.manufacturer = p[0];
    h.version = p[1];
    h.encoding = p[2];
    h.bitsPerPixel = p[3];
    h.xMin = Le16(p + 4);
    h.yMin = Le16(p + 6);
    h.xMax = Le16(p + 8);
    h.yMax = Le16(p + 10);
    std::memcpy(h.palette, p + 16, sizeof h.palette);
    h.planes = p[65];
    h.bytesPerLine = Le16(p + 66);
    h.paletteInfo = Le16(p + 68);
    return true;
}

TDecoder::TDecoder(const PcxHeader& header, std::span<const std::uint8_t> file)
    : m_header(header), m_file(file), m_width(header.Width()), m_height(header.Height()) {}

std::size_t TDecoder::LineBytes() const {
    return m_header.bytesPerLine;
}

void TDecoder::MakeRow(const std::uint8_t* line, std::uint8_t* row) const {
    std::memcpy(row, line, std::min(m_stride, LineBytes()));
}

void TDecoder::HeaderPalette(std::uint8_t* out, int count) const {
    for (int i = 0; i < count; ++i) {
        out[4 * i + 0] = m_header.palette[3 * i + 2];
        out[4 * i + 1] = m_header.palette[3 * i + 1];
        out[4 * i + 2] = m_header.palette[3 * i + 0];
        out[4 * i + 3] = 0;
    }
}

std::vector<std::uint8_t> TDecoder::Convert() {
    if (m_width < 1 || m_height < 1 || m_width > kPcxMaxSide || m_height > kPcxMaxSide ||
        std::int64_t{m_width} * m_height > kPcxMaxPixels || m_header.bytesPerLine == 0 ||
        m_file.size() < kPcxHeaderSize) {
        return {};
    }
    const std::size_t rowBits = static_cast<std::size_t>(m_width) * BitsPerPixel();
    m_stride = ((rowBits + 7) / 8 + 3) / 4 * 4;
    const std::size_t infoSize = kBmpInfoHeader + PaletteSize();
    const std::size_t pixelOffset = kBmpFileHeader + infoSize;
    const std::size_t imageSize = m_stride * m_height;
    std::vector<std::uint8_t> bmp(pixelOffset + imageSize);

    std::uint8_t* p = bmp.data();
    p[0] = 'B';
    p[1] = 'M';
    Put32(p + 2, static_cast<std::uint32_t>(bmp.size()));
    Put32(p + 10, static_cast<std::uint32_t>(pixelOffset));
    p += kBmpFileHeader;
    Put32(p + 0, kBmpInfoHeader);
    Put32(p + 4, static_cast<std::uint32_t>(m_width));
    Put32(p + 8, static_cast<std::uint32_t>(m_height));
    Put16(p + 12, 1);
    Put16(p + 14, static_cast<std::uint32_t>(BitsPerPixel()));
    Put32(p + 20, static_cast<std::uint32_t>(imageSize));
    Put32(p + 32, ColoursUsed());
    ReadPalette(p + kBmpInfoHeader);

    const std::size_t lineBytes = LineBytes();
    std::vector<std::uint8_t> line(std::max(lineBytes, m_stride));
    const std::size_t end = std::clamp(DataEnd(), kPcxHeaderSize, m_file.size());
    RunLengthStream runs(m_file.data() + kPcxHeaderSize, end - kPcxHeaderSize);
    for (int k = 0; k < m_height; ++k) {
        runs.Fill(line.data(), lineBytes);
        // Top line first in the PCX, bottom row first in the bitmap.
        MakeRow(line.data(), bmp.data() + pixelOffset + m_stride * (m_height - 1 - k));
    }
    return bmp;
}

bool TDecoder256::HasPalette() const {
    return m_file.size() >= kPcxHeaderSize + kEndPaletteSize &&
           m_file[m_file.size() - kEndPaletteSize] == kEndPaletteMarker;
}

std::size_t TDecoder256::DataEnd() const {
    return HasPalette() ? m_file.size() - kEndPaletteSize : m_file.size();
}

void TDecoder256::ReadPalette(std::uint8_t* out) const {
    // Without the end palette (a cut-short file) every colour is black.
    if (!HasPalette()) {
        std::memset(out, 0, 1024);
        return;
    }
    const std::uint8_t* rgb = m_file.data() + m_file.size() - kEndPaletteSize + 1;
    for (int i = 0; i < 256; ++i) {
        out[4 * i + 0] = rgb[3 * i + 2];
        out[4 * i + 1] = rgb[3 * i + 1];
        out[4 * i + 2] = rgb[3 * i + 0];
        out[4 * i + 3] = 0;
    }
}

std::size_t TDecoder16::LineBytes() const {
    return std::size_t{4} * m_header.bytesPerLine;
}

void TDecoder16::MakeRow(const std::uint8_t* line, std::uint8_t* row) const {
    // The four planes of a line lie one after the other, BPL bytes each, plane 0 first; each
    // byte position gives eight pixels, two to an output byte. Only what the row holds is made.
    const std::array<std::uint32_t, 256>& spread = SpreadTable();
    const std::size_t bpl = m_header.bytesPerLine;
    const std::uint8_t* p0 = line;
    const std::uint8_t* p1 = line + bpl;
    const std::uint8_t* p2 = line + 2 * bpl;
    const std::uint8_t* p3 = line + 3 * bpl;
    const std::size_t whole = std::min(bpl, m_stride / 4);
    for (std::size_t i = 0; i < whole; ++i) {
        const std::uint32_t v =
            spread[p0[i]] | spread[p1[i]] << 1 | spread[p2[i]] << 2 | spread[p3[i]] << 3;
        std::memcpy(row + 4 * i, &v, 4);
    }
    std::memset(row + 4 * whole, 0, m_stride - 4 * whole);
}

std::unique_ptr<TDecoder> MakePcxDecoder(const PcxHeader& header,
                                         std::span<const std::uint8_t> file) {
    if (header.bitsPerPixel == 8 && header.planes == 1) {
        return std::make_unique<TDecoder256>(header, file);
    }
    if (header.bitsPerPixel == 1 && header.planes == 4) {
        return std::make_unique<TDecoder16>(header, file);
    }
    if (header.bitsPerPixel == 1 && header.planes == 1) {
        return std::make_unique<TDecoder2>(header, file);
    }
    return nullptr;
}

std::vector<std::uint8_t> DecodePcxToBmp(std::span<const std::uint8_t> file) {
    PcxHeader header;
    if (!ReadPcxHeader(file, header)) {
        return {};
    }
    std::unique_ptr<TDecoder> decoder = MakePcxDecoder(header, file);
    return decoder ? decoder->Convert() : std::vector<std::uint8_t>{};
}

}  // namespace ktx

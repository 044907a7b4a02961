// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/wave_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "config/notifier.h"
#include "waveform/block_file.h"

namespace ktx {

namespace {

constexpr WaveFileHeader kOneColumnRef{{0x21, 0x16}, kWaveVersion};
constexpr WaveFileHeader kFourColumnRef{{0x42, 0x2C}, kWaveVersion};
constexpr WaveFileHeader kSpectrumRef{{0x2C, 0x42}, kWaveVersion};
constexpr WaveFileHeader kMathRef{{0x16, 0x21}, kWaveVersion};

void PutTagAndVersion(std::uint8_t* out, const WaveFileHeader& ref) {
    out[0] = ref.tag[0];
    out[1] = ref.tag[1];
    std::uint32_t bits;
    std::memcpy(&bits, &ref.version, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        out[2 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

void PutUnit(std::uint8_t* slot, const std::string& unit) {
    std::memset(slot, 0, 6);
    std::memcpy(slot, unit.data(), std::min<std::size_t>(unit.size(), 5));
}

}  // namespace

const WaveFileHeader& ReferenceHeader(WaveLayout layout) {
    switch (layout) {
        case WaveLayout::OneColumn:
            return kOneColumnRef;
        case WaveLayout::FourColumn:
            return kFourColumnRef;
        case WaveLayout::Spectrum:
            return kSpectrumRef;
        case WaveLayout::Math:
            break;
    }
    return kMathRef;
}

std::size_t RecordSize(WaveLayout layout) {
    return layout == WaveLayout::OneColumn ? kOneColumnRecord : kFourColumnRecord;
}

std::array<std::uint8_t, 12> MakeHeader1(const WaveFileHeader& ref, const UnitStrings& units) {
    std::array<std::uint8_t, 12> h{};
    PutTagAndVersion(h.data(), ref);
    PutUnit(h.data() + 6, units[0]);
    return h;
}

std::array<std::uint8_t, 30> MakeHeader4(const WaveFileHeader& ref, const UnitStrings& units) {
    std::array<std::uint8_t, 30> h{};
    PutTagAndVersion(h.data(), ref);
    for (int i = 0; i < 4; ++i) {
        PutUnit(h.data() + 6 + 6 * i, units[i]);
    }
    return h;
}

float HeaderVersion(const std::uint8_t* buf) {
    std::uint32_t bits = std::uint32_t{buf[2]} | std::uint32_t{buf[3]} << 8 |
                         std::uint32_t{buf[4]} << 16 | std::uint32_t{buf[5]} << 24;
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

bool ReadWaveHeader(const std::uint8_t* buf, const WaveFileHeader& ref, UnitStrings& units) {
    if (buf[0] != ref.tag[0] || buf[1] != ref.tag[1]) {
        return false;
    }
    // A NaN version compares false and is rejected like a small one.
    if (!(HeaderVersion(buf) >= ref.version)) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        const auto* slot = reinterpret_cast<const char*>(buf + 6 + 6 * i);
        const std::size_t len = strnlen(slot, 5);
        units[i].assign(slot, std::min<std::size_t>(len, 4));
    }
    return true;
}

bool DetectLayout(const std::uint8_t* buf, WaveLayout& layout, UnitStrings& units) {
    for (WaveLayout l :
         {WaveLayout::OneColumn, WaveLayout::FourColumn, WaveLayout::Spectrum, WaveLayout::Math}) {
        if (ReadWaveHeader(buf, ReferenceHeader(l), units)) {
            layout = l;
            return true;
        }
    }
    return false;
}

std::int64_t CountWaveFile(const std::string& path) {
    BlockReader in(path);
    if (!in.IsOpen() || in.Size() < 2 * kFourColumnRecord) {
        return 0;
    }
    std::uint8_t buf[kHeaderProbeSize];
    if (in.Read(buf, sizeof buf) != sizeof buf) {
        return 0;
    }
    UnitStrings units;
    if (ReadWaveHeader(buf, kOneColumnRef, units)) {
        return static_cast<std::int64_t>(in.Size() / kOneColumnRecord);
    }
    if (ReadWaveHeader(buf, kFourColumnRef, units)) {
        return static_cast<std::int64_t>(in.Size() / kFourColumnRecord);
    }
    return 0;
}

bool CopyWaveFile(const std::string& source, const std::string& target, Notifier& notifier) {
    BlockReader in(source);
    if (!in.IsOpen()) {
        ShowFileError(notifier, in.OpenError());
        return false;
    }
    if (CountWaveFile(source) == 0) {
        ShowErrorMsgText(notifier, 12, source, 0);
        return false;
    }
    SafeWriter out(target);
    if (!out.Begin({source})) {
        ShowFileError(notifier, out.Error());
        return false;
    }
    std::vector<std::uint8_t> buffer(BlockReader::kBlockSize);
    while (out.Ok()) {
        const std::size_t n = in.Read(buffer.data(), buffer.size());
        if (n == 0) {
            break;
        }
        out.Write(buffer.data(), n);
    }
    if (in.Failed()) {
        out.Discard();
        ShowErrorMsgText(notifier, 12, source, 0);
        return false;
    }
    if (!out.Commit()) {
        ShowFileError(notifier, out.Error());
        return false;
    }
    return true;
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Encoding and decoding of curve data; written for 10 M-point records (no per-byte streams).
#include "curve_codec.h"

#include <algorithm>
#include <charconv>

#include "command_header.h"

namespace ktx::sim {

std::optional<DataFormat> EncodingFromName(std::string_view name, DataFormat current) {
    name = Trim(name);
    if (MatchesMnemonic("ASCIi", name)) {
        current.ascii = true;
        return current;
    }
    struct Binary {
        std::string_view mnemonic;
        bool isSigned;
        bool msbFirst;
    };
    static constexpr Binary kBinary[] = {{"RIBinary", true, true},
                                         {"RPBinary", false, true},
                                         {"SRIbinary", true, false},
                                         {"SRPbinary", false, false}};
    for (const Binary& b : kBinary) {
        if (MatchesMnemonic(b.mnemonic, name)) {
            current.ascii = false;
            current.isSigned = b.isSigned;
            current.msbFirst = b.msbFirst;
            return current;
        }
    }
    return std::nullopt;
}

std::string EncodingName(const DataFormat& format, bool longForm) {
    if (format.ascii) {
        return longForm ? "ASCII" : "ASCI";
    }
    std::string name =
        format.msbFirst ? (format.isSigned ? "RIB" : "RPB") : (format.isSigned ? "SRI" : "SRP");
    if (longForm) {
        name += format.msbFirst ? "INARY" : "BINARY";
    }
    return name;
}

std::int32_t WireValue(std::int16_t level, const DataFormat& format) {
    std::int32_t value = format.width == 1 ? (level >> 8) : level;
    if (!format.isSigned && !format.ascii) {
        value += format.width == 1 ? 128 : 32768;
    }
    return value;
}

std::int16_t LevelFromWire(std::int64_t value, const DataFormat& format) {
    if (!format.isSigned && !format.ascii) {
        value -= format.width == 1 ? 128 : 32768;
    }
    if (format.width == 1) {
        value = std::clamp<std::int64_t>(value, -128, 127) * 256;
    }
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(value, -32768, 32767));
}

std::string EncodeCurve(std::span<const std::int16_t> levels, const DataFormat& format,
                        bool truncate) {
    std::string out;
    if (format.ascii) {
        out.resize(levels.size() * 7);
        char* p = out.data();
        for (std::size_t i = 0; i < levels.size(); ++i) {
            if (i != 0) {
                *p++ = ',';
            }
            p = std::to_chars(p, p + 6, WireValue(levels[i], format)).ptr;
        }
        out.resize(static_cast<std::size_t>(p - out.data()));
        return out;
    }
    const std::size_t length = levels.size() * static_cast<std::size_t>(format.width);
    const std::string count = std::to_string(length);
    const std::size_t carried = truncate ? length / 2 : length;
    out.reserve(2 + count.size() + carried);
    out += '#';
    out += static_cast<char>('0' + count.size());
    out += count;
    const std::size_t head = out.size();
    out.resize(head + length);
    auto* p = reinterpret_cast<unsigned char*>(out.data() + head);
    for (std::int16_t level : levels) {
        const auto v = static_cast<std::uint16_t>(WireValue(level, format));
        if (format.width == 1) {
            *p++ = static_cast<unsigned char>(v & 0xFF);
        } else if (format.msbFirst) {
            *p++ = static_cast<unsigned char>(v >> 8);
            *p++ = static_cast<unsigned char>(v & 0xFF);
        } else {
            *p++ = static_cast<unsigned char>(v & 0xFF);
            *p++ = static_cast<unsigned char>(v >> 8);
        }
    }
    out.resize(head + carried);
    return out;
}

namespace {

std::optional<std::vector<std::int16_t>> DecodeAscii(std::string_view data,
                                                     const DataFormat& format) {
    std::vector<std::int16_t> levels;
    levels.reserve(data.size() / 4);
    std::size_t i = 0;
    while (i < data.size()) {
        while (i < data.size() &&
               (data[i] == ' ' || data[i] == '\r' || data[i] == '\n' || data[i] == '\t')) {
            ++i;
        }
        if (i >= data.size()) {
            break;
        }
        std::int64_t value = 0;
        const char* first = data.data() + i;
        if (*first == '+') {
            ++first;
        }
        const auto result = std::from_chars(first, data.data() + data.size(), value);
        if (result.ec != std::errc()) {
            return std::nullopt;
        }
        // A real ("1.0E2") is not a level: the text after the digits must be a separator.
        i = static_cast<std::size_t>(result.ptr - data.data());
        while (i < data.size() && (data[i] == ' ' || data[i] == '\r' || data[i] == '\t')) {
            ++i;
        }
        if (i < data.size() && data[i] != ',' && data[i] != '\n') {
            return std::nullopt;
        }
        ++i;
        levels.push_back(LevelFromWire(value, DataFormat{true, true, true, format.width}));
    }
    return levels;
}

}  // namespace

std::optional<std::vector<std::int16_t>> DecodeCurve(std::string_view data,
                                                     const DataFormat& format) {
    std::size_t offset = 0;
    std::size_t length = 0;
    if (!data.empty() && data.front() == '#') {
        if (!ParseBlockHeader(data, offset, length)) {
            if (data.size() >= 2 && data[1] == '0') {
                offset = 2;  // indefinite block: everything that came
                length = data.size() - 2;
            } else {
                return std::nullopt;
            }
        }
        const std::string_view bytes = data.substr(offset, std::min(length, data.size() - offset));
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        DataFormat binary = format;
        binary.ascii = false;
        const std::size_t width = static_cast<std::size_t>(binary.width);
        std::vector<std::int16_t> levels(bytes.size() / width);
        for (std::size_t i = 0; i < levels.size(); ++i, p += width) {
            std::int64_t value = 0;
            if (width == 1) {
                value = binary.isSigned ? static_cast<std::int8_t>(p[0]) : p[0];
            } else {
                const std::uint16_t word = binary.msbFirst
                                               ? static_cast<std::uint16_t>(p[0] << 8 | p[1])
                                               : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
                value = binary.isSigned ? static_cast<std::int16_t>(word) : word;
            }
            levels[i] = LevelFromWire(value, binary);
        }
        return levels;
    }
    return DecodeAscii(data, format);
}

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/npy_writer.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "config/notifier.h"
#include "waveform/block_file.h"
#include "waveform/time_field.h"
#include "waveform/wave_stream.h"

namespace ktx {

namespace {

constexpr int kMsgAccessDenied = 7;
constexpr int kMsgWriteError = 41;

void PutDouble(std::uint8_t* p, double v) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    if constexpr (std::endian::native == std::endian::big) {
        bits = __builtin_bswap64(bits);
    }
    std::memcpy(p, &bits, sizeof bits);
}

}  // namespace

std::string NpyHeader(const std::string* fields, int count, long long points) {
    std::string dict = "{'descr': [";
    for (int i = 0; i < count; ++i) {
        dict += (i ? ", ('" : "('") + fields[i] + "', '<f8')";
    }
    dict += "], 'fortran_order': False, 'shape': (" + std::to_string(points) + ",), }";
    // Magic (6), version (2), header length (2), then the dictionary padded to a multiple of 64
    // and ended by a line feed, as numpy itself writes it.
    const std::size_t unpadded = 10 + dict.size() + 1;
    dict.append((64 - unpadded % 64) % 64, ' ');
    dict += '\n';
    const auto length = static_cast<std::uint16_t>(dict.size());
    std::string header("\x93NUMPY\x01\x00", 8);
    header += static_cast<char>(length & 0xff);
    header += static_cast<char>(length >> 8);
    return header + dict;
}

bool WriteWaveFileNpy(const std::string& source, const std::string& target, Notifier& notifier) {
    WaveStream in(source);
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return false;
    }
    std::array<std::string, 5> fields{"time"};
    std::array<int, 4> columns{};
    int present = 0;
    for (int c = 0; c < in.Columns(); ++c) {
        if (in.Units()[static_cast<std::size_t>(c)] != "#") {
            columns[static_cast<std::size_t>(present)] = c;
            fields[static_cast<std::size_t>(++present)] = "ch" + std::to_string(c + 1);
        }
    }
    const long long points = in.Records() - 1;
    SafeWriter out(target);
    if (!out.Begin({source})) {
        ShowFileError(notifier, out.Error(), kMsgAccessDenied);
        return false;
    }
    const std::string header = NpyHeader(fields.data(), present + 1, points);
    out.Write(header.data(), header.size());
    const std::size_t rowBytes = sizeof(double) * static_cast<std::size_t>(present + 1);
    std::vector<std::uint8_t> rows;
    long long written = 0;
    for (std::int64_t got = 0;;) {
        const std::uint8_t* r = in.NextRun(16384, got);
        if (got == 0) {
            break;
        }
        rows.resize(static_cast<std::size_t>(got) * rowBytes);
        std::uint8_t* p = rows.data();
        for (std::int64_t i = 0; i < got; ++i, r += in.RecordBytes()) {
            TimeField t;
            std::memcpy(t.bytes.data(), r, sizeof t);
            PutDouble(p, TimeFieldToSeconds(t));
            p += sizeof(double);
            for (int k = 0; k < present; ++k, p += sizeof(double)) {
                PutDouble(p, RecordY(r, columns[static_cast<std::size_t>(k)]));
            }
        }
        out.Write(rows.data(), rows.size());
        written += got;
    }
    // A source that shrank or failed while it was read leaves the old target.
    if (!in.Ok() || written != points) {
        out.Discard();
        in.ShowFailure(notifier);
        return false;
    }
    if (!out.Commit()) {
        ShowFileError(notifier, out.Error(), kMsgWriteError);
        return false;
    }
    return true;
}

}  // namespace ktx

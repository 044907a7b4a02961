// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/waveform_record.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "app/notifier.h"
#include "waveform/block_file.h"

namespace ktx {

namespace {
constexpr int kBadFormatMessage = 12;
constexpr int kOutOfMemoryMessage = 11;
}  // namespace

double TimeScaleFor(const TimeField& first, const TimeField& last) {
    if (first.Hours() != 0 || first.Minutes() != 0 || last.Hours() != 0 || last.Minutes() != 0) {
        return 1.0;
    }
    const double t = std::fabs(static_cast<double>(last.Seconds()));
    if (t < 1e-6) {
        return 1e9;
    }
    if (t < 1e-3) {
        return 1e6;
    }
    if (t < 1.0) {
        return 1e3;
    }
    return 1.0;
}

std::optional<WaveformRecord> LoadWaveform(const std::string& path, bool sampleAxis,
                                           const ColumnChooser& chooseColumn, Notifier& notifier) {
    WaveformRecord rec;
    rec.sampleAxis = sampleAxis;
    rec.fileName = path;

    BlockReader in(path);
    std::uint8_t header[kHeaderProbeSize];
    bool readable = in.IsOpen() && in.Size() >= 2 * kFourColumnRecord &&
                    in.Read(header, sizeof header) == sizeof header;
    if (readable && ReadWaveHeader(header, ReferenceHeader(WaveLayout::OneColumn), rec.units)) {
        rec.layout = WaveLayout::OneColumn;
        rec.units[1] = rec.units[2] = rec.units[3] = kAbsentUnit;
    } else if (readable &&
               ReadWaveHeader(header, ReferenceHeader(WaveLayout::FourColumn), rec.units)) {
        rec.layout = WaveLayout::FourColumn;
    } else {
        ShowErrorMsgText(notifier, kBadFormatMessage, path, 0);
        return std::nullopt;
    }
    std::error_code ec;
    rec.fileDate = std::filesystem::last_write_time(path, ec);
    rec.version = HeaderVersion(header);
    if (rec.version > kWaveVersion) {
        rec.sampleAxis = true;
    }

    int present = 0;
    int lastPresent = 0;
    for (int i = 0; i < 4; ++i) {
        if (rec.units[i] != kAbsentUnit) {
            ++present;
            lastPresent = i;
        }
    }
    if (present == 1) {
        rec.column = lastPresent;
    } else if (present > 1) {
        const std::optional<int> chosen = chooseColumn ? chooseColumn(rec.units) : 0;
        if (!chosen || *chosen < 0 || *chosen > 3) {
            return std::nullopt;
        }
        rec.column = *chosen;
    }

    const std::size_t recordSize = RecordSize(rec.layout);
    const std::uint64_t records = in.Size() / recordSize;
    if (records - 1 > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        ShowErrorMsgText(notifier, kOutOfMemoryMessage, path, 0);
        return std::nullopt;
    }
    rec.pointCount = static_cast<std::int32_t>(records - 1);
    try {
        rec.xValues.resize(static_cast<std::size_t>(rec.pointCount));
        rec.yValues.resize(static_cast<std::size_t>(rec.pointCount));
    } catch (const std::bad_alloc&) {
        ShowErrorMsgText(notifier, kOutOfMemoryMessage, path, 0);
        return std::nullopt;
    }

    // The header probe read 30 bytes; a one-column file's data starts at byte 12, so the probe
    // already holds the first one and a half records. Start the data from the right offset.
    std::vector<std::uint8_t> block(BlockReader::kBlockSize / recordSize * recordSize);
    std::size_t have = sizeof header - recordSize;
    std::memcpy(block.data(), header + recordSize, have);
    const std::size_t yOffset = 6 + (rec.layout == WaveLayout::OneColumn ? 0 : 6 * rec.column);
    double yMax = 0.0;
    double yMin = 0.0;
    std::size_t next = 0;
    const auto count = static_cast<std::size_t>(rec.pointCount);
    while (next < count) {
        const std::size_t needed = (count - next) * recordSize;
        const std::size_t want = needed > have ? std::min(block.size() - have, needed - have) : 0;
        have += in.Read(block.data() + have, want);
        const std::size_t n = have / recordSize;
        if (n == 0) {
            break;  // the file shrank since its size was taken
        }
        for (std::size_t k = 0; k < n; ++k) {
            const std::uint8_t* r = block.data() + k * recordSize;
            TimeField& x = rec.xValues[next + k];
            Real6& y = rec.yValues[next + k];
            std::memcpy(x.bytes.data(), r, 6);
            std::memcpy(y.bytes.data(), r + yOffset, 6);
            const double v = y.ToDouble();
            if (v > yMax) {
                yMax = v;
            }
            if (v < yMin) {
                yMin = v;
            }
        }
        next += n;
        const std::size_t rest = have - n * recordSize;
        std::memmove(block.data(), block.data() + n * recordSize, rest);
        have = rest;
    }
    if (next < count) {
        ShowErrorMsgText(notifier, kBadFormatMessage, path, 0);
        return std::nullopt;
    }
    rec.yMax = Real6::FromDouble(yMax);
    rec.yMin = Real6::FromDouble(yMin);
    if (count > 0) {
        rec.timeScale = TimeScaleFor(rec.xValues.front(), rec.xValues.back());
    }
    return rec;
}

}  // namespace ktx

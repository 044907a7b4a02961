// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/waveform_record.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>
#include <thread>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "config/notifier.h"
#include "waveform/block_file.h"

namespace ktx {

namespace {
constexpr int kBadFormatMessage = 12;
constexpr int kOutOfMemoryMessage = 11;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::uint64_t kFieldMask = (std::uint64_t{1} << 39) - 1;

// Exponent and fraction as one magnitude, negated for negative values: orders like the value,
// so the y range needs no conversion in the loop.
inline std::int64_t Real6OrderKey(const std::uint8_t* p) {
    std::uint32_t low;
    std::memcpy(&low, p + 1, 4);
    const std::uint64_t field = std::uint64_t{low} | std::uint64_t{p[5]} << 32;
    const auto magnitude =
        static_cast<std::int64_t>(std::uint64_t{p[0]} << 39 | (field & kFieldMask));
    const std::int64_t key = p[0] == 0 ? 0 : magnitude;
    return (field >> 39) ? -key : key;
}

struct PointRange {
    const std::string& path;
    std::size_t recordSize;
    std::size_t yOffset;
    TimeField* x;
    Real6* y;
};

struct RangeResult {
    bool ok = true;
    // The y range as ordered keys; both start at 0, so the range always contains 0.
    std::int64_t maxKey = 0;
    std::int64_t minKey = 0;
};

constexpr std::size_t kParallelLoadPoints = 1'000'000;

// Copies `n` records from `r` into the arrays from index `at` on, widening the y range.
void CopyRecords(const PointRange& range, const std::uint8_t* r, std::size_t at, std::size_t n,
                 RangeResult& result) {
    const std::size_t recordSize = range.recordSize;
    std::uint8_t* xOut = range.x[at].bytes.data();
    std::uint8_t* yOut = range.y[at].bytes.data();
    std::int64_t maxKey = result.maxKey;
    std::int64_t minKey = result.minKey;
    for (std::size_t k = 0; k < n; ++k, r += recordSize, xOut += 6, yOut += 6) {
        std::memcpy(xOut, r, 6);
        std::memcpy(yOut, r + range.yOffset, 6);
        const std::int64_t key = Real6OrderKey(r + range.yOffset);
        maxKey = std::max(maxKey, key);
        minKey = std::min(minKey, key);
    }
    result.maxKey = maxKey;
    result.minKey = minKey;
}

// Reads data records [from, to) (0 = the first after the header) into the arrays.
RangeResult LoadRange(const PointRange& range, std::size_t from, std::size_t to) {
    RangeResult result;
    const std::size_t recordSize = range.recordSize;
#if defined(__linux__)
    // Mapped, the records are read straight from the page cache instead of being copied into
    // a buffer first. The size is checked against the range before mapping; a file cut short by
    // another program during the few milliseconds of the copy is the one case this cannot catch.
    if (const int fd = ::open(range.path.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        const std::size_t begin = (from + 1) * recordSize;
        const std::size_t mapStart = begin / page * page;
        const std::size_t mapLength = (to + 1) * recordSize - mapStart;
        struct stat st;
        void* map = MAP_FAILED;
        if (::fstat(fd, &st) == 0 &&
            static_cast<std::size_t>(st.st_size) >= (to + 1) * recordSize) {
            map = ::mmap(nullptr, mapLength, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd,
                         static_cast<off_t>(mapStart));
        }
        ::close(fd);
        if (map != MAP_FAILED) {
            CopyRecords(range, static_cast<const std::uint8_t*>(map) + (begin - mapStart), from,
                        to - from, result);
            ::munmap(map, mapLength);
            return result;
        }
    }
#endif
    BlockReader in(range.path);
    if (!in.Seek((from + 1) * recordSize)) {
        result.ok = false;
        return result;
    }
    std::vector<std::uint8_t> block(BlockReader::kBlockSize / recordSize * recordSize);
    std::size_t next = from;
    while (next < to) {
        const std::size_t want = std::min(block.size(), (to - next) * recordSize);
        const std::size_t n = in.Read(block.data(), want) / recordSize;
        if (n * recordSize != want) {
            result.ok = false;
            return result;
        }
        CopyRecords(range, block.data(), next, n, result);
        next += n;
    }
    return result;
}

Real6 Real6FromOrderKey(std::int64_t key) {
    Real6 r;
    if (key == 0) {
        return r;
    }
    const std::uint64_t magnitude = static_cast<std::uint64_t>(key < 0 ? -key : key);
    std::uint64_t field = (magnitude & kFieldMask) | (key < 0 ? std::uint64_t{1} << 39 : 0);
    r.bytes[0] = static_cast<std::uint8_t>(magnitude >> 39);
    for (int i = 1; i <= 5; ++i) {
        r.bytes[i] = static_cast<std::uint8_t>(field);
        field >>= 8;
    }
    return r;
}
}  // namespace

void* AllocatePointStorage(std::size_t bytes) {
    if (bytes < 2 * kHugePage) {
        return ::operator new(bytes);
    }
    void* p = ::operator new (bytes, std::align_val_t{kHugePage});
#ifdef MADV_HUGEPAGE
    madvise(p, bytes, MADV_HUGEPAGE);  // advice only; failure changes nothing
#endif
    return p;
}

void FreePointStorage(void* p, std::size_t bytes) noexcept {
    if (bytes < 2 * kHugePage) {
        ::operator delete(p);
    } else {
        ::operator delete (p, std::align_val_t{kHugePage});
    }
}

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
    } else if (!in.IsOpen()) {
        ShowFileError(notifier, in.OpenError());  // missing, a FIFO, a device: said as such
        return std::nullopt;
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

    const std::size_t yOffset = 6 + (rec.layout == WaveLayout::OneColumn ? 0 : 6 * rec.column);
    const auto count = static_cast<std::size_t>(rec.pointCount);
    // Long records are read in two halves at once: with two cores, the page faults of the fresh
    // arrays and the copying are shared, and a 10 M-point file loads in little more than the
    // time its bytes take to read.
    RangeResult first;
    RangeResult second;
    const std::size_t split =
        count >= kParallelLoadPoints && std::thread::hardware_concurrency() > 1 ? count / 2 : count;
    const PointRange whole{path, recordSize, yOffset, rec.xValues.data(), rec.yValues.data()};
    if (split < count) {
        std::thread worker([&] { second = LoadRange(whole, split, count); });
        first = LoadRange(whole, 0, split);
        worker.join();
    } else {
        first = LoadRange(whole, 0, count);
    }
    if (!first.ok || !second.ok) {
        ShowErrorMsgText(notifier, kBadFormatMessage, path, 0);  // the file shrank meanwhile
        return std::nullopt;
    }
    rec.yMax = Real6FromOrderKey(std::max(first.maxKey, second.maxKey));
    rec.yMin = Real6FromOrderKey(std::min(first.minKey, second.minKey));
    if (count > 0) {
        rec.timeScale = TimeScaleFor(rec.xValues.front(), rec.xValues.back());
    }
    return rec;
}

}  // namespace ktx

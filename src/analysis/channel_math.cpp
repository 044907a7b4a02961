// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/channel_math.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "analysis/distribution_classes.h"
#include "analysis/large_pages.h"
#include "analysis/read_ahead.h"
#include "analysis/record_bytes.h"
#include "analysis/result_writer.h"
#include "analysis/write_behind.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/real6.h"

namespace ktx {

namespace {

constexpr int kMsgNoMemory = 11;
constexpr int kMsgBadFormat = 12;
constexpr int kMsgNoValidSelection = 14;
// Records per block: the progress and "Abbruch" are looked at once a block.
constexpr std::size_t kBlock = 65536;
// Outputs of the running sum between two exact re-summations of the window.
constexpr std::int64_t kResumInterval = 1024;

// Blocks of the period's records, read ahead on another thread, and the progress bar over them.
class PeriodStream {
  public:
    PeriodStream(const MathRequest& r, ProgressSink& progress, const KeepGoing& keepGoing)
        : m_in(r.source),
          m_progress(progress),
          m_keepGoing(keepGoing),
          m_recordSize(r.layout.recordSize),
          m_valueOffset(r.layout.layout == WaveLayout::OneColumn
                            ? 6
                            : 6 + 6 * static_cast<std::size_t>(std::clamp(r.column, 0, 3))),
          m_start(r.period.start),
          m_total(r.period.n) {}

    bool Open(const MathRequest& r, Notifier& notifier) {
        if (!m_in.IsOpen()) {
            const FileError& e = m_in.OpenError();
            ShowErrorMsgText(notifier, e.Message(), e.Text(), 0);
            return false;
        }
        if (r.period.start + r.period.n > r.layout.DataRecords() || !Rewind(r)) {
            ShowErrorMsgText(notifier, ReadFailure(), r.source, 0);
            return false;
        }
        return true;
    }
    // The message for a failed Open or Rewind.
    int ReadFailure() const { return m_in.LackedMemory() ? kMsgNoMemory : kMsgBadFormat; }
    // To the first sample of the period (also the distribution's second pass).
    bool Rewind(const MathRequest& r) {
        m_remaining = r.period.n;
        return r.period.start >= 0 &&
               m_in.Start(static_cast<std::uint64_t>(r.period.start + 1) * m_recordSize,
                          static_cast<std::uint64_t>(r.period.n) * m_recordSize,
                          kBlock * m_recordSize);
    }

    // The number of records in the next block (at Records()); 0 at the end, on a short file
    // (Short()) or when stopped (Aborted()).
    std::size_t Next() {
        if (m_remaining == 0) {
            return 0;
        }
        if (m_keepGoing && !m_keepGoing()) {
            m_aborted = true;
            m_in.Stop();
            return 0;
        }
        const std::span<const std::uint8_t> block = m_in.Next();
        const std::size_t got = block.size() / m_recordSize;
        if (got == 0) {
            m_short = true;  // the file ended (or failed) before the period did
            return 0;
        }
        m_records = block.data();
        m_remaining -= static_cast<std::int64_t>(got);
        m_progress.BarStep(m_remaining);
        return got;
    }
    // Records `index` to `index + count - 1` of the period read again from the file into
    // `bytes` (the stretch ends); false when the file no longer holds them.
    bool RecordsAt(std::int64_t index, std::size_t count, std::vector<std::uint8_t>& bytes) {
        bytes.resize(count * m_recordSize);
        const auto offset = static_cast<std::uint64_t>(m_start + 1 + index) * m_recordSize;
        return m_in.ReadAt(offset, bytes.data(), bytes.size()) == bytes.size();
    }
    // The second pass over memory: the progress bar, and whether to go on.
    bool Step(std::int64_t remaining) {
        if (m_keepGoing && !m_keepGoing()) {
            m_aborted = true;
            return false;
        }
        m_progress.BarStep(remaining);
        return true;
    }
    const std::uint8_t* Records() const { return m_records; }
    std::size_t RecordSize() const { return m_recordSize; }
    std::size_t ValueOffset() const { return m_valueOffset; }
    bool Aborted() const { return m_aborted; }
    bool Short() const { return m_short; }
    void Start() { m_progress.BarStart(m_total); }
    void End() { m_progress.BarEnd(); }

  private:
    ReadAhead m_in;
    ProgressSink& m_progress;
    const KeepGoing& m_keepGoing;
    std::size_t m_recordSize;
    std::size_t m_valueOffset;
    std::int64_t m_remaining = 0;
    std::int64_t m_start;
    std::int64_t m_total;
    const std::uint8_t* m_records = nullptr;
    bool m_aborted = false;
    bool m_short = false;
};

// (y1 - y0) / dt; a step of no time gives the limit with the sign of the change.
inline double Slope(double dy, double dt) {
    if (dt == 0.0) {
        return dy > 0.0 ? kDivisionLimit : (dy < 0.0 ? -kDivisionLimit : 0.0);
    }
    return dy / dt;
}

MathOutcome Finish(MathOutcome outcome, PeriodStream& in, ResultWriter& out, const MathRequest& r,
                   Notifier& notifier) {
    in.End();
    if (in.Aborted()) {
        out.Discard();
        outcome.aborted = true;
        return outcome;
    }
    if (in.Short()) {
        out.Discard();
        ShowErrorMsgText(notifier, kMsgBadFormat, r.source, 0);
        return outcome;
    }
    outcome.ok = out.Commit();
    return outcome;
}

// Runs `each(records, count, out)` over every block of the period; `each` writes its result
// records from `out` on and returns where they end. Returns the number of records written.
template <typename Each>
std::int64_t ForEachBlock(PeriodStream& in, WriteBehind& out, Each&& each) {
    std::int64_t records = 0;
    while (const std::size_t got = in.Next()) {
        std::uint8_t* const begin = out.Buffer();
        const std::uint8_t* const end = each(in.Records(), got, begin);
        const auto used = static_cast<std::size_t>(end - begin);
        records += static_cast<std::int64_t>(used / kResultRecord);
        if (used > 0) {
            out.Submit(used);
        }
    }
    return records;
}

// Backward differences or the trapezoid sums, stamped with the later sample's time.
std::int64_t DifferentiateOrIntegrate(PeriodStream& in, WriteBehind& out, bool integrate) {
    const std::size_t size = in.RecordSize();
    const std::size_t at = in.ValueOffset();
    bool first = true;
    double y0 = 0.0;
    double t0 = 0.0;
    double area = 0.0;
    return ForEachBlock(in, out, [&](const std::uint8_t* rec, std::size_t n, std::uint8_t* dst) {
        std::size_t i = 0;
        if (first && n > 0) {
            t0 = SecondsOf(rec);
            y0 = Real6::Decode(rec + at);
            first = false;
            i = 1;
            rec += size;
        }
        for (; i < n; ++i, rec += size) {
            const double t1 = SecondsOf(rec);
            const double y1 = Real6::Decode(rec + at);
            if (integrate) {
                area += (t1 - t0) * (y0 + y1) * 0.5;
                PutResult(dst, rec, area);
            } else {
                PutResult(dst, rec, Slope(y1 - y0, t1 - t0));
            }
            dst += kResultRecord;
            y0 = y1;
            t0 = t1;
        }
        return dst;
    });
}

// 0 - y: for a Real6 that is its bytes with the sign bit (bit 7 of the last byte) turned over,
// and 0 (exponent byte 0, whatever the other bytes hold) stays all zero bytes.
std::int64_t Invert(PeriodStream& in, WriteBehind& out) {
    const std::size_t size = in.RecordSize();
    const std::size_t at = in.ValueOffset();
    return ForEachBlock(in, out, [&](const std::uint8_t* rec, std::size_t n, std::uint8_t* dst) {
        for (std::size_t i = 0; i < n; ++i, rec += size, dst += kResultRecord) {
            std::memcpy(dst, rec, 6);
            const std::uint8_t* v = rec + at;
            if (v[0] == 0) {
                std::memset(dst + 6, 0, 6);
            } else {
                std::memcpy(dst + 6, v, 6);
                dst[11] ^= 0x80;
            }
        }
        return dst;
    });
}

// The moving average over F samples, stamped with the time of the window's middle sample.
std::int64_t Smooth(PeriodStream& in, WriteBehind& out, int factor) {
    const std::size_t size = in.RecordSize();
    const std::size_t at = in.ValueOffset();
    const auto f = static_cast<std::size_t>(factor);
    const auto divisor = static_cast<double>(f);
    // The window's values and times in a ring, and their running sum.
    std::vector<double> ring(f);
    std::vector<TimeField> ringTimes(f);
    std::size_t filled = 0;
    std::size_t pos = 0;  // where the next sample goes; the oldest once the ring is full
    double sum = 0.0;
    std::int64_t sinceResum = 0;
    return ForEachBlock(in, out, [&](const std::uint8_t* rec, std::size_t n, std::uint8_t* dst) {
        for (std::size_t i = 0; i < n; ++i, rec += size) {
            const double v = Real6::Decode(rec + at);
            if (filled == f) {
                sum -= ring[pos];
            } else {
                ++filled;
            }
            ring[pos] = v;
            std::memcpy(ringTimes[pos].bytes.data(), rec, 6);
            sum += v;
            if (++pos == f) {
                pos = 0;
            }
            if (filled < f) {
                continue;
            }
            // Rounding of the running sum is bounded by summing the window afresh now and
            // then, oldest sample first.
            if (++sinceResum >= kResumInterval) {
                sinceResum = 0;
                sum = 0.0;
                for (std::size_t j = pos; j < f; ++j) {
                    sum += ring[j];
                }
                for (std::size_t j = 0; j < pos; ++j) {
                    sum += ring[j];
                }
            }
            // pos is now the oldest; the middle sample lies F div 2 after it.
            std::size_t middle = pos + f / 2;
            if (middle >= f) {
                middle -= f;
            }
            PutResult(dst, ringTimes[middle].bytes.data(), sum / divisor);
            dst += kResultRecord;
        }
        return dst;
    });
}

MathOutcome RunWaveFunction(const MathRequest& r, PeriodStream& in, Notifier& notifier) {
    MathOutcome outcome;
    const std::string unit =
        ResultUnit(r.function,
                   r.layout.units[static_cast<std::size_t>(
                       r.layout.layout == WaveLayout::OneColumn ? 0 : std::clamp(r.column, 0, 3))]);
    WaveFileHeader ref = ReferenceHeader(WaveLayout::OneColumn);
    ref.version = r.layout.version;
    const auto header = MakeHeader1(ref, {unit, kAbsentUnit, kAbsentUnit, kAbsentUnit});
    ResultWriter file(r.target, notifier);
    if (!file.Begin(r.protectedFiles, header.data(), header.size())) {
        return outcome;
    }
    in.Start();
    {
        WriteBehind out(file, kBlock * kResultRecord);
        switch (r.function) {
            case MathFunction::Differentiate:
            case MathFunction::Integrate:
                outcome.records =
                    DifferentiateOrIntegrate(in, out, r.function == MathFunction::Integrate);
                break;
            case MathFunction::Invert:
                outcome.records = Invert(in, out);
                break;
            case MathFunction::Smooth:
                outcome.records = Smooth(in, out, r.smoothing);
                break;
            case MathFunction::Distribution:
                break;
        }
        out.Finish();
    }
    return Finish(outcome, in, file, r, notifier);
}

// The value of the Real6 in the upper six bytes of `raw`, a little-endian load that starts two
// bytes before it (so that a record's last value is read without passing its end). The same
// value as Real6::Decode, with no branch: an exponent byte of 0 masks the whole value to 0.
inline double DecodeUpper6(std::uint64_t raw) {
    const std::uint64_t exponent = (raw >> 16) & 0xFF;
    const std::uint64_t field = raw >> 24;
    constexpr std::uint64_t kFraction = (std::uint64_t{1} << 39) - 1;
    const std::uint64_t bits =
        (field >> 39) << 63 | (exponent + 1023 - 129) << 52 | (field & kFraction) << 13;
    return std::bit_cast<double>(bits & (std::uint64_t{0} - (exponent != 0)));
}

// The sample of the record at `rec`, whose value lies at `at` (at least 2).
inline double SampleAt(const std::uint8_t* rec, std::size_t at) {
    std::uint64_t raw;
    std::memcpy(&raw, rec + at - 2, 8);
    if constexpr (std::endian::native == std::endian::big) {
        raw = __builtin_bswap64(raw);
    }
    return DecodeUpper6(raw);
}

#if defined(__SSE2__)
// The 8 bytes at `a` and at `b`, one in each half of a register.
inline __m128i Load2(const std::uint8_t* a, const std::uint8_t* b) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)));
}

// DecodeUpper6 of both halves: the same bits, lane by lane.
inline __m128d Decode2(__m128i raw) {
    const __m128i exponent = _mm_and_si128(_mm_srli_epi64(raw, 16), _mm_set1_epi64x(0xFF));
    const __m128i sign =
        _mm_and_si128(raw, _mm_set1_epi64x(std::bit_cast<long long>(std::uint64_t{1} << 63)));
    // The 39 fraction bits, from bit 24 of the load to bit 13 of the double.
    const __m128i fraction = _mm_and_si128(
        _mm_srli_epi64(raw, 11),
        _mm_set1_epi64x(static_cast<long long>(((std::uint64_t{1} << 39) - 1) << 13)));
    const __m128i biased =
        _mm_add_epi64(_mm_slli_epi64(exponent, 52),
                      _mm_set1_epi64x(static_cast<long long>(std::uint64_t{1023 - 129} << 52)));
    const __m128i bits = _mm_or_si128(_mm_or_si128(sign, fraction), biased);
    // Exponent byte 0 is the value 0: the lane's low half compared, spread over the lane.
    __m128i zero = _mm_cmpeq_epi32(exponent, _mm_setzero_si128());
    zero = _mm_shuffle_epi32(zero, _MM_SHUFFLE(2, 2, 0, 0));
    return _mm_castsi128_pd(_mm_andnot_si128(zero, bits));
}

// Samples i and i + 1 of the records from `rec` on (the value at `at`, at least 2).
inline __m128d SamplePairAt(const std::uint8_t* rec, std::size_t size, std::size_t at,
                            std::size_t i) {
    const std::uint8_t* p = rec + i * size + at - 2;
    return Decode2(Load2(p, p + size));
}
#endif

// The largest and smallest sample of the first pass, and the samples kept for the second,
// rounded to singles (the second pass goes back to the file for the few that lie too near an
// edge to be classed by their single). Two accumulators of each halve the chains of dependent
// comparisons; the extremes do not depend on the order the samples are looked at in (a decoded
// sample is never NaN nor -0).
class Extremes {
  public:
    Extremes(double min, double max) : m_lo{min, min}, m_hi{max, max} {}

    // `n` records from `rec` on (`size` bytes each, the value at `at`); their values go to
    // `keep` when kKeep.
    template <bool kKeep>
    void Add(const std::uint8_t* rec, std::size_t n, std::size_t size, std::size_t at,
             float* keep) {
        std::size_t i = 0;
#if defined(__SSE2__)
        __m128d lo0 = _mm_set_pd(m_lo[1], m_lo[0]);
        __m128d hi0 = _mm_set_pd(m_hi[1], m_hi[0]);
        __m128d lo1 = lo0;
        __m128d hi1 = hi0;
        for (; i + 4 <= n; i += 4) {
            const __m128d a = SamplePairAt(rec, size, at, i);
            const __m128d b = SamplePairAt(rec, size, at, i + 2);
            if constexpr (kKeep) {
                _mm_storel_pi(reinterpret_cast<__m64*>(keep + i), _mm_cvtpd_ps(a));
                _mm_storel_pi(reinterpret_cast<__m64*>(keep + i + 2), _mm_cvtpd_ps(b));
            }
            lo0 = _mm_min_pd(lo0, a);
            hi0 = _mm_max_pd(hi0, a);
            lo1 = _mm_min_pd(lo1, b);
            hi1 = _mm_max_pd(hi1, b);
        }
        double lo[4];
        double hi[4];
        _mm_storeu_pd(lo, lo0);
        _mm_storeu_pd(lo + 2, lo1);
        _mm_storeu_pd(hi, hi0);
        _mm_storeu_pd(hi + 2, hi1);
        m_lo = {std::min(lo[0], lo[2]), std::min(lo[1], lo[3])};
        m_hi = {std::max(hi[0], hi[2]), std::max(hi[1], hi[3])};
#endif
        for (; i + 2 <= n; i += 2) {
            Scalar<kKeep>(rec + i * size, at, keep, i, 0);
            Scalar<kKeep>(rec + (i + 1) * size, at, keep, i + 1, 1);
        }
        if (i < n) {
            Scalar<kKeep>(rec + i * size, at, keep, i, 0);
        }
    }
    void Result(double& min, double& max) const {
        min = std::min(m_lo[0], m_lo[1]);
        max = std::max(m_hi[0], m_hi[1]);
    }

  private:
    template <bool kKeep>
    void Scalar(const std::uint8_t* rec, std::size_t at, float* keep, std::size_t i,
                std::size_t k) {
        const double v = SampleAt(rec, at);
        if constexpr (kKeep) {
            keep[i] = static_cast<float>(v);
        }
        m_lo[k] = std::min(m_lo[k], v);
        m_hi[k] = std::max(m_hi[k], v);
    }

    std::array<double, 2> m_lo;
    std::array<double, 2> m_hi;
};

// The period's values decoded by the first pass, as singles, for the second, when they fit the
// budget; empty otherwise (also when the memory could not be had): then the file is read again.
// Half the bytes of doubles is half the fresh memory the system has to clear, which cost more
// than all the counting.
LargePages<float> KeptValues(std::int64_t n, std::uint64_t budget) {
    if (n <= 0 || static_cast<std::uint64_t>(n) > budget / sizeof(float)) {
        return nullptr;
    }
    return MakeLargePages<float>(static_cast<std::size_t>(n));
}

// The counts of the second pass. Neighbouring samples mostly fall into the same class: counting
// them in turn in four tables spares each increment the wait for the one before. Slot 255 takes
// the samples not below e[255], which count nowhere.
class ClassCounts {
  public:
    // The `n` kept singles at `v`, the samples `first` on: each counted in its class unless
    // it lies too near an edge, where its sample number goes to `unsure`. False (and the
    // counts incomplete) as soon as `unsure` would hold more than `limit`.
    bool AddRounded(const DistributionClasses& classes, const float* v, std::size_t n,
                    std::size_t first, std::vector<std::size_t>& unsure, std::size_t limit) {
        std::size_t i = 0;
#if defined(__SSE2__)
        for (; i + 4 <= n; i += 4) {
            std::size_t j[4];
            const __m128 four = _mm_loadu_ps(v + i);
            classes.OfRounded2(_mm_cvtps_pd(four), j[0], j[1]);
            classes.OfRounded2(_mm_cvtps_pd(_mm_movehl_ps(four, four)), j[2], j[3]);
            if ((j[0] | j[1] | j[2] | j[3]) < DistributionClasses::kUnsure) {
                ++m_tables[0][j[0]];
                ++m_tables[1][j[1]];
                ++m_tables[2][j[2]];
                ++m_tables[3][j[3]];
                continue;
            }
            for (std::size_t k = 0; k < 4; ++k) {
                if (!Count(j[k], first + i + k, unsure, limit)) {
                    return false;
                }
            }
        }
#endif
        for (; i < n; ++i) {
            if (!Count(classes.OfRounded(v[i]), first + i, unsure, limit)) {
                return false;
            }
        }
        return true;
    }
    // The samples of `n` records from `rec` on (`size` bytes each, the value at `at`).
    void AddRecords(const DistributionClasses& classes, const std::uint8_t* rec, std::size_t n,
                    std::size_t size, std::size_t at) {
        Add(
            classes, n, [rec, size, at](std::size_t i) { return SampleAt(rec + i * size, at); },
#if defined(__SSE2__)
            [rec, size, at](std::size_t i) { return SamplePairAt(rec, size, at, i); }
#else
            nullptr
#endif
        );
    }
    std::array<std::int64_t, kDistributionClasses> Total() const {
        std::array<std::int64_t, kDistributionClasses> counts{};
        for (std::size_t j = 0; j + 1 < counts.size(); ++j) {
            counts[j] = m_tables[0][j] + m_tables[1][j] + m_tables[2][j] + m_tables[3][j];
        }
        return counts;  // class 255 stays 0
    }

  private:
    bool Count(std::size_t j, std::size_t sample, std::vector<std::size_t>& unsure,
               std::size_t limit) {
        if (j < DistributionClasses::kUnsure) {
            ++m_tables[0][j];
            return true;
        }
        if (unsure.size() >= limit) {
            return false;
        }
        unsure.push_back(sample);
        return true;
    }

    // `sample(i)` gives sample i of `n`, `pair(i)` samples i and i + 1 in one register.
    template <typename Sample, typename Pair>
    void Add(const DistributionClasses& classes, std::size_t n, Sample&& sample,
             [[maybe_unused]] Pair&& pair) {
        std::size_t i = 0;
        if (classes.Guessed()) {
#if defined(__SSE2__)
            for (; i + 4 <= n; i += 4) {
                std::size_t j[4];
                classes.OfGuessed2(pair(i), j[0], j[1]);
                classes.OfGuessed2(pair(i + 2), j[2], j[3]);
                ++m_tables[0][j[0]];
                ++m_tables[1][j[1]];
                ++m_tables[2][j[2]];
                ++m_tables[3][j[3]];
            }
#endif
            Run(i, n, sample, [&](double y) { return classes.OfGuessed(y); });
        } else {
            Run(i, n, sample, [&](double y) { return classes.Search(y); });
        }
    }
    template <typename Sample, typename ClassOf>
    void Run(std::size_t i, std::size_t n, Sample& sample, ClassOf&& classOf) {
        for (; i + 4 <= n; i += 4) {
            ++m_tables[0][classOf(sample(i))];
            ++m_tables[1][classOf(sample(i + 1))];
            ++m_tables[2][classOf(sample(i + 2))];
            ++m_tables[3][classOf(sample(i + 3))];
        }
        for (; i < n; ++i) {
            ++m_tables[0][classOf(sample(i))];
        }
    }

    std::array<std::array<std::int64_t, kDistributionClasses>, 4> m_tables{};
};

// The second pass over the `n` kept singles: the counts of those that lie clear of the edges,
// and the sample numbers of the others. The file's reading thread has ended, so the upper half
// is counted on a thread of its own while this one counts the lower half and keeps the progress
// bar (both halves advance alike) and "Abbruch"; on this thread alone when no thread can be
// started. Incomplete when stopped, or when more samples lie near an edge than reading them
// one by one from the file would be worth (the values of an instrument's converter can all
// sit on the edges): then the file is read again instead.
struct KeptCounts {
    std::array<std::int64_t, kDistributionClasses> counts{};
    std::vector<std::size_t> unsure;
    bool complete = false;
};

KeptCounts CountKeptValues(const DistributionClasses& classes, const float* v, std::size_t n,
                           PeriodStream& in) {
    const std::size_t limit = n / 4096 + 64;  // a few milliseconds of single reads
    const std::size_t lower = n / 2;
    std::atomic<bool> stop = false;
    ClassCounts upperTally;
    std::vector<std::size_t> upperUnsure;
    bool upperComplete = false;
    std::thread upper;
    if (lower >= kBlock) {
        try {
            upper = std::thread([&, from = lower] {
                for (std::size_t done = from; done < n; done += kBlock) {
                    if (stop.load(std::memory_order_relaxed) ||
                        !upperTally.AddRounded(classes, v + done, std::min(kBlock, n - done), done,
                                               upperUnsure, limit / 2)) {
                        stop = true;
                        return;
                    }
                }
                upperComplete = true;
            });
        } catch (const std::system_error&) {
        }
    }
    const std::size_t mine = upper.joinable() ? lower : n;
    const std::size_t factor = upper.joinable() ? 2 : 1;
    ClassCounts tally;
    KeptCounts result;
    bool complete = true;
    for (std::size_t done = 0; done < mine; done += kBlock) {
        const std::size_t got = std::min(kBlock, mine - done);
        if (stop.load(std::memory_order_relaxed) ||
            !in.Step(static_cast<std::int64_t>(factor * (mine - done - got))) ||
            !tally.AddRounded(classes, v + done, got, done, result.unsure,
                              upper.joinable() ? limit / 2 : limit)) {
            complete = false;
            stop = true;
            break;
        }
    }
    if (upper.joinable()) {
        upper.join();
        complete = complete && upperComplete;
        result.unsure.insert(result.unsure.end(), upperUnsure.begin(), upperUnsure.end());
    }
    result.complete = complete;
    result.counts = tally.Total();
    const auto others = upperTally.Total();
    for (std::size_t j = 0; j < result.counts.size(); ++j) {
        result.counts[j] += others[j];
    }
    return result;
}

// Counts the samples `unsure` (ascending) from their records in the file. Such samples come in
// runs where a slow signal crosses an edge: neighbours are read together.
bool CountFromFile(const DistributionClasses& classes, const std::vector<std::size_t>& unsure,
                   PeriodStream& in, std::array<std::int64_t, kDistributionClasses>& counts) {
    constexpr std::size_t kSpan = 1024;  // records read at once at most
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < unsure.size();) {
        const std::size_t first = unsure[i];
        std::size_t end = i + 1;
        while (end < unsure.size() && unsure[end] - first < kSpan) {
            ++end;
        }
        if (!in.RecordsAt(static_cast<std::int64_t>(first), unsure[end - 1] - first + 1, bytes)) {
            return false;
        }
        for (; i < end; ++i) {
            const std::size_t j = classes.Of(
                SampleAt(bytes.data() + (unsure[i] - first) * in.RecordSize(), in.ValueOffset()));
            counts[j] += j + 1 < counts.size() ? 1 : 0;  // the last slot counts nowhere
        }
    }
    return true;
}

MathOutcome RunDistribution(const MathRequest& r, PeriodStream& in, Notifier& notifier) {
    MathOutcome outcome;
    in.Start();
    const std::size_t size = in.RecordSize();
    const std::size_t at = in.ValueOffset();
    const LargePages<float> kept = KeptValues(r.period.n, r.memoryBudget);
    std::size_t keptCount = 0;
    std::optional<BackgroundPrepare> prepare;
    if (kept) {
        prepare.emplace(kept.get(), static_cast<std::size_t>(r.period.n) * sizeof(float));
    }
    double max = Real6::FromDouble(-1.0e37).ToDouble();
    double min = Real6::FromDouble(1.0e37).ToDouble();
    Extremes extremes{min, max};
    while (const std::size_t got = in.Next()) {
        if (kept && keptCount + got <= static_cast<std::size_t>(r.period.n)) {
            PrepareLargePages(kept.get() + keptCount, got * sizeof(float));
            extremes.Add<true>(in.Records(), got, size, at, kept.get() + keptCount);
            keptCount += got;
        } else {
            extremes.Add<false>(in.Records(), got, size, at, nullptr);
        }
    }
    extremes.Result(min, max);
    prepare.reset();
    std::array<std::int64_t, kDistributionClasses> counts{};
    const auto edges = DistributionEdges(min, max);
    if (!in.Aborted() && !in.Short()) {
        const DistributionClasses classes(edges, std::max(std::abs(min), std::abs(max)));
        bool counted = false;
        if (kept && keptCount == static_cast<std::size_t>(r.period.n)) {
            KeptCounts k = CountKeptValues(classes, kept.get(), keptCount, in);
            counted = k.complete;
            if (counted && !CountFromFile(classes, k.unsure, in, k.counts)) {
                in.End();
                ShowErrorMsgText(notifier, kMsgBadFormat, r.source, 0);
                return outcome;
            }
            counts = k.counts;
        }
        if (!counted && !in.Aborted() && !in.Rewind(r)) {
            in.End();
            ShowErrorMsgText(notifier, in.ReadFailure(), r.source, 0);
            return outcome;
        }
        if (!counted && !in.Aborted()) {
            ClassCounts tally;
            while (const std::size_t got = in.Next()) {
                const std::uint8_t* rec = in.Records();
                tally.AddRecords(classes, rec, got, size, at);
            }
            counts = tally.Total();
        }
    }
    in.End();
    if (in.Aborted()) {
        outcome.aborted = true;  // nothing is written
        return outcome;
    }
    if (in.Short()) {
        ShowErrorMsgText(notifier, kMsgBadFormat, r.source, 0);
        return outcome;
    }
    const std::string unit = r.layout.units[static_cast<std::size_t>(
        r.layout.layout == WaveLayout::OneColumn ? 0 : std::clamp(r.column, 0, 3))];
    const auto header =
        MakeHeader4(ReferenceHeader(WaveLayout::Math), {unit, "cnt", kAbsentUnit, kAbsentUnit});
    ResultWriter file(r.target, notifier);
    if (!file.Begin(r.protectedFiles, header.data(), header.size())) {
        return outcome;
    }
    for (int i = 0; i < kDistributionClasses; ++i) {
        std::uint8_t rec[kFourColumnRecord] = {};
        std::memcpy(rec, header.data(), 6);
        const auto e = Real6::FromDouble(edges[static_cast<std::size_t>(i)]);
        const auto c = Real6::FromDouble(static_cast<double>(counts[static_cast<std::size_t>(i)]));
        std::memcpy(rec + 6, e.bytes.data(), 6);
        std::memcpy(rec + 12, c.bytes.data(), 6);
        file.Write(rec, sizeof rec);
    }
    outcome.records = kDistributionClasses;
    outcome.ok = file.Commit();
    return outcome;
}

}  // namespace

int ClampSmoothing(int factor) {
    factor = std::clamp(factor, kMinSmoothing, kMaxSmoothing);
    return factor % 2 == 0 ? factor - 1 : factor;
}

std::string ResultUnit(MathFunction function, const std::string& sourceUnit) {
    std::string unit = sourceUnit;
    if (function == MathFunction::Differentiate) {
        unit += "/s";
    } else if (function == MathFunction::Integrate) {
        unit += "*s";
    }
    return unit.substr(0, 4);
}

std::string ResultExtension(MathFunction function) {
    return function == MathFunction::Distribution ? ".MTH" : ".KTX";
}

std::array<double, kDistributionClasses> DistributionEdges(double min, double max) {
    double w = (max - min) * 0.00392156862745098;  // 1/255
    if (!(w > 0.0)) {
        w = 1.0;  // a constant source: every sample in one class
    }
    const double k0 = std::floor(min / w);
    std::array<double, kDistributionClasses> e{};
    for (int i = 0; i < kDistributionClasses; ++i) {
        e[static_cast<std::size_t>(i)] = w * k0 + w * static_cast<double>(i + 1);
    }
    return e;
}

int DistributionClass(const std::array<double, kDistributionClasses>& e, double y) {
    for (int j = 0; j + 1 < kDistributionClasses; ++j) {
        if (y < e[static_cast<std::size_t>(j + 1)]) {
            return j;
        }
    }
    return -1;
}

MathOutcome RunMath(const MathRequest& r, Notifier& notifier, ProgressSink& progress,
                    const KeepGoing& keepGoing) {
    if (UpperExtension(r.target) != ResultExtension(r.function)) {
        ShowErrorMsgText(notifier, kMsgBadFormat, r.target, 0);
        return {};
    }
    if (!r.period.valid) {
        return {};
    }
    MathRequest request = r;
    request.smoothing = ClampSmoothing(r.smoothing);
    // The window must lie inside the period: fewer samples than the factor leave nothing to
    // average without reading past the stretch.
    if (request.function == MathFunction::Smooth && request.period.n < request.smoothing) {
        ShowErrorMsgText(notifier, kMsgNoValidSelection,
                         "(Glättungsfaktor " + std::to_string(request.smoothing) + ", nur " +
                             std::to_string(request.period.n) + " Werte)",
                         0);
        return {};
    }
    PeriodStream in(request, progress, keepGoing);
    if (!in.Open(request, notifier)) {
        return {};
    }
    if (request.function == MathFunction::Distribution) {
        return RunDistribution(request, in, notifier);
    }
    return RunWaveFunction(request, in, notifier);
}

}  // namespace ktx

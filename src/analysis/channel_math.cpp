// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/channel_math.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <span>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include "analysis/read_ahead.h"
#include "analysis/record_bytes.h"
#include "analysis/result_writer.h"
#include "analysis/write_behind.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/real6.h"

namespace ktx {

namespace {

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
          m_total(r.period.n) {}

    bool Open(const MathRequest& r, Notifier& notifier) {
        if (!m_in.IsOpen()) {
            const FileError& e = m_in.OpenError();
            ShowErrorMsgText(notifier, e.Message(), e.Text(), 0);
            return false;
        }
        if (r.period.start + r.period.n > r.layout.DataRecords() || !Rewind(r)) {
            ShowErrorMsgText(notifier, kMsgBadFormat, r.source, 0);
            return false;
        }
        return true;
    }
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

// The class of `y` as DistributionClass gives it, with the first guess from a precomputed
// reciprocal of the width (the edges decide, so the guess only saves steps).
inline int ClassOf(const std::array<double, kDistributionClasses>& e, double inverseWidth,
                   double y) {
    // Limited to 0..254 before the conversion (no branches: minsd, maxsd); truncation is
    // floor there.
    const double guess = std::min(std::max((y - e[0]) * inverseWidth, 0.0), 254.0);
    auto j = static_cast<int>(guess);
    while (j > 0 && y < e[static_cast<std::size_t>(j)]) {
        --j;
    }
    while (j <= 254 && !(y < e[static_cast<std::size_t>(j + 1)])) {
        ++j;
    }
    return j <= 254 ? j : -1;
}

// The period's values decoded by the first pass, for the second, when they fit the budget;
// empty otherwise (also when the memory could not be had): then the file is read again.
// Fresh memory costs a page fault per page at its first store, which for small pages costs as
// much as the second read it saves: the buffer is asked for in 2 MB pages where the system
// has them.
struct FreeValues {
    void operator()(double* p) const { std::free(p); }
};
using KeptBuffer = std::unique_ptr<double[], FreeValues>;

KeptBuffer KeptValues(std::int64_t n, std::uint64_t budget) {
    if (n <= 0 || static_cast<std::uint64_t>(n) > budget / sizeof(double)) {
        return nullptr;
    }
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    const std::size_t bytes =
        (static_cast<std::size_t>(n) * sizeof(double) + kLargePage - 1) / kLargePage * kLargePage;
    auto* values = static_cast<double*>(std::aligned_alloc(kLargePage, bytes));
#ifdef MADV_HUGEPAGE
    if (values != nullptr) {
        madvise(values, bytes, MADV_HUGEPAGE);  // only a hint: small pages work as well
    }
#endif
    return KeptBuffer(values);
}

MathOutcome RunDistribution(const MathRequest& r, PeriodStream& in, Notifier& notifier) {
    MathOutcome outcome;
    in.Start();
    const std::size_t size = in.RecordSize();
    const std::size_t at = in.ValueOffset();
    const KeptBuffer kept = KeptValues(r.period.n, r.memoryBudget);
    std::size_t keptCount = 0;
    double max = Real6::FromDouble(-1.0e37).ToDouble();
    double min = Real6::FromDouble(1.0e37).ToDouble();
    // Two pairs of accumulators, in registers, halve the chains of dependent comparisons; the
    // largest and smallest value do not depend on the order they are looked at in.
    auto extremes = [&](const std::uint8_t* rec, std::size_t got, double* keep) {
        double hi1 = max;
        double lo1 = min;
        double hi2 = max;
        double lo2 = min;
        std::size_t i = 0;
        for (; i + 1 < got; i += 2, rec += 2 * size) {
            const double v = Real6::Decode(rec);
            const double w = Real6::Decode(rec + size);
            if (keep != nullptr) {
                keep[i] = v;
                keep[i + 1] = w;
            }
            hi1 = std::max(hi1, v);
            lo1 = std::min(lo1, v);
            hi2 = std::max(hi2, w);
            lo2 = std::min(lo2, w);
        }
        if (i < got) {
            const double v = Real6::Decode(rec);
            if (keep != nullptr) {
                keep[i] = v;
            }
            hi1 = std::max(hi1, v);
            lo1 = std::min(lo1, v);
        }
        max = std::max(hi1, hi2);
        min = std::min(lo1, lo2);
    };
    while (const std::size_t got = in.Next()) {
        if (kept && keptCount + got <= static_cast<std::size_t>(r.period.n)) {
            extremes(in.Records() + at, got, kept.get() + keptCount);
            keptCount += got;
        } else {
            extremes(in.Records() + at, got, nullptr);
        }
    }
    std::array<std::int64_t, kDistributionClasses> counts{};
    const auto edges = DistributionEdges(min, max);
    if (!in.Aborted() && !in.Short()) {
        const bool fromMemory = kept && keptCount == static_cast<std::size_t>(r.period.n);
        if (!fromMemory && !in.Rewind(r)) {
            in.End();
            ShowErrorMsgText(notifier, kMsgBadFormat, r.source, 0);
            return outcome;
        }
        const double width = edges[1] - edges[0];
        const double inverseWidth = width > 0.0 ? 1.0 / width : 0.0;
        // Neighbouring samples mostly fall into the same class: counting them alternately in
        // two tables spares each increment the wait for the one before. The extra class
        // (kDistributionClasses) takes the samples not below e[255], which count nowhere.
        std::array<std::array<std::int64_t, kDistributionClasses + 1>, 2> tables{};
        auto classOf = [&](double y) {
            const int j = ClassOf(edges, inverseWidth, y);
            return static_cast<std::size_t>(j >= 0 ? j : kDistributionClasses);
        };
        if (fromMemory) {
            const double* v = kept.get();
            auto remaining = static_cast<std::size_t>(r.period.n);
            while (remaining > 0 &&
                   in.Step(static_cast<std::int64_t>(remaining - std::min(remaining, kBlock)))) {
                const std::size_t got = std::min(remaining, kBlock);
                std::size_t i = 0;
                for (; i + 1 < got; i += 2) {
                    ++tables[0][classOf(v[i])];
                    ++tables[1][classOf(v[i + 1])];
                }
                if (i < got) {
                    ++tables[0][classOf(v[i])];
                }
                v += got;
                remaining -= got;
            }
        } else {
            while (const std::size_t got = in.Next()) {
                const std::uint8_t* rec = in.Records() + at;
                std::size_t i = 0;
                for (; i + 1 < got; i += 2, rec += 2 * size) {
                    ++tables[0][classOf(Real6::Decode(rec))];
                    ++tables[1][classOf(Real6::Decode(rec + size))];
                }
                if (i < got) {
                    ++tables[0][classOf(Real6::Decode(rec))];
                }
            }
        }
        for (std::size_t j = 0; j < counts.size(); ++j) {
            counts[j] = tables[0][j] + tables[1][j];
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
    const double w = e[1] - e[0];
    return ClassOf(e, w > 0.0 ? 1.0 / w : 0.0, y);
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

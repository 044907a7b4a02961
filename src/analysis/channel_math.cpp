// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/channel_math.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "analysis/result_writer.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/real6.h"

namespace ktx {

namespace {

constexpr int kMsgBadFormat = 12;
constexpr int kMsgNoValidSelection = 14;
constexpr std::size_t kBlock = 65536;
// Outputs of the running sum between two exact re-summations of the window.
constexpr std::int64_t kResumInterval = 1024;

// Blocks of samples from the period, with their times, and the progress bar over them.
class PeriodStream {
  public:
    PeriodStream(const MathRequest& r, ProgressSink& progress, const KeepGoing& keepGoing)
        : m_reader(r.source, r.layout, r.column),
          m_progress(progress),
          m_keepGoing(keepGoing),
          m_remaining(r.period.n),
          m_total(r.period.n),
          m_values(kBlock),
          m_times(kBlock) {}

    bool Open(const MathRequest& r, Notifier& notifier) {
        if (!m_reader.IsOpen()) {
            const FileError& e = m_reader.OpenError();
            ShowErrorMsgText(notifier, e.Message(), e.Text(), 0);
            return false;
        }
        if (r.period.start + r.period.n > r.layout.DataRecords() ||
            !m_reader.SeekRecord(r.period.start)) {
            ShowErrorMsgText(notifier, kMsgBadFormat, r.source, 0);
            return false;
        }
        return true;
    }
    // Back to the first sample of the period (the distribution's second pass).
    bool Rewind(const MathRequest& r) {
        m_remaining = r.period.n;
        return m_reader.SeekRecord(r.period.start);
    }

    // The next block; 0 at the end, on a short file (Short()) or when stopped (Aborted()).
    // `withTimes` false leaves Times() as it was (the distribution needs no times).
    std::size_t Next(bool withTimes = true) {
        if (m_remaining == 0) {
            return 0;
        }
        if (m_keepGoing && !m_keepGoing()) {
            m_aborted = true;
            return 0;
        }
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(m_remaining, kBlock));
        const std::size_t got =
            m_reader.Read(m_values.data(), withTimes ? m_times.data() : nullptr, want);
        m_remaining -= static_cast<std::int64_t>(got);
        if (got < want) {
            m_short = true;
        }
        m_progress.BarStep(m_remaining);
        return got;
    }
    const double* Values() const { return m_values.data(); }
    const TimeField* Times() const { return m_times.data(); }
    bool Aborted() const { return m_aborted; }
    bool Short() const { return m_short; }
    void Start() { m_progress.BarStart(m_total); }
    void End() { m_progress.BarEnd(); }

  private:
    SampleReader m_reader;
    ProgressSink& m_progress;
    const KeepGoing& m_keepGoing;
    std::int64_t m_remaining;
    std::int64_t m_total;
    std::vector<double> m_values;
    std::vector<TimeField> m_times;
    bool m_aborted = false;
    bool m_short = false;
};

// One-column records gathered into large writes.
class OneColumnOut {
  public:
    explicit OneColumnOut(ResultWriter& out) : m_out(out), m_buffer(kBlock * kOneColumnRecord) {}
    ~OneColumnOut() { Flush(); }
    void Add(const TimeField& t, double value) {
        const Real6 v = Real6::FromDouble(value);
        std::uint8_t* rec = m_buffer.data() + m_used;
        std::memcpy(rec, t.bytes.data(), 6);
        std::memcpy(rec + 6, v.bytes.data(), 6);
        m_used += kOneColumnRecord;
        ++m_records;
        if (m_used == m_buffer.size()) {
            Flush();
        }
    }
    void Flush() {
        if (m_used > 0) {
            m_out.Write(m_buffer.data(), m_used);
            m_used = 0;
        }
    }
    std::int64_t Records() const { return m_records; }

  private:
    ResultWriter& m_out;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;
    std::int64_t m_records = 0;
};

// (y1 - y0) / dt; a step of no time gives the limit with the sign of the change.
double Slope(double dy, double dt) {
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
        OneColumnOut out(file);
        bool first = true;
        double y0 = 0.0;
        double t0 = 0.0;
        double area = 0.0;
        // Smoothing: the window's values and times in a ring, and their running sum.
        const auto f = static_cast<std::size_t>(r.smoothing);
        std::vector<double> ring(r.function == MathFunction::Smooth ? f : 0);
        std::vector<TimeField> ringTimes(ring.size());
        std::size_t filled = 0;
        std::size_t pos = 0;  // where the next sample goes; the oldest once the ring is full
        double sum = 0.0;
        std::int64_t sinceResum = 0;

        while (const std::size_t got = in.Next()) {
            const double* v = in.Values();
            const TimeField* t = in.Times();
            for (std::size_t i = 0; i < got; ++i) {
                switch (r.function) {
                    case MathFunction::Invert:
                        out.Add(t[i], 0.0 - v[i]);
                        break;
                    case MathFunction::Differentiate:
                    case MathFunction::Integrate: {
                        const double t1 = TimeFieldToSeconds(t[i]);
                        if (!first) {
                            if (r.function == MathFunction::Differentiate) {
                                out.Add(t[i], Slope(v[i] - y0, t1 - t0));
                            } else {
                                area += (t1 - t0) * (y0 + v[i]) * 0.5;
                                out.Add(t[i], area);
                            }
                        }
                        first = false;
                        y0 = v[i];
                        t0 = t1;
                        break;
                    }
                    case MathFunction::Smooth: {
                        if (filled == f) {
                            sum -= ring[pos];
                        } else {
                            ++filled;
                        }
                        ring[pos] = v[i];
                        ringTimes[pos] = t[i];
                        sum += v[i];
                        pos = (pos + 1) % f;
                        if (filled == f) {
                            // Rounding of the running sum is bounded by summing the window
                            // afresh now and then.
                            if (++sinceResum >= kResumInterval) {
                                sinceResum = 0;
                                sum = 0.0;
                                for (std::size_t j = 0; j < f; ++j) {
                                    sum += ring[(pos + j) % f];
                                }
                            }
                            // pos is now the oldest; the middle sample lies F div 2 after it.
                            out.Add(ringTimes[(pos + f / 2) % f], sum / static_cast<double>(f));
                        }
                        break;
                    }
                    case MathFunction::Distribution:
                        break;
                }
            }
        }
        outcome.records = out.Records();
    }
    return Finish(outcome, in, file, r, notifier);
}

MathOutcome RunDistribution(const MathRequest& r, PeriodStream& in, Notifier& notifier) {
    MathOutcome outcome;
    in.Start();
    double max = Real6::FromDouble(-1.0e37).ToDouble();
    double min = Real6::FromDouble(1.0e37).ToDouble();
    while (const std::size_t got = in.Next(false)) {
        const double* v = in.Values();
        for (std::size_t i = 0; i < got; ++i) {
            max = std::max(max, v[i]);
            min = std::min(min, v[i]);
        }
    }
    std::array<std::int64_t, kDistributionClasses> counts{};
    const auto edges = DistributionEdges(min, max);
    if (!in.Aborted() && !in.Short()) {
        if (!in.Rewind(r)) {
            in.End();
            ShowErrorMsgText(notifier, kMsgBadFormat, r.source, 0);
            return outcome;
        }
        while (const std::size_t got = in.Next(false)) {
            const double* v = in.Values();
            for (std::size_t i = 0; i < got; ++i) {
                if (const int j = DistributionClass(edges, v[i]); j >= 0) {
                    ++counts[static_cast<std::size_t>(j)];
                }
            }
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
    // A first guess from the width, then the edges themselves decide, so the result is that of
    // the search for the first j with y < e[j + 1].
    const double w = e[1] - e[0];
    const double guess = w > 0.0 ? std::floor((y - e[0]) / w) : 0.0;
    int j = guess < 0.0 ? 0 : (guess > 254.0 ? 254 : static_cast<int>(guess));
    while (j > 0 && y < e[static_cast<std::size_t>(j)]) {
        --j;
    }
    while (j <= 254 && !(y < e[static_cast<std::size_t>(j + 1)])) {
        ++j;
    }
    return j <= 254 ? j : -1;
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

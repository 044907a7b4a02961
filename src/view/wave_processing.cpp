// SPDX-License-Identifier: GPL-3.0-or-later
// Compression, cut-out and period search on waveform files.
#include "view/wave_processing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "config/message_catalog.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "view/cursor_readouts.h"
#include "waveform/block_file.h"
#include "waveform/wave_stream.h"

namespace ktx {
namespace {

constexpr int kMsgInvalidFormat = 12;
constexpr int kMsgBadStart = 43;
constexpr int kStrCompressing = 10700;
constexpr int kStrCopyingRange = 10701;
constexpr int kStrCutOf = 10703;

constexpr std::int64_t kSampleBlocks = 79999;
constexpr std::int64_t kSampleLimit = 80000;
constexpr std::int64_t kPeakBlocks = 16000;
// Progress is reported when the count has dropped by more than this since the last report.
constexpr std::int64_t kProgressStep = 100;

double YAt(const std::uint8_t* record, int column) {
    return RecordY(record, column);
}

void PutY(std::uint8_t* record, int column, double y) {
    const Real6 r = Real6::FromDouble(y);
    std::memcpy(record + sizeof(TimeField) + sizeof(Real6) * static_cast<std::size_t>(column),
                r.bytes.data(), sizeof(Real6));
}

// Counts blocks down and reports whenever the count dropped by more than kProgressStep.
class CountDown {
  public:
    CountDown(ProgressSink& progress, std::int64_t total)
        : m_progress(progress), m_remaining(total), m_reported(total) {
        m_progress.BarStart(total);
    }
    void Step(std::int64_t by = 1) {
        m_remaining -= by;
        if (m_reported - m_remaining > kProgressStep) {
            m_reported = m_remaining;
            m_progress.BarStep(std::max<std::int64_t>(m_remaining, 0));
        }
    }
    void End() { m_progress.BarEnd(); }

  private:
    ProgressSink& m_progress;
    std::int64_t m_remaining;
    std::int64_t m_reported;
};

// Opens the target beside itself; `sources` are the files the operation reads, which it may
// not replace. Shows the reason when the target cannot be written.
bool BeginWrite(SafeWriter& out, const std::vector<std::string>& sources, Notifier& notifier) {
    if (!out.Begin(sources)) {
        ShowFileError(notifier, out.Error());
        return false;
    }
    return true;
}

bool FinishWrite(SafeWriter& out, Notifier& notifier) {
    if (!out.Commit()) {
        ShowFileError(notifier, out.Error());
        return false;
    }
    return true;
}

// Blocks of f source points, reduced by `emit` (sums and, for the envelope, maxima and minima
// per column, and the block's last record).
template <bool kEnvelope, typename Emit>
std::int64_t Compress(const std::string& source, const std::string& target, std::int64_t blocks,
                      std::int64_t limit, ProgressSink& progress, Notifier& notifier, Emit emit) {
    WaveStream in(source);
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return 0;
    }
    const std::int64_t records = in.Records();
    // A file shorter than one block per output point is copied point by point (f = 1) rather
    // than dividing by zero.
    std::int64_t f = std::max<std::int64_t>(1, records / blocks);
    std::int64_t m = records / f;
    if (m > limit) {
        ++f;
        m = records / f;
    }
    SafeWriter out(target);
    if (!BeginWrite(out, {source}, notifier)) {
        return 0;
    }
    out.Write(in.Header().data(), in.Header().size());
    CountDown countDown(progress, m);
    const int columns = in.Columns();
    const std::size_t stride = in.RecordBytes();
    // Points into the reader's chunk; the chunk is only refilled by the Next() that replaces
    // it, and at the end of the file the last record stays where it is.
    const std::uint8_t* last = nullptr;
    while (in.Remaining() > 0) {
        std::array<double, 4> sum{};
        std::array<double, 4> max;
        std::array<double, 4> min;
        if constexpr (kEnvelope) {
            max.fill(-1e37);
            min.fill(1e37);
        }
        std::int64_t need = f;
        while (need > 0 && in.Remaining() > 0) {
            std::int64_t got = 0;
            const std::uint8_t* run = in.NextRun(need, got);
            if (run == nullptr) {
                break;
            }
            for (int c = 0; c < columns; ++c) {
                // Two sums side by side: one chain of dependent additions would bound the loop.
                double even = 0.0;
                double odd = 0.0;
                const std::uint8_t* p = run;
                std::int64_t i = 0;
                for (; i + 1 < got; i += 2) {
                    const double a = YAt(p, c);
                    const double b = YAt(p + stride, c);
                    even += a;
                    odd += b;
                    if constexpr (kEnvelope) {
                        max[c] = std::max(max[c], std::max(a, b));
                        min[c] = std::min(min[c], std::min(a, b));
                    }
                    p += 2 * stride;
                }
                if (i < got) {
                    const double a = YAt(p, c);
                    even += a;
                    if constexpr (kEnvelope) {
                        max[c] = std::max(max[c], a);
                        min[c] = std::min(min[c], a);
                    }
                }
                sum[c] += even + odd;
            }
            last = run + static_cast<std::size_t>(got - 1) * stride;
            need -= got;
        }
        // The block in which the file ends is filled up with its last point.
        if (need > 0 && last != nullptr && in.Ok()) {
            for (int c = 0; c < columns; ++c) {
                const double y = YAt(last, c);
                sum[c] += y * static_cast<double>(need);
                if constexpr (kEnvelope) {
                    max[c] = std::max(max[c], y);
                    min[c] = std::min(min[c], y);
                }
            }
        }
        if (!in.Ok()) {
            break;
        }
        emit(out, last, columns, sum, max, min, f);
        if (!out.Ok()) {
            break;
        }
        countDown.Step();
    }
    countDown.End();
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return 0;
    }
    return FinishWrite(out, notifier) ? f : 0;
}

std::size_t RecordSize(int columns) {
    return columns == 1 ? kOneColumnRecord : kFourColumnRecord;
}

std::string Ratio(std::int64_t r) {
    return " 1:" + std::to_string(r);
}

}  // namespace

std::int64_t SampleCompress(const std::string& source, const std::string& target,
                            ProgressSink& progress, Notifier& notifier) {
    std::vector<std::uint8_t> rec;
    return Compress<false>(source, target, kSampleBlocks, kSampleLimit, progress, notifier,
                           [&rec](SafeWriter& out, const std::uint8_t* last, int columns,
                                  const std::array<double, 4>& sum, const std::array<double, 4>&,
                                  const std::array<double, 4>&, std::int64_t f) {
                               rec.assign(last, last + RecordSize(columns));
                               for (int c = 0; c < columns; ++c) {
                                   PutY(rec.data(), c, sum[c] / static_cast<double>(f));
                               }
                               out.Write(rec.data(), rec.size());
                           });
}

std::int64_t PeakCompress(const std::string& source, const std::string& target,
                          ProgressSink& progress, Notifier& notifier) {
    std::vector<std::uint8_t> mean;
    std::vector<std::uint8_t> high;
    std::vector<std::uint8_t> low;
    return Compress<true>(source, target, kPeakBlocks, kPeakBlocks, progress, notifier,
                          [&](SafeWriter& out, const std::uint8_t* last, int columns,
                              const std::array<double, 4>& sum, const std::array<double, 4>& max,
                              const std::array<double, 4>& min, std::int64_t f) {
                              mean.assign(last, last + RecordSize(columns));
                              high = low = mean;
                              for (int c = 0; c < columns; ++c) {
                                  PutY(mean.data(), c, sum[c] / static_cast<double>(f));
                                  PutY(high.data(), c, max[c]);
                                  PutY(low.data(), c, min[c]);
                              }
                              out.Write(mean.data(), mean.size());
                              out.Write(high.data(), high.size());
                              out.Write(mean.data(), mean.size());
                              out.Write(low.data(), low.size());
                              out.Write(mean.data(), mean.size());
                          });
}

namespace {

// The copy behind RangeCopy, the view's save and the cut-out: `guarded` are the files the
// target may not be.
bool CopyRange(const std::string& source, std::int64_t first, std::int64_t count,
               const std::string& target, const std::vector<std::string>& guarded,
               ProgressSink& progress, Notifier& notifier) {
    count = std::clamp<std::int64_t>(count, 0, kRangeCopyLimit);
    first = std::max<std::int64_t>(first, 0);
    WaveStream in(source);
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return false;
    }
    // A start beyond the last point would leave a file of nothing but a header, which no view
    // opens.
    if (first >= in.Records() - 1) {
        ShowErrorMsgText(notifier, kMsgBadStart, std::to_string(first), 0);
        return false;
    }
    SafeWriter out(target);
    if (!BeginWrite(out, guarded, notifier)) {
        return false;
    }
    out.Write(in.Header().data(), in.Header().size());
    CountDown countDown(progress, count);
    if (in.SeekPoint(first)) {
        for (std::int64_t i = 0; i < count && out.Ok(); ++i) {
            const std::uint8_t* r = in.Next();
            if (r == nullptr) {
                break;
            }
            out.Write(r, in.RecordBytes());
            countDown.Step();
        }
    }
    countDown.End();
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return false;
    }
    return FinishWrite(out, notifier);
}

}  // namespace

bool RangeCopy(const std::string& source, std::int64_t first, std::int64_t count,
               const std::string& target, ProgressSink& progress, Notifier& notifier) {
    return CopyRange(source, first, count, target, {source}, progress, notifier);
}

std::optional<PointSpan> SourceSpan(const RangeRequest& request, std::int64_t total) {
    if (total <= 0 || request.viewPointCount <= 0) {
        return std::nullopt;
    }
    const double scale = static_cast<double>(total) / request.viewPointCount;
    std::int64_t a = std::llround(request.cursor1 * scale);
    std::int64_t b = std::llround(request.cursor2 * scale);
    if (b < a) {
        std::swap(a, b);
    }
    return PointSpan{a, b - a};
}

bool SaveWaveformAs(const std::string& source, const std::string& target,
                    const std::optional<PointSpan>& span, ProgressSink& progress,
                    Notifier& notifier) {
    if (span) {
        return RangeCopy(source, span->first, span->count, target, progress, notifier);
    }
    return CopyWaveFile(source, target, notifier);
}

double MeanLevel(const WaveformRecord& record) {
    if (record.pointCount <= 0) {
        return 0.0;
    }
    double sum = 0.0;
    double first = record.yValues[0].ToDouble();
    bool constant = true;
    for (std::int32_t i = 0; i < record.pointCount; ++i) {
        const double y = record.yValues[static_cast<std::size_t>(i)].ToDouble();
        sum += y;
        constant = constant && y == first;
    }
    // The rounding of a long sum would leave a tiny offset in a constant signal, and its
    // integral would then cross its mid level and place the cursors at random.
    return constant ? first : sum / record.pointCount;
}

bool RemoveOffset(const std::string& source, const std::string& target, double level, int column,
                  Notifier& notifier) {
    WaveStream in(source);
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return false;
    }
    column = std::clamp(column, 0, in.Columns() - 1);
    SafeWriter out(target);
    if (!BeginWrite(out, {source}, notifier)) {
        return false;
    }
    out.Write(in.Header().data(), in.Header().size());
    std::vector<std::uint8_t> rec(in.RecordBytes());
    while (const std::uint8_t* r = in.Next()) {
        std::memcpy(rec.data(), r, rec.size());
        PutY(rec.data(), column, YAt(r, column) - level);
        out.Write(rec.data(), rec.size());
    }
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return false;
    }
    return FinishWrite(out, notifier);
}

bool Integrate(const std::string& source, const std::string& target, int column,
               const std::string& unit, ProgressSink& progress, Notifier& notifier,
               const std::function<void()>& pump) {
    WaveStream in(source);
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return false;
    }
    column = std::clamp(column, 0, in.Columns() - 1);
    SafeWriter out(target);
    if (!BeginWrite(out, {source}, notifier)) {
        return false;
    }
    WaveFileHeader ref = ReferenceHeader(WaveLayout::OneColumn);
    ref.version = HeaderVersion(in.Header().data());
    const auto header = MakeHeader1(ref, {unit, kAbsentUnit, kAbsentUnit, kAbsentUnit});
    out.Write(header.data(), header.size());

    const std::int64_t intervals = std::max<std::int64_t>(0, in.Remaining() - 1);
    progress.BarStart(intervals);
    double area = 0.0;
    double previousY = 0.0;
    double previousT = 0.0;
    std::int64_t index = 0;
    std::array<std::uint8_t, kOneColumnRecord> rec{};
    while (const std::uint8_t* r = in.Next()) {
        TimeField x;
        std::memcpy(x.bytes.data(), r, sizeof x);
        const double t = TimeFieldToSeconds(x);
        const double y = YAt(r, column);
        if (index > 0) {
            area += (previousY + y) * (t - previousT) * 0.5;
            std::memcpy(rec.data(), r, sizeof x);
            PutY(rec.data(), 0, area);
            out.Write(rec.data(), rec.size());
            if (index % 10 == 0) {
                progress.BarStep(intervals - index);
                if (pump) {
                    pump();
                }
            }
        }
        previousY = y;
        previousT = t;
        ++index;
    }
    progress.BarEnd();
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return false;
    }
    return FinishWrite(out, notifier);
}

std::optional<CursorPair> PlaceCursors(const std::string& integralFile, std::int32_t pointCount) {
    WaveStream in(integralFile);
    if (!in.Ok()) {
        return std::nullopt;
    }
    std::vector<double> y;
    y.reserve(static_cast<std::size_t>(std::max<std::int64_t>(0, in.Remaining())));
    while (const std::uint8_t* r = in.Next()) {
        y.push_back(YAt(r, 0));
    }
    if (!in.Ok()) {
        return std::nullopt;
    }
    double minimum = 0.0;
    double maximum = 0.0;
    if (!y.empty()) {
        const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
        minimum = *lo;
        maximum = *hi;
    }
    const double mid = (maximum - minimum) * 0.5 + minimum;
    std::array<std::int64_t, 10> crossing{};
    std::size_t kept = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double previous = y[i == 0 ? 0 : i - 1];
        if ((previous < mid && mid <= y[i]) || (previous > mid && mid >= y[i])) {
            // Later crossings only replace the last one kept.
            crossing[std::min<std::size_t>(kept, crossing.size() - 1)] =
                static_cast<std::int64_t>(i);
            kept = std::min<std::size_t>(kept + 1, crossing.size());
        }
    }
    // The integral's mid crossings lie a quarter period after the signal's zero crossings.
    auto fromCrossing = [&crossing](std::size_t k) {
        std::int64_t c1 = crossing[k];
        std::int64_t c2 = crossing[k + 2] > 0 ? crossing[k + 2]
                                              : crossing[k] + 2 * (crossing[k + 1] - crossing[k]);
        const std::int64_t q = std::llround(static_cast<double>(c2 - c1) * 0.25);
        return std::pair{c1 - q, c2 - q};
    };
    auto [c1, c2] = fromCrossing(0);
    if (c1 < 0 && crossing[2] > 0) {
        std::tie(c1, c2) = fromCrossing(1);
    }
    if (c1 < 0) {
        c2 -= c1;
        c1 = 0;
    }
    const std::int64_t last = std::max<std::int64_t>(0, pointCount - 1);
    c1 = std::clamp<std::int64_t>(c1, 0, last);
    c2 = std::clamp<std::int64_t>(c2, 0, last);
    return CursorPair{static_cast<std::int32_t>(c1), static_cast<std::int32_t>(c2)};
}

std::optional<CursorPair> PeriodSearch(const WaveformRecord& record, const PeriodFiles& files,
                                       ProgressSink& progress, Notifier& notifier,
                                       const std::function<void()>& pump) {
    const std::string& unit =
        record.units[static_cast<std::size_t>(std::clamp(record.column, 0, 3))];
    double level = MeanLevel(record);
    std::optional<CursorPair> cursors;
    for (int pass = 0; pass < 2; ++pass) {
        if (!RemoveOffset(record.fileName, files.offsetFile, level, record.column, notifier) ||
            !Integrate(files.offsetFile, files.integralFile, record.column, unit, progress,
                       notifier, pump)) {
            return std::nullopt;
        }
        cursors = PlaceCursors(files.integralFile, record.pointCount);
        if (!cursors) {
            ShowErrorMsg(notifier, kMsgInvalidFormat, 0);
            return std::nullopt;
        }
        // The second pass removes the mean of one period found by the first, which is free of
        // the bias an incomplete last period gives the mean of the whole record.
        level = StatisticsBetween(record, cursors->cursor1, cursors->cursor2).mean;
    }
    return cursors;
}

std::optional<ViewSetup> PlanDisplay(const std::string& file, const std::string& displayName,
                                     bool sampleAxis, const std::string& compressionFile,
                                     ProgressSink& progress, Notifier& notifier,
                                     const StatusText& status) {
    const std::int64_t count = CountWaveFile(file);
    if (count == 0) {
        ShowErrorMsg(notifier, kMsgInvalidFormat, 0);
        return std::nullopt;
    }
    ViewSetup setup;
    setup.sampleAxis = sampleAxis;
    if (count <= kDisplayLimit) {
        setup.file = file;
        setup.caption = displayName;
        return setup;
    }
    if (status) {
        status(std::string(MessageCatalog::String(kStrCompressing)));
    }
    const std::int64_t f = SampleCompress(file, compressionFile, progress, notifier);
    if (status) {
        status({});
    }
    if (f <= 0) {
        return std::nullopt;
    }
    setup.file = compressionFile;
    setup.caption = displayName + Ratio(f);
    setup.compressed = true;
    setup.cursorLock = static_cast<std::int32_t>(kDisplayLimit / f - 1);
    setup.sourceFile = file;
    setup.displayName = displayName;
    return setup;
}

std::optional<ViewSetup> HandleRecompression(const RecompressionRequest& request,
                                             const std::string& compressionFile,
                                             ProgressSink& progress, Notifier& notifier,
                                             const StatusText& status) {
    if (status) {
        status(std::string(MessageCatalog::String(kStrCompressing)));
    }
    const std::int64_t f =
        request.peakMode ? PeakCompress(request.sourceFile, compressionFile, progress, notifier)
                         : SampleCompress(request.sourceFile, compressionFile, progress, notifier);
    if (status) {
        status({});
    }
    if (f <= 0) {
        return std::nullopt;
    }
    // A peak view of a short file has f < 5: its ratio is 1, not a division by zero.
    const std::int64_t ratio = request.peakMode ? std::max<std::int64_t>(1, f / 5) : f;
    ViewSetup setup;
    setup.file = compressionFile;
    setup.caption = request.displayName + Ratio(ratio);
    setup.sampleAxis = request.kind == 4;
    setup.compressed = true;
    setup.peakMode = request.peakMode;
    setup.cursorLock = static_cast<std::int32_t>(kDisplayLimit / ratio - 1);
    setup.sourceFile = request.sourceFile;
    setup.displayName = request.displayName;
    return setup;
}

std::string CutCaption(const std::string& displayName, std::int64_t count, std::int64_t total) {
    const double p =
        total > 0 ? static_cast<double>(count) * 100.0 / static_cast<double>(total) : 0.0;
    std::string percent;
    if (std::llround(p) > 0) {
        percent = std::to_string(std::llround(p));
    } else {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%5.3f", p);
        percent = buf;
    }
    return std::string(MessageCatalog::String(kStrCutOf)) + displayName + " " + percent + "%";
}

RangeResult HandleRangeRequest(const RangeRequest& request, const std::string& compressionFile,
                               ProgressSink& progress, Notifier& notifier,
                               const StatusText& status) {
    RangeResult result;
    const std::int64_t total = CountWaveFile(request.sourceFile);
    const std::optional<PointSpan> span = SourceSpan(request, total);
    if (!span) {
        ShowErrorMsg(notifier, kMsgInvalidFormat, 0);
        return result;
    }
    if (status) {
        status(std::string(MessageCatalog::String(kStrCopyingRange)));
    }
    // The compression file is the program's own: a cut-out of a cut-out replaces it by a copy
    // of part of itself, read completely before the new file takes its place.
    result.ok = CopyRange(request.sourceFile, span->first, span->count, compressionFile, {},
                          progress, notifier);
    if (status) {
        status({});
    }
    if (!result.ok || request.kind == 0) {
        return result;
    }
    // Caption and position bar tell what the cut-out holds: RangeCopy stops after 79 999
    // points and at the end of the source.
    const std::int64_t held =
        std::max<std::int64_t>(
            0, std::min({span->count, kRangeCopyLimit, total - 1 - span->first}));
    ViewSetup setup;
    setup.file = compressionFile;
    setup.caption = CutCaption(request.displayName, held, total);
    setup.sampleAxis = request.kind == 4;
    setup.sourceCount = total;
    setup.cutStart = span->first;
    setup.cutEnd = span->first + held;
    result.view = setup;
    return result;
}

}  // namespace ktx

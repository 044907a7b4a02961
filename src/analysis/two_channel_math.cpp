// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/two_channel_math.h"

#include <algorithm>
#include <cstring>

#include "analysis/channel_math.h"
#include "analysis/result_writer.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/real6.h"

namespace ktx {

namespace {

constexpr int kMsgBadFormat = 12;
constexpr int kMsgLengthsDiffer = 309;
constexpr std::size_t kBlock = 65536;
// The operator characters by function index; the fifth belongs to no function.
constexpr char kOperators[] = "+-*/@";

}  // namespace

const std::string& Math2Source::Unit() const {
    return layout.units[static_cast<std::size_t>(
        layout.layout == WaveLayout::OneColumn ? 0 : std::clamp(column, 0, 3))];
}

std::string Math2Unit(Math2Function function, const std::string& unit1, const std::string& unit2) {
    if (function == Math2Function::Add || function == Math2Function::Subtract) {
        return unit1;
    }
    return (unit1 + kOperators[static_cast<int>(function)] + unit2).substr(0, 4);
}

double Math2Value(Math2Function function, double a, double b) {
    double r = 0.0;
    switch (function) {
        case Math2Function::Add:
            r = a + b;
            break;
        case Math2Function::Subtract:
            r = a - b;
            break;
        case Math2Function::Multiply:
            r = a * b;
            break;
        case Math2Function::Divide:
            // Negative divisors divide like positive ones; only 0 has no quotient.
            r = b != 0.0 ? a / b : kDivisionLimit;
            break;
    }
    return std::clamp(r, -kDivisionLimit, kDivisionLimit);
}

Math2Outcome RunMath2(const Math2Request& r, Notifier& notifier, ProgressSink& progress,
                      const KeepGoing& keepGoing) {
    Math2Outcome outcome;
    if (UpperExtension(r.target) != ".KTX") {
        ShowErrorMsgText(notifier, kMsgBadFormat, r.target, 0);
        return outcome;
    }
    SampleReader in1(r.source1.file, r.source1.layout, r.source1.column);
    SampleReader in2(r.source2.file, r.source2.layout, r.source2.column);
    for (const SampleReader* in : {&in1, &in2}) {
        if (!in->IsOpen()) {
            const FileError& e = in->OpenError();
            ShowErrorMsgText(notifier, e.Message(), e.Text(), 0);
            return outcome;
        }
    }
    std::int64_t n = r.source1.layout.DataRecords();
    if (r.source1.layout.records != r.source2.layout.records) {
        ShowInfoMsg(notifier, kMsgLengthsDiffer, 0);
        outcome.lengthsDiffer = true;
        n = std::min(r.source1.layout.records, r.source2.layout.records) - 1;
    }
    if (!in1.SeekRecord(0) || !in2.SeekRecord(0)) {
        ShowErrorMsgText(notifier, kMsgBadFormat, r.source1.file, 0);
        return outcome;
    }
    WaveFileHeader ref = ReferenceHeader(WaveLayout::OneColumn);
    ref.version = r.source1.layout.version;
    const auto header = MakeHeader1(ref, {Math2Unit(r.function, r.source1.Unit(), r.source2.Unit()),
                                          kAbsentUnit, kAbsentUnit, kAbsentUnit});
    ResultWriter file(r.target, notifier);
    if (!file.Begin(r.protectedFiles, header.data(), header.size())) {
        return outcome;
    }
    std::vector<double> a(kBlock);
    std::vector<double> b(kBlock);
    std::vector<TimeField> t(kBlock);
    std::vector<std::uint8_t> out(kBlock * kOneColumnRecord);
    std::int64_t done = 0;
    progress.BarStart(n);
    while (done < n) {
        if (keepGoing && !keepGoing()) {
            outcome.aborted = true;
            break;
        }
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(n - done, kBlock));
        const std::size_t got1 = in1.Read(a.data(), nullptr, want);
        const std::size_t got2 = in2.Read(b.data(), t.data(), want);
        const std::size_t got = std::min(got1, got2);
        std::uint8_t* rec = out.data();
        for (std::size_t i = 0; i < got; ++i, rec += kOneColumnRecord) {
            std::memcpy(rec, t[i].bytes.data(), 6);
            std::memcpy(rec + 6, Real6::FromDouble(Math2Value(r.function, a[i], b[i])).bytes.data(),
                        6);
        }
        file.Write(out.data(), got * kOneColumnRecord);
        done += static_cast<std::int64_t>(got);
        if (got < want) {
            break;
        }
        progress.BarStep(n - done);
    }
    progress.BarEnd();
    if (outcome.aborted) {
        file.Discard();
        return outcome;
    }
    if (done < n) {
        file.Discard();
        ShowErrorMsgText(notifier, kMsgBadFormat, r.source1.file, 0);
        return outcome;
    }
    outcome.records = done;
    outcome.ok = file.Commit();
    return outcome;
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/two_channel_math.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "analysis/channel_math.h"
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
constexpr int kMsgLengthsDiffer = 309;
constexpr std::size_t kBlock = 65536;
// The operator characters by function index; the fifth belongs to no function.
constexpr char kOperators[] = "+-*/@";

std::size_t ValueOffset(const Math2Source& s) {
    return s.layout.layout == WaveLayout::OneColumn
               ? 6
               : 6 + 6 * static_cast<std::size_t>(std::clamp(s.column, 0, 3));
}

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

namespace {

// The records of both sources block by block, combined by `op` into result records stamped
// with source 2's time (`op` also limits the result). Returns the number of records written; fewer
// than `n` when a source ended early or `keepGoing` said stop.
template <typename Op>
std::int64_t Combine(ReadAhead& in1, ReadAhead& in2, const Math2Request& r, std::int64_t n,
                     WriteBehind& out, ProgressSink& progress, const KeepGoing& keepGoing,
                     bool& aborted, Op op) {
    const std::size_t size1 = r.source1.layout.recordSize;
    const std::size_t size2 = r.source2.layout.recordSize;
    const std::size_t at1 = ValueOffset(r.source1);
    const std::size_t at2 = ValueOffset(r.source2);
    std::int64_t done = 0;
    while (done < n) {
        if (keepGoing && !keepGoing()) {
            aborted = true;
            break;
        }
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(n - done, kBlock));
        const std::span<const std::uint8_t> block1 = in1.Next();
        const std::span<const std::uint8_t> block2 = in2.Next();
        const std::size_t got = std::min(block1.size() / size1, block2.size() / size2);
        const std::uint8_t* a = block1.data() + at1;
        const std::uint8_t* b = block2.data();
        std::uint8_t* dst = out.Buffer();
        for (std::size_t i = 0; i < got; ++i, a += size1, b += size2, dst += kResultRecord) {
            PutResult(dst, b, op(Real6::Decode(a), Real6::Decode(b + at2)));
        }
        if (got > 0) {
            out.Submit(got * kResultRecord);
        }
        done += static_cast<std::int64_t>(got);
        if (got < want) {
            break;
        }
        progress.BarStep(n - done);
    }
    return done;
}

}  // namespace

Math2Outcome RunMath2(const Math2Request& r, Notifier& notifier, ProgressSink& progress,
                      const KeepGoing& keepGoing) {
    Math2Outcome outcome;
    if (UpperExtension(r.target) != ".KTX") {
        ShowErrorMsgText(notifier, kMsgBadFormat, r.target, 0);
        return outcome;
    }
    ReadAhead in1(r.source1.file);
    ReadAhead in2(r.source2.file);
    for (const ReadAhead* in : {&in1, &in2}) {
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
    const auto count = static_cast<std::uint64_t>(std::max<std::int64_t>(n, 0));
    const std::size_t size1 = r.source1.layout.recordSize;
    const std::size_t size2 = r.source2.layout.recordSize;
    if (!in1.Start(size1, count * size1, kBlock * size1) ||
        !in2.Start(size2, count * size2, kBlock * size2)) {
        const bool memory = in1.LackedMemory() || in2.LackedMemory();
        ShowErrorMsgText(notifier, memory ? kMsgNoMemory : kMsgBadFormat, r.source1.file, 0);
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
    std::int64_t done = 0;
    progress.BarStart(n);
    {
        WriteBehind out(file, kBlock * kResultRecord);
        // One loop per function, each with its operation inlined.
        auto run = [&]<Math2Function F>() {
            return Combine(in1, in2, r, n, out, progress, keepGoing, outcome.aborted,
                           [](double a, double b) { return Math2Value(F, a, b); });
        };
        switch (r.function) {
            case Math2Function::Add:
                done = run.template operator()<Math2Function::Add>();
                break;
            case Math2Function::Subtract:
                done = run.template operator()<Math2Function::Subtract>();
                break;
            case Math2Function::Multiply:
                done = run.template operator()<Math2Function::Multiply>();
                break;
            case Math2Function::Divide:
                done = run.template operator()<Math2Function::Divide>();
                break;
        }
        out.Finish();
    }
    in1.Stop();
    in2.Stop();
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

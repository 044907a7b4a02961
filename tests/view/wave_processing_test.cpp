// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/wave_processing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>

#include "config/message_catalog.h"
#include "test_files.h"
#include "view/cursor_readouts.h"
#include "view/view_test_files.h"

namespace ktx {
namespace {

using test::RecordingNotifier;
using test::RecordingProgress;
using test::TempDir;

WaveformRecord Load(const std::string& path) {
    SilentNotifier silent;
    auto r = LoadWaveform(path, false, {}, silent);
    EXPECT_TRUE(r.has_value()) << path;
    return r ? std::move(*r) : WaveformRecord{};
}

double Y(const WaveformRecord& r, std::int64_t i) {
    return r.yValues[static_cast<std::size_t>(i)].ToDouble();
}

struct CompressCase {
    const char* name;
    std::int64_t records;  // header included
    bool peak;
    std::int64_t factor;
    std::int32_t outputPoints;
};

class CompressTest : public ::testing::TestWithParam<CompressCase> {};

TEST_P(CompressTest, FactorAndBlockValues) {
    const CompressCase& c = GetParam();
    TempDir dir;
    const std::string src = dir.Path("ramp.ktx");
    const std::string out = dir.Path("ktx_tmp1.tmp");
    ASSERT_TRUE(test::WriteRampFile(src, c.records));
    RecordingNotifier notifier;
    RecordingProgress progress;
    const std::int64_t f = c.peak ? PeakCompress(src, out, progress, notifier)
                                  : SampleCompress(src, out, progress, notifier);
    ASSERT_EQ(f, c.factor);
    EXPECT_TRUE(notifier.shown.empty());
    const WaveformRecord r = Load(out);
    ASSERT_EQ(r.pointCount, c.outputPoints);
    const std::int64_t dataPoints = c.records - 1;
    const std::int64_t blocks = c.peak ? c.outputPoints / 5 : c.outputPoints;
    for (std::int64_t b : {std::int64_t{0}, blocks / 2, blocks - 1}) {
        // The ramp's y is its index; the last block repeats the file's last point.
        double sum = 0;
        double hi = -1e300, lo = 1e300;
        for (std::int64_t j = 0; j < f; ++j) {
            const double y = static_cast<double>(std::min(b * f + j, dataPoints - 1));
            sum += y;
            hi = std::max(hi, y);
            lo = std::min(lo, y);
        }
        const double mean = sum / static_cast<double>(f);
        const std::int64_t lastIndex = std::min(b * f + f - 1, dataPoints - 1);
        if (c.peak) {
            EXPECT_NEAR(Y(r, 5 * b), mean, 1e-6);
            EXPECT_NEAR(Y(r, 5 * b + 1), hi, 1e-6);
            EXPECT_NEAR(Y(r, 5 * b + 2), mean, 1e-6);
            EXPECT_NEAR(Y(r, 5 * b + 3), lo, 1e-6);
            EXPECT_NEAR(Y(r, 5 * b + 4), mean, 1e-6);
            EXPECT_EQ(r.xValues[static_cast<std::size_t>(5 * b + 3)],
                      SecondsToTimeField(static_cast<double>(lastIndex) * 1e-6));
        } else {
            EXPECT_NEAR(Y(r, b), mean, 1e-6) << b;
            EXPECT_EQ(r.xValues[static_cast<std::size_t>(b)],
                      SecondsToTimeField(static_cast<double>(lastIndex) * 1e-6));
        }
    }
    // Progress counts the blocks down and ends.
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.back(), "B2");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompressTest,
    ::testing::Values(
        // 80 001 div 79 999 = 1 leaves 80 001 blocks, more than 80 000: f becomes 2.
        CompressCase{"sample_80001", 80001, false, 2, 40000},
        // 80 000 data points of the odd case below fill 40 002 blocks, the last one half.
        CompressCase{"sample_80004", 80004, false, 2, 40002},
        CompressCase{"sample_160000", 160000, false, 2, 80000},
        // 160 000 div 16 000 = 10: 16 000 blocks of five points.
        CompressCase{"peak_160000", 160000, true, 10, 80000},
        CompressCase{"peak_80001", 80001, true, 5, 80000},
        // A short file is copied block by block with f = 1, not divided by zero.
        CompressCase{"sample_short", 100, false, 1, 99}),
    [](const auto& info) { return std::string(info.param.name); });

struct DisplayCase {
    std::int64_t records;
    bool compressed;
    const char* caption;
    std::int32_t cursorLock;
};

class PlanDisplayTest : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(PlanDisplayTest, CompressesAboveEightyThousandRecords) {
    const DisplayCase& c = GetParam();
    TempDir dir;
    const std::string src = dir.Path("wave.ktx");
    ASSERT_TRUE(test::WriteRampFile(src, c.records));
    RecordingNotifier notifier;
    std::vector<std::string> status;
    const auto setup = PlanDisplay(src, "Kanal 1", false, dir.Path("ktx_tmp1.tmp"), NoProgress(),
                                   notifier, [&](const std::string& s) { status.push_back(s); });
    ASSERT_TRUE(setup.has_value());
    EXPECT_EQ(setup->compressed, c.compressed);
    EXPECT_EQ(setup->caption, c.caption);
    EXPECT_EQ(setup->cursorLock, c.cursorLock);
    if (c.compressed) {
        EXPECT_EQ(setup->file, dir.Path("ktx_tmp1.tmp"));
        EXPECT_EQ(setup->sourceFile, src);
        EXPECT_EQ(setup->displayName, "Kanal 1");
        EXPECT_EQ(status, (std::vector<std::string>{"komprimiere Datei", ""}));
    } else {
        EXPECT_EQ(setup->file, src);
        EXPECT_TRUE(status.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PlanDisplayTest,
                         ::testing::Values(DisplayCase{80000, false, "Kanal 1", 0},
                                           DisplayCase{80001, true, "Kanal 1 1:2", 39999},
                                           DisplayCase{400000, true, "Kanal 1 1:5", 15999}));

TEST(PlanDisplay, NoWaveformFileIsReported) {
    TempDir dir;
    test::WriteFile(dir.Path("x.ktx"), std::string(100, 'x'));
    RecordingNotifier notifier;
    EXPECT_FALSE(
        PlanDisplay(dir.Path("x.ktx"), "x", false, dir.Path("c.tmp"), NoProgress(), notifier, {}));
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].stringId, 10012);
}

TEST(Recompression, PeakRequestGivesRatioOfFifthFactor) {
    TempDir dir;
    const std::string src = dir.Path("wave.ktx");
    ASSERT_TRUE(test::WriteRampFile(src, 160000));
    RecordingNotifier notifier;
    RecompressionRequest req{"Kanal 2", src, 10, 20, 4, true};
    const auto setup = HandleRecompression(req, dir.Path("c.tmp"), NoProgress(), notifier, {});
    ASSERT_TRUE(setup);
    EXPECT_EQ(setup->caption, "Kanal 2 1:2");
    EXPECT_EQ(setup->cursorLock, 39999);
    EXPECT_TRUE(setup->peakMode);
    EXPECT_TRUE(setup->sampleAxis);
    req.peakMode = false;
    const auto sample = HandleRecompression(req, dir.Path("c.tmp"), NoProgress(), notifier, {});
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->caption, "Kanal 2 1:2");
    EXPECT_FALSE(sample->peakMode);
}

struct RangeCase {
    const char* name;
    std::int64_t first;
    std::int64_t count;
    std::int32_t points;  // points in the copy
    double firstY;        // y of its first point (the ramp's index)
};

class RangeCopyTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RangeCopyTest, CopiesWithinLimits) {
    const RangeCase& c = GetParam();
    TempDir dir;
    const std::string src = dir.Path("wave.ktx");
    ASSERT_TRUE(test::WriteRampFile(src, 200001));
    RecordingNotifier notifier;
    const bool ok = RangeCopy(src, c.first, c.count, dir.Path("c.tmp"), NoProgress(), notifier);
    if (c.points == 0) {
        // Nothing to copy: no file of a header alone, but the start named as invalid.
        EXPECT_FALSE(ok);
        EXPECT_FALSE(std::filesystem::exists(dir.Path("c.tmp")));
        ASSERT_EQ(notifier.shown.size(), 1u);
        EXPECT_EQ(notifier.shown[0].text, "ungültiger Startwert: 300000");
        return;
    }
    ASSERT_TRUE(ok);
    const auto bytes = test::ReadFile(dir.Path("c.tmp"));
    ASSERT_EQ(bytes.size(), (static_cast<std::size_t>(c.points) + 1) * kOneColumnRecord);
    if (c.points >= 4) {
        const WaveformRecord r = Load(dir.Path("c.tmp"));
        EXPECT_DOUBLE_EQ(Y(r, 0), c.firstY);
        EXPECT_DOUBLE_EQ(Y(r, r.pointCount - 1), c.firstY + c.points - 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RangeCopyTest,
    ::testing::Values(
        // Point 0 is the first data record, never the header.
        RangeCase{"from_start", 0, 10, 10, 0.0}, RangeCase{"middle", 1000, 500, 500, 1000.0},
        RangeCase{"limited", 5, 100000, 79999, 5.0}, RangeCase{"to_end", 199990, 50, 10, 199990.0},
        RangeCase{"beyond_end", 300000, 50, 0, 0.0}, RangeCase{"negative", -5, 4, 4, 0.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RangeRequest, MapsCursorsAndCaptionsCutOut) {
    TempDir dir;
    const std::string src = dir.Path("wave.ktx");
    ASSERT_TRUE(test::WriteRampFile(src, 160000));
    RecordingNotifier notifier;
    // View of 80 000 points over 160 000 records: every cursor step is two records.
    RangeRequest req{"Kanal 1", src, 20100, 100, 80000, 3, false};
    const RangeResult res = HandleRangeRequest(req, dir.Path("c.tmp"), NoProgress(), notifier, {});
    ASSERT_TRUE(res.ok);
    ASSERT_TRUE(res.view);
    EXPECT_EQ(res.view->caption, "Ausschnitt von Kanal 1 25%");
    EXPECT_EQ(res.view->cutStart, 200);
    EXPECT_EQ(res.view->cutEnd, 40200);
    EXPECT_EQ(res.view->sourceCount, 160000);
    EXPECT_FALSE(res.view->sampleAxis);
    const WaveformRecord r = Load(dir.Path("c.tmp"));
    EXPECT_EQ(r.pointCount, 40000);
    EXPECT_DOUBLE_EQ(Y(r, 0), 200.0);

    // A save only copies.
    req.kind = 0;
    const RangeResult save = HandleRangeRequest(req, dir.Path("c.tmp"), NoProgress(), notifier, {});
    EXPECT_TRUE(save.ok);
    EXPECT_FALSE(save.view);
}

TEST(CutCaption, SmallShareKeepsDecimals) {
    EXPECT_EQ(CutCaption("A", 30, 160000), "Ausschnitt von A 0.019%");
    EXPECT_EQ(CutCaption("A", 1, 2), "Ausschnitt von A 50%");
}

class PeriodSearchTest : public ::testing::TestWithParam<double> {};

// Ten periods with the offset the parameter names: the cursors end one period apart on
// crossings of the offset-free signal.
TEST_P(PeriodSearchTest, SineOfTenPeriods) {
    const double offset = GetParam();
    TempDir dir;
    const std::string src = dir.Path("sine.ktx");
    constexpr int kPoints = 10000;
    ASSERT_TRUE(test::WriteSineFile(src, kPoints, 10.0, 2.0, offset));
    const WaveformRecord r = Load(src);
    RecordingNotifier notifier;
    const auto cursors = PeriodSearch(r, {dir.Path("ktx_tmp2.ktx"), dir.Path("ktx_tmp3.ktx")},
                                      NoProgress(), notifier);
    ASSERT_TRUE(cursors);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_NEAR(cursors->cursor2 - cursors->cursor1, kPoints / 10, 2);
    EXPECT_NEAR(Y(r, cursors->cursor1) - offset, 0.0, 2.0 * 0.01);
    EXPECT_NEAR(Y(r, cursors->cursor2) - offset, 0.0, 2.0 * 0.01);
    // The integral has one point fewer than the signal.
    EXPECT_EQ(test::ReadFile(dir.Path("ktx_tmp3.ktx")).size(), kPoints * kOneColumnRecord);
}

INSTANTIATE_TEST_SUITE_P(Offsets, PeriodSearchTest, ::testing::Values(0.0, 0.5, -3.0));

TEST(PeriodSearch, ConstantHasNoCrossings) {
    TempDir dir;
    const std::string src = dir.Path("const.ktx");
    ASSERT_TRUE(test::WriteOneColumnFile(
        src, 3000, [](std::int64_t i) { return i * 1e-3; }, [](std::int64_t) { return 0.1; }));
    const WaveformRecord r = Load(src);
    RecordingNotifier notifier;
    const auto cursors =
        PeriodSearch(r, {dir.Path("o.ktx"), dir.Path("i.ktx")}, NoProgress(), notifier);
    ASSERT_TRUE(cursors);
    EXPECT_EQ(cursors->cursor1, 0);
    EXPECT_EQ(cursors->cursor2, 0);
}

TEST(Integrate, TrapezoidOfRamp) {
    TempDir dir;
    const std::string src = dir.Path("ramp.ktx");
    // y = t over 0..9 s: the integral at t is t^2 / 2, exact for the trapezoid rule.
    ASSERT_TRUE(test::WriteOneColumnFile(
        src, 10, [](std::int64_t i) { return static_cast<double>(i); },
        [](std::int64_t i) { return static_cast<double>(i); }));
    RecordingNotifier notifier;
    ASSERT_TRUE(Integrate(src, dir.Path("i.ktx"), 0, "V", NoProgress(), notifier));
    const WaveformRecord r = Load(dir.Path("i.ktx"));
    ASSERT_EQ(r.pointCount, 9);
    for (int k = 0; k < 9; ++k) {
        const double t = k + 1.0;
        EXPECT_DOUBLE_EQ(Y(r, k), t * t / 2.0);
    }
}

}  // namespace
}  // namespace ktx

namespace ktx {
namespace {

// The view's "Speichern unter": the whole file or the cursors' range, never onto the file shown.
TEST(SaveWaveformAs, WholeOrRangeButNeverOntoItsSource) {
    TempDir dir;
    const std::string file = dir.Path("shown.ktx");
    ASSERT_TRUE(test::WriteRampFile(file, 1001));
    RecordingNotifier notifier;
    ASSERT_TRUE(SaveWaveformAs(file, dir.Path("all.ktx"), std::nullopt, NoProgress(), notifier));
    EXPECT_EQ(test::ReadFile(dir.Path("all.ktx")), test::ReadFile(file));

    const RangeRequest cursors{dir.Path("part.ktx"), file, 100, 150, 1000, 0, false};
    const auto span = SourceSpan(cursors, CountWaveFile(file));
    ASSERT_TRUE(span);
    ASSERT_TRUE(SaveWaveformAs(file, dir.Path("part.ktx"), span, NoProgress(), notifier));
    const WaveformRecord part = Load(dir.Path("part.ktx"));
    ASSERT_EQ(part.pointCount, 50);
    EXPECT_DOUBLE_EQ(Y(part, 0), 100.0);

    std::filesystem::create_hard_link(file, dir.Path("same.ktx"));
    const test::Bytes before = test::ReadFile(file);
    for (const auto& range : {std::optional<PointSpan>{}, span}) {
        notifier.shown.clear();
        EXPECT_FALSE(SaveWaveformAs(file, dir.Path("same.ktx"), range, NoProgress(), notifier));
        ASSERT_EQ(notifier.shown.size(), 1u);
        EXPECT_EQ(notifier.shown[0].stringId, MessageCatalog::kMessageBase + 7);
        EXPECT_EQ(test::ReadFile(file), before);
    }
}

// Saving a selection of a cut-out view copies the compression file into itself; RangeCopy
// itself refuses a target that is its source, which the user's files must never be.
TEST(RangeCopy, SourceAndTargetTheSameFileKeepsTheData) {
    TempDir dir;
    const std::string file = dir.Path("ktx_tmp1.tmp");
    ASSERT_TRUE(test::WriteRampFile(file, 1001));
    const test::Bytes before = test::ReadFile(file);
    RecordingNotifier notifier;
    EXPECT_FALSE(RangeCopy(file, 100, 50, file, NoProgress(), notifier));
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].stringId, MessageCatalog::kMessageBase + 7);
    EXPECT_EQ(test::ReadFile(file), before);

    RangeRequest save{dir.Path("x.ktx"), file, 100, 150, 1000, 0, false};
    ASSERT_TRUE(HandleRangeRequest(save, file, NoProgress(), notifier, {}).ok);
    const WaveformRecord r = Load(file);
    ASSERT_EQ(r.pointCount, 50);
    EXPECT_DOUBLE_EQ(Y(r, 0), 100.0);
    EXPECT_DOUBLE_EQ(Y(r, 49), 149.0);
}

}  // namespace
}  // namespace ktx

namespace ktx {
namespace {

// A four-column file: column c of point i holds (c + 1) * i.
void WriteFourColumn(const std::string& path, std::int64_t points) {
    const auto h = MakeHeader4(ReferenceHeader(WaveLayout::FourColumn), {"V", "A", "#", "#"});
    test::Bytes f(h.begin(), h.end());
    for (std::int64_t i = 0; i < points; ++i) {
        const TimeField x = SecondsToTimeField(static_cast<double>(i) * 1e-3);
        f.insert(f.end(), x.bytes.begin(), x.bytes.end());
        for (int c = 0; c < 4; ++c) {
            const Real6 y = Real6::FromDouble(static_cast<double>((c + 1) * i));
            f.insert(f.end(), y.bytes.begin(), y.bytes.end());
        }
    }
    test::WriteFile(path, f);
}

TEST(SampleCompress, FourColumnsAreAveragedEach) {
    TempDir dir;
    WriteFourColumn(dir.Path("four.ktx"), 100000);
    RecordingNotifier notifier;
    // 100 001 records: f = 1, 100 001 blocks are too many, so f = 2.
    ASSERT_EQ(SampleCompress(dir.Path("four.ktx"), dir.Path("c.tmp"), NoProgress(), notifier), 2);
    const auto bytes = test::ReadFile(dir.Path("c.tmp"));
    ASSERT_EQ(bytes.size(), 50001u * kFourColumnRecord);
    // Block 10 holds points 20 and 21.
    const std::uint8_t* rec = bytes.data() + 11 * kFourColumnRecord;
    for (int c = 0; c < 4; ++c) {
        EXPECT_DOUBLE_EQ(Real6::Decode(rec + 6 + 6 * c), (c + 1) * 20.5) << c;
    }
    EXPECT_EQ(std::memcmp(rec, SecondsToTimeField(21e-3).bytes.data(), 6), 0);
}

TEST(RemoveOffset, OnlyTheViewColumnChanges) {
    TempDir dir;
    WriteFourColumn(dir.Path("four.ktx"), 10);
    RecordingNotifier notifier;
    ASSERT_TRUE(RemoveOffset(dir.Path("four.ktx"), dir.Path("o.ktx"), 1.5, 1, notifier));
    const auto in = test::ReadFile(dir.Path("four.ktx"));
    const auto out = test::ReadFile(dir.Path("o.ktx"));
    ASSERT_EQ(in.size(), out.size());
    const std::uint8_t* rec = out.data() + 4 * kFourColumnRecord;  // point 3
    EXPECT_DOUBLE_EQ(Real6::Decode(rec + 6), 3.0);
    EXPECT_DOUBLE_EQ(Real6::Decode(rec + 12), 6.0 - 1.5);
    EXPECT_DOUBLE_EQ(Real6::Decode(rec + 18), 9.0);
}

TEST(RangeCopy, ReportsCountDown) {
    TempDir dir;
    ASSERT_TRUE(test::WriteRampFile(dir.Path("r.ktx"), 1001));
    RecordingNotifier notifier;
    RecordingProgress progress;
    ASSERT_TRUE(RangeCopy(dir.Path("r.ktx"), 0, 350, dir.Path("c.tmp"), progress, notifier));
    // A report whenever the count dropped by more than 100.
    EXPECT_EQ(progress.calls,
              (std::vector<std::string>{"B0:350", "B1:249", "B1:148", "B1:47", "B2"}));
}

}  // namespace
}  // namespace ktx

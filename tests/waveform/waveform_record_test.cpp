// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/waveform_record.h"

#include <gtest/gtest.h>

#include <cstring>

#include "waveform/npy_writer.h"

#include "test_files.h"

namespace ktx {
namespace {

using test::Bytes;

struct Point {
    TimeField x;
    std::array<double, 4> y;
};

void Append(Bytes& f, const TimeField& x) {
    f.insert(f.end(), x.bytes.begin(), x.bytes.end());
}
void Append(Bytes& f, double y) {
    const Real6 r = Real6::FromDouble(y);
    f.insert(f.end(), r.bytes.begin(), r.bytes.end());
}

Bytes OneColumn(const std::vector<Point>& points, float version = kWaveVersion,
                const std::string& unit = "V") {
    WaveFileHeader ref = ReferenceHeader(WaveLayout::OneColumn);
    ref.version = version;
    const auto h = MakeHeader1(ref, {unit, "#", "#", "#"});
    Bytes f(h.begin(), h.end());
    for (const Point& p : points) {
        Append(f, p.x);
        Append(f, p.y[0]);
    }
    return f;
}

Bytes FourColumn(const std::vector<Point>& points, const UnitStrings& units) {
    const auto h = MakeHeader4(ReferenceHeader(WaveLayout::FourColumn), units);
    Bytes f(h.begin(), h.end());
    for (const Point& p : points) {
        Append(f, p.x);
        for (double y : p.y) {
            Append(f, y);
        }
    }
    return f;
}

std::vector<Point> Ramp(int n, double dt, double y0, double dy) {
    std::vector<Point> pts;
    for (int i = 0; i < n; ++i) {
        pts.push_back({SecondsToTimeField((i + 1) * dt), {y0 + i * dy, -i * 1.0, 2.0 * i, 7.0}});
    }
    return pts;
}

class LoadWaveformTest : public ::testing::Test {
  protected:
    std::optional<WaveformRecord> Load(const Bytes& content, const ColumnChooser& chooser = {}) {
        test::WriteFile(m_path, content);
        return LoadWaveform(m_path, false, chooser, m_notifier);
    }

    test::TempDir m_dir;
    std::string m_path = m_dir.Path("w.ktx");
    test::RecordingNotifier m_notifier;
};

TEST_F(LoadWaveformTest, OneColumnFile) {
    const auto rec = Load(OneColumn(Ramp(5, 1e-4, 1.0, 0.5)));
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->pointCount, 5);
    EXPECT_EQ(rec->layout, WaveLayout::OneColumn);
    EXPECT_EQ(rec->units, (UnitStrings{"V", "#", "#", "#"}));
    EXPECT_EQ(rec->column, 0);
    EXPECT_EQ(rec->fileName, m_path);
    EXPECT_EQ(rec->xValues[0], SecondsToTimeField(1e-4));
    EXPECT_EQ(rec->yValues[4].ToDouble(), 3.0);
    // Only positive values: the range still reaches down to 0.
    EXPECT_EQ(rec->yMin.ToDouble(), 0.0);
    EXPECT_EQ(rec->yMax.ToDouble(), 3.0);
    EXPECT_FALSE(rec->sampleAxis);
    EXPECT_TRUE(m_notifier.shown.empty());
}

TEST_F(LoadWaveformTest, NegativeValuesSetTheMinimumAndZeroTheMaximum) {
    const auto rec = Load(OneColumn(Ramp(4, 1e-4, -5.0, 1.0)));
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->yMin.ToDouble(), -5.0);
    EXPECT_EQ(rec->yMax.ToDouble(), 0.0);
}

struct ScaleCase {
    double lastSeconds;
    double scale;
    friend void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.lastSeconds; }
};

class TimeScaleTest : public ::testing::TestWithParam<ScaleCase> {};

INSTANTIATE_TEST_SUITE_P(Ends, TimeScaleTest,
                         ::testing::Values(ScaleCase{0.5e-3, 1e6}, ScaleCase{1.0, 1.0},
                                           ScaleCase{0.999, 1e3}, ScaleCase{0.9e-6, 1e9},
                                           ScaleCase{-2e-6, 1e6}, ScaleCase{59.0, 1.0}));

TEST_P(TimeScaleTest, FollowsTheLastPoint) {
    EXPECT_EQ(TimeScaleFor(SecondsToTimeField(-1e-9), SecondsToTimeField(GetParam().lastSeconds)),
              GetParam().scale);
}

TEST(TimeScale, HoursOrMinutesKeepSeconds) {
    EXPECT_EQ(TimeScaleFor(SecondsToTimeField(0), TimeField::Make(0, 1, 1e-4f)), 1.0);
    EXPECT_EQ(TimeScaleFor(TimeField::Make(1, 0, 0), SecondsToTimeField(1e-4)), 1.0);
}

TEST_F(LoadWaveformTest, SampleIndexVersionSwitchesToTheSampleAxis) {
    auto rec = Load(OneColumn(Ramp(4, 1, 0, 1), kSampleIndexVersion, "Px"));
    ASSERT_TRUE(rec);
    EXPECT_TRUE(rec->sampleAxis);
    EXPECT_EQ(rec->units[0], "Px");
}

TEST_F(LoadWaveformTest, FourColumnWithOnePresentColumnOpensWithoutAsking) {
    bool asked = false;
    const auto rec =
        Load(FourColumn(Ramp(6, 1, 0, 1), {"#", "#", "V", "#"}), [&](const UnitStrings&) {
            asked = true;
            return std::optional<int>(0);
        });
    ASSERT_TRUE(rec);
    EXPECT_FALSE(asked);
    EXPECT_EQ(rec->column, 2);
    EXPECT_EQ(rec->yValues[5].ToDouble(), 10.0);
}

TEST_F(LoadWaveformTest, FourColumnWithTwoPresentColumnsAsks) {
    UnitStrings offered;
    const auto rec =
        Load(FourColumn(Ramp(6, 1, 0, 1), {"V", "A", "#", "#"}), [&](const UnitStrings& u) {
            offered = u;
            return std::optional<int>(1);
        });
    ASSERT_TRUE(rec);
    EXPECT_EQ(offered, (UnitStrings{"V", "A", "#", "#"}));
    EXPECT_EQ(rec->column, 1);
    EXPECT_EQ(rec->yValues[5].ToDouble(), -5.0);
    EXPECT_EQ(rec->yMin.ToDouble(), -5.0);

    // Cancelling the choice loads nothing and says nothing.
    EXPECT_FALSE(Load(FourColumn(Ramp(6, 1, 0, 1), {"V", "A", "#", "#"}),
                      [](const UnitStrings&) { return std::optional<int>(); }));
    EXPECT_TRUE(m_notifier.shown.empty());
}

TEST_F(LoadWaveformTest, NotAWaveformFileShowsMessage12) {
    for (const Bytes& bad :
         {Bytes{}, OneColumn(Ramp(3, 1, 0, 1)), test::FromText(std::string(200, 'x')),
          OneColumn(Ramp(10, 1, 0, 1), 12.344f)}) {
        m_notifier.shown.clear();
        EXPECT_FALSE(Load(bad));
        ASSERT_EQ(m_notifier.shown.size(), 1u);
        EXPECT_EQ(m_notifier.shown[0].text, "ungültiges Dateiformat " + m_path);
        EXPECT_EQ(m_notifier.shown[0].severity, Severity::Error);
    }
    m_notifier.shown.clear();
    EXPECT_FALSE(LoadWaveform(m_dir.Path(""), false, {}, m_notifier));
    EXPECT_EQ(m_notifier.shown.size(), 1u);
}

TEST_F(LoadWaveformTest, LongFileAcrossReadBlocksWithATrailingPartialRecord) {
    const int n = 300'000;  // several read blocks
    Bytes f = OneColumn(Ramp(n, 1e-6, -1000.0, 0.01));
    f.resize(f.size() + 5);
    const auto rec = Load(f);
    ASSERT_TRUE(rec);
    ASSERT_EQ(rec->pointCount, n);
    for (int i : {0, 1, 2, 87'380, 87'381, 174'762, n - 1}) {
        EXPECT_EQ(rec->xValues[i], SecondsToTimeField((i + 1) * 1e-6)) << i;
        EXPECT_EQ(rec->yValues[i], Real6::FromDouble(-1000.0 + i * 0.01)) << i;
    }
    EXPECT_EQ(rec->yMin.ToDouble(), -1000.0);
    EXPECT_EQ(rec->yMax, Real6::FromDouble(-1000.0 + (n - 1) * 0.01));
    EXPECT_EQ(rec->timeScale, 1e3);  // ends at 0.3 s
}

// A four-column file becomes "time" and one float64 field per present channel, named by its
// column, in file order; the header ends on a 64-byte boundary as numpy expects.
TEST_F(LoadWaveformTest, NpyExportKeepsPresentChannelsByColumn) {
    const auto points = Ramp(3, 1e-3, 1.0, 0.25);
    test::WriteFile(m_path, FourColumn(points, {"V", "#", "A", "#"}));
    const std::string npy = m_dir.Path("w.npy");
    ASSERT_TRUE(WriteWaveFileNpy(m_path, npy, m_notifier));
    const Bytes f = test::ReadFile(npy);
    const std::size_t dataStart = 10 + (f[8] | f[9] << 8);
    ASSERT_EQ(dataStart % 64, 0u);
    const std::string dict(f.begin() + 10, f.begin() + static_cast<long>(dataStart));
    EXPECT_NE(dict.find("[('time', '<f8'), ('ch1', '<f8'), ('ch3', '<f8')]"), std::string::npos);
    EXPECT_NE(dict.find("'shape': (3,)"), std::string::npos);
    ASSERT_EQ(f.size(), dataStart + 3 * 3 * sizeof(double));
    for (std::size_t i = 0; i < points.size(); ++i) {
        double row[3];
        std::memcpy(row, f.data() + dataStart + i * sizeof row, sizeof row);
        EXPECT_EQ(row[0], TimeFieldToSeconds(points[i].x));
        EXPECT_EQ(row[1], Real6::FromDouble(points[i].y[0]).ToDouble());
        EXPECT_EQ(row[2], Real6::FromDouble(points[i].y[2]).ToDouble());
    }
}

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The views' readers of spectrum and math result files, the distortion figures and the texts
// made of them.
#include "analysis/result_files.h"

#include <gtest/gtest.h>

#include <cstring>

#include "test_files.h"
#include "waveform/real6.h"

namespace ktx {
namespace {

test::Bytes ResultBytes(WaveLayout layout, const UnitStrings& units,
                        const std::vector<std::array<double, 4>>& rows, float version = 12.345f) {
    WaveFileHeader ref = ReferenceHeader(layout);
    ref.version = version;
    const auto h = MakeHeader4(ref, units);
    test::Bytes b(h.begin(), h.end());
    for (const auto& row : rows) {
        b.insert(b.end(), h.begin(), h.begin() + 6);
        for (double v : row) {
            const Real6 r = Real6::FromDouble(v);
            b.insert(b.end(), r.bytes.begin(), r.bytes.end());
        }
    }
    return b;
}

ResultTable Parse(const test::Bytes& b, WaveLayout layout) {
    return ParseResultFile(b.data(), b.size(), layout);
}

TEST(ResultFiles, RecognisedByTagAndVersionOnly) {
    const UnitStrings u{"Hz", "V", "db", "grd"};
    const auto rows = std::vector<std::array<double, 4>>{{0, 1, 0, 0}, {50, 2, 0, 90}};
    EXPECT_EQ(Parse(ResultBytes(WaveLayout::Spectrum, u, rows), WaveLayout::Spectrum).fault,
              ResultFault::None);
    EXPECT_EQ(Parse(ResultBytes(WaveLayout::Spectrum, u, rows), WaveLayout::Math).fault,
              ResultFault::BadFormat);
    EXPECT_EQ(
        Parse(ResultBytes(WaveLayout::Spectrum, u, rows, 12.344f), WaveLayout::Spectrum).fault,
        ResultFault::BadFormat);
    EXPECT_EQ(Parse(ResultBytes(WaveLayout::Math, u, rows, 13.345f), WaveLayout::Math).fault,
              ResultFault::None);
    // A header without any record: under 60 bytes, the header counts as zeros.
    test::Bytes header = ResultBytes(WaveLayout::Math, u, {});
    EXPECT_EQ(Parse(header, WaveLayout::Math).fault, ResultFault::BadFormat);
    // A trailing partial record is ignored.
    test::Bytes b = ResultBytes(WaveLayout::Math, u, rows);
    b.resize(b.size() + 17, 0xFF);
    const ResultTable t = Parse(b, WaveLayout::Math);
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[1][3], 90.0);
    EXPECT_EQ(t.units, u);
}

TEST(ResultFiles, MoreRecordsThanAViewHoldsAreRefused) {
    const UnitStrings u{"V", "cnt", "#", "#"};
    EXPECT_EQ(Parse(ResultBytes(WaveLayout::Math, u, std::vector<std::array<double, 4>>(10921)),
                    WaveLayout::Math)
                  .fault,
              ResultFault::None);
    EXPECT_EQ(Parse(ResultBytes(WaveLayout::Math, u, std::vector<std::array<double, 4>>(10922)),
                    WaveLayout::Math)
                  .fault,
              ResultFault::TooLarge);
}

struct DistortionCase {
    const char* name;
    std::vector<double> amplitudes;  // records 1..
    const char* text;                // with mean 0.5 V
};
class DistortionTest : public ::testing::TestWithParam<DistortionCase> {};

TEST_P(DistortionTest, ReadoutText) {
    ResultTable t;
    t.units = {"Hz", "V", "db", "grd"};
    t.rows.push_back({0, 0.5, 0, 0});
    for (double a : GetParam().amplitudes) {
        t.rows.push_back({1, a, 0, 0});
    }
    EXPECT_EQ(DistortionText(0.5, "V", ComputeDistortion(t)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Spectra, DistortionTest,
    ::testing::Values(
        DistortionCase{"PureSine", {1.0, 0, 0}, "A0= 500mV  K= 0.00000%  THD=0.000000"},
        DistortionCase{"TenPercentThird", {1.0, 0, 0.1}, "A0= 500mV  K= 9.95037%  THD=0.100000"},
        DistortionCase{"NoFundamental", {0.0, 0, 0.3}, "A0= 500mV  K= 100.00000%  THD=---"},
        DistortionCase{"Silence", {0.0, 0, 0}, "A0= 500mV  K= 0.00000%  THD=---"},
        // Squares near the Real6 limit would overflow a double.
        DistortionCase{"Huge", {1e38, 1e37}, "A0= 500mV  K= 9.95037%  THD=0.100000"}),
    [](const ::testing::TestParamInfo<DistortionCase>& info) {
        return std::string(info.param.name);
    });

TEST(ResultFiles, SpectrumTable) {
    ResultTable t;
    t.units = {"Hz", "V", "db", "grd"};
    t.rows = {{0, 0.25, 0, 0}, {1000, 2, 0, 90}, {2000, 0.002, -60, 0}};
    const auto lines = SpectrumTableLines(t);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "FFT- Tab");
    EXPECT_EQ(lines[2], "Freq\t\tVal\t\tDB\t\tPhase");
    EXPECT_EQ(lines[4], "0Hz\t\t250mV\t\t0db\t\t0grd");
    EXPECT_EQ(lines[5], "1kHz\t\t2V\t\t0db\t\t90grd");
    EXPECT_EQ(lines[6], "2kHz\t\t2mV\t\t-60db\t\t0grd");
}

TEST(ResultFiles, MathCurveZeroIndexRangeAndReadouts) {
    ResultTable t;
    t.units = {"V", "cnt", "#", "#"};
    for (int i = 0; i < 11; ++i) {
        t.rows.push_back({i - 5.0, static_cast<double>(i * i), 0, 0});
    }
    const MathCurve c = MakeMathCurve(t);
    EXPECT_EQ(c.zeroIndex, 5);  // the first x >= 0 after a negative one
    EXPECT_EQ(c.yMin, 0);
    EXPECT_EQ(c.yMax, 100);
    const MathReadouts r = ComputeMathReadouts(c, 7, 2);
    EXPECT_EQ(r.wertanz, "Y-Wert1: 49cnt  X-Wert1: 2V    Sum:139cnt");
    EXPECT_EQ(r.wertanz2, "Y-Wert2: 4cnt  X-Wert2: -3V    Div:-5V");
    // Cursors beyond the records are taken to the ends.
    EXPECT_EQ(ComputeMathReadouts(c, 100, 100).wertanz,
              "Y-Wert1: 100cnt  X-Wert1: 5V    Sum:100cnt");
    // No negative x at all: the x before record 0 counts as -1, so the zero index is 0.
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
        t.rows[i][0] = static_cast<double>(i);
    }
    EXPECT_EQ(MakeMathCurve(t).zeroIndex, 0);
}

}  // namespace
}  // namespace ktx

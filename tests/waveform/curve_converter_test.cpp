// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/curve_converter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "test_files.h"
#include "waveform/wave_file.h"
#include "waveform/waveform_record.h"

namespace ktx {
namespace {

using test::Bytes;
using ::testing::ElementsAre;

// One-column header written by hand: tag 21 16, 12.345 as a single, unit "V".
const Bytes kVoltHeader = {0x21, 0x16, 0x1F, 0x85, 0x45, 0x41, 'V', 0, 0, 0, 0, 0};

CurvePreamble Preamble(double xincr, double ptOff, double yoff, double ymult) {
    CurvePreamble p;
    p.XINCR = Real6::FromDouble(xincr);
    p.PT_OFF = Real6::FromDouble(ptOff);
    p.YOFF[0] = Real6::FromDouble(yoff);
    p.YMULT[0] = Real6::FromDouble(ymult);
    return p;
}

class CurveTest : public ::testing::Test {
  protected:
    CurveResult Binary(const Bytes& raw, const CurvePreamble& p, std::uint8_t flags) {
        test::WriteFile(m_raw, raw);
        return ConvertBinaryCurve(m_raw, m_out, p, flags, m_notifier, m_progress);
    }
    CurveResult Ascii(const std::string& raw, const CurvePreamble& p) {
        test::WriteFile(m_raw, raw);
        return ConvertAsciiCurve(m_raw, m_out, p, m_notifier, m_progress);
    }
    // The y values of the target, read from its records directly: files of fewer than four
    // points are valid output even though a view does not open them.
    std::vector<double> Ys() {
        const Bytes f = test::ReadFile(m_out);
        std::vector<double> ys;
        for (std::size_t at = kOneColumnRecord; at + kOneColumnRecord <= f.size();
             at += kOneColumnRecord) {
            Real6 y;
            std::copy_n(f.begin() + static_cast<long>(at + 6), 6, y.bytes.begin());
            ys.push_back(y.ToDouble());
        }
        return ys;
    }

    test::TempDir m_dir;
    std::string m_raw = m_dir.Path("ktx_tmp.tmp");
    std::string m_out = m_dir.Path("out.ktx");
    test::RecordingNotifier m_notifier;
    test::RecordingProgress m_progress;
};

TEST_F(CurveTest, BinaryCurveIsByteExact) {
    // XINCR 0.5 s, PT_OFF 0, YOFF 0, YMULT 0.25 V: levels 1, -2, 256 (two bytes, MSB first).
    const auto r = Binary(
        test::Concat({test::FromText(":CURVE #16"), {0x00, 0x01, 0xFF, 0xFE, 0x01, 0x00}, {'\n'}}),
        Preamble(0.5, 0, 0, 0.25), kCurveFlagsRib2);
    ASSERT_TRUE(r.Ok());
    EXPECT_EQ(r.points, 3);
    const Bytes expected = test::Concat({
        kVoltHeader,
        // x = 1 * 0.5 s (the first point is number 1), y = 0.25
        {0, 0, 0x00, 0x00, 0x00, 0x3F, 0x7F, 0, 0, 0, 0, 0},
        // x = 1.0 s, y = -0.5
        {0, 0, 0x00, 0x00, 0x80, 0x3F, 0x80, 0, 0, 0, 0, 0x80},
        // x = 1.5 s, y = 64
        {0, 0, 0x00, 0x00, 0xC0, 0x3F, 0x87, 0, 0, 0, 0, 0},
    });
    EXPECT_EQ(test::ReadFile(m_out), expected);
    EXPECT_TRUE(m_notifier.shown.empty());
}

TEST_F(CurveTest, AsciiCurveIsByteExactWithOffsets) {
    // PT_OFF 2 puts the trigger on the second point: x = (i - 2) * 0.5.
    // YOFF 10, YMULT 2: y = (v - 10) * 2.
    const auto r = Ascii(":CURVE 11,10,-6\r", Preamble(0.5, 2, 10, 2));
    ASSERT_TRUE(r.Ok());
    const Bytes expected = test::Concat({
        kVoltHeader,
        {0, 0, 0x00, 0x00, 0x00, 0xBF, 0x82, 0, 0, 0, 0, 0},     // -0.5 s, 2
        {0, 0, 0x00, 0x00, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0},     // 0 s, 0
        {0, 0, 0x00, 0x00, 0x00, 0x3F, 0x86, 0, 0, 0, 0, 0x80},  // 0.5 s, -32
    });
    EXPECT_EQ(test::ReadFile(m_out), expected);
}

struct FlagCase {
    std::uint8_t flags;
    Bytes samples;
    std::vector<double> levels;
    friend void PrintTo(const FlagCase& c, std::ostream* os) {
        *os << "flags " << std::hex << int{c.flags};
    }
};

class BinaryFlags : public CurveTest, public ::testing::WithParamInterface<FlagCase> {};

INSTANTIATE_TEST_SUITE_P(
    AllCombinations, BinaryFlags,
    ::testing::Values(
        // One byte, unsigned.
        FlagCase{0x01, {0x00, 0x7F, 0x80, 0xFF}, {0, 127, 128, 255}},
        FlagCase{0x81, {0x00, 0x7F, 0x80, 0xFF}, {0, 127, 128, 255}},
        // One byte, signed: two's complement, as the instrument's own CSV export shows.
        FlagCase{0x21, {0x00, 0x7F, 0x80, 0xFF}, {0, 127, -128, -1}},
        FlagCase{0xA1, {0x01, 0xFE, 0x81, 0x40}, {1, -2, -127, 64}},
        // Two bytes, always signed; byte order from bit 7.
        FlagCase{0xA2, {0x12, 0x34, 0xFF, 0xFF, 0x80, 0x00}, {0x1234, -1, -32768}},
        FlagCase{0x82, {0x7F, 0xFF, 0x00, 0x80}, {32767, 128}},
        FlagCase{0x22, {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80}, {0x1234, -1, -32768}},
        FlagCase{0x02, {0xFF, 0x7F, 0x80, 0x00}, {32767, 128}},
        // Any low nibble other than 1 means two bytes.
        FlagCase{0x00, {0x01, 0x00}, {1}}, FlagCase{0x8F, {0x01, 0x00}, {256}}));

TEST_P(BinaryFlags, Levels) {
    const FlagCase& c = GetParam();
    const std::string count = std::to_string(c.samples.size());
    const Bytes raw = test::Concat(
        {test::FromText(":CURVE #" + std::to_string(count.size()) + count), c.samples});
    ASSERT_TRUE(Binary(raw, Preamble(1e-3, 0, 0, 1), c.flags).Ok());
    EXPECT_EQ(Ys(), c.levels);
}

TEST_F(CurveTest, FirstPointWithTriggerAtZeroIsOneIncrementLate) {
    ASSERT_TRUE(Ascii(":CURVE 5,6,7,8", Preamble(2e-6, 0, 0, 1)).Ok());
    const auto rec = LoadWaveform(m_out, false, {}, m_notifier);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->xValues[0].Seconds(), 2e-6f);
    EXPECT_EQ(rec->xValues[2].Seconds(), static_cast<float>(6e-6));
}

TEST_F(CurveTest, AsciiEndsAtCarriageReturnLineFeedOrEndOfFile) {
    for (const char* raw : {":CURVE 1,-2,3\r99,99", ":CURVE 1,-2,3\n", ":CURVE 1,-2,3",
                            ":CURVE 1,-2,3,\n", ":CURVE  1, -2 ,3 \r\n"}) {
        ASSERT_TRUE(Ascii(raw, Preamble(1, 0, 0, 1)).Ok()) << raw;
        EXPECT_EQ(Ys(), (std::vector<double>{1, -2, 3})) << raw;
    }
}

// A conversion that fails part-way replaces nothing: the target keeps what it held.
TEST_F(CurveTest, AsciiFailuresLeaveTheTargetAsItWas) {
    const Bytes old = test::FromText("the user's earlier waveform");
    test::WriteFile(m_out, old);
    auto r = Ascii(":CURVE 1,2,x3,4", Preamble(1, 0, 0, 1));
    EXPECT_EQ(r.error, CurveError::BadValue);
    EXPECT_EQ(r.points, 0);
    EXPECT_EQ(test::ReadFile(m_out), old);

    r = Ascii(":CURVE 1,2,,4", Preamble(1, 0, 0, 1));
    EXPECT_EQ(r.error, CurveError::BadValue);

    // Ten characters without a separator cannot be a level: the conversion ends there.
    r = Ascii(":CURVE 1,2,1234567890123,4", Preamble(1, 0, 0, 1));
    EXPECT_EQ(r.error, CurveError::ValueTooLong);
    EXPECT_EQ(r.points, 0);
    EXPECT_EQ(test::ReadFile(m_out), old);
    r = Ascii(":CURVE 1,123456789,4", Preamble(1, 0, 0, 1));
    EXPECT_TRUE(r.Ok());
    EXPECT_TRUE(m_notifier.shown.empty());
}

TEST_F(CurveTest, SourceWithoutCurveHeaderLeavesAnExistingTargetAlone) {
    const Bytes precious = test::FromText("the user's earlier waveform");
    for (const std::string& raw : {std::string("CURVE 1,2,3"), std::string(":CUR"), std::string(),
                                   std::string(":WFMPRE:NR_PT 3;:CURVE 1,2,3")}) {
        test::WriteFile(m_out, precious);
        EXPECT_EQ(Ascii(raw, Preamble(1, 0, 0, 1)).error, CurveError::NoCurveHeader) << raw;
        EXPECT_EQ(test::ReadFile(m_out), precious);
    }
    test::WriteFile(m_out, precious);
    EXPECT_EQ(Binary(test::FromText("#13abc"), Preamble(1, 0, 0, 1), 0x21).error,
              CurveError::NoCurveHeader);
    EXPECT_EQ(test::ReadFile(m_out), precious);
}

TEST_F(CurveTest, BinaryHeaderFaults) {
    const CurvePreamble p = Preamble(1, 0, 0, 1);
    // More than 9 bytes before "#".
    EXPECT_EQ(Binary(test::FromText(":CURVE    #13abc"), p, 0x21).error, CurveError::NoCurveHeader);
    // The short header form is accepted.
    EXPECT_TRUE(Binary(test::FromText(":CURV #13abc"), p, 0x21).Ok());
    EXPECT_EQ(Binary(test::FromText(":CURVE #x3abc"), p, 0x21).error, CurveError::BadCount);
    EXPECT_EQ(Binary(test::FromText(":CURVE #0abc"), p, 0x21).error, CurveError::BadCount);
    EXPECT_EQ(Binary(test::FromText(":CURVE #2a3abc"), p, 0x21).error, CurveError::BadCount);
    EXPECT_EQ(Binary(test::FromText(":CURVE #3"), p, 0x21).error, CurveError::BadCount);
    EXPECT_EQ(Binary(test::FromText(":CURVE #"), p, 0x21).error, CurveError::BadCount);
}

TEST_F(CurveTest, BinaryBlockLongerThanTheFileIsTruncated) {
    // A block cut short is no curve: the target stays as it was, not five points of a hundred.
    test::WriteFile(m_out, std::string("old"));
    const auto r = Binary(test::Concat({test::FromText(":CURVE #3100"), {1, 2, 3, 4, 5}}),
                          Preamble(1, 0, 0, 1), 0x01);
    EXPECT_EQ(r.error, CurveError::Truncated);
    EXPECT_EQ(r.points, 0);
    EXPECT_EQ(test::ReadFile(m_out), test::FromText("old"));
    // A count of nine digits cannot make the converter allocate or loop beyond the file.
    EXPECT_EQ(Binary(test::FromText(":CURVE #9999999999ab"), Preamble(1, 0, 0, 1), 0xA2).error,
              CurveError::Truncated);
}

TEST_F(CurveTest, BinaryIgnoresBytesAfterTheBlockAndAnOddLastByte) {
    ASSERT_TRUE(Binary(test::Concat({test::FromText(":CURVE #15"), {0, 1, 0, 2, 9, 8, 7, 6}}),
                       Preamble(1, 0, 0, 1), 0xA2)
                    .Ok());
    EXPECT_EQ(Ys(), (std::vector<double>{1, 2}));
    // An empty block gives a file with a header and no points.
    ASSERT_TRUE(Binary(test::FromText(":CURVE #10\n"), Preamble(1, 0, 0, 1), 0xA2).Ok());
    EXPECT_EQ(test::ReadFile(m_out), kVoltHeader);
}

TEST_F(CurveTest, ProgressCountsBlocksOf1024Points) {
    std::string raw = ":CURVE ";
    for (int i = 0; i < 2500; ++i) {
        raw += std::to_string(i % 100) + ",";
    }
    ASSERT_TRUE(Ascii(raw, Preamble(1e-6, 0, 0, 1)).Ok());
    EXPECT_THAT(m_progress.calls, ElementsAre("C0", "C1:1", "C1:2", "C2"));
}

TEST_F(CurveTest, WriteErrorShowsMessage41) {
    std::string raw = ":CURVE #6" + std::to_string(200000);
    Bytes data = test::Concat({test::FromText(raw), Bytes(200000, 7)});
    test::WriteFile(m_out, std::string("old"));
    test::WriteFile(m_raw, data);
    CurveResult r;
    {
        const test::FileSizeLimit full(100000);  // the 2.4 MB waveform does not fit
        r = ConvertBinaryCurve(m_raw, m_out, Preamble(1, 0, 0, 1), 0x21, m_notifier, m_progress);
    }
    EXPECT_EQ(r.error, CurveError::Write);
    EXPECT_EQ(r.points, 0);
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].text, "Schreibfehler " + m_out + ": Datei zu groß");
    EXPECT_THAT(m_progress.calls.back(), "C2");
    EXPECT_EQ(test::ReadFile(m_out), test::FromText("old"));

    m_notifier.shown.clear();
    m_out = m_dir.Path("no/such/folder/out.ktx");
    EXPECT_EQ(Ascii(":CURVE 1,2", Preamble(1, 0, 0, 1)).error, CurveError::TargetCreate);
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].stringId, 10041);
}

TEST_F(CurveTest, SampleIndexFile) {
    test::WriteFile(m_raw, ":CURVE 5,-3,1000,0\r");
    ASSERT_TRUE(ConvertRawCurve(m_raw, m_out, m_notifier, m_progress).Ok());
    const Bytes expected = test::Concat({
        {0x21, 0x16, 0x1F, 0x85, 0x55, 0x41, 'P', 'x', 0, 0, 0, 0},  // version 13.345, "Px"
        {0, 0, 0x6F, 0x12, 0x83, 0x3A, 0x83, 0, 0, 0, 0, 0x20},      // 1 ms, 5
        {0, 0, 0x6F, 0x12, 0x03, 0x3B, 0x82, 0, 0, 0, 0, 0xC0},      // 2 ms, -3
        {0, 0, 0xA6, 0x9B, 0x44, 0x3B, 0x8A, 0, 0, 0, 0, 0x7A},      // 3 ms, 1000
        {0, 0, 0x6F, 0x12, 0x83, 0x3B, 0, 0, 0, 0, 0, 0},            // 4 ms, 0
    });
    EXPECT_EQ(test::ReadFile(m_out), expected);
    const auto rec = LoadWaveform(m_out, false, {}, m_notifier);
    ASSERT_TRUE(rec);
    EXPECT_TRUE(rec->sampleAxis);
    EXPECT_EQ(TimeFieldToMilliseconds(rec->xValues[2]), 3);
}

TEST_F(CurveTest, SampleIndexSourceOfEightBytesOrLessShowsMessage12) {
    test::WriteFile(m_raw, ":CURVE 1");
    const auto r = ConvertRawCurve(m_raw, m_out, m_notifier, m_progress);
    EXPECT_EQ(r.error, CurveError::SourceTooShort);
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].text, "ungültiges Dateiformat " + m_raw);
    EXPECT_TRUE(m_progress.calls.empty());
}

// The instrument's own CSV export of the same capture is the reference for the levels.
struct CorpusCase {
    const char* isf;
    const char* csv;
    std::uint8_t flags;
    double xincr, yoff, ymult;
    int points;
    friend void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.isf; }
};

class CorpusCurve : public CurveTest, public ::testing::WithParamInterface<CorpusCase> {};

INSTANTIATE_TEST_SUITE_P(InstrumentFiles, CorpusCurve,
                         ::testing::Values(CorpusCase{"isf/TEK00000.ISF", "csv/TEK00001.CSV", 0xA1,
                                                      800e-6, 0, 0.04, 2000},
                                           CorpusCase{"isf/tek0001CH1.isf", "csv/tek0001CH1.csv",
                                                      0xA2, 400e-6, 128, 156.25e-9, 10000}));

// The values of the last column of every line that starts with a number.
std::vector<double> CsvValues(const std::string& path) {
    std::ifstream in(path);
    std::vector<double> values;
    std::string line;
    while (std::getline(in, line)) {
        const auto comma = line.rfind(',');
        if (line.empty() || comma == std::string::npos ||
            !(std::isdigit(line[0]) || line[0] == '-')) {
            continue;
        }
        values.push_back(std::stod(line.substr(comma + 1)));
    }
    return values;
}

TEST_P(CorpusCurve, LevelsMatchTheInstrumentsCsv) {
    const std::string corpus = test::CorpusDir();
    if (corpus.empty()) {
        GTEST_SKIP() << "no corpus beside the checkout";
    }
    const CorpusCase& c = GetParam();
    // The ISF file is the instrument's answer to "WFMPRE?;CURVE?": the curve part is a raw curve.
    const Bytes isf = test::ReadFile(corpus + "/" + c.isf);
    const std::string text(isf.begin(), isf.end());
    const auto at = text.find(":CURV");
    ASSERT_NE(at, std::string::npos);
    const auto r = Binary(Bytes(isf.begin() + static_cast<long>(at), isf.end()),
                          Preamble(c.xincr, 0, c.yoff, c.ymult), c.flags);
    ASSERT_TRUE(r.Ok());
    ASSERT_EQ(r.points, c.points);
    const std::vector<double> ys = Ys();
    const std::vector<double> csv = CsvValues(corpus + "/" + c.csv);
    ASSERT_EQ(csv.size(), ys.size());
    for (std::size_t i = 0; i < ys.size(); ++i) {
        ASSERT_NEAR(ys[i], csv[i], std::fabs(csv[i]) * 1e-6 + 1e-12) << "point " << i;
    }
}

}  // namespace
}  // namespace ktx

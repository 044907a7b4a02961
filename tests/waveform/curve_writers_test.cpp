// SPDX-License-Identifier: GPL-3.0-or-later
// The writers of the text, Excel and FAMOS forms and of the binary block sent back to an
// instrument, checked against texts and bytes written out by hand.
#include "waveform/curve_writers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "config/message_catalog.h"
#include "test_files.h"
#include "waveform/text_number.h"

namespace ktx {
namespace {

struct SciCase {
    double value;
    char decimal;
    const char* text;
};

class Sci23 : public ::testing::TestWithParam<SciCase> {};

TEST_P(Sci23, TwentyThreeCharacters) {
    char buf[kSci23Width + 1];
    char* end = FormatSci23(buf, GetParam().value, GetParam().decimal);
    ASSERT_EQ(end - buf, static_cast<long>(kSci23Width));
    EXPECT_EQ(std::string(buf, end), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Text, Sci23,
    ::testing::Values(SciCase{1.0, ',', " 1,00000000000000E+0000"},
                      SciCase{1.0, '.', " 1.00000000000000E+0000"},
                      SciCase{0.0, '.', " 0.00000000000000E+0000"},
                      SciCase{-2.5e-7, '.', "-2.50000000000000E-0007"},
                      SciCase{1e100, '.', " 1.00000000000000E+0100"},
                      SciCase{-1.5e-300, ',', "-1,50000000000000E-0300"},
                      SciCase{9.999999999999999, '.', " 1.00000000000000E+0001"},
                      SciCase{123456.789012345678, '.', " 1.23456789012346E+0005"}));

TEST(ParseRealText, InstrumentForms) {
    double v = 0;
    EXPECT_TRUE(ParseReal("400.0000E-6", v));
    EXPECT_DOUBLE_EQ(v, 400e-6);
    EXPECT_TRUE(ParseReal(" -2e-005\r", v));
    EXPECT_DOUBLE_EQ(v, -2e-5);
    EXPECT_TRUE(ParseReal("+1.5", v));
    EXPECT_DOUBLE_EQ(v, 1.5);
    EXPECT_TRUE(ParseReal("-1,25", v, true));
    EXPECT_DOUBLE_EQ(v, -1.25);
    for (const char* bad : {"", " ", "1,5", "--1", "+-1", "1e999", "nan", "inf", "1.5V", "+"}) {
        EXPECT_FALSE(ParseReal(bad, v)) << bad;
    }
}

CurvePreamble Preamble(int n, double xincr, double ptOff) {
    CurvePreamble p;
    p.NR_PT = n;
    p.XINCR = Real6::FromDouble(xincr);
    p.PT_OFF = Real6::FromDouble(ptOff);
    p.YOFF[0] = Real6::FromDouble(10);
    p.YMULT[0] = Real6::FromDouble(0.5);
    p.YOFF[1] = Real6::FromDouble(0);
    p.YMULT[1] = Real6::FromDouble(2);
    return p;
}

class Writers : public ::testing::Test {
  protected:
    std::string Text(const std::string& path) {
        const auto b = test::ReadFile(path);
        return std::string(b.begin(), b.end());
    }
    test::TempDir m_dir;
    test::RecordingNotifier m_notifier;
};

TEST_F(Writers, ColumnsWithDecimalCommaAndSeparators) {
    const std::string out = m_dir.Path("t.txt");
    ASSERT_TRUE(WriteColumns(out, {{12, 8}, {1, -1}}, Preamble(2, 0.5, 1), {';', '\n', ','},
                             m_notifier, NoProgress()));
    // i counted from 0 here: x = (i - PT_OFF) * XINCR.
    EXPECT_EQ(Text(out),
              "-5,00000000000000E-0001; 1,00000000000000E+0000; 2,00000000000000E+0000\n"
              " 0,00000000000000E+0000;-1,00000000000000E+0000;-2,00000000000000E+0000\n");
    ASSERT_TRUE(WriteColumns(out, {{12, 8, 9}}, Preamble(5, 1, 0), {'\t', 0, '.'}, m_notifier,
                             NoProgress()));
    EXPECT_EQ(Text(out),
              " 0.00000000000000E+0000\t 1.00000000000000E+0000\r\n"
              " 1.00000000000000E+0000\t-1.00000000000000E+0000\r\n"
              " 2.00000000000000E+0000\t-5.00000000000000E-0001\r\n");
}

TEST_F(Writers, ColumnsIntoAFolderThatIsNotThereShowMessage7) {
    EXPECT_FALSE(WriteColumns(m_dir.Path("no/t.txt"), {{1}}, Preamble(1, 1, 0), {}, m_notifier,
                              NoProgress()));
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].stringId, MessageCatalog::kMessageBase + 7);
}

TEST_F(Writers, PairListFromAnAsciiCurve) {
    test::WriteFile(m_dir.Path("raw"), std::string(":CURVE 12,8\r"));
    ASSERT_TRUE(WritePairList(m_dir.Path("raw"), m_dir.Path("p.fms"), Preamble(2, 0.5, 0),
                              m_notifier, NoProgress()));
    EXPECT_EQ(Text(m_dir.Path("p.fms")),
              " 5.00000000000000E-0001, 1.00000000000000E+0000 "
              " 1.00000000000000E+0000,-1.00000000000000E+0000 ");
    // A value that is no integer ends the file as failed: the old file stays as it was.
    test::WriteFile(m_dir.Path("raw"), std::string(":CURVE 12,x8\r"));
    EXPECT_FALSE(WritePairList(m_dir.Path("raw"), m_dir.Path("p.fms"), Preamble(2, 0.5, 0),
                               m_notifier, NoProgress()));
    EXPECT_EQ(Text(m_dir.Path("p.fms")),
              " 5.00000000000000E-0001, 1.00000000000000E+0000 "
              " 1.00000000000000E+0000,-1.00000000000000E+0000 ");
}

TEST_F(Writers, ParseCurveStopsAtTheCount) {
    test::WriteFile(m_dir.Path("raw"), std::string(":CURVE 1,-2,30000,4\r\n"));
    std::vector<std::int32_t> v;
    EXPECT_EQ(ParseCurve(m_dir.Path("raw"), v, 3), 3);
    EXPECT_EQ(v, (std::vector<std::int32_t>{1, -2, 30000}));
    EXPECT_EQ(ParseCurve(m_dir.Path("raw"), v, 100), 4);
    test::WriteFile(m_dir.Path("raw"), std::string(":CURVE 1,123456789012\r"));
    EXPECT_EQ(ParseCurve(m_dir.Path("raw"), v, 100), -1);
    test::WriteFile(m_dir.Path("raw"), std::string("CURVE? 1,2"));
    EXPECT_EQ(ParseCurve(m_dir.Path("raw"), v, 100), -1);
}

struct BlockCase {
    const char* source;
    int width;
    test::Bytes expected;
};

class CurveBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(CurveBlocks, BytesAsTheInstrumentReadsThem) {
    test::TempDir dir;
    test::RecordingNotifier n;
    test::WriteFile(dir.Path("a.wfm"), std::string(GetParam().source));
    const bool ok = GetParam().width == 1 ? CurveToBlock1(dir.Path("a.wfm"), dir.Path("b"), n)
                                          : CurveToBlock2(dir.Path("a.wfm"), dir.Path("b"), n);
    ASSERT_TRUE(ok);
    EXPECT_EQ(test::ReadFile(dir.Path("b")), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Wfm, CurveBlocks,
    ::testing::Values(
        BlockCase{":CURVE 1,-2,300\r", 2,
                  test::Concat({test::FromText(":CURVE #16"), {1, 0, 0xFE, 0xFF, 0x2C, 0x01}})},
        BlockCase{":CURVE 1,-2,300\r", 1,
                  test::Concat({test::FromText(":CURVE #13"), {1, 0xFE, 0x2C}})},
        BlockCase{":CURVE 0,1,2,3,4,5,6,7,8,9\r", 2,
                  test::Concat({test::FromText(":CURVE #220"),
                                {0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 9, 0}})}));

TEST(CurveBlockFailures, ShortOrBadSources) {
    test::TempDir dir;
    test::RecordingNotifier n;
    test::WriteFile(dir.Path("a.wfm"), std::string(":CURVE 1"));
    EXPECT_FALSE(CurveToBlock2(dir.Path("a.wfm"), dir.Path("b"), n));
    ASSERT_EQ(n.shown.size(), 1u);
    EXPECT_EQ(n.shown[0].text, "ungültiges Dateiformat " + dir.Path("a.wfm"));
    test::WriteFile(dir.Path("a.wfm"), std::string(":CURVE 1,1234567890\r"));
    EXPECT_FALSE(CurveToBlock1(dir.Path("a.wfm"), dir.Path("b"), n));
    test::WriteFile(dir.Path("a.wfm"), std::string("LLWFM #11,2,3\r"));
    EXPECT_FALSE(CurveToBlock1(dir.Path("a.wfm"), dir.Path("b"), n));
}

}  // namespace
}  // namespace ktx

namespace ktx {
namespace {

// A full device: every write fails at the flush, and the writer says so once.
// A full disk (a file that may not grow) gives the write message; a device is no target.
TEST(WriterFailures, FullDiskGivesTheWriteMessage) {
    test::TempDir dir;
    test::RecordingNotifier n;
    {
        const test::FileSizeLimit full(64 * 1024);
        EXPECT_FALSE(WriteColumns(dir.Path("t.txt"), {std::vector<std::int32_t>(100000, 1)},
                                  Preamble(100000, 1, 0), {}, n, NoProgress()));
    }
    ASSERT_EQ(n.shown.size(), 1u);
    EXPECT_EQ(n.shown[0].stringId, MessageCatalog::kMessageBase + 8);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("t.txt")));

    std::string curve = ":CURVE ";
    for (int i = 0; i < 50000; ++i) {
        curve += "12,";
    }
    curve += "1\r";
    test::WriteFile(dir.Path("raw"), curve);
    n.shown.clear();
    {
        const test::FileSizeLimit full(64 * 1024);
        EXPECT_FALSE(
            WritePairList(dir.Path("raw"), dir.Path("p.fms"), Preamble(1, 1, 0), n, NoProgress()));
    }
    ASSERT_EQ(n.shown.size(), 1u);
    EXPECT_EQ(n.shown[0].stringId, MessageCatalog::kMessageBase + 41);

    n.shown.clear();
    EXPECT_FALSE(WritePairList(dir.Path("raw"), "/dev/full", Preamble(1, 1, 0), n, NoProgress()));
    ASSERT_EQ(n.shown.size(), 1u);
    EXPECT_EQ(n.shown[0].stringId, MessageCatalog::kMessageBase + 7);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The foreign-format readers on files made here from the format descriptions: the forms the
// corpus lacks (two-byte LSB ISF, WFM versions 1/2 and big-endian files, LLWFM, "MAGIC 1000",
// the five-column comma text, tab text) and the edge cases of each reader.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "config/message_catalog.h"
#include "test_files.h"
#include "waveform/isf_reader.h"
#include "waveform/text_readers.h"
#include "waveform/wave_points.h"
#include "waveform/waveform_import.h"
#include "waveform/wfm_readers.h"

namespace ktx {
namespace {

using test::Bytes;

constexpr int kMsg12 = MessageCatalog::kMessageBase + 12;

void PutUnsigned(Bytes& b, std::size_t at, std::uint64_t v, std::size_t size, bool big) {
    if (b.size() < at + size) {
        b.resize(at + size);
    }
    for (std::size_t k = 0; k < size; ++k) {
        b[big ? at + size - 1 - k : at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    }
}
void PutF64(Bytes& b, std::size_t at, double v, bool big) {
    PutUnsigned(b, at, std::bit_cast<std::uint64_t>(v), 8, big);
}

class ReaderTest : public ::testing::Test {
  protected:
    // Imports `bytes` saved under `name` through the opener.
    ImportOutcome Import(const std::string& name, const Bytes& bytes) {
        m_source = m_dir.Path(name);
        test::WriteFile(m_source, bytes);
        m_notifier.shown.clear();
        std::filesystem::remove(m_target);
        return ImportWaveformFile(m_source, m_target, m_notifier, m_progress);
    }
    ImportOutcome Import(const std::string& name, const std::string& text) {
        return Import(name, test::FromText(text));
    }
    test::WaveContents Target() { return test::ReadWaveContents(m_target); }
    // A rejected file: exactly one message 12, and no target.
    void ExpectRejected(const ImportOutcome& o, bool withName) {
        EXPECT_EQ(o.kind, ImportKind::Failed);
        ASSERT_EQ(m_notifier.shown.size(), 1u);
        EXPECT_EQ(m_notifier.shown[0].stringId, kMsg12);
        EXPECT_EQ(m_notifier.shown[0].text.find(m_source) != std::string::npos, withName)
            << m_notifier.shown[0].text;
        EXPECT_FALSE(std::filesystem::exists(m_target));
    }

    test::TempDir m_dir;
    std::string m_source;
    std::string m_target = m_dir.Path("ktx_tmp.tmp");
    test::RecordingNotifier m_notifier;
    test::RecordingProgress m_progress;
};

// ---------------------------------------------------------------- ISF

std::string IsfText(const std::string& order, const std::string& format, int bytes, int points) {
    return ":WFMPRE:BYT_NR " + std::to_string(bytes) + ";BIT_NR 16;ENCDG BIN;BN_FMT " + format +
           ";BYT_OR " + order + ";NR_PT " + std::to_string(points) +
           ";WFID \"Ch1; DC coupling\";XINCR 1.0E-3;PT_OFF 2;YMULT 0.5;YOFF 10;";
}

struct FlagCase {
    const char* order;
    const char* format;
    int bytes;
    std::uint8_t flags;
};

class IsfFlags : public ::testing::TestWithParam<FlagCase> {};

TEST_P(IsfFlags, FollowTheByteOrderAndNumberFormat) {
    const FlagCase& c = GetParam();
    IsfPreamble p;
    ASSERT_TRUE(ParseIsfPreamble(IsfText(c.order, c.format, c.bytes, 4), p));
    EXPECT_EQ(p.flags, c.flags);
    EXPECT_EQ(p.curve.NR_PT, 4);
    EXPECT_DOUBLE_EQ(p.xIncr, 1e-3);
    EXPECT_DOUBLE_EQ(p.ptOff, 2);
    EXPECT_DOUBLE_EQ(p.yOff, 10);
    EXPECT_DOUBLE_EQ(p.yMult, 0.5);
    EXPECT_FALSE(p.hasXZero);
}

INSTANTIATE_TEST_SUITE_P(Isf, IsfFlags,
                         ::testing::Values(FlagCase{"LSB", "RP", 2, 0x52},
                                           FlagCase{"MSB", "RI", 2, 0xA2},
                                           FlagCase{"MSB", "RI", 1, 0xA1},
                                           FlagCase{"LSB", "RI", 1, 0x61}));

TEST(IsfPreambleText, MissingOrBadKeysFail) {
    IsfPreamble p;
    const std::string good = IsfText("MSB", "RI", 2, 4);
    ASSERT_TRUE(ParseIsfPreamble(good, p));
    for (const char* key : {"BYT_NR 2;", "BN_FMT RI;", "BYT_OR MSB;", "NR_PT 4;", "XINCR 1.0E-3;",
                            "PT_OFF 2;", "YMULT 0.5;", "YOFF 10;"}) {
        std::string text = good;
        text.erase(text.find(key), std::strlen(key));
        EXPECT_FALSE(ParseIsfPreamble(text, p)) << key;
    }
    std::string text = good;
    text.replace(text.find("YMULT 0.5"), 9, "YMULT x.5");
    EXPECT_FALSE(ParseIsfPreamble(text, p));
    text = good;
    text.replace(text.find("BYT_NR 2"), 8, "BYT_NR 4");
    EXPECT_FALSE(ParseIsfPreamble(text, p));
}

TEST_F(ReaderTest, TwoByteLsbIsfWithoutXzero) {
    // Levels 12, -2 (RI), 10, 300, little-endian.
    const Bytes data = {12, 0, 0xFE, 0xFF, 10, 0, 0x2C, 0x01};
    const auto o =
        Import("w.isf", test::Concat({test::FromText(IsfText("LSB", "RI", 2, 4) + ":CURVE #18"),
                                      data, test::FromText("\n")}));
    ASSERT_EQ(o.kind, ImportKind::Converted);
    const auto w = Target();
    ASSERT_EQ(w.points.size(), 4u);
    const double ys[] = {1, -6, 0, 145};
    for (int i = 0; i < 4; ++i) {
        // Without XZERO: x = (i - PT_OFF) * XINCR for i from 1.
        EXPECT_NEAR(w.points[i].x, (i + 1 - 2) * 1e-3, 1e-9);
        EXPECT_DOUBLE_EQ(w.points[i].y, ys[i]);
    }
}

TEST_F(ReaderTest, UnsignedTwoByteIsfIsNotSignExtended) {
    const Bytes data = {0xFF, 0xFF, 0, 0x80};
    ASSERT_EQ(
        Import("w.isf",
               test::Concat({test::FromText(IsfText("LSB", "RP", 2, 2) + ":CURVE #14"), data}))
            .kind,
        ImportKind::Converted);
    const auto w = Target();
    ASSERT_EQ(w.points.size(), 2u);
    EXPECT_DOUBLE_EQ(w.points[0].y, (65535 - 10) * 0.5);
    EXPECT_DOUBLE_EQ(w.points[1].y, (32768 - 10) * 0.5);
}

TEST_F(ReaderTest, IsfTwoRecordsBackToBackImportsTheFirst) {
    const Bytes first =
        test::Concat({test::FromText(IsfText("MSB", "RI", 1, 2) + ":CURVE #12"), {0x0C, 0xFF}});
    const Bytes second =
        test::Concat({test::FromText(IsfText("MSB", "RI", 1, 3) + ":CURVE #13"), {1, 2, 3}});
    const ImportOutcome o = Import("w.isf", test::Concat({first, second, test::FromText("\n")}));
    ASSERT_EQ(o.kind, ImportKind::Converted);
    EXPECT_EQ(o.frames, 2);  // said, not imported silently
    auto w = Target();
    ASSERT_EQ(w.points.size(), 2u);
    EXPECT_DOUBLE_EQ(w.points[0].y, 1);
    EXPECT_DOUBLE_EQ(w.points[1].y, (-1 - 10) * 0.5);  // FF is -1: two's complement
    // The second record on request.
    std::filesystem::remove(m_target);
    ASSERT_EQ(ImportWaveformFile(m_source, m_target, m_notifier, m_progress, 1).kind,
              ImportKind::Converted);
    w = Target();
    ASSERT_EQ(w.points.size(), 3u);
    EXPECT_DOUBLE_EQ(w.points[2].y, (3 - 10) * 0.5);
}

TEST_F(ReaderTest, IsfBlockLongerThanTheFileFails) {
    const auto o = Import(
        "w.isf",
        test::Concat({test::FromText(IsfText("MSB", "RI", 2, 4) + ":CURVE #3999"), {1, 2, 3}}));
    EXPECT_EQ(o.kind, ImportKind::Failed);
    EXPECT_FALSE(std::filesystem::exists(m_target));
    // One failure, one message: "Operation fehlgeschlagen", not also "ungültiges Dateiformat".
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].stringId, MessageCatalog::kMessageBase + 34);
}

TEST_F(ReaderTest, IsfWithAnEmptyBlockFails) {
    ExpectRejected(Import("w.isf", IsfText("MSB", "RI", 2, 0) + ":CURVE #10"), false);
}

TEST_F(ReaderTest, IsfWithoutCurveOrPreambleFails) {
    ExpectRejected(Import("w.isf", IsfText("MSB", "RI", 2, 4)), false);
    ExpectRejected(Import("w.isf", ":CU:CURVE #11A"), false);
}

TEST_F(ReaderTest, FailedImportKeepsTheFileAlreadyThere) {
    test::WriteFile(m_target, std::string("old contents"));
    test::WriteFile(m_dir.Path("w.isf"), std::string("nothing of the kind"));
    EXPECT_EQ(ImportWaveformFile(m_dir.Path("w.isf"), m_target, m_notifier, m_progress).kind,
              ImportKind::Failed);
    EXPECT_EQ(test::ReadFile(m_target), test::FromText("old contents"));
}

// ---------------------------------------------------------------- comma and tab text

struct TextCase {
    const char* name;
    const char* file;
    const char* text;
    std::vector<test::WavePoint> points;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class TextImport : public ReaderTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(TextImport, GivesThePoints) {
    const TextCase& c = GetParam();
    const auto o = Import(c.file, std::string(c.text));
    ASSERT_EQ(o.kind, ImportKind::Converted);
    const auto w = Target();
    ASSERT_EQ(w.points.size(), c.points.size());
    for (std::size_t i = 0; i < c.points.size(); ++i) {
        EXPECT_NEAR(w.points[i].x, c.points[i].x, std::fabs(c.points[i].x) * 1e-7) << i;
        EXPECT_NEAR(w.points[i].y, c.points[i].y, std::fabs(c.points[i].y) * 1e-11) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Text, TextImport,
    ::testing::Values(
        TextCase{"pair", "a.csv", "0.001,2.5", {{0.001, 2.5}}},
        TextCase{"pair_crlf", "a.csv", "0.001,2.5\r\n", {{0.001, 2.5}}},
        TextCase{"pairs_then_empty_line",
                 "a.csv",
                 "1e-3,1\n2e-3,-2\n\n3e-3,3\n",
                 {{1e-3, 1}, {2e-3, -2}}},
        TextCase{"more_columns_take_the_first", "a.csv", "1,2,3\n", {{1, 2}}},
        TextCase{
            "metadata_before_data",
            "a.csv",
            "Model,TBS1052C\r\n\r\nRecord Length,2\r\nLabel,\r\nTIME,CH1\r\n-8.000e-01,0.44\r\n"
            "-7.992e-01,-0.64\r\n",
            {{-0.8, 0.44}, {-0.7992, -0.64}}},
        TextCase{"tds_five_columns",
                 "a.csv",
                 "Record Length,2.500000e+03,Points,-0.000500000000,0.00800,\r\n"
                 "Sample Interval,4.000000e-07,s,-0.000499600000,-0.04000,\r\n"
                 ",,,-0.000499200000,0.01600,\r\n",
                 {{-0.0005, 0.008}, {-0.0004996, -0.04}, {-0.0004992, 0.016}}},
        TextCase{"tab_five_columns",
                 "a.txt",
                 "Record Length\t2.500000e+03\tPoints\t-0.0005\t0.008\t\r\n"
                 "\t\t\t-0.0004996\t-0.04\t\r\n",
                 {{-0.0005, 0.008}, {-0.0004996, -0.04}}},
        TextCase{"tab_pairs_with_decimal_comma",
                 "a.txt",
                 "0,001\t2,5\n0,002\t-1,25\textra\n",
                 {{0.001, 2.5}, {0.002, -1.25}}}));

TEST_F(ReaderTest, TabPairsGiveAFourColumnFileInColumnZero) {
    ASSERT_EQ(Import("a.txt", std::string("0,5\t1,5\n1\t2\nend\n")).kind, ImportKind::Converted);
    const auto w = Target();
    EXPECT_EQ(w.layout, WaveLayout::FourColumn);
    EXPECT_EQ(w.unit0, "Px");
    ASSERT_EQ(w.points.size(), 2u);  // the line without a tab ends the import
    EXPECT_DOUBLE_EQ(w.points[1].y, 2);
}

TEST_F(ReaderTest, TextFilesThatFail) {
    // A value that does not convert once the data began.
    ExpectRejected(Import("a.csv", std::string("1,2\n2,x\n")), false);
    // Nothing but metadata.
    ExpectRejected(Import("a.csv", std::string("Model,TBS\nLabel,\n")), false);
    // A five-column line with too few fields fails the file.
    ExpectRejected(Import("a.csv", std::string(",,,1,2,\nx,1,\n,,,2,3,\n")), false);
    ExpectRejected(Import("a.txt", std::string("a\tb\tc\t1\tx\n")), false);
    ExpectRejected(Import("a.csv", std::string()), false);
    // A line longer than any instrument writes.
    ExpectRejected(Import("a.csv", std::string("1,2\n") + std::string(10000, '1')), false);
}

TEST(ReadTabTextDirect, UnitsAndDecimalComma) {
    test::TempDir dir;
    test::WriteFile(dir.Path("t.txt"), std::string("1,5\t-2,25\r\n"));
    test::RecordingNotifier n;
    const ImportResult r = ReadTabText(dir.Path("t.txt"), dir.Path("o.ktx"), n, NoProgress());
    ASSERT_TRUE(r.ok);
    const auto w = test::ReadWaveContents(dir.Path("o.ktx"));
    ASSERT_EQ(w.points.size(), 1u);
    EXPECT_FLOAT_EQ(static_cast<float>(w.points[0].x), 1.5f);
    EXPECT_DOUBLE_EQ(w.points[0].y, -2.25);
}

// ---------------------------------------------------------------- WFM variants

struct VariantCase {
    std::string head;
    std::string name;
    int variant;
};

class Variants : public ::testing::TestWithParam<VariantCase> {};

TEST_P(Variants, FirstThirteenBytesDecide) {
    test::TempDir dir;
    const std::string path = dir.Path(GetParam().name);
    test::WriteFile(path, GetParam().head + std::string(40, 'x'));
    EXPECT_EQ(WfmVariant(path), GetParam().variant);
}

INSTANTIATE_TEST_SUITE_P(Wfm, Variants,
                         ::testing::Values(VariantCase{":CURVE 1,2", "a.wfm", 1},
                                           VariantCase{":WFM CURVE", "a.wfm", 1},
                                           VariantCase{"\x0f\x0f:WFM#003", "a.wfm", 2},
                                           VariantCase{"LLWFM #3123", "a.wfm", 3},
                                           VariantCase{"MAGIC 1000\r\n#", "a.wfm", 4},
                                           VariantCase{"123456789012:WFM", "a.wfm", 0},
                                           VariantCase{":WFM#003", "a*.wfm", 0}));

TEST(WfmVariantFile, MissingFileIsZero) {
    EXPECT_EQ(WfmVariant("/nonexistent/a.wfm"), 0);
    EXPECT_STREQ(WfmModelLabel(0), "unknown");
    EXPECT_STREQ(WfmModelLabel(2), "TDS 5000..8000");
}

TEST_F(ReaderTest, AsciiWfmBecomesASampleIndexFile) {
    const auto o = Import("a.wfm", std::string(":CURVE 5,-3,7,9,11\r"));
    ASSERT_EQ(o.kind, ImportKind::Converted);
    EXPECT_TRUE(o.sampleAxis);
    const auto w = Target();
    EXPECT_FLOAT_EQ(w.version, 13.345f);
    EXPECT_EQ(w.unit0, "Px");
    ASSERT_EQ(w.points.size(), 5u);
    EXPECT_NEAR(w.points[0].x, 0.001, 1e-9);  // point 1 as 1 ms
    EXPECT_DOUBLE_EQ(w.points[1].y, -3);
}

// A reference waveform file of `version` 1..3 with the samples `raw` (already encoded) between
// 3 precharge and 2 postcharge points.
struct WfmSpec {
    int version;
    bool big;
    int format;
    std::size_t bytesPerPoint;
};

Bytes MakeWfm(const WfmSpec& s, const Bytes& raw, double vScale, double vOffset, double hScale,
              double hOffset, double fraction) {
    const bool v3 = s.version == 3;
    // Version 1 has no summary frame type (2 bytes at 154): everything after it sits 2 earlier.
    const std::size_t d = s.version == 1 ? 2 : 0;
    const std::size_t headerSize = (v3 ? 838 : 822) - d;
    Bytes b(headerSize, 0);
    b[0] = b[1] = s.big ? 0xF0 : 0x0F;
    const std::string version = ":WFM#00" + std::to_string(s.version);
    std::memcpy(b.data() + 2, version.data(), 8);
    b[15] = static_cast<std::uint8_t>(s.bytesPerPoint);
    PutUnsigned(b, 16, headerSize, 4, s.big);
    PutUnsigned(b, 122, 2, 4, s.big);
    PutF64(b, 168 - d, vScale, s.big);
    PutF64(b, 176 - d, vOffset, s.big);
    PutUnsigned(b, 240 - d, static_cast<std::uint64_t>(s.format), 4, s.big);
    PutF64(b, (v3 ? 488 : 480) - d, hScale, s.big);
    PutF64(b, (v3 ? 496 : 488) - d, hOffset, s.big);
    PutF64(b, (v3 ? 788 : 772) - d, fraction, s.big);
    const std::size_t pre = 3 * s.bytesPerPoint;
    PutUnsigned(b, (v3 ? 822 : 806) - d, pre, 4, s.big);
    PutUnsigned(b, (v3 ? 826 : 810) - d, pre + raw.size(), 4, s.big);
    b.insert(b.end(), pre, 0xAA);
    b.insert(b.end(), raw.begin(), raw.end());
    b.insert(b.end(), 2 * s.bytesPerPoint, 0x55);
    return b;
}

Bytes Encode(const WfmSpec& s, const std::vector<double>& levels) {
    Bytes raw;
    for (double v : levels) {
        const std::size_t at = raw.size();
        switch (s.format) {
            case 0:
                PutUnsigned(raw, at, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)), 2,
                            s.big);
                break;
            case 1:
                PutUnsigned(raw, at, static_cast<std::uint32_t>(static_cast<std::int32_t>(v)), 4,
                            s.big);
                break;
            case 4:
                PutUnsigned(raw, at, std::bit_cast<std::uint32_t>(static_cast<float>(v)), 4, s.big);
                break;
            case 5:
                PutF64(raw, at, v, s.big);
                break;
            default:
                raw.push_back(static_cast<std::uint8_t>(static_cast<std::int8_t>(v)));
        }
    }
    return raw;
}

void PrintTo(const WfmSpec& s, std::ostream* os) {
    *os << "v" << s.version << (s.big ? " big" : " little") << " format " << s.format;
}

class WfmFiles : public ReaderTest, public ::testing::WithParamInterface<WfmSpec> {};

TEST_P(WfmFiles, ScaleEveryValidPoint) {
    const WfmSpec& s = GetParam();
    const std::vector<double> levels = {-100, -1, 0, 1, 50, 127};
    const auto o = Import("w.wfm", MakeWfm(s, Encode(s, levels), 0.01, 0.5, 2e-9, -1e-6, 0.25));
    ASSERT_EQ(o.kind, ImportKind::Converted) << m_notifier.shown.size();
    const auto w = Target();
    ASSERT_EQ(w.points.size(), levels.size());
    for (std::size_t k = 0; k < levels.size(); ++k) {
        EXPECT_NEAR(w.points[k].y, levels[k] * 0.01 + 0.5, 1e-12) << k;
        const double x = -1e-6 + (static_cast<double>(k) + 0.25) * 2e-9;
        EXPECT_NEAR(w.points[k].x, x, 1e-13) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Wfm, WfmFiles,
                         ::testing::Values(WfmSpec{1, false, 0, 2}, WfmSpec{2, false, 0, 2},
                                           WfmSpec{1, true, 0, 2}, WfmSpec{2, true, 1, 4},
                                           WfmSpec{2, false, 4, 4}, WfmSpec{2, false, 5, 8},
                                           WfmSpec{3, false, 0, 2}, WfmSpec{3, true, 0, 2},
                                           WfmSpec{3, false, 7, 1}, WfmSpec{3, true, 4, 4}));

// Files of every version laid out by an independent writer from the published field table
// (tests/waveform/make_wfm.py), with the points it says they hold.
struct FixtureFrame {
    std::vector<test::WavePoint> points;
};

std::map<std::string, std::vector<FixtureFrame>> ReadFixtures() {
    std::map<std::string, std::vector<FixtureFrame>> files;
    std::ifstream in(std::string(KTX_WFM_FIXTURES) + "/expected.txt");
    std::string word;
    std::string name;
    while (in >> word) {
        if (word == "FILE") {
            int frames = 0;
            in >> name >> word >> frames;
            files[name].resize(static_cast<std::size_t>(frames));
        } else if (word == "FRAME") {
            std::size_t frame = 0;
            std::size_t points = 0;
            in >> frame >> word >> points;
            auto& p = files[name].at(frame).points;
            p.resize(points);
            for (auto& point : p) {
                in >> point.x >> point.y;
            }
        }
    }
    return files;
}

class WfmVersions : public ReaderTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WfmVersions, EveryFrameAsTheLayoutSays) {
    static const auto fixtures = ReadFixtures();
    const auto it = fixtures.find(GetParam());
    if (it == fixtures.end()) {
        GTEST_SKIP() << "no reference files (python3 with numpy is needed to make them)";
    }
    const std::string path = std::string(KTX_WFM_FIXTURES) + "/" + GetParam() + ".wfm";
    const auto& frames = it->second;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        std::filesystem::remove(m_target);
        m_notifier.shown.clear();
        const ImportOutcome o = ImportWaveformFile(path, m_target, m_notifier, m_progress,
                                                   static_cast<std::int64_t>(k));
        ASSERT_EQ(o.kind, ImportKind::Converted)
            << (m_notifier.shown.empty() ? "" : m_notifier.shown[0].text);
        EXPECT_EQ(o.frames, static_cast<std::int64_t>(frames.size()));
        const auto w = Target();
        const auto& expected = frames[k].points;
        ASSERT_EQ(w.points.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(w.points[i].x, expected[i].x, std::fabs(expected[i].x) * 1e-7 + 1e-15) << i;
            EXPECT_NEAR(w.points[i].y, expected[i].y, std::fabs(expected[i].y) * 1e-11) << i;
        }
    }
    // One past the last frame: message 14 naming it, and no target.
    std::filesystem::remove(m_target);
    m_notifier.shown.clear();
    EXPECT_EQ(ImportWaveformFile(path, m_target, m_notifier, m_progress,
                                 static_cast<std::int64_t>(frames.size()))
                  .kind,
              ImportKind::Failed);
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].text, "keine gültige Auswahl Kurve " +
                                            std::to_string(frames.size() + 1) + " von " +
                                            std::to_string(frames.size()));
    EXPECT_FALSE(std::filesystem::exists(m_target));
}

INSTANTIATE_TEST_SUITE_P(Published, WfmVersions,
                         ::testing::Values("v1_le_int16", "v1_be_int32", "v1_le_frames",
                                           "v2_le_int8", "v2_be_frames", "v3_le_frames_float"));

TEST_F(ReaderTest, FastFrameFileSaysHowManyFramesInTheStatusText) {
    if (test::CorpusDir().empty()) {
        GTEST_SKIP() << "corpus not beside the checkout";
    }
    struct Notes final : ProgressSink {
        void Note(const std::string& text) override { notes.push_back(text); }
        std::vector<std::string> notes;
    } notes;
    const auto o = ImportWaveformFile(test::CorpusDir() + "/wfm/sample_ff1.wfm", m_target,
                                      m_notifier, notes, 4);
    ASSERT_EQ(o.kind, ImportKind::Converted);
    EXPECT_EQ(o.frames, 5);
    EXPECT_EQ(Target().points.size(), 1000u);
    EXPECT_EQ(notes.notes, std::vector<std::string>{"Kurve 5 von 5"});
}

// The extension misleads: the content decides before the file counts as unknown.
TEST_F(ReaderTest, ContentWinsOverAMisleadingExtension) {
    // What the program itself stores from a family that saves preamble and curve together.
    auto o =
        Import("saved.wfm", test::Concat({test::FromText(IsfText("MSB", "RI", 2, 2) + ":CURVE #14"),
                                          {0, 12, 0xFF, 0xFE}}));
    ASSERT_EQ(o.kind, ImportKind::Converted);
    EXPECT_EQ(Target().points.size(), 2u);
    EXPECT_TRUE(m_notifier.shown.empty());
    // Comma text in a ".txt".
    o = Import("comma.txt", std::string("1e-3,1\n2e-3,-2\n"));
    ASSERT_EQ(o.kind, ImportKind::Converted);
    const auto w = Target();
    ASSERT_EQ(w.points.size(), 2u);
    EXPECT_DOUBLE_EQ(w.points[1].y, -2);
}

TEST_F(ReaderTest, WfmFilesThatFail) {
    const WfmSpec s{2, false, 0, 2};
    const Bytes good = MakeWfm(s, Encode(s, {1, 2, 3}), 1, 0, 1, 0, 0);
    ExpectRejected(Import("w.wfm", Bytes(good.begin(), good.begin() + 830)), true);
    Bytes b = good;
    PutUnsigned(b, 122, 1, 4, false);  // not a vector
    ExpectRejected(Import("w.wfm", b), false);
    b = good;
    b[15] = 4;  // bytes per point disagree with the format
    ExpectRejected(Import("w.wfm", b), false);
    b = good;
    PutUnsigned(b, 810, 0x7FFFFFFF, 4, false);  // data end beyond the file
    ExpectRejected(Import("w.wfm", b), false);
    b = good;
    PutUnsigned(b, 806, 10, 4, false);  // start after end
    PutUnsigned(b, 810, 4, 4, false);
    ExpectRejected(Import("w.wfm", b), false);
    b = good;
    PutUnsigned(b, 810, 6, 4, false);  // no valid point between start and end
    ExpectRejected(Import("w.wfm", b), false);
    b = good;
    PutUnsigned(b, 240, 9, 4, false);  // unknown format
    ExpectRejected(Import("w.wfm", b), false);
    b = good;
    PutUnsigned(b, 72, 3, 4, false);  // four frames of an empty curve buffer
    PutUnsigned(b, 806, 0, 4, false);
    PutUnsigned(b, 810, 0, 4, false);
    ExpectRejected(Import("w.wfm", b), false);
    ExpectRejected(Import("w.wfm", std::string("nothing\r\n") + std::string(900, ' ')), false);
}

// ---------------------------------------------------------------- LLWFM

Bytes MakeLlwfm(int unitCode, const std::vector<std::int16_t>& values) {
    const std::size_t curveBytes = values.size() * 2;
    Bytes b = test::FromText("LLWFM #3999");
    b.insert(b.end(), 4, 0);
    PutUnsigned(b, b.size(), 158 + curveBytes, 4, true);
    const std::size_t pre = b.size();
    b.resize(pre + 124 + 32, 0);
    PutF64(b, pre + 48, 1e-3, true);
    PutUnsigned(b, pre + 56, static_cast<std::uint64_t>(unitCode), 2, true);
    PutF64(b, pre + 58, 0.5, true);   // vertical zero
    PutF64(b, pre + 66, 2.0, true);   // position: 50 levels
    PutF64(b, pre + 74, 0.64, true);  // volts per division: 1e-4 V per level
    for (std::int16_t v : values) {
        PutUnsigned(b, b.size(), static_cast<std::uint16_t>(v), 2, true);
    }
    return b;
}

struct UnitCase {
    int code;
    const char* unit;
};

class LlwfmUnits : public ReaderTest, public ::testing::WithParamInterface<UnitCase> {};

TEST_P(LlwfmUnits, CodeGivesUnitAndValuesScale) {
    std::vector<std::int16_t> values(20);
    for (int i = 0; i < 20; ++i) {
        values[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i * 1000 - 5000);
    }
    ASSERT_EQ(Import("l.wfm", MakeLlwfm(GetParam().code, values)).kind, ImportKind::Converted);
    const auto w = Target();
    EXPECT_EQ(w.unit0, GetParam().unit);
    ASSERT_EQ(w.points.size(), 20u);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_NEAR(w.points[i].x, static_cast<double>(i + 1) * 1e-3, 1e-9);
        EXPECT_NEAR(w.points[i].y, (values[i] - 50) * 1e-4 + 0.5, 1e-12);
    }
}

INSTANTIATE_TEST_SUITE_P(Llwfm, LlwfmUnits,
                         ::testing::Values(UnitCase{0, "#"}, UnitCase{609, "V"}, UnitCase{610, "s"},
                                           UnitCase{626, "vald"}, UnitCase{627, "invl"},
                                           UnitCase{631, "#"}, UnitCase{632, "VV"},
                                           UnitCase{736, "Hz"}, UnitCase{740, "dB"},
                                           UnitCase{766, "Vs"}, UnitCase{767, "VVs"},
                                           UnitCase{768, "V/s"}, UnitCase{920, "V/v"},
                                           UnitCase{1, "s"}, UnitCase{65535, "s"}));

TEST_F(ReaderTest, LlwfmEndsWithTheFileOrFailsWhenShort) {
    Bytes b = MakeLlwfm(609, std::vector<std::int16_t>(30, 7));
    b.resize(b.size() - 21);  // ten and a half points missing
    ASSERT_EQ(Import("l.wfm", b).kind, ImportKind::Converted);
    EXPECT_EQ(Target().points.size(), 19u);
    ExpectRejected(Import("l.wfm", Bytes(b.begin(), b.begin() + 208)), true);
    b = MakeLlwfm(609, std::vector<std::int16_t>(30, 7));
    PutUnsigned(b, 15, 100, 4, true);  // curve length below the preamble's
    ExpectRejected(Import("l.wfm", b), false);
}

// ---------------------------------------------------------------- MAGIC 1000

Bytes MakeMagic(const std::vector<float>& ys, const std::string& clock) {
    const std::string length = std::to_string(ys.size() * 5);
    Bytes b = test::FromText("MAGIC 1000\r\n#" + std::to_string(length.size()) + length);
    for (float y : ys) {
        PutUnsigned(b, b.size(), std::bit_cast<std::uint32_t>(y), 4, false);
        b.push_back(0x03);  // marker bits
    }
    const Bytes tail = test::FromText(clock);
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

TEST_F(ReaderTest, MagicFileUsesItsClock) {
    ASSERT_EQ(Import("m.wfm", MakeMagic({0.5f, -1.25f, 2.0f}, "CLOCK 1.0000000000e+06\r\n")).kind,
              ImportKind::Converted);
    const auto w = Target();
    ASSERT_EQ(w.points.size(), 3u);
    EXPECT_DOUBLE_EQ(w.points[0].x, 0);
    EXPECT_NEAR(w.points[2].x, 2e-6, 1e-13);
    EXPECT_DOUBLE_EQ(w.points[1].y, -1.25);
}

TEST_F(ReaderTest, MagicFilesThatFail) {
    ExpectRejected(Import("m.wfm", MakeMagic({0.5f, 1.0f}, "NOCLK 1.0e+06\r\n")), false);
    ExpectRejected(Import("m.wfm", MakeMagic({0.5f, 1.0f}, "CLOCK 0\r\n")), false);
    ExpectRejected(Import("m.wfm", std::string("MAGIC 1000\r\n#")), true);
    Bytes b = MakeMagic({0.5f, 1.0f}, "CLOCK 1e6\r\n");
    b[13] = '9';  // nine length digits: a length far beyond the file
    ExpectRejected(Import("m.wfm", b), false);
}

TEST_F(ReaderTest, TargetThatCannotBeWrittenGivesOnlyTheWriteMessage) {
    // Into a folder that is not there (41) and onto a folder, which is no file to replace (7):
    // one message, not also 12, and no leftovers.
    struct Case {
        std::string target;
        int message;
    };
    for (const Case& c : {Case{m_dir.Path("no/ktx_tmp.tmp"), 41}, Case{m_dir.Path("folder"), 7}}) {
        std::filesystem::create_directory(m_dir.Path("folder"));
        test::WriteFile(m_dir.Path("a.csv"), std::string("1,2\n3,4\n"));
        m_notifier.shown.clear();
        EXPECT_EQ(ImportWaveformFile(m_dir.Path("a.csv"), c.target, m_notifier, m_progress).kind,
                  ImportKind::Failed);
        ASSERT_EQ(m_notifier.shown.size(), 1u) << c.target;
        EXPECT_EQ(m_notifier.shown[0].stringId, MessageCatalog::kMessageBase + c.message);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path("")), {}), 2);
    }
}

TEST_F(ReaderTest, UnknownWfmAndOtherExtensions) {
    ExpectRejected(Import("x.wfm", std::string(100, 'z')), false);
    EXPECT_EQ(Import("x.dat", std::string("1,2\n")).kind, ImportKind::Ignored);
    EXPECT_EQ(Import("x.FFT", std::string("1,2\n")).kind, ImportKind::OtherView);
    const auto o = Import("x.KTX", std::string("whatever"));
    EXPECT_EQ(o.kind, ImportKind::Waveform);
    EXPECT_EQ(o.viewFile, m_source);
    // Upper-case extensions are the instruments' habit.
    EXPECT_EQ(Import("X.CSV", std::string("1,2\n")).kind, ImportKind::Converted);
}

}  // namespace
}  // namespace ktx

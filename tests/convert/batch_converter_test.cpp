// SPDX-License-Identifier: GPL-3.0-or-later
// The batch converter: folders of real instrument files into waveform files (checked against
// the values the instruments themselves printed), every failure reported for its own file while
// the batch goes on and older targets stay as they were, and the text forms of one-column,
// four-column and spectrum files byte for byte. The waveform and spectrum sources are laid out
// here from the file format's description (tag, version, unit slots, 6-byte fields).
#include "convert/batch_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>

#include "test_files.h"
#include "waveform/wave_points.h"

namespace ktx {
namespace {

namespace fs = std::filesystem;

// --- files laid out from the format description -----------------------------------------------

void Put(test::Bytes& b, const void* p, std::size_t n) {
    const auto* c = static_cast<const std::uint8_t*>(p);
    b.insert(b.end(), c, c + n);
}

// The 6-byte real: exponent + 129 (0 for zero), then 39 fraction bits and the sign on top,
// least significant byte first.
void PutReal6(test::Bytes& b, double v) {
    std::uint8_t r[6] = {};
    if (v != 0.0) {
        int e = 0;
        const double m = std::frexp(std::fabs(v), &e);  // m in [0.5, 1): |v| = 2m * 2^(e-1)
        const auto fraction = static_cast<std::uint64_t>(std::llround((2 * m - 1) * 0x1p39));
        const std::uint64_t field = fraction | (v < 0 ? std::uint64_t{1} << 39 : 0);
        r[0] = static_cast<std::uint8_t>(e - 1 + 129);
        for (int i = 0; i < 5; ++i) {
            r[1 + i] = static_cast<std::uint8_t>(field >> (8 * i));
        }
    }
    Put(b, r, 6);
}

void PutTime(test::Bytes& b, int hours, int minutes, float seconds) {
    const std::uint8_t hm[2] = {static_cast<std::uint8_t>(hours),
                                static_cast<std::uint8_t>(minutes)};
    Put(b, hm, 2);
    Put(b, &seconds, 4);  // little-endian single, as on this machine
}

test::Bytes Header(std::uint8_t a, std::uint8_t b2, const std::vector<std::string>& units) {
    test::Bytes b{a, b2};
    const float version = 12.345f;
    Put(b, &version, 4);
    for (const std::string& unit : units) {
        char slot[6] = {};
        std::memcpy(slot, unit.data(), std::min<std::size_t>(unit.size(), 5));
        Put(b, slot, 6);
    }
    return b;
}

struct Row {
    int hours;
    int minutes;
    float seconds;
    std::vector<double> values;
};

test::Bytes OneColumn(const std::string& unit, const std::vector<Row>& rows) {
    test::Bytes b = Header(0x21, 0x16, {unit});
    for (const Row& r : rows) {
        PutTime(b, r.hours, r.minutes, r.seconds);
        PutReal6(b, r.values[0]);
    }
    return b;
}

test::Bytes FourColumn(std::uint8_t a, std::uint8_t b2, const std::vector<std::string>& units,
                       const std::vector<Row>& rows) {
    test::Bytes b = Header(a, b2, units);
    for (const Row& r : rows) {
        PutTime(b, r.hours, r.minutes, r.seconds);
        for (double v : r.values) {
            PutReal6(b, v);
        }
    }
    return b;
}

std::string Text(const test::Bytes& b) {
    return std::string(b.begin(), b.end());
}

// --- foreign files to waveform files -----------------------------------------------------------

std::string Corpus(const std::string& name) {
    return test::CorpusDir() + "/" + name;
}

struct CorpusCase {
    const char* file;  // below the corpus folder
    ConvertSource source;
    std::size_t points;
    std::vector<double> first;
    std::optional<double> last;  // where the corpus notes say
};

class ConvertCorpusTest : public testing::TestWithParam<CorpusCase> {};

TEST_P(ConvertCorpusTest, WaveformFileHoldsTheInstrumentsValues) {
    const CorpusCase& c = GetParam();
    if (test::CorpusDir().empty()) {
        GTEST_SKIP() << "no corpus beside the checkout";
    }
    test::TempDir dir;
    const std::string source = dir.Path(fs::path(c.file).filename().string());
    fs::copy_file(Corpus(c.file), source);
    test::RecordingNotifier notes;
    std::string target;
    ASSERT_EQ(ConvertFile(source, c.source, {}, notes, NoProgress(), &target),
              ConvertOutcome::Written);
    EXPECT_TRUE(notes.shown.empty());
    EXPECT_EQ(fs::path(target).extension(), ".ktx");
    const test::WaveContents w = test::ReadWaveContents(target);
    ASSERT_TRUE(w.valid);
    ASSERT_EQ(w.points.size(), c.points);
    for (std::size_t i = 0; i < c.first.size(); ++i) {
        EXPECT_NEAR(w.points[i].y, c.first[i], 1e-9 + 1e-6 * std::fabs(c.first[i])) << i;
    }
    if (c.last) {
        EXPECT_NEAR(w.points.back().y, *c.last, 1e-9 + 1e-6 * std::fabs(*c.last));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, ConvertCorpusTest,
    testing::Values(
        CorpusCase{"isf/tek0001CH1.isf",
                   ConvertSource::Isf,
                   10000,
                   {1.8e-4, -2.2e-4, -2e-5, 1.4e-4},
                   1e-4},
        CorpusCase{"isf/TEK00000.ISF", ConvertSource::Isf, 2000, {0.44, -0.64, -1.12, -0.56}, 0.08},
        CorpusCase{"isf/data1.isf",
                   ConvertSource::Isf,
                   10000,
                   {-0.021015625, -0.06, -0.05296875, -0.013984375},
                   0.01203125},
        CorpusCase{"isf/example.isf", ConvertSource::Isf, 10000, {0.1, 0.1, -0.1, -0.1}, -0.1},
        CorpusCase{"wfm/golden_analog.wfm",
                   ConvertSource::WfmTds6,
                   6,
                   {10.0 / 32767, 11.0 / 32767, 12.0 / 32767},
                   32224.0 / 32767},
        CorpusCase{"wfm/sample_1.wfm", ConvertSource::WfmTds5, 1000, {0.024}, std::nullopt},
        CorpusCase{
            "csv/TEK00001.CSV", ConvertSource::Csv, 2000, {0.44, -0.64, -1.12, -0.56}, 0.08}),
    [](const auto& info) {
        std::string name = fs::path(info.param.file).stem().string();
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

// The instrument's own CSV of the same capture agrees with every converted point.
TEST(ConvertCorpusAgreementTest, IsfAgreesWithTheInstrumentsCsv) {
    if (test::CorpusDir().empty()) {
        GTEST_SKIP() << "no corpus beside the checkout";
    }
    test::TempDir dir;
    fs::copy_file(Corpus("isf/tek0001CH1.isf"), dir.Path("tek0001CH1.isf"));
    test::RecordingNotifier notes;
    const ConvertSummary s =
        ConvertFiles({dir.Path("tek0001CH1.isf")}, ConvertSource::Isf, {}, notes, NoProgress());
    ASSERT_EQ(s.written, 1);
    const test::WaveContents w = test::ReadWaveContents(s.targets[0]);
    const std::vector<test::CsvSample> csv = test::ReadInstrumentCsv(Corpus("csv/tek0001CH1.csv"));
    ASSERT_EQ(w.points.size(), csv.size());
    for (std::size_t i = 0; i < csv.size(); ++i) {
        ASSERT_NEAR(w.points[i].y, csv[i].y, csv[i].yHalfUnit + 1e-12) << i;
        ASSERT_NEAR(w.points[i].x, csv[i].x, csv[i].xHalfUnit + 2e-7 * std::fabs(csv[i].x)) << i;
    }
}

// A folder: upper- and lower-case names alike, an old target replaced, a bad file and a target
// that cannot be written each reported for itself, older targets of failed files untouched.
TEST(ConvertFolderTest, EveryFileGetsItsOwnOutcome) {
    if (test::CorpusDir().empty()) {
        GTEST_SKIP() << "no corpus beside the checkout";
    }
    test::TempDir dir;
    for (const char* name : {"TEK00000.ISF", "data1.isf", "example.isf", "tek0001CH1.isf"}) {
        fs::copy_file(Corpus(std::string("isf/") + name), dir.Path(name));
    }
    test::WriteFile(dir.Path("tek0001CH1.ktx"), "an old target");
    test::WriteFile(dir.Path("broken.isf"), "no preamble, no curve");
    test::WriteFile(dir.Path("broken.ktx"), "kept");
    fs::copy_file(Corpus("isf/example.isf"), dir.Path("zblocked.isf"));
    fs::create_directory(dir.Path("zblocked.ktx"));  // a folder where the target should go
    test::WriteFile(dir.Path("other.txt"), "not an isf");

    const std::vector<std::string> files = MatchingFiles(dir.Path(""), ConvertSource::Isf);
    ASSERT_EQ(files.size(), 6u);
    test::RecordingNotifier notes;
    test::RecordingProgress progress;
    std::vector<std::string> started;
    const ConvertSummary s =
        ConvertFiles(files, ConvertSource::Isf, {}, notes, progress,
                     [&started](const std::string& f) { started.push_back(f); });
    EXPECT_EQ(started, files);
    EXPECT_EQ(s.written, 4);
    EXPECT_EQ(s.failed, 2);
    ASSERT_EQ(notes.shown.size(), 2u);
    EXPECT_EQ(notes.shown[0].stringId, 10012);
    EXPECT_NE(notes.shown[0].text.find("broken.isf"), std::string::npos) << notes.shown[0].text;
    EXPECT_NE(notes.shown[1].stringId, 10012);
    EXPECT_NE(notes.shown[1].text.find("zblocked"), std::string::npos) << notes.shown[1].text;
    EXPECT_EQ(Text(test::ReadFile(dir.Path("broken.ktx"))), "kept");
    EXPECT_TRUE(fs::is_directory(dir.Path("zblocked.ktx")));
    EXPECT_TRUE(fs::exists(dir.Path("TEK00000.ktx")));
    EXPECT_EQ(test::ReadWaveContents(dir.Path("tek0001CH1.ktx")).points.size(), 10000u);
    // Nothing but the sources, the targets and what was there before.
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir.Path(""))) {
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
        ++entries;
    }
    EXPECT_EQ(entries, 6u + 4u + 2u + 1u);
}

TEST(ConvertTargetTest, TargetsGoBesideOrIntoTheChosenFolder) {
    EXPECT_EQ(TargetPath("/a/b/X.ISF", ".ktx", ""), "/a/b/X.ktx");
    EXPECT_EQ(TargetPath("/a/b/x.y.csv", ".ktx", "/out"), "/out/x.y.ktx");
    EXPECT_EQ(SourceOfName("a.KtX"), ConvertSource::Ktx);
    EXPECT_EQ(SourceOfName("a.Wfm"), ConvertSource::WfmTds6);
    EXPECT_EQ(SourceOfName("a.dat"), std::nullopt);
}

// --- waveform and spectrum files to text --------------------------------------------------------

struct TextCase {
    const char* name;
    test::Bytes source;
    ConvertSource kind;
    ConvertText target;
    std::string expected;
};

ConvertOptions TextOptions(ConvertText target) {
    ConvertOptions o;
    o.text = target;
    o.systemDecimal = '.';
    return o;
}

class ConvertTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(ConvertTextTest, WritesTheLinesByteForByte) {
    const TextCase& c = GetParam();
    test::TempDir dir;
    const std::string source = dir.Path(c.kind == ConvertSource::Fft ? "s.fft" : "s.ktx");
    test::WriteFile(source, c.source);
    test::RecordingNotifier notes;
    test::RecordingProgress progress;
    std::string target;
    ASSERT_EQ(ConvertFile(source, c.kind, TextOptions(c.target), notes, progress, &target),
              ConvertOutcome::Written);
    EXPECT_TRUE(notes.shown.empty());
    EXPECT_EQ(fs::path(target).extension(), TargetExtension(c.target));
    EXPECT_EQ(Text(test::ReadFile(target)), c.expected);
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.front().rfind("B0:", 0), 0u);
    EXPECT_EQ(progress.calls.back(), "B2");
}

const std::vector<Row> kLoggerRows = {{0, 1, 5.0f, {1.5, 0.0, -0.25, 0.0}},
                                      {0, 0, 0.5f, {2.0, 0.0, 0.125, 0.0}}};
const test::Bytes kLogger = FourColumn(0x42, 0x2C, {"V", "#", "A", "#"}, kLoggerRows);
// Four points: a waveform file of fewer than 60 bytes is no waveform file to the program.
const test::Bytes kScope = OneColumn(
    "V",
    {{0, 0, 0.001f, {1.5}}, {0, 0, 0.002f, {-3.0}}, {0, 0, 0.0f, {0.0}}, {0, 0, -0.5f, {0.25}}});
const test::Bytes kSpectrum =
    FourColumn(0x2C, 0x42, {"Hz", "V", "dB", "#"},
               {{0, 0, 0.0f, {50.0, 1.0, -6.0, 0.0}}, {0, 0, 0.0f, {100.0, 0.5, 0.0, 0.0}}});

INSTANTIATE_TEST_SUITE_P(
    Formats, ConvertTextTest,
    testing::Values(
        TextCase{"LoggerToExcel", kLogger, ConvertSource::Ktx, ConvertText::Xls,
                 "Time\tV\tA\r\n"
                 "00:01:5,0000\t 1,50000000000000E+0000\t-2,50000000000000E-0001\r\n"
                 "00:00:0,5000\t 2,00000000000000E+0000\t 1,25000000000000E-0001\r\n"},
        TextCase{"LoggerToFamos", kLogger, ConvertSource::Ktx, ConvertText::Fms,
                 "Time,V,A "
                 "00:01:5.0000, 1.50000000000000E+0000,-2.50000000000000E-0001 "
                 " 5.00000000000000E-0001, 2.00000000000000E+0000, 1.25000000000000E-0001 "},
        TextCase{"LoggerToText", kLogger, ConvertSource::Ktx, ConvertText::Txt,
                 "Time;V;A\n"
                 "00:01:5,0000; 1,50000000000000E+0000;-2,50000000000000E-0001\n"
                 " 5,00000000000000E-0001; 2,00000000000000E+0000; 1,25000000000000E-0001\n"},
        TextCase{"ScopeToText", kScope, ConvertSource::Ktx, ConvertText::Txt,
                 "Time;V\n"
                 " 1,00000004749745E-0003; 1,50000000000000E+0000\n"
                 " 2,00000009499490E-0003;-3,00000000000000E+0000\n"
                 " 0,00000000000000E+0000; 0,00000000000000E+0000\n"
                 "-5,00000000000000E-0001; 2,50000000000000E-0001\n"},
        TextCase{"ScopeToExcelUsesTheSystemsDecimalSign", kScope, ConvertSource::Ktx,
                 ConvertText::Xls,
                 "Time\tV\r\n"
                 " 1.00000004749745E-0003\t 1.50000000000000E+0000\r\n"
                 " 2.00000009499490E-0003\t-3.00000000000000E+0000\r\n"
                 " 0.00000000000000E+0000\t 0.00000000000000E+0000\r\n"
                 "-5.00000000000000E-0001\t 2.50000000000000E-0001\r\n"},
        TextCase{"SpectrumToExcelEndsEveryValueWithATab", kSpectrum, ConvertSource::Fft,
                 ConvertText::Xls,
                 "Freq\tV\tdB\r\n"
                 " 5,00000000000000E+0001\t 1,00000000000000E+0000\t-6,00000000000000E+0000\t\r\n"
                 " 1,00000000000000E+0002\t 5,00000000000000E-0001\t 0,00000000000000E+0000\t\r\n"},
        TextCase{"SpectrumToFamos", kSpectrum, ConvertSource::Fft, ConvertText::Fms,
                 "Freq,V,dB "
                 " 5.00000000000000E+0001, 1.00000000000000E+0000,-6.00000000000000E+0000, "
                 " 1.00000000000000E+0002, 5.00000000000000E-0001, 0.00000000000000E+0000, "}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadTextCase {
    const char* name;
    test::Bytes source;
    ConvertSource kind;
    int message;
};

class ConvertBadTextTest : public testing::TestWithParam<BadTextCase> {};

TEST_P(ConvertBadTextTest, OldTargetStaysAndTheFileIsNamed) {
    const BadTextCase& c = GetParam();
    test::TempDir dir;
    const std::string source = dir.Path(c.kind == ConvertSource::Fft ? "s.fft" : "s.ktx");
    test::WriteFile(source, c.source);
    test::WriteFile(dir.Path("s.txt"), "old");
    test::RecordingNotifier notes;
    EXPECT_NE(ConvertFile(source, c.kind, TextOptions(ConvertText::Txt), notes, NoProgress()),
              ConvertOutcome::Written);
    EXPECT_EQ(Text(test::ReadFile(dir.Path("s.txt"))), "old");
    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0].stringId, 10000 + c.message);
    EXPECT_NE(notes.shown[0].text.find("s."), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ConvertBadTextTest,
    testing::Values(BadTextCase{"SpectrumAsWaveform", kSpectrum, ConvertSource::Ktx, 12},
                    BadTextCase{"WaveformAsSpectrum", kLogger, ConvertSource::Fft, 12},
                    BadTextCase{"ShortHeader", test::FromText("!\x16"), ConvertSource::Ktx, 12}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertOverwriteTest, DeclinedOverwriteKeepsTheTargetWithoutAMessage) {
    test::TempDir dir;
    test::WriteFile(dir.Path("s.ktx"), kScope);
    test::WriteFile(dir.Path("s.txt"), "old");
    ConvertOptions o = TextOptions(ConvertText::Txt);
    o.askOverwrite = true;
    test::RecordingNotifier notes;
    notes.confirmAnswer = false;
    const ConvertSummary s = ConvertFiles({dir.Path("s.ktx"), dir.Path("missing.ktx")},
                                          ConvertSource::Ktx, o, notes, NoProgress());
    EXPECT_EQ(s.declined, 1);
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(Text(test::ReadFile(dir.Path("s.txt"))), "old");
    ASSERT_EQ(notes.shown.size(), 2u);
    EXPECT_EQ(notes.shown[0].stringId, 10306);
    EXPECT_EQ(notes.shown[1].stringId, 10022);
    notes.confirmAnswer = true;
    EXPECT_EQ(ConvertFile(dir.Path("s.ktx"), ConvertSource::Ktx, o, notes, NoProgress()),
              ConvertOutcome::Written);
    EXPECT_NE(Text(test::ReadFile(dir.Path("s.txt"))), "old");
}

}  // namespace
}  // namespace ktx

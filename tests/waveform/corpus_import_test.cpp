// SPDX-License-Identifier: GPL-3.0-or-later
// Every real instrument file of the corpus through the opener: point counts and values as
// computed from the raw bytes, and, where the instrument also wrote a CSV of the same capture,
// every (time, value) pair against that CSV within its printed precision.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "test_files.h"
#include "waveform/wave_points.h"
#include "waveform/waveform_import.h"

namespace ktx {
namespace {

struct CorpusCase {
    const char* file;
    std::size_t points;
    std::vector<double> first;  // first values
    double last;
    double firstX;  // seconds
    double xStep;   // seconds between points
};

void PrintTo(const CorpusCase& c, std::ostream* os) {
    *os << c.file;
}

class CorpusImport : public ::testing::TestWithParam<CorpusCase> {
  protected:
    void SetUp() override {
        if (test::CorpusDir().empty()) {
            GTEST_SKIP() << "corpus not beside the checkout";
        }
    }
    test::TempDir m_dir;
};

TEST_P(CorpusImport, ValuesAndTimesMatchTheRawBytes) {
    const CorpusCase& c = GetParam();
    const std::string target = m_dir.Path("ktx_tmp.tmp");
    test::RecordingNotifier notifier;
    test::RecordingProgress progress;
    const ImportOutcome o =
        ImportWaveformFile(test::CorpusDir() + "/" + c.file, target, notifier, progress);
    ASSERT_EQ(o.kind, ImportKind::Converted);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(o.viewFile, target);
    const test::WaveContents w = test::ReadWaveContents(target);
    ASSERT_TRUE(w.valid);
    EXPECT_EQ(w.unit0, "V");
    ASSERT_EQ(w.points.size(), c.points);
    EXPECT_EQ(o.points, static_cast<long long>(c.points));
    for (std::size_t i = 0; i < c.first.size(); ++i) {
        EXPECT_NEAR(w.points[i].y, c.first[i], 1e-9 + std::fabs(c.first[i]) * 1e-7) << i;
    }
    EXPECT_NEAR(w.points.back().y, c.last, 1e-9 + std::fabs(c.last) * 1e-7);
    // Times are singles in the file.
    const double lastX = c.firstX + static_cast<double>(c.points - 1) * c.xStep;
    EXPECT_NEAR(w.points.front().x, c.firstX, std::fabs(c.firstX) * 1.2e-7 + 1e-15);
    EXPECT_NEAR(w.points.back().x, lastX, std::fabs(lastX) * 1.2e-7 + 1e-15);
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.front(), "C0");
    EXPECT_EQ(progress.calls.back(), "C2");
    EXPECT_FALSE(std::filesystem::exists(target + ".part"));
}

INSTANTIATE_TEST_SUITE_P(
    RealFiles, CorpusImport,
    ::testing::Values(
        // ISF: x = XZERO + (k - PT_OFF) * XINCR, y = (v - YOFF) * YMULT.
        CorpusCase{
            "isf/tek0001CH1.isf", 10000, {1.8e-4, -2.2e-4, -2e-5, 1.4e-4}, 1e-4, -1.996, 400e-6},
        CorpusCase{"isf/TEK00000.ISF", 2000, {0.44, -0.64, -1.12, -0.56}, 0.08, -0.8, 800e-6},
        CorpusCase{"isf/data1.isf",
                   10000,
                   {-0.021015625, -0.06, -0.05296875, -0.013984375},
                   0.01203125,
                   -1.28e-3,
                   1e-6},
        CorpusCase{"isf/example.isf", 10000, {0.1, 0.1, -0.1, -0.1}, -0.1, -1.6012e-6, 400e-12},
        // CSV: the numbers as printed.
        CorpusCase{
            "csv/tek0001CH1.csv", 10000, {1.8e-4, -2.2e-4, -2e-5, 1.4e-4}, 1e-4, -1.996, 400e-6},
        CorpusCase{"csv/TEK00001.CSV", 2000, {0.44, -0.64, -1.12, -0.56}, 0.08, -0.8, 800e-6},
        CorpusCase{"csv/analog_waveform.csv",
                   50000,
                   {-0.148, -0.148, -0.152},
                   0.144,
                   -9.99966406e-07,
                   4e-11},
        // :WFM#003: x = start + (k + trigger fraction) * interval.
        CorpusCase{"wfm/golden_analog.wfm",
                   6,
                   {10 / 32767.0, 11 / 32767.0, 12 / 32767.0, 32222 / 32767.0},
                   32224 / 32767.0,
                   -3 + 0.5,
                   1},
        CorpusCase{"wfm/analog_waveform.wfm",
                   50000,
                   {-0.148, -0.148, -0.152},
                   0.144,
                   -1e-6 + 0.83984375 * 4e-11,
                   4e-11},
        CorpusCase{"wfm/sample_1.wfm",
                   1000,
                   {0.024, 0.0768, 0.12},
                   11 * 0.0024,
                   -1e-8 + 0.8923646071698386 * 2e-11,
                   2e-11},
        CorpusCase{"wfm/data_test_waveform.wfm",
                   1000,
                   {-0.004, -0.004, -0.004},
                   -0.008,
                   -2e-8 + 0.43359375 * 4e-11,
                   4e-11},
        // FastFrame: the first of five frames, whose curve starts at byte 1054.
        CorpusCase{"wfm/sample_ff1.wfm",
                   1000,
                   {0.0929, 0.065125, 0.04945},
                   3.3005,
                   -1.6e-7 + 0.5 * 3.2e-10,
                   3.2e-10}));

TEST(CorpusSine, DataTestWaveformIsAQuarterVoltSine) {
    if (test::CorpusDir().empty()) {
        GTEST_SKIP() << "corpus not beside the checkout";
    }
    test::TempDir dir;
    test::RecordingNotifier notifier;
    const std::string target = dir.Path("out.ktx");
    ASSERT_EQ(ImportWaveformFile(test::CorpusDir() + "/wfm/data_test_waveform.wfm", target,
                                 notifier, NoProgress())
                  .kind,
              ImportKind::Converted);
    double lo = 1;
    double hi = -1;
    for (const auto& p : test::ReadWaveContents(target).points) {
        lo = std::min(lo, p.y);
        hi = std::max(hi, p.y);
    }
    EXPECT_NEAR(hi, 0.25, 0.011);
    EXPECT_NEAR(lo, -0.25, 0.011);
}

struct CsvPair {
    const char* file;
    const char* csv;
};

void PrintTo(const CsvPair& c, std::ostream* os) {
    *os << c.file;
}

class InstrumentCsvAgreement : public ::testing::TestWithParam<CsvPair> {};

// The instrument printed the same capture as CSV: every value and every time must agree within
// the CSV's printed precision (plus the single-precision rounding of the file's time field).
TEST_P(InstrumentCsvAgreement, EveryPairMatches) {
    if (test::CorpusDir().empty()) {
        GTEST_SKIP() << "corpus not beside the checkout";
    }
    test::TempDir dir;
    test::RecordingNotifier notifier;
    const std::string target = dir.Path("out.ktx");
    ASSERT_EQ(ImportWaveformFile(test::CorpusDir() + "/" + GetParam().file, target, notifier,
                                 NoProgress())
                  .kind,
              ImportKind::Converted);
    const auto points = test::ReadWaveContents(target).points;
    const auto csv = test::ReadInstrumentCsv(test::CorpusDir() + "/" + GetParam().csv);
    ASSERT_EQ(points.size(), csv.size());
    ASSERT_GE(csv.size(), 2u);
    // The instrument's own time arithmetic leaves traces like 1.463e-14 s at the trigger point,
    // so a time is compared on the scale of the sample interval as well as its own.
    const double step = std::fabs(csv[1].x - csv[0].x);
    int bad = 0;
    for (std::size_t i = 0; i < csv.size() && bad < 5; ++i) {
        const double xTol =
            csv[i].xHalfUnit + (std::fabs(csv[i].x) + step) * std::numeric_limits<float>::epsilon();
        const double yTol = csv[i].yHalfUnit * (1 + 1e-9) + 1e-15;
        if (std::fabs(points[i].x - csv[i].x) > xTol || std::fabs(points[i].y - csv[i].y) > yTol) {
            ADD_FAILURE() << "point " << i << ": (" << points[i].x << ", " << points[i].y
                          << ") vs CSV (" << csv[i].x << ", " << csv[i].y << ")";
            ++bad;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealFiles, InstrumentCsvAgreement,
                         ::testing::Values(CsvPair{"isf/tek0001CH1.isf", "csv/tek0001CH1.csv"},
                                           CsvPair{"isf/TEK00000.ISF", "csv/TEK00001.CSV"},
                                           CsvPair{"wfm/analog_waveform.wfm",
                                                   "csv/analog_waveform.csv"}));

// Damaged copies of every real file: cut short at many places, or with bytes overwritten. The
// opener either imports or fails with message 12 (or the reader's own message) and leaves no
// target behind; it never crashes or hangs.
class DamagedCorpusFile : public ::testing::TestWithParam<const char*> {};

TEST_P(DamagedCorpusFile, FailsCleanlyOrImports) {
    if (test::CorpusDir().empty()) {
        GTEST_SKIP() << "corpus not beside the checkout";
    }
    const std::string name = GetParam();
    const test::Bytes original = test::ReadFile(test::CorpusDir() + "/" + name);
    const std::string ext = std::filesystem::path(name).extension().string();
    test::TempDir dir;
    const std::string source = dir.Path("damaged" + ext);
    const std::string target = dir.Path("ktx_tmp.tmp");
    std::vector<test::Bytes> variants;
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{13}, std::size_t{100},
                            std::size_t{300}, std::size_t{500}, std::size_t{830}, std::size_t{831},
                            std::size_t{900}, original.size() / 2, original.size() - 1}) {
        if (cut < original.size()) {
            variants.emplace_back(original.begin(), original.begin() + static_cast<long>(cut));
        }
    }
    for (std::size_t at = 0; at < std::min<std::size_t>(original.size(), 1100); at += 13) {
        test::Bytes b = original;
        b[at] ^= 0xFF;
        variants.push_back(std::move(b));
    }
    for (const test::Bytes& v : variants) {
        test::WriteFile(source, v);
        std::filesystem::remove(target);
        test::RecordingNotifier notifier;
        const ImportOutcome o = ImportWaveformFile(source, target, notifier, NoProgress());
        if (o.kind == ImportKind::Converted) {
            EXPECT_TRUE(test::ReadWaveContents(target).valid);
            continue;
        }
        ASSERT_EQ(o.kind, ImportKind::Failed);
        EXPECT_FALSE(std::filesystem::exists(target)) << v.size();
        EXPECT_FALSE(std::filesystem::exists(target + ".part"));
        ASSERT_FALSE(notifier.shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(RealFiles, DamagedCorpusFile,
                         ::testing::Values("isf/tek0001CH1.isf", "isf/TEK00000.ISF",
                                           "isf/data1.isf", "isf/example.isf", "csv/TEK00001.CSV",
                                           "csv/tek0001CH1.csv", "wfm/golden_analog.wfm",
                                           "wfm/sample_1.wfm", "wfm/sample_ff1.wfm",
                                           "wfm/data_test_waveform.wfm"));

}  // namespace
}  // namespace ktx

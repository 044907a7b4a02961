// SPDX-License-Identifier: GPL-3.0-or-later
// The scanner against the simulated instrument: file naming over a run, several sources,
// every point the instrument sends stored, the preamble queries of each family, trigger mode,
// the corrections of start and stop, and the question before overwriting.
#include "tools/scanner.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "config/progress.h"
#include "test_files.h"
#include "tools/tools_sim_link.h"
#include "waveform/wave_file.h"

namespace ktx {
namespace {

TEST(ScannerNames, BaseFileAndSourceNames) {
    const std::pair<const char*, const char*> bases[] = {{"AB.", "AB___"},
                                                         {"MEASURE.", "MEASU"},
                                                         {"AB___007.ktx", "AB___"},
                                                         {".", "_____"},
                                                         {"x.y.z", "x____"}};
    for (const auto& [text, base] : bases) {
        EXPECT_EQ(ScanBaseName(text), base) << text;
    }
    EXPECT_EQ(ScanFileName("AB___", 0), "AB___000.ktx");
    EXPECT_EQ(ScanFileName("AB___", 42), "AB___042.ktx");
    EXPECT_EQ(ScanFileName("AB___", 1000), "AB___1000.ktx");
    EXPECT_EQ(ScanSourceFile("/d/AB___003.ktx", "CH2", true), "/d/AB___003_CH2.ktx");
    EXPECT_EQ(ScanSourceFile("/d/AB___003.ktx", "CH2", false), "/d/AB___003.ktx");
    // Both ends count; the instrument starts at point 1 whatever start says.
    const struct {
        int start, stop, points;
    } counts[] = {{1, 500, 500}, {0, 500, 500}, {10, 20, 11}, {5, 5, 1}, {9, 5, 0}};
    for (const auto& c : counts) {
        EXPECT_EQ(ScanPointCount(c.start, c.stop), c.points) << c.start << ".." << c.stop;
    }
}

class ScannerTest : public ::testing::Test {
  protected:
    void Make(int type, const std::string& memorySize = "2500") {
        m_sim = std::make_unique<test::ToolsSimLink>(m_dir, type);
        m_scanner = std::make_unique<Scanner>(
            m_sim->Transport(), m_notes, NoProgress(), type, memorySize, m_dir.Path("ktx_tmp.tmp"),
            m_dir.Path("ktx_tmp1.tmp"), ScannerHooks{[this] { return m_now += m_step; }, {}});
        m_request.folder = m_dir.Path("scans");
        std::filesystem::create_directories(m_request.folder);
        m_request.base = ScanBaseName("AB.");
        m_request.sources = {"CH1"};
        m_request.startText = "1";
        m_request.stopText = "500";
        m_request.intervalSeconds = 5;
    }
    std::string Scan(const std::string& name) const {
        return (std::filesystem::path(m_request.folder) / name).string();
    }
    std::vector<int> Shown() const {
        std::vector<int> ids;
        for (const test::Shown& s : m_notes.shown) {
            ids.push_back(s.stringId - 10000);
        }
        return ids;
    }

    test::TempDir m_dir;
    test::RecordingNotifier m_notes;
    std::int64_t m_now = 0;
    std::int64_t m_step = 700;  // every clock reading: the timing scan takes this long
    std::unique_ptr<test::ToolsSimLink> m_sim;
    std::unique_ptr<Scanner> m_scanner;
    ScanRequest m_request;
};

TEST_F(ScannerTest, TimerRunNumbersItsFilesAndStoresEveryPoint) {
    Make(12);
    m_request.wanted = 3;
    ASSERT_TRUE(m_scanner->Start(m_request));
    EXPECT_EQ(m_request.intervalSeconds, 5);  // the timing scan took 0.7 s: 1 s would do
    EXPECT_EQ(m_scanner->TimerMs(), 5000);
    std::vector<std::string> labels{m_scanner->NextFile()};
    std::vector<int> remaining;
    std::vector<ScanTick> ticks;
    for (int i = 0; i < 3; ++i) {
        ticks.push_back(m_scanner->Tick());
        remaining.push_back(m_scanner->Remaining());
        labels.push_back(m_scanner->NextFile());
    }
    EXPECT_EQ(ticks,
              (std::vector<ScanTick>{ScanTick::Scanned, ScanTick::Scanned, ScanTick::Finished}));
    EXPECT_EQ(remaining, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(labels, (std::vector<std::string>{"AB___000.ktx", "AB___001.ktx", "AB___002.ktx",
                                                "AB___000.ktx"}));
    EXPECT_FALSE(m_scanner->Running());
    for (const char* name : {"AB___000.ktx", "AB___001.ktx", "AB___002.ktx"}) {
        EXPECT_EQ(CountWaveFile(Scan(name)), 501) << name;  // the header and points 1 ... 500
    }
    EXPECT_FALSE(std::filesystem::exists(Scan("AB___003.ktx")));
    EXPECT_TRUE(m_notes.shown.empty());
}

TEST_F(ScannerTest, IntervalRisesToTwiceASlowScan) {
    Make(12);
    m_step = 1400;
    const std::pair<int, int> cases[] = {{1, 2}, {0, 2}, {2, 2}, {5, 5}};
    for (const auto& [asked, got] : cases) {
        m_request.intervalSeconds = asked;
        ASSERT_TRUE(m_scanner->PrepareScan(m_request));
        EXPECT_EQ(m_request.intervalSeconds, got) << asked;  // 2 x 1.4 s, rounded down
        std::filesystem::remove_all(m_request.folder);
        std::filesystem::create_directories(m_request.folder);
    }
}

TEST_F(ScannerTest, SeveralSourcesGetAFileEach) {
    Make(12);
    m_request.sources = {"CH1", "CH2"};
    m_request.startText = "10";
    m_request.stopText = "20";
    ASSERT_TRUE(m_scanner->Start(m_request));
    EXPECT_EQ(m_scanner->Tick(), ScanTick::Finished);
    EXPECT_EQ(CountWaveFile(Scan("AB___000_CH1.ktx")), 12);
    EXPECT_EQ(CountWaveFile(Scan("AB___000_CH2.ktx")), 12);
    EXPECT_FALSE(std::filesystem::exists(Scan("AB___000.ktx")));
}

struct PreambleCase {
    const char* name;
    int type;
    const char* expected;
};

class ScannerPreambleTest : public ScannerTest,
                            public ::testing::WithParamInterface<PreambleCase> {};

TEST_P(ScannerPreambleTest, ScanOnceSendsTheFamilysSequence) {
    Make(GetParam().type);
    m_request.sources = {"CH2"};
    m_request.stopText = "5000";
    m_request.triggered = true;  // no timing scan
    ASSERT_TRUE(m_scanner->PrepareScan(m_request));
    EXPECT_EQ(Shown(), std::vector<int>{15});
    EXPECT_EQ(m_request.stopText, "2500");
    m_sim->Log();
    EXPECT_TRUE(m_scanner->ScanOnce(Scan("one.ktx")));
    EXPECT_EQ(m_sim->Log(), std::string("ACQ:STATE?|ACQ:STATE STOP|DATA INIT|DATA:ENC ASCI|"
                                        "DATA:START 1|DATA:STOP 2500|DATA:SOURCE CH2|HEADER ON|"
                                        "VERB ON|CURV?|HEADER OFF|") +
                                GetParam().expected + "|ACQ:STATE RUN");
    EXPECT_EQ(CountWaveFile(Scan("one.ktx")), 2501);
}

INSTANTIATE_TEST_SUITE_P(
    Families, ScannerPreambleTest,
    ::testing::Values(PreambleCase{"Type10", 10, "WFMO:YOFF?|WFMO:YMULT?|WFMO:XINCR?|WFMO:PT_OFF?"},
                      PreambleCase{"Type14", 14, "WFMO:YOFF?|WFMO:YMULT?|WFMO:XINCR?|WFMO:PT_OFF?"},
                      PreambleCase{"Type12", 12,
                                   "WFMPRE:CH2:YOFF?|WFMPRE:CH2:YMULT?|WFMPRE:CH2:XINCR?|"
                                   "WFMPRE:CH2:PT_OFF?"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScannerTest, TriggerModeScansAfterEachSavedSequence) {
    Make(1);
    m_request.wanted = 2;
    m_request.triggered = false;  // types below 3 scan in trigger mode whatever is asked
    ASSERT_TRUE(m_scanner->Start(m_request));
    EXPECT_TRUE(m_request.triggered);
    EXPECT_EQ(m_scanner->TimerMs(), 1000);
    std::vector<ScanTick> ticks;
    for (int i = 0; i < 4 && m_scanner->Running(); ++i) {
        ticks.push_back(m_scanner->Tick());
    }
    // Armed while acquiring, the first sequence is found waiting once; a re-armed one of the
    // simulated instrument completes at once.
    EXPECT_EQ(ticks,
              (std::vector<ScanTick>{ScanTick::Waiting, ScanTick::Scanned, ScanTick::Finished}));
    EXPECT_EQ(CountWaveFile(Scan("AB___000.ktx")), 501);
    EXPECT_EQ(CountWaveFile(Scan("AB___001.ktx")), 501);
    const std::string log = m_sim->Log();
    EXPECT_EQ(log.rfind("ACQ:STATE RUN|ACQ:STOPA RUNST|ACQ:STATE RUN"),
              log.size() - std::string("ACQ:STATE RUN|ACQ:STOPA RUNST|ACQ:STATE RUN").size())
        << log;
}

TEST_F(ScannerTest, CorrectionsAndRefusals) {
    Make(12);
    m_request.triggered = true;
    m_request.startText = "x";
    m_request.stopText = "";
    ASSERT_TRUE(m_scanner->PrepareScan(m_request));
    EXPECT_EQ(Shown(), (std::vector<int>{23, 24}));
    EXPECT_EQ(m_request.startText, "1");
    EXPECT_EQ(m_request.stopText, "1000");

    m_notes.shown.clear();
    m_request.sources = {};
    EXPECT_FALSE(m_scanner->PrepareScan(m_request));
    EXPECT_EQ(Shown(), std::vector<int>{13});

    // Files of the same base exist: asked first, and a "no" leaves the run unstarted.
    m_notes.shown.clear();
    m_request.sources = {"CH1"};
    test::WriteFile(Scan("ab___017.KTX"), "old");
    m_notes.confirmAnswer = false;
    EXPECT_FALSE(m_scanner->Start(m_request));
    EXPECT_EQ(Shown(), std::vector<int>{303});
    EXPECT_FALSE(m_scanner->Running());
    EXPECT_EQ(test::ReadFile(Scan("ab___017.KTX")), test::FromText("old"));

    // Twelve sources: the first eleven are fetched.
    m_request.sources.assign(12, "CH1");
    m_notes.confirmAnswer = true;
    ASSERT_TRUE(m_scanner->PrepareScan(m_request));
    EXPECT_EQ(m_request.sources.size(), 11u);
}

}  // namespace
}  // namespace ktx

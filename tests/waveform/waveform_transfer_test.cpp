// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform transfer against the simulated instrument, in-process through the real command
// transport and interface library: the exact commands each family receives (the simulator
// logs them), the files produced and their values checked across the binary and the ASCII
// roads, the messages on their conditions, the fault switches, and write-then-read round trips.
#include "waveform/waveform_transfer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/message_catalog.h"
#include "link/command_transport.h"
#include "test_files.h"
#include "waveform/curve_writers.h"
#include "waveform/time_field.h"
#include "waveform/waveform_import.h"
#include "waveform/waveform_record.h"

namespace ktx {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr int kMsgNoData = 10033;
constexpr int kMsgFailed = 10034;
constexpr int kMsgPointsRead = 10307;

std::vector<std::string> SplitOn(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, sep);) {
        parts.push_back(part);
    }
    return parts;
}

std::string ReadText(const std::string& path) {
    const test::Bytes bytes = test::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// The simulated instrument of one family, opened like the program opens its link.
class SimInstrumentLink {
  public:
    SimInstrumentLink(const test::TempDir& dir, int deviceType)
        : m_dir(dir), m_transport(m_linkNotes) {
        const std::string ini = dir.Path("sim.ini");
        test::WriteFile(ini, "[SIM]\nTYPE=" + std::to_string(deviceType) + "\nSEED=3\n");
        m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_sim.so", 4, deviceType}, false, ini);
        // A silent instrument costs one time-out per exchange; keep the fault cases short.
        m_transport.LinkSetTimeout(300);
    }

    bool Open() const { return m_transport.LinkHandle() != 0; }
    CommandTransport& Transport() { return m_transport; }

    // Commands the instrument received since the last clear, one entry each.
    std::vector<std::string> Log() {
        const std::string file = m_dir.Path("sim.log");
        if (!m_transport.ReceiveToFile(file, "KTXSIM:LOG?", 0)) {
            return {"<no log>"};
        }
        const std::string block = ReadText(file);
        if (block.size() < 2 || block[0] != '#') {
            return {"<bad log>"};
        }
        const std::size_t digits = static_cast<std::size_t>(block[1] - '0');
        const std::size_t length = std::stoul(block.substr(2, digits));
        return SplitOn(block.substr(2 + digits, length), '\n');
    }
    void ClearLog() { m_transport.SendCommand("KTXSIM:LOG CLEAR"); }

  private:
    const test::TempDir& m_dir;
    test::RecordingNotifier m_linkNotes;
    CommandTransport m_transport;
};

// Entries ending in "*" match any command starting with the text before it (curve data).
void ExpectCommands(const std::vector<std::string>& log, const std::string& expected) {
    const std::vector<std::string> want = SplitOn(expected, '|');
    ASSERT_EQ(log.size(), want.size()) << ::testing::PrintToString(log);
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (!want[i].empty() && want[i].back() == '*') {
            EXPECT_EQ(log[i].substr(0, want[i].size() - 1), want[i].substr(0, want[i].size() - 1))
                << "command " << i;
        } else {
            EXPECT_EQ(log[i], want[i]) << "command " << i;
        }
    }
}

std::vector<int> Ids(const test::RecordingNotifier& notes) {
    std::vector<int> ids;
    for (const test::Shown& s : notes.shown) {
        ids.push_back(s.stringId);
    }
    return ids;
}

class TransferTest : public ::testing::Test {
  protected:
    TransferContext Context(int deviceType, const std::string& deviceFile = "NONE") {
        TransferContext c;
        c.deviceType = deviceType;
        c.conversionFile = m_dir.Path("ktx_tmp.tmp");
        c.deviceIniFile = deviceFile;
        c.systemDecimal = '.';
        c.openInView = [this](const std::string& f) { m_opened.push_back(f); };
        c.status = [this](const std::string& t) { m_status.push_back(t); };
        return c;
    }
    static TransferRequest Read(int format, std::vector<std::string> sources,
                                const std::string& fileName, const std::string& start = "0",
                                const std::string& stop = "2500") {
        TransferRequest r;
        r.mode = kModeRead;
        r.format = format;
        r.sources = std::move(sources);
        r.fileName = fileName;
        r.start = start;
        r.stop = stop;
        r.requested = std::stoi(stop) - std::stoi(start);
        return r;
    }

    test::TempDir m_dir;
    test::RecordingNotifier m_notes;
    std::vector<std::string> m_opened;
    std::vector<std::string> m_status;
};

// --- the commands each family receives ----------------------------------------------------

struct ReadCase {
    const char* name;
    int deviceType;
    int format;
    std::vector<std::string> sources;
    const char* commands;  // "|"-separated
};

class ReadSequence : public TransferTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadSequence, SendsExactlyTheseCommands) {
    const ReadCase& c = GetParam();
    SimInstrumentLink sim(m_dir, c.deviceType);
    ASSERT_TRUE(sim.Open());
    sim.ClearLog();
    static const char* const kExt[] = {".xls", ".fms", ".txt", ".ktx", ".wfm"};
    const auto outcome =
        ReadWaveforms(Read(c.format, c.sources, m_dir.Path(std::string("w") + kExt[c.format])),
                      sim.Transport(), Context(c.deviceType), m_notes, NoProgress());
    EXPECT_TRUE(outcome.ok);
    EXPECT_TRUE(m_notes.shown.empty()) << m_notes.shown.front().text;
    ExpectCommands(sim.Log(), c.commands);
    EXPECT_THAT(m_status, ElementsAre("Transfer", ""));
}

constexpr const char* kStopAndRange1 =
    "ACQ:STATE?|ACQ:STATE STOP|DATA INIT|DATA:ENC RIB|DATA:WID 2|DATA:START 0|DATA:STOP 2500|";
constexpr const char* kCurve = "DATA:SOURCE CH1|HEADER ON|VERB ON|CURV?|HEADER OFF|";

INSTANTIATE_TEST_SUITE_P(
    Families, ReadSequence,
    ::testing::Values(
        ReadCase{"Type1Ktx",
                 1,
                 kFormatKtx,
                 {"CH1"},
                 "ACQ:STATE?|ACQ:STATE STOP|DATA INIT|DATA:ENC RIB|DATA:WID 2|DATA:START 0|"
                 "DATA:STOP 2500|DATA:SOURCE CH1|HEADER ON|VERB ON|CURV?|HEADER OFF|"
                 "WFMPRE:CH1:NR_PT?|WFMPRE:CH1:YOFF?|WFMPRE:CH1:YMULT?|WFMPRE:CH1:XINCR?|"
                 "WFMPRE:CH1:PT_OFF?|ACQ:STATE RUN"},
        // Type 2 is never asked for the number of points.
        ReadCase{"Type2Ktx",
                 2,
                 kFormatKtx,
                 {"CH2"},
                 "ACQ:STATE?|ACQ:STATE STOP|DATA INIT|DATA:ENC RIB|DATA:WID 2|DATA:START 0|"
                 "DATA:STOP 2500|DATA:SOURCE CH2|HEADER ON|VERB ON|CURV?|HEADER OFF|"
                 "WFMPRE:CH2:YOFF?|WFMPRE:CH2:YMULT?|WFMPRE:CH2:XINCR?|WFMPRE:CH2:PT_OFF?|"
                 "ACQ:STATE RUN"},
        ReadCase{"Type12Fms",
                 12,
                 kFormatFms,
                 {"CH1"},
                 "ACQ:STATE?|ACQ:STATE STOP|DATA INIT|DATA:ENC ASCI|DATA:START 0|"
                 "DATA:STOP 2500|DATA:SOURCE CH1|HEADER ON|VERB ON|CURV?|HEADER OFF|"
                 "WFMPRE:CH1:NR_PT?|WFMPRE:CH1:YOFF?|WFMPRE:CH1:YMULT?|WFMPRE:CH1:XINCR?|"
                 "WFMPRE:CH1:PT_OFF?|ACQ:STATE RUN"},
        // Types 10 and 14 answer the preamble for the data source and set the width there.
        ReadCase{"Type14Ktx",
                 14,
                 kFormatKtx,
                 {"CH1"},
                 "ACQ:STATE?|ACQ:STATE STOP|DATA INIT|DATA:ENC RIB|WFMO:BYT_N 2|DATA:START 0|"
                 "DATA:STOP 2500|DATA:SOURCE CH1|HEADER ON|VERB ON|CURV?|HEADER OFF|"
                 "WFMO:NR_PT?|WFMO:YOFF?|WFMO:YMULT?|WFMO:XINCR?|WFMO:PT_OFF?|ACQ:STATE RUN"},
        ReadCase{"Type10Ktx",
                 10,
                 kFormatKtx,
                 {"CH1"},
                 "ACQ:STATE?|ACQ:STATE STOP|DATA INIT|DATA:ENC RIB|WFMO:BYT_N 2|DATA:START 0|"
                 "DATA:STOP 2500|DATA:SOURCE CH1|HEADER ON|VERB ON|CURV?|HEADER OFF|"
                 "WFMO:NR_PT?|WFMO:YOFF?|WFMO:YMULT?|WFMO:XINCR?|WFMO:PT_OFF?|ACQ:STATE RUN"},
        // Type 10 stores the ".wfm" file itself and prints it to the link; no acquisition stop.
        ReadCase{"Type10Wfm",
                 10,
                 kFormatWfm,
                 {"CH2", "CH1"},
                 "SAV:WAVE:FILEF INTERN|SAV:WAVE CH2,\"c:\\ktx.tmp\"|"
                 "FILES:PRI \"c:\\KTX.TMP\", GPIB"},
        ReadCase{"Type1WfmTwoSources",
                 1,
                 kFormatWfm,
                 {"CH1", "CH2"},
                 "ACQ:STATE?|ACQ:STATE STOP|DATA INIT|DATA:ENC ASCI|DATA:START 0|"
                 "DATA:STOP 2500|DATA:SOURCE CH1|HEADER ON|VERB ON|CURV?|HEADER OFF|"
                 "WFMPRE:CH1:NR_PT?|DATA:SOURCE CH2|HEADER ON|VERB ON|CURV?|HEADER OFF|"
                 "WFMPRE:CH2:NR_PT?|ACQ:STATE RUN"},
        // Columns: the scaling of each source, the time base of the last one at the end.
        ReadCase{"Type1TxtTwoSources",
                 1,
                 kFormatTxt,
                 {"CH1", "CH2"},
                 "ACQ:STATE?|ACQ:STATE STOP|DATA INIT|DATA:ENC ASCI|DATA:START 0|"
                 "DATA:STOP 2500|DATA:SOURCE CH1|HEADER ON|VERB ON|CURV?|HEADER OFF|"
                 "WFMPRE:CH1:YOFF?|WFMPRE:CH1:YMULT?|DATA:SOURCE CH2|HEADER ON|VERB ON|CURV?|"
                 "HEADER OFF|WFMPRE:CH2:YOFF?|WFMPRE:CH2:YMULT?|WFMPRE:CH2:NR_PT?|"
                 "WFMPRE:CH2:XINCR?|WFMPRE:CH2:PT_OFF?|ACQ:STATE RUN"},
        ReadCase{"Type14Xls",
                 14,
                 kFormatXls,
                 {"CH1"},
                 "ACQ:STATE?|ACQ:STATE STOP|DATA INIT|DATA:ENC ASCI|DATA:START 0|"
                 "DATA:STOP 2500|DATA:SOURCE CH1|HEADER ON|VERB ON|CURV?|HEADER OFF|"
                 "WFMO:YOFF?|WFMO:YMULT?|WFMO:NR_PT?|WFMO:XINCR?|WFMO:PT_OFF?|ACQ:STATE RUN"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, StoppedAcquisitionIsNotStarted) {
    SimInstrumentLink sim(m_dir, 1);
    ASSERT_TRUE(sim.Open());
    ASSERT_TRUE(sim.Transport().SendCommand("ACQ:STATE STOP"));
    sim.ClearLog();
    EXPECT_TRUE(ReadWaveforms(Read(kFormatKtx, {"CH1"}, m_dir.Path("w.ktx")), sim.Transport(),
                              Context(1), m_notes, NoProgress())
                    .ok);
    const auto log = sim.Log();
    EXPECT_EQ(log.front(), "ACQ:STATE?");
    EXPECT_EQ(log.at(1), "DATA INIT");
    EXPECT_NE(log.back(), "ACQ:STATE RUN");
    EXPECT_EQ(sim.Transport().Query("ACQ:STATE?"), "0");
}

// --- files and values ---------------------------------------------------------------------

struct TargetCase {
    const char* fileName;
    const char* source;
    bool several;
    const char* target;
};

class SourceTargets : public ::testing::TestWithParam<TargetCase> {};

TEST_P(SourceTargets, DerivedFromTheChosenName) {
    const TargetCase& c = GetParam();
    EXPECT_EQ(SourceTarget(c.fileName, c.source, c.several), c.target);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SourceTargets,
    ::testing::Values(TargetCase{"/data/x.fms", "CH1", true, "/data/x_CH1.fms"},
                      TargetCase{"/data/x.fms", "CH2", true, "/data/x_CH2.fms"},
                      TargetCase{"/data/x.fms", "CH2", false, "/data/x.fms"},
                      // No "." in the name: the base is empty, the folder stays.
                      TargetCase{"/data/x", "CH1", true, "/data/_CH1"},
                      // The base ends at the first ".", the extension is the last one; a dot in
                      // a folder name plays no part.
                      TargetCase{"/my.data/x.y.wfm", "REF1", true, "/my.data/x_REF1.wfm"}));

TEST_F(TransferTest, SeveralSourcesGetOneFileEach) {
    SimInstrumentLink sim(m_dir, 1);
    ASSERT_TRUE(sim.Open());
    auto request = Read(kFormatFms, {"CH1", "CH2"}, m_dir.Path("x.fms"));
    request.show = true;
    const auto outcome = ReadWaveforms(request, sim.Transport(), Context(1), m_notes, NoProgress());
    ASSERT_TRUE(outcome.ok);
    EXPECT_THAT(outcome.files, ElementsAre(m_dir.Path("x_CH1.fms"), m_dir.Path("x_CH2.fms")));
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path("x.fms")));
    EXPECT_THAT(m_opened, ElementsAre(m_dir.Path("x_CH1.fms"), m_dir.Path("x_CH2.fms")));
    for (const auto& f : outcome.files) {
        // One line of 2500 "x,y " pairs of 23-character numbers.
        EXPECT_EQ(std::filesystem::file_size(f), 2500u * (23 + 1 + 23 + 1));
    }
}

TEST_F(TransferTest, NameWithoutDotKeepsTheFolder) {
    SimInstrumentLink sim(m_dir, 1);
    ASSERT_TRUE(sim.Open());
    const auto outcome = ReadWaveforms(Read(kFormatWfm, {"CH1", "CH2"}, m_dir.Path("x")),
                                       sim.Transport(), Context(1), m_notes, NoProgress());
    ASSERT_TRUE(outcome.ok);
    EXPECT_THAT(outcome.files, ElementsAre(m_dir.Path("_CH1"), m_dir.Path("_CH2")));
    EXPECT_EQ(ReadText(m_dir.Path("_CH1")).substr(0, 7), ":CURVE ");
}

// Parses a one-line pair list of 23-character numbers: "x,y x,y ...".
std::vector<std::pair<double, double>> PairList(const std::string& path) {
    std::vector<std::pair<double, double>> pairs;
    const std::string text = ReadText(path);
    constexpr std::size_t kPair = 23 + 1 + 23 + 1;
    for (std::size_t at = 0; at + kPair <= text.size(); at += kPair) {
        EXPECT_EQ(text[at + 23], ',');
        EXPECT_EQ(text[at + kPair - 1], ' ');
        pairs.emplace_back(std::stod(text.substr(at, 23)), std::stod(text.substr(at + 24, 23)));
    }
    return pairs;
}

std::vector<std::vector<double>> Table(const std::string& path, char column) {
    std::vector<std::vector<double>> rows;
    for (const std::string& line : SplitOn(ReadText(path), '\n')) {
        std::vector<double> row;
        for (const std::string& cell : SplitOn(line, column)) {
            row.push_back(std::stod(cell));
        }
        rows.push_back(row);
    }
    return rows;
}

// The binary road (".ktx": RIB, two bytes) and the ASCII roads (".fms" pair list, ".txt"
// columns: one byte per point) must describe the same acquisition: the ASCII levels are the
// upper bytes of the binary ones, so they agree within one 8-bit step.
TEST_F(TransferTest, BinaryAndAsciiRoadsAgree) {
    SimInstrumentLink sim(m_dir, 1);
    ASSERT_TRUE(sim.Open());
    CommandTransport& t = sim.Transport();
    ASSERT_TRUE(t.SendCommand("ACQ:STATE STOP"));  // one acquisition for all three reads
    const auto ktx = ReadWaveforms(Read(kFormatKtx, {"CH1", "CH2"}, m_dir.Path("y.ktx")), t,
                                   Context(1), m_notes, NoProgress());
    const auto fms = ReadWaveforms(Read(kFormatFms, {"CH1", "CH2"}, m_dir.Path("y.fms")), t,
                                   Context(1), m_notes, NoProgress());
    auto txtRequest = Read(kFormatTxt, {"CH1", "CH2"}, m_dir.Path("y.txt"));
    txtRequest.columnSeparator = ';';
    txtRequest.decimalSign = '.';
    txtRequest.lineSeparator = '\n';
    const auto txt = ReadWaveforms(txtRequest, t, Context(1), m_notes, NoProgress());
    ASSERT_TRUE(ktx.ok && fms.ok && txt.ok);
    ASSERT_TRUE(m_notes.shown.empty()) << m_notes.shown.front().text;

    ASSERT_TRUE(t.SendCommand("DATA INIT"));
    const auto rows = Table(m_dir.Path("y.txt"), ';');
    ASSERT_EQ(rows.size(), 2500u);
    for (int k = 0; k < 2; ++k) {
        const std::string source = k == 0 ? "CH1" : "CH2";
        const double step = std::stod(t.Query("WFMPRE:" + source + ":YMULT?"));
        const double xincr = std::stod(t.Query("WFMPRE:" + source + ":XINCR?"));
        const auto rec = LoadWaveform(m_dir.Path("y_" + source + ".ktx"), false, {}, m_notes);
        ASSERT_TRUE(rec);
        ASSERT_EQ(rec->pointCount, 2500);
        const auto pairs = PairList(m_dir.Path("y_" + source + ".fms"));
        ASSERT_EQ(pairs.size(), 2500u);
        for (std::size_t i = 0; i < 2500; ++i) {
            const double x = TimeFieldToSeconds(rec->xValues[i]);
            const double y = rec->yValues[i].ToDouble();
            ASSERT_NEAR(pairs[i].first, x, 1e-6 * std::abs(x) + 1e-12) << source << " point " << i;
            ASSERT_NEAR(pairs[i].second, y, step * 1.0001) << source << " point " << i;
            // Columns count rows from 0, so row i is one step of x before point i + 1.
            ASSERT_EQ(rows[i].size(), 3u);
            ASSERT_NEAR(rows[i][0], pairs[i].first - xincr, 1e-9 * std::abs(xincr) + 1e-15);
            ASSERT_NEAR(rows[i][1 + k], pairs[i].second, 1e-12 + 1e-12 * std::abs(pairs[i].second));
        }
    }
}

TEST_F(TransferTest, ExcelTableUsesTabCrLfAndTheSystemDecimalSign) {
    SimInstrumentLink sim(m_dir, 1);
    ASSERT_TRUE(sim.Open());
    auto context = Context(1);
    context.systemDecimal = ',';
    auto request = Read(kFormatXls, {"CH1"}, m_dir.Path("t.xls"), "0", "10");
    request.columnSeparator = ';';  // the text options play no part for ".xls"
    ASSERT_TRUE(ReadWaveforms(request, sim.Transport(), context, m_notes, NoProgress()).ok);
    const std::string text = ReadText(m_dir.Path("t.xls"));
    const auto lines = SplitOn(text, '\n');
    ASSERT_EQ(lines.size(), 10u);
    for (const std::string& line : lines) {
        ASSERT_EQ(line.size(), 23u + 1 + 23 + 1);
        EXPECT_EQ(line[23], '\t');
        EXPECT_EQ(line[2], ',');
        EXPECT_EQ(line.back(), '\r');
    }
}

// --- messages and faults ---------------------------------------------------------------------

struct MessageCase {
    const char* name;
    int deviceType;
    int format;
    const char* start;
    const char* stop;
    const char* fault;  // "KTXSIM:FAULT ..." before the transfer, or ""
    std::vector<int> messages;
    const char* pointsText;  // the number message 307 names, or ""
    bool ok;
    bool restarted;  // "ACQ:STATE RUN" was sent at the end
};

class ReadMessages : public TransferTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(ReadMessages, ShownOnTheirConditions) {
    const MessageCase& c = GetParam();
    SimInstrumentLink sim(m_dir, c.deviceType);
    ASSERT_TRUE(sim.Open());
    CommandTransport& t = sim.Transport();
    if (*c.fault) {
        ASSERT_TRUE(t.SendCommand(std::string("KTXSIM:FAULT ") + c.fault));
    }
    sim.ClearLog();
    static const char* const kExt[] = {".xls", ".fms", ".txt", ".ktx", ".wfm"};
    const auto outcome = ReadWaveforms(
        Read(c.format, {"CH1"}, m_dir.Path(std::string("m") + kExt[c.format]), c.start, c.stop), t,
        Context(c.deviceType), m_notes, NoProgress());
    EXPECT_EQ(outcome.ok, c.ok);
    EXPECT_THAT(Ids(m_notes), ElementsAreArray(c.messages));
    for (const test::Shown& s : m_notes.shown) {
        if (s.stringId == kMsgPointsRead) {
            EXPECT_EQ(s.severity, Severity::Info);
            EXPECT_EQ(s.text, std::string(MessageCatalog::Message(307)) + " " + c.pointsText);
        }
    }
    ASSERT_TRUE(t.SendCommand("KTXSIM:FAULT NONE"));
    const auto log = sim.Log();
    EXPECT_EQ(!log.empty() && log.back() == "ACQ:STATE RUN", c.restarted)
        << ::testing::PrintToString(log);
    // Either way the instrument acquires again, as before the transfer, and answers without
    // headers again even when the transfer broke off with them switched on.
    EXPECT_EQ(t.Query("ACQ:STATE?"), "1");
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, ReadMessages,
    ::testing::Values(
        MessageCase{"AllRead", 1, kFormatKtx, "0", "2500", "", {}, "", true, true},
        // START and STOP are inclusive on the instrument: 1..2500 are 2500 points, not 2499.
        MessageCase{
            "CountDiffers", 1, kFormatKtx, "1", "2500", "", {kMsgPointsRead}, "2500", true, true},
        MessageCase{"StopNotAboveStart",
                    12,
                    kFormatFms,
                    "100",
                    "100",
                    "",
                    {kMsgPointsRead},
                    "1",
                    true,
                    true},
        MessageCase{"ColumnsCountDiffers",
                    14,
                    kFormatTxt,
                    "1",
                    "2500",
                    "",
                    {kMsgPointsRead},
                    "2500",
                    true,
                    true},
        MessageCase{"WfmCountDiffers",
                    1,
                    kFormatWfm,
                    "1",
                    "2500",
                    "",
                    {kMsgPointsRead},
                    "2500",
                    true,
                    true},
        // Type 2 is not asked: the requested number counts as read.
        MessageCase{"Type2TakesTheRequest", 2, kFormatKtx, "1", "2500", "", {}, "", true, true},
        // No point at all on the ".wfm" path is a failure.
        MessageCase{"WfmNoPoints",
                    1,
                    kFormatWfm,
                    "3000",
                    "4000",
                    "",
                    {kMsgPointsRead, kMsgNoData, kMsgFailed},
                    "0",
                    false,
                    true},
        // Answers that are no numbers: the curve came, its scaling did not.
        MessageCase{
            "Garbage", 1, kFormatKtx, "0", "2500", "GARBAGE", {kMsgFailed}, "", false, true},
        MessageCase{
            "GarbageColumns", 1, kFormatTxt, "0", "2500", "GARBAGE", {kMsgFailed}, "", false, true},
        // A block that ends early never completes: the curve is not received.
        MessageCase{"Truncated",
                    14,
                    kFormatKtx,
                    "0",
                    "2500",
                    "TRUNCATE",
                    {kMsgNoData, kMsgFailed},
                    "",
                    false,
                    true},
        // An instrument that does not answer: its state is unknown, so it is neither stopped
        // nor started; the curve is not received.
        MessageCase{"Silent",
                    1,
                    kFormatKtx,
                    "0",
                    "2500",
                    "SILENT",
                    {kMsgNoData, kMsgFailed},
                    "",
                    false,
                    false},
        MessageCase{"SilentWfm",
                    12,
                    kFormatWfm,
                    "0",
                    "2500",
                    "SILENT",
                    {kMsgNoData, kMsgFailed},
                    "",
                    false,
                    false},
        MessageCase{"SilentType10Wfm",
                    10,
                    kFormatWfm,
                    "0",
                    "2500",
                    "SILENT",
                    {kMsgFailed},
                    "",
                    false,
                    false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, EveryRemainingSourceSaysItHasNoData) {
    SimInstrumentLink sim(m_dir, 1);
    ASSERT_TRUE(sim.Open());
    ASSERT_TRUE(sim.Transport().SendCommand("KTXSIM:FAULT SILENT"));
    const auto outcome = ReadWaveforms(Read(kFormatKtx, {"CH1", "CH2", "CH3"}, m_dir.Path("s.ktx")),
                                       sim.Transport(), Context(1), m_notes, NoProgress());
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(outcome.files.empty());
    EXPECT_THAT(Ids(m_notes), ElementsAre(kMsgNoData, kMsgNoData, kMsgNoData, kMsgFailed));
}

TEST_F(TransferTest, AcquisitionRestartsAfterAFailureMidway) {
    SimInstrumentLink sim(m_dir, 1);
    ASSERT_TRUE(sim.Open());
    CommandTransport& t = sim.Transport();
    sim.ClearLog();
    // The acquisition state is read before the fault strikes: the instrument was running.
    // A source the instrument does not know fails the sequence after the stop.
    const auto outcome = ReadWaveforms(Read(kFormatKtx, {"CH9"}, m_dir.Path("f.ktx")), t,
                                       Context(1), m_notes, NoProgress());
    EXPECT_FALSE(outcome.ok);
    const auto log = sim.Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1], "ACQ:STATE STOP");
    EXPECT_EQ(log.back(), "ACQ:STATE RUN");
    EXPECT_EQ(t.Query("ACQ:STATE?"), "1");
}

// --- writing ------------------------------------------------------------------------------------

struct WriteCase {
    const char* name;
    int deviceType;
    const char* encoding;  // [DEVICE] ENCDG
    const char* destination;
    bool channelOff;  // channel 1 is off before the transfer
    const char* commands;
};

class WriteSequence : public TransferTest, public ::testing::WithParamInterface<WriteCase> {
  protected:
    // An instrument's ASCII curve file; for two-byte encodings the levels are whole 8-bit steps
    // so that they read back exactly through one-byte ASCII.
    std::string CurveFile(bool twoBytes) {
        std::string text = ":CURVE ";
        for (int k = -100; k < 100; ++k) {
            text += std::to_string(twoBytes ? k * 256 : k) + (k + 1 < 100 ? "," : "\r\n");
        }
        const std::string path = m_dir.Path("send.wfm");
        test::WriteFile(path, text);
        return path;
    }
};

TEST_P(WriteSequence, SendsExactlyTheseCommandsAndTheReferenceHoldsTheCurve) {
    const WriteCase& c = GetParam();
    const std::string deviceFile = m_dir.Path("kt_dev.ini");
    test::WriteFile(deviceFile, "[DEVICE]\nTYPE=" + std::to_string(c.deviceType) +
                                    "\nENCDG=" + c.encoding + "\n");
    SimInstrumentLink sim(m_dir, c.deviceType);
    ASSERT_TRUE(sim.Open());
    CommandTransport& t = sim.Transport();
    if (c.channelOff) {
        ASSERT_TRUE(t.SendCommand("SEL:CH1 OFF"));
    }
    sim.ClearLog();
    TransferRequest request;
    request.mode = kModeWrite;
    request.fileName = CurveFile(std::string(c.encoding) == "WOR");
    request.destination = c.destination;
    const auto outcome =
        WriteWaveform(request, t, Context(c.deviceType, deviceFile), m_notes, NoProgress());
    EXPECT_TRUE(outcome.ok);
    EXPECT_TRUE(m_notes.shown.empty()) << m_notes.shown.front().text;
    ExpectCommands(sim.Log(), c.commands);
    EXPECT_EQ(t.Query(std::string("SEL:") + c.destination + "?"), "1");
    EXPECT_EQ(t.Query("SEL:CH1?"), c.channelOff ? "0" : "1");

    // Read the reference back, as "Einlesen WF" would.
    const auto back =
        ReadWaveforms(Read(kFormatWfm, {c.destination}, m_dir.Path("back.wfm"), "0", "200"), t,
                      Context(c.deviceType), m_notes, NoProgress());
    ASSERT_TRUE(back.ok);
    std::vector<std::int32_t> values;
    ASSERT_EQ(ParseCurve(m_dir.Path("back.wfm"), values, 1000), 200);
    for (int k = -100; k < 100; ++k) {
        ASSERT_EQ(values[static_cast<std::size_t>(k + 100)], k) << "point " << k + 100;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, WriteSequence,
    ::testing::Values(
        WriteCase{"Type1Byte", 1, "BYT", "REF1", false,
                  "DATA INIT|DATA:ENC ASCII|DATA:ENC RIB|DATA:WID 1|DATA:DESTINATION REF1|"
                  ":CURVE #3200|SEL:REF1 ON"},
        WriteCase{"Type2Ascii", 2, "ASC", "REF2", false,
                  "DATA INIT|DATA:ENC ASCII|DATA:DESTINATION REF2|:CURVE -100,-99,*|SEL:REF2 ON"},
        // The two-byte block carries the less significant byte first: announced as SRI.
        WriteCase{"Type1Word", 1, "WOR", "REF1", false,
                  "DATA INIT|DATA:ENC ASCII|DATA:ENC SRI|DATA:WID 2|DATA:DESTINATION REF1|"
                  ":CURVE #3400|SEL:REF1 ON"},
        // Above type 3 channel 1 is saved into the reference first, switched on if need be.
        WriteCase{"Type12Byte", 12, "BYT", "REF1", false,
                  "SEL:CH1?|SAV:WAVEFORM CH1,REF1|WFMPRE:NR_Pt 10000|DATA INIT|DATA:ENC ASCII|"
                  "DATA:ENC RIB|DATA:WID 1|DATA:DESTINATION REF1|:CURVE #3200|SEL:REF1 ON"},
        WriteCase{"Type12ChannelOff", 12, "BYT", "REF2", true,
                  "SEL:CH1?|SEL:CH1 ON|SAV:WAVEFORM CH1,REF2|WFMPRE:NR_Pt 10000|DATA INIT|"
                  "DATA:ENC ASCII|DATA:ENC RIB|DATA:WID 1|DATA:DESTINATION REF2|:CURVE #3200|"
                  "SEL:CH1 OFF|SEL:REF2 ON"},
        // Type 14 sends the converted block and then the file itself; the two-byte block is
        // announced as SRI, as for the other families.
        WriteCase{"Type14Word", 14, "WOR", "REF1", false,
                  "HOR:ACQLENGTH?|WFMI:NR_PT 2500|WFMI:ENC ASCII|WFMI:ENC SRI|WFMW:BYT_NR 2|"
                  "DATA:DESTINATION REF1|:CURVE #3400|DATA:DESTINATION REF1|:CURVE -25600,*|"
                  "SEL:REF1 ON"},
        WriteCase{"Type14Byte", 14, "BYT", "REF3", false,
                  "HOR:ACQLENGTH?|WFMI:NR_PT 2500|WFMI:ENC ASCII|WFMI:ENC RIB|WFMI:BYT_NR 1|"
                  "DATA:DESTINATION REF3|:CURVE #3200|DATA:DESTINATION REF3|:CURVE -100,*|"
                  "SEL:REF3 ON"},
        WriteCase{"Type14Ascii", 14, "ASC", "REF4", false,
                  "HOR:ACQLENGTH?|WFMI:NR_PT 2500|WFMI:ENC ASCII|DATA:START 0|"
                  "DATA:DESTINATION REF4|:CURVE -100,*|SEL:REF4 ON"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransferTest, Type10RoundTripThroughTheInstrumentFileSystem) {
    SimInstrumentLink sim(m_dir, 10);
    ASSERT_TRUE(sim.Open());
    CommandTransport& t = sim.Transport();
    const auto read = ReadWaveforms(Read(kFormatWfm, {"CH2"}, m_dir.Path("ch2.wfm")), t,
                                    Context(10), m_notes, NoProgress());
    ASSERT_TRUE(read.ok);
    // The instrument's own file holds preamble and curve like an ISF: the program opens what
    // it stored itself.
    const ImportOutcome opened =
        ImportWaveformFile(m_dir.Path("ch2.wfm"), m_dir.Path("ktx_tmp.tmp"), m_notes, NoProgress());
    ASSERT_EQ(opened.kind, ImportKind::Converted)
        << (m_notes.shown.empty() ? "" : m_notes.shown[0].text);
    EXPECT_EQ(opened.points, std::stoll(t.Query("WFMO:NR_PT?")));
    sim.ClearLog();

    TransferRequest request;
    request.mode = kModeWrite;
    request.fileName = m_dir.Path("ch2.wfm");
    request.destination = "REF2";
    ASSERT_TRUE(WriteWaveform(request, t, Context(10), m_notes, NoProgress()).ok);
    ExpectCommands(sim.Log(), "FILES:WRITEF \"c:\\ktx.tmp\",*|RECA:WAVE \"c:\\ktx.tmp\",REF2");
    // The scratch file goes beside the conversion file and is gone afterwards.
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path("ktx_tmp")));

    const auto back = ReadWaveforms(Read(kFormatWfm, {"REF2"}, m_dir.Path("ref2.wfm")), t,
                                    Context(10), m_notes, NoProgress());
    ASSERT_TRUE(back.ok);
    EXPECT_TRUE(m_notes.shown.empty()) << m_notes.shown.front().text;
    const std::string sent = ReadText(m_dir.Path("ch2.wfm"));
    const std::string got = ReadText(m_dir.Path("ref2.wfm"));
    ASSERT_NE(sent.find(":CURVE #"), std::string::npos);
    EXPECT_EQ(got.substr(got.find(":CURVE #")), sent.substr(sent.find(":CURVE #")));
}

TEST_F(TransferTest, WriteFailureIsReported) {
    const std::string deviceFile = m_dir.Path("kt_dev.ini");
    test::WriteFile(deviceFile, "[DEVICE]\nTYPE=1\nENCDG=BYT\n");
    test::WriteFile(m_dir.Path("send.wfm"), ":CURVE 1,2,3,4,5\r\n");
    struct Case {
        bool closed;
        const char* file;
    };
    // A link that is gone, and a file that is no curve (nothing would be sent).
    test::WriteFile(m_dir.Path("bad.wfm"), "no curve at all\r\n");
    for (const Case& c : {Case{true, "send.wfm"}, Case{false, "bad.wfm"}}) {
        SimInstrumentLink sim(m_dir, 1);
        ASSERT_TRUE(sim.Open());
        if (c.closed) {
            sim.Transport().CloseLink();
        }
        test::RecordingNotifier notes;
        TransferRequest request;
        request.mode = kModeWrite;
        request.fileName = m_dir.Path(c.file);
        request.destination = "REF1";
        EXPECT_FALSE(
            WriteWaveform(request, sim.Transport(), Context(1, deviceFile), notes, NoProgress()).ok)
            << c.file;
        ASSERT_FALSE(notes.shown.empty());
        EXPECT_EQ(notes.shown.back().stringId, kMsgFailed);
        EXPECT_EQ(notes.shown.back().severity, Severity::Error);
    }
}

TEST_F(TransferTest, InstrumentFileNeedsAWritableScratchFolder) {
    SimInstrumentLink sim(m_dir, 10);
    ASSERT_TRUE(sim.Open());
    test::WriteFile(m_dir.Path("local.wfm"), std::string(":WFMPRE:NR_PT 1;:CURVE #11A\n"));
    EXPECT_FALSE(WriteInstrumentFile(m_dir.Path("local.wfm"), "c:\\ktx.tmp",
                                     m_dir.Path("no/such/folder"), sim.Transport(), m_notes));
    ASSERT_EQ(m_notes.shown.size(), 1u);
    EXPECT_EQ(m_notes.shown[0].stringId, 10041);
    EXPECT_TRUE(WriteInstrumentFile(m_dir.Path("local.wfm"), "c:\\ktx.tmp", m_dir.Path(""),
                                    sim.Transport(), m_notes));
    EXPECT_THAT(SplitOn(sim.Transport().Query("FILES:DIR?"), ','),
                ::testing::Contains("\"C:\\KTX.TMP\""));
}

}  // namespace
}  // namespace ktx

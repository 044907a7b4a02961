// SPDX-License-Identifier: GPL-3.0-or-later
// Set-ups: the group and entry splitting, reading and sending against the simulated instrument
// in-process (every family that takes set-ups), the failures the user must hear of (a silent
// instrument, a link that is not open), and the telecom library's folder.
#include "setups/setup_transfer.h"

#include <gtest/gtest.h>

#include <numeric>

#include "config/program_state.h"
#include "link/command_transport.h"
#include "setups/telecom_library.h"
#include "test_files.h"

namespace ktx {
namespace {

std::string Join(const std::vector<std::string>& parts) {
    return std::accumulate(parts.begin(), parts.end(), std::string());
}

std::string Text(const test::Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// --- splitting --------------------------------------------------------------------------------

struct GroupCase {
    const char* name;
    std::string text;
    std::vector<std::size_t> sizes;  // of the groups, in order
};

class SetupGroupTest : public testing::TestWithParam<GroupCase> {};

TEST_P(SetupGroupTest, GroupsEndAtPathStartsOrTheLimit) {
    const GroupCase& c = GetParam();
    const std::vector<std::string> groups = SplitSetupGroups(c.text);
    std::vector<std::size_t> sizes;
    for (const std::string& g : groups) {
        sizes.push_back(g.size());
    }
    EXPECT_EQ(sizes, c.sizes);
    EXPECT_EQ(Join(groups), c.text);
}

const std::string kPathA = ":CH1:SCALE 1.0E0;POSITION 0.0E0;:";  // 33 characters
const std::string kNoMark(1000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Setups, SetupGroupTest,
    testing::Values(GroupCase{"NoPathMarkGivesFullGroups", kNoMark, {481, 481, 38}},
                    GroupCase{"TwoPathsAreTwoGroups", kPathA + "HOR:SCALE 1;:", {33, 13}},
                    // After a group cut at 481 characters the next may grow to 481 again.
                    GroupCase{"CutGroupThenFullGroup",
                              std::string(500, 'a') + ";:" + kNoMark,
                              {481, 21, 481, 481, 38}},
                    GroupCase{"MarkRightAtTheLimit", std::string(479, 'a') + ";:b", {481, 1}},
                    GroupCase{"SemicolonAloneIsNoMark", "A 1;B 2;C 3", {11}},
                    GroupCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct EntryCase {
    const char* name;
    std::string text;
    std::vector<std::size_t> sizes;
};

class SetupEntryTest : public testing::TestWithParam<EntryCase> {};

TEST_P(SetupEntryTest, EntriesAreCutBackToAPathBoundary) {
    const EntryCase& c = GetParam();
    const std::vector<std::string> entries = SplitSetupEntries(c.text);
    std::vector<std::size_t> sizes;
    for (const std::string& e : entries) {
        sizes.push_back(e.size());
        EXPECT_LE(e.size(), kSetupEntryLimit);
    }
    EXPECT_EQ(sizes, c.sizes);
    EXPECT_EQ(Join(entries), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Setups, SetupEntryTest,
    testing::Values(
        EntryCase{"PathsAreEntries", kPathA + "HOR:SCALE 1", {33, 11}},
        // 300 characters with a ":" at 100: the first entry ends there, the rest is read again.
        EntryCase{"LongEntryCutAtItsLastColon",
                  std::string(99, 'a') + ":" + std::string(200, 'b'),
                  {100, 200}},
        // No ":" to cut back to: 10 characters each time an entry reaches 255, until fewer
        // than 255 are left.
        EntryCase{"NoColonGivesTenCharacterEntries", std::string(265, 'z'), {10, 10, 245}},
        EntryCase{"ColonOnlyAtTheStart", ":" + std::string(300, 'c'), {10, 10, 10, 10, 10, 251}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SetupPrintTest, PageHasTheTitleAndIndentedEntries) {
    EXPECT_EQ(
        SetupPrintLines({":A 1;:", "B 2"}),
        (std::vector<std::string>{"         ", "SETUP", "", "         :A 1;:", "         B 2"}));
}

// A stored set-up is sent and edited up to the line end that closed the instrument's answer (at
// most two characters): the file gives the groups and entries the text gives in memory.
TEST(SetupFileTest, FileGivesTheGroupsAndEntriesOfItsTextWithoutTheFinalLineEnd) {
    const std::string text = ":CH1:SCALE 1;:" + std::string(600, 'x') + ";:HOR 1";
    struct Case {
        std::string ending;
        std::string kept;  // of the ending, what belongs to the set-up
    };
    test::TempDir dir;
    const std::string file = dir.Path("a.set");
    for (const Case& c : {Case{"", ""}, Case{"\n", ""}, Case{"\r\n", ""}, Case{"\n\n\n", "\n"},
                          Case{";:\r", ";:"}}) {
        SCOPED_TRACE(testing::PrintToString(c.ending));
        test::WriteFile(file, text + c.ending);
        SetupFileReader reader(file);
        ASSERT_TRUE(reader.IsOpen());
        EXPECT_EQ(reader.Size(), text.size() + c.ending.size());
        std::vector<std::string> groups;
        for (std::string g; reader.Next(g);) {
            groups.push_back(g);
        }
        EXPECT_EQ(groups, SplitSetupGroups(text + c.kept));
        EXPECT_EQ(ReadSetupEntryFile(file), SplitSetupEntries(text + c.kept));
    }
    EXPECT_FALSE(ReadSetupEntryFile(dir.Path("missing.set")).has_value());
}

// --- against the simulated instrument ---------------------------------------------------------

class SimSession {
  public:
    SimSession(const test::TempDir& dir, int type, const std::string& simSection = "")
        : m_transport(notes) {
        const std::string ini = dir.Path("sim.ini");
        test::WriteFile(ini, "[SIM]\nTYPE=" + std::to_string(type) + "\n" + simSection);
        m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_sim.so", 4, type}, false, ini);
        m_transport.LinkSetTimeout(300);
    }
    CommandTransport& Transport() { return m_transport; }
    test::RecordingNotifier notes;

  private:
    CommandTransport m_transport;
};

// A device file with the time-out and pause the set-up transfer takes from it.
std::string DeviceFile(const test::TempDir& dir, int type) {
    const std::string path = dir.Path("kt_test.ini");
    test::WriteFile(path,
                    "[DEVICE]\nNAME=TEST\nTYPE=" + std::to_string(type) + "\nTMO=2\nWAIT=0\n");
    return path;
}

class SetupRoundTripTest : public testing::TestWithParam<int> {};

TEST_P(SetupRoundTripTest, StoredSetupSentBackRestoresTheInstrument) {
    const int type = GetParam();
    test::TempDir dir;
    SimSession sim(dir, type);
    CommandTransport& t = sim.Transport();
    ASSERT_TRUE(t.SendCommand("CH2:SCALE 0.2;:MASK:USER:LABEL \"a;:b\";:DATA:SOURCE CH3"));
    const std::string file = dir.Path("front.set");
    ASSERT_TRUE(ReadSetup(t, file, sim.notes));
    const std::string stored = Text(test::ReadFile(file));
    ASSERT_GE(stored.size(), 2048u);

    ASSERT_TRUE(t.SendCommand("*RST"));
    test::RecordingProgress progress;
    ASSERT_TRUE(WriteSetup(t, file, type, DeviceFile(dir, type), sim.notes, progress));
    EXPECT_TRUE(sim.notes.shown.empty());
    EXPECT_EQ(t.Query("*ESR?"), "0");
    const std::string again = dir.Path("again.set");
    ASSERT_TRUE(ReadSetup(t, again, sim.notes));
    EXPECT_EQ(Text(test::ReadFile(again)), stored);
}

// Type 2 takes the file whole; the others get it in groups.
INSTANTIATE_TEST_SUITE_P(Families, SetupRoundTripTest, testing::Values(1, 2, 10, 12, 14));

TEST(SetupSendTest, ProgressCountsDownEveryByteAndTheTimeOutComesBack) {
    test::TempDir dir;
    SimSession sim(dir, 12);
    const std::string file = dir.Path("s.set");
    ASSERT_TRUE(ReadSetup(sim.Transport(), file, sim.notes));
    const auto size = static_cast<std::int64_t>(test::ReadFile(file).size());
    test::RecordingProgress progress;
    const SetupSendResult r = SendSetupFile(sim.Transport(), file, 0, 2000, progress);
    EXPECT_TRUE(r.ok);
    ASSERT_GE(progress.calls.size(), 3u);
    EXPECT_EQ(progress.calls.front(), "B0:" + std::to_string(size));
    EXPECT_EQ(progress.calls[progress.calls.size() - 2], "B1:0");
    EXPECT_EQ(progress.calls.back(), "B2");
    // The previous time-out (300 ms) is back: setting another hands it out.
    EXPECT_EQ(sim.Transport().LinkSetTimeout(300), 300);
}

TEST(SetupReadTest, SilentInstrumentLeavesTheExistingFileAsItWas) {
    test::TempDir dir;
    SimSession sim(dir, 12, "SILENT=1\n");
    const std::string file = dir.Path("kept.set");
    test::WriteFile(file, ":CH1:SCALE 5.0E0\n");
    EXPECT_FALSE(ReadSetup(sim.Transport(), file, sim.notes));
    EXPECT_EQ(Text(test::ReadFile(file)), ":CH1:SCALE 5.0E0\n");
    ASSERT_EQ(sim.notes.shown.size(), 1u);
    EXPECT_EQ(sim.notes.shown[0].stringId, 10037);
    // Nothing beside it either.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")),
                            std::filesystem::directory_iterator()),
              2);  // sim.ini and kept.set
}

// An answer that is no set-up (noise on the line) and a target that cannot be written: message
// 37, the old file unchanged, nothing beside it; a folder as target is refused before the
// instrument is asked, with the reason named.
struct KeptCase {
    const char* name;
    const char* sim;
    bool folder;
};

class SetupReadKeepsTest : public testing::TestWithParam<KeptCase> {};

TEST_P(SetupReadKeepsTest, OldFileStays) {
    const KeptCase& c = GetParam();
    test::TempDir dir;
    SimSession sim(dir, 14, c.sim);
    const std::string file = dir.Path("kept.set");
    if (c.folder) {
        std::filesystem::create_directory(file);
    } else {
        test::WriteFile(file, ":CH1:SCALE 5.0E0\n");
    }
    EXPECT_FALSE(ReadSetup(sim.Transport(), file, sim.notes));
    ASSERT_EQ(sim.notes.shown.size(), 1u);
    EXPECT_EQ(sim.notes.shown[0].stringId, 10037);
    if (c.folder) {
        EXPECT_TRUE(std::filesystem::is_directory(file));
        EXPECT_NE(sim.notes.shown[0].text.find(file), std::string::npos) << sim.notes.shown[0].text;
        EXPECT_EQ(sim.Transport().Query("KTXSIM:LOG?").find("SET?"), std::string::npos);
    } else {
        EXPECT_EQ(Text(test::ReadFile(file)), ":CH1:SCALE 5.0E0\n");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")),
                            std::filesystem::directory_iterator()),
              2);  // sim.ini and kept.set
}

INSTANTIATE_TEST_SUITE_P(Cases, SetupReadKeepsTest,
                         testing::Values(KeptCase{"Garbage", "GARBAGE=1\n", false},
                                         KeptCase{"FolderTarget", "", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SetupWriteTest, LinkNotOpenIsReportedNotSuccess) {
    test::TempDir dir;
    test::RecordingNotifier notes;
    CommandTransport closed(notes);
    const std::string file = dir.Path("s.set");
    test::WriteFile(file, ":CH1:SCALE 5.0E0;:HOR:SCALE 1\n");
    for (int type : {2, 12}) {
        notes.shown.clear();
        EXPECT_FALSE(WriteSetup(closed, file, type, "NONE", notes, NoProgress())) << type;
        ASSERT_EQ(notes.shown.size(), 1u) << type;
        EXPECT_EQ(notes.shown[0].stringId, 10038) << type;
    }
    notes.shown.clear();
    EXPECT_FALSE(TestSetupCommand(closed, ":CH1:SCALE 1", 1000, notes));
    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0].stringId, 10038);
}

TEST(SetupWriteTest, MissingFileSendsNothing) {
    test::TempDir dir;
    SimSession sim(dir, 12);
    EXPECT_FALSE(
        WriteSetup(sim.Transport(), dir.Path("none.set"), 12, "NONE", sim.notes, NoProgress()));
    ASSERT_EQ(sim.notes.shown.size(), 1u);
    EXPECT_EQ(sim.notes.shown[0].stringId, 10022);
}

TEST(SetupEditorTest, EntriesHoldTheWholeSetupAndTestSendsOne) {
    test::TempDir dir;
    SimSession sim(dir, 12);
    const SetupEntries e = ReadSetupEntries(sim.Transport(), dir.Path("scratch.tmp"));
    ASSERT_TRUE(e.ok);
    ASSERT_GT(e.entries.size(), 10u);
    const std::string file = dir.Path("s.set");
    ASSERT_TRUE(ReadSetup(sim.Transport(), file, sim.notes));
    EXPECT_EQ(Join(e.entries), Text(test::ReadFile(file)));
    EXPECT_TRUE(TestSetupCommand(sim.Transport(), ":CH4:PROBE 100", 1000, sim.notes));
    // The editor left HEADER ON, as the set-up needs it.
    EXPECT_EQ(sim.Transport().Query("CH4:PROBE?"), ":CH4:PROBE 1.0E2");
}

// --- telecom library --------------------------------------------------------------------------

TEST(TelecomLibraryTest, ListsSetupsWithDescriptionsOnly) {
    test::TempDir dir;
    test::WriteFile(dir.Path("e1.set"), ":MASK:STANDARD E1\n");
    test::WriteFile(dir.Path("e1.dat"), "E1 2048 kbit/s\r\nmore\r\n");
    test::WriteFile(dir.Path("e1.bmp"), "BM");
    test::WriteFile(dir.Path("ds1.set"), ":MASK:STANDARD DS1\n");
    test::WriteFile(dir.Path("DS1.DAT"), "DS1 1544 kbit/s");
    test::WriteFile(dir.Path("lonely.set"), ":MASK:STANDARD NONE\n");
    const std::vector<TelecomEntry> entries = ReadTelecomLibrary(dir.Path(""));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].description, "DS1 1544 kbit/s");
    EXPECT_EQ(entries[0].picture, "");
    EXPECT_EQ(entries[1].description, "E1 2048 kbit/s");
    EXPECT_EQ(entries[1].setFile, dir.Path("e1.set"));
    EXPECT_EQ(entries[1].picture, dir.Path("e1.bmp"));
    EXPECT_TRUE(ReadTelecomLibrary(dir.Path("missing")).empty());
}

TEST(TelecomLibraryTest, OfferedOnlyWithTheMaskApplication) {
    for (const bool module : {false, true}) {
        test::TempDir dir;
        SimSession sim(dir, 12, module ? "TELECOM=1\n" : "");
        EXPECT_EQ(HasTelecomModule(sim.Transport(), sim.notes), module);
        EXPECT_EQ(sim.notes.shown.size(), module ? 0u : 1u);
        if (!module) {
            EXPECT_EQ(sim.notes.shown[0].stringId, 10311);
        }
    }
}

// Every set-up the program ships in its telecom library is one the instrument takes whole.
TEST(TelecomLibraryTest, ShippedSetupsAreTakenWithoutError) {
    const std::vector<TelecomEntry> entries = ReadTelecomLibrary(KTX_TELECOM_DIR);
    ASSERT_GE(entries.size(), 3u);
    for (const TelecomEntry& e : entries) {
        test::TempDir dir;
        SimSession sim(dir, 12, "TELECOM=1\n");
        EXPECT_FALSE(e.description.empty()) << e.setFile;
        const SetupSendResult r = SendSetupFile(sim.Transport(), e.setFile, 0, 2000, NoProgress());
        EXPECT_TRUE(r.ok) << e.setFile;
        EXPECT_EQ(sim.Transport().Query("*ESR?"), "0") << e.setFile;
        EXPECT_EQ(sim.Transport().Query("MASK:DISPLAY?"), "ON") << e.setFile;
    }
}

}  // namespace
}  // namespace ktx

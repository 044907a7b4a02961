// SPDX-License-Identifier: GPL-3.0-or-later
// "Geräteauswahl" without the window: the list, the preselection, accepting a file and the state
// that follows from it.
#include "config/instrument_list.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "config/device_file.h"
#include "config/profile_file.h"
#include "test_files.h"

namespace ktx {
namespace {

std::string ValidFile(const std::string& name, int type) {
    return "[DEVICE]\nNAME=" + name + "\nTYPE=" + std::to_string(type) +
           "\n[INTERFACE]\nRS232=1\nGPIB=1\n";
}

class InstrumentList : public ::testing::Test {
  protected:
    InstrumentList() { std::filesystem::create_directory(m_dir.Path("Driver")); }
    std::string Driver(const std::string& name) { return m_dir.Path("Driver/" + name); }
    std::string Home() { return m_dir.Path(""); }
    test::TempDir m_dir;
};

TEST_F(InstrumentList, FindsDefinitionFilesSortedByName) {
    test::WriteFile(Driver("kt_tds3012.ini"), ValidFile("TDS_3012", 12));
    test::WriteFile(Driver("KT_ALPHA.INI"), ValidFile("ALPHA", 12));
    test::WriteFile(Driver("kt_b.ini"), "[DEVICE]\nTYPE=12\n");  // no name: shown as NONAME
    test::WriteFile(Driver("kt_.ini"), ValidFile("EMPTYSTAR", 12));
    test::WriteFile(Driver("kt_x.ini.bak"), ValidFile("BACKUP", 12));
    test::WriteFile(Driver("xkt_y.ini"), ValidFile("OTHER", 12));
    test::WriteFile(Driver("kt.ini"), ValidFile("SHORT", 12));
    std::filesystem::create_directory(Driver("kt_folder.ini"));

    const auto list = ListInstruments(Home());
    std::vector<std::string> names, files;
    for (const auto& e : list) {
        names.push_back(e.name);
        files.push_back(std::filesystem::path(e.path).filename().string());
        EXPECT_TRUE(std::filesystem::path(e.path).is_absolute()) << e.path;
        EXPECT_TRUE(std::filesystem::is_regular_file(e.path)) << e.path;
    }
    EXPECT_EQ(files,
              (std::vector<std::string>{"kt_.ini", "KT_ALPHA.INI", "kt_b.ini", "kt_tds3012.ini"}));
    EXPECT_EQ(names, (std::vector<std::string>{"EMPTYSTAR", "ALPHA", "NONAME", "TDS_3012"}));
    EXPECT_EQ(list.back().path, Driver("kt_tds3012.ini"));
}

TEST_F(InstrumentList, DriverFolderInAnyCaseAndMissingFolder) {
    test::TempDir other;
    EXPECT_TRUE(ListInstruments(other.Path("")).empty());
    std::filesystem::create_directory(other.Path("DRIVER"));
    test::WriteFile(other.Path("DRIVER/kt_a.ini"), ValidFile("A", 12));
    ASSERT_EQ(ListInstruments(other.Path("")).size(), 1u);
    EXPECT_TRUE(ListInstruments("/no/such/folder").empty());
}

struct PreselectCase {
    const char* label;
    std::vector<std::string> names;
    std::string current;
    int expected;
};

class Preselect : public ::testing::TestWithParam<PreselectCase> {};

INSTANTIATE_TEST_SUITE_P(
    Rules, Preselect,
    ::testing::Values(PreselectCase{"Empty", {}, "TDS_210", -1},
                      PreselectCase{"NoMatchTakesFirst", {"A", "B"}, "C", 0},
                      PreselectCase{"Match", {"A", "B", "C"}, "B", 1},
                      PreselectCase{"SameNameTakesLater", {"X", "A", "B", "A"}, "A", 3},
                      PreselectCase{"CaseCounts", {"tds_210", "TDS_210"}, "tds_210", 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_P(Preselect, Rule) {
    std::vector<InstrumentEntry> entries;
    for (const auto& n : GetParam().names) {
        entries.push_back({n, "/p/kt_" + n + ".ini"});
    }
    EXPECT_EQ(PreselectedInstrument(entries, GetParam().current), GetParam().expected);
}

TEST_F(InstrumentList, TwoFilesWithTheSameNameTheLaterIsPreselected) {
    test::WriteFile(Driver("kt_a.ini"), ValidFile("TDS_210", 1));
    test::WriteFile(Driver("kt_b.ini"), ValidFile("TDS_380", 2));
    test::WriteFile(Driver("kt_c.ini"), ValidFile("TDS_210", 1));
    const auto list = ListInstruments(Home());
    ASSERT_EQ(list.size(), 3u);
    const int i = PreselectedInstrument(list, ReadDeviceName(Driver("kt_a.ini")));
    ASSERT_EQ(i, 2);
    EXPECT_EQ(list[2].path, Driver("kt_c.ini"));
}

TEST_F(InstrumentList, AcceptedFileIsWrittenToTheSettings) {
    const auto ini = m_dir.Path("kurvitex.ini");
    test::WriteFile(ini, "; settings\n[DEVICE]\nINIFILE=NONE\nMODE=1\n[TRANSFER]\nSS_TYPE=4\n");
    test::WriteFile(Driver("kt_tds.ini"), ValidFile("TDS_1012", 12));

    test::RecordingNotifier notifier;
    const auto r = ApplyInstrumentSelection(Driver("kt_tds.ini"), ini, notifier);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_TRUE(r.accepted);
    EXPECT_TRUE(r.saved);
    EXPECT_EQ(r.deviceIniFile, Driver("kt_tds.ini"));
    EXPECT_EQ(r.deviceType, 12);
    const ProfileFile settings(ini);
    EXPECT_EQ(settings.ReadString("DEVICE", "TYPE", ""), "12");
    EXPECT_EQ(settings.ReadString("DEVICE", "INIFILE", ""), Driver("kt_tds.ini"));
    EXPECT_EQ(settings.ReadInt("TRANSFER", "SS_TYPE", 0), 4);  // the rest is kept
    EXPECT_EQ(settings.ReadInt("DEVICE", "MODE", 0), 1);
}

TEST_F(InstrumentList, InvalidFileChangesNothing) {
    const auto ini = m_dir.Path("kurvitex.ini");
    const std::string before = "[DEVICE]\nINIFILE=/old/kt_old.ini\nTYPE=1\n";
    test::WriteFile(ini, before);
    test::WriteFile(Driver("kt_bad.ini"), "[DEVICE]\nNAME=TDS_210\nTYPE=1\n");  // no interfaces

    test::RecordingNotifier notifier;
    const auto r = ApplyInstrumentSelection(Driver("kt_bad.ini"), ini, notifier);
    EXPECT_FALSE(r.accepted);
    EXPECT_FALSE(r.saved);
    ASSERT_EQ(notifier.shown.size(), 2u);
    EXPECT_EQ(notifier.shown[0].text, "ungültiger Eintrag für INTERFACE RS232");
    EXPECT_EQ(notifier.shown[1].text, "ungültiges Dateiformat " + Driver("kt_bad.ini"));
    EXPECT_EQ(notifier.shown[1].severity, Severity::Info);
    const auto after = test::ReadFile(ini);
    EXPECT_EQ(std::string(after.begin(), after.end()), before);
}

TEST_F(InstrumentList, NothingChosenIsRejected) {
    const auto ini = m_dir.Path("kurvitex.ini");
    test::RecordingNotifier notifier;
    const auto r = ApplyInstrumentSelection("", ini, notifier);
    EXPECT_FALSE(r.accepted);
    ASSERT_EQ(notifier.shown.size(), 2u);
    EXPECT_EQ(notifier.shown[0].text, "kein Devicename");
    EXPECT_EQ(notifier.shown[1].text, "ungültiges Dateiformat");
    EXPECT_FALSE(std::filesystem::exists(ini));
}

// How kurvitex.ini may stand in the way of a selection: whether it can be written, and how many
// messages 16 the user sees when it cannot (one per selection, however many keys failed).
struct SettingsCase {
    const char* name;
    void (*prepare)(const std::string& ini);
    bool saved;
};

const SettingsCase kSettings[] = {
    // A folder where kurvitex.ini should be cannot be written, not even by root.
    {"FolderInTheWay", [](const std::string& ini) { std::filesystem::create_directory(ini); },
     false},
    {"WriteProtectedFile",
     [](const std::string& ini) {
         test::WriteFile(ini, std::string("[DEVICE]\nTYPE=1\n"));
         std::filesystem::permissions(ini, std::filesystem::perms(0444));
     },
     false},
    // The file may be written, its folder not: the file is rewritten in place.
    {"WriteProtectedFolder",
     [](const std::string& ini) {
         test::WriteFile(ini, std::string("[DEVICE]\nTYPE=1\n"));
         std::filesystem::permissions(std::filesystem::path(ini).parent_path(),
                                      std::filesystem::perms(0555));
     },
     true},
};

class SettingsInTheWay : public InstrumentList,
                         public ::testing::WithParamInterface<SettingsCase> {};

INSTANTIATE_TEST_SUITE_P(Settings, SettingsInTheWay, ::testing::ValuesIn(kSettings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(SettingsInTheWay, SelectionStaysForThisRunWithOneMessageAtMost) {
    std::filesystem::create_directory(m_dir.Path("home"));
    const auto ini = m_dir.Path("home/kurvitex.ini");
    GetParam().prepare(ini);
    test::WriteFile(Driver("kt_tds.ini"), ValidFile("TDS_3012", 10));

    test::RecordingNotifier notifier;
    const auto r = ApplyInstrumentSelection(Driver("kt_tds.ini"), ini, notifier);
    std::filesystem::permissions(m_dir.Path("home"), std::filesystem::perms(0755));
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.saved, GetParam().saved);
    EXPECT_EQ(r.deviceIniFile, Driver("kt_tds.ini"));
    EXPECT_EQ(r.deviceType, 10);
    ASSERT_EQ(notifier.shown.size(), GetParam().saved ? 0u : 1u);
    for (const auto& s : notifier.shown) {
        EXPECT_EQ(s.text, "INI-Datei konnte nicht geschrieben werden");
        EXPECT_EQ(s.severity, Severity::Error);
    }
    EXPECT_EQ(ProfileFile(ini).ReadInt("DEVICE", "TYPE", 1), GetParam().saved ? 10 : 1);
}

struct StateCase {
    const char* label;
    int type;
    std::string storedMode;  // kurvitex.ini [DEVICE] MODE; empty: missing
    std::string transfer;    // [TRANSFER] MODE of the definition; empty: missing
    std::string colour;      // [COLOR] ENABLE of the definition; empty: missing
    InstrumentState expected;
};

class AfterSelection : public ::testing::TestWithParam<StateCase> {};

INSTANTIATE_TEST_SUITE_P(
    Types, AfterSelection,
    ::testing::Values(
        StateCase{"Scope", 1, "1", "", "", {0, 4, kPicturePcx, "PCX", false}},
        StateCase{"Type9ResumesMultimeter", 9, "1", "PCX", "0", {1, 4, kPicturePcx, "PCX", false}},
        StateCase{"Type9ResumesScope", 9, "0", "", "", {0, 4, kPicturePcx, "PCX", false}},
        StateCase{"Type9MissingMode", 9, "", "", "", {0, 4, kPicturePcx, "PCX", false}},
        StateCase{"Type9UnknownModeIsScope", 9, "7", "", "", {0, 4, kPicturePcx, "PCX", false}},
        StateCase{"Type20Multimeter", 20, "0", "BMP", "1", {1, 4, kPictureBmp, "BMP", true}},
        StateCase{"Type30StartsAsScopeAfterSelection",
                  30,
                  "1",
                  "",
                  "",
                  {0, 4, kPicturePcx, "PCX", false}},
        StateCase{"Type14Png", 14, "1", "PNG", "1", {0, 4, kPicturePng, "PNG", true}},
        StateCase{"Type0NoInterface", 0, "", "", "", {0, 0, kPicturePcx, "PCX", false}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_P(AfterSelection, Recomputes) {
    const StateCase& c = GetParam();
    test::TempDir dir;
    const auto ini = dir.Path("kurvitex.ini");
    const auto def = dir.Path("kt_x.ini");
    test::WriteFile(ini, c.storedMode.empty() ? "" : "[DEVICE]\nMODE=" + c.storedMode + "\n");
    std::string text = ValidFile("X", c.type);
    if (!c.transfer.empty()) {
        text += "[TRANSFER]\nMODE=" + c.transfer + "\n";
    }
    if (!c.colour.empty()) {
        text += "[COLOR]\nENABLE=" + c.colour + "\n";
    }
    test::WriteFile(def, text);

    const InstrumentState s = StateAfterSelection(def, c.type, 4, ini);
    EXPECT_EQ(s.operatingMode, c.expected.operatingMode);
    EXPECT_EQ(s.linkType, c.expected.linkType);
    EXPECT_EQ(s.pictureFormat, c.expected.pictureFormat);
    EXPECT_EQ(s.pictureExt, c.expected.pictureExt);
    EXPECT_EQ(s.colourCapable, c.expected.colourCapable);
}

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "test_files.h"

namespace ktx {
namespace {

TEST(ProfileFile, WindowsProfileSemantics) {
    test::TempDir dir;
    const auto path = dir.Path("kurvitex.ini");
    test::WriteFile(path, std::string("; settings\r\n[Device]\r\nIniFile=C:\\ktx\\kt_tds.ini\r\n"
                                      "type=9\r\nTYPE=3\r\n[TRANSFER]\r\nSS_TYPE= 2 ; GPIB\r\n"
                                      "DLL_NAME=\r\nBAD=x12\r\nNEG=-7abc\r\n"));
    const ProfileFile f(path);
    ASSERT_TRUE(f.Loaded());
    EXPECT_EQ(f.ReadString("DEVICE", "INIFILE", "NONE"), "C:\\ktx\\kt_tds.ini");
    EXPECT_EQ(f.ReadInt("device", "Type", 1), 9);  // the first of two equal keys
    EXPECT_EQ(f.ReadInt("TRANSFER", "SS_TYPE", 0), 2);
    EXPECT_EQ(f.ReadString("TRANSFER", "DLL_NAME", "d"), "");  // present but empty
    // Values that are not wholly a number are no number: the caller's default.
    EXPECT_EQ(f.ReadInt("TRANSFER", "BAD", 5), 5);
    EXPECT_EQ(f.ReadInt("TRANSFER", "NEG", 5), 5);
    EXPECT_EQ(f.ReadInt("TRANSFER", "MISSING", 5), 5);
    EXPECT_EQ(f.ReadString("NOSECTION", "X", "dflt"), "dflt");
    EXPECT_EQ(ProfileNumber("99999999999"), std::nullopt);
}

TEST(ProfileFile, WritesKeepCommentsAndWhatOthersWroteMeanwhile) {
    test::TempDir dir;
    const auto path = dir.Path("kurvitex.ini");
    test::WriteFile(path, std::string("; Kurvitex\n[DEVICE]\nINIFILE=NONE\n"));
    ProfileFile f(path);
    // The interface library adds its own section behind our back.
    ProfileFile(path).WriteString("TCP", "PORT", "4000");
    ASSERT_TRUE(f.WriteString("device", "INIFILE", "/x/kt_a.ini"));
    const ProfileFile again(path);
    EXPECT_EQ(again.ReadString("DEVICE", "INIFILE", ""), "/x/kt_a.ini");
    EXPECT_EQ(again.ReadInt("TCP", "PORT", 0), 4000);
    const auto text = test::ReadFile(path);
    EXPECT_NE(std::string(text.begin(), text.end()).find("; Kurvitex"), std::string::npos);
}

TEST(ProfileFile, MissingUnreadableAndOversizedFiles) {
    test::TempDir dir;
    const ProfileFile missing(dir.Path("none.ini"));
    EXPECT_FALSE(missing.Loaded());
    EXPECT_EQ(missing.ReadInt("DEVICE", "TYPE", 1), 1);

    const ProfileFile folder(dir.Path(""));
    EXPECT_FALSE(folder.Loaded());

    const auto big = dir.Path("big.ini");
    test::WriteFile(big, std::string(ProfileFile::kMaxSize + 1, 'x'));
    ProfileFile f(big);
    EXPECT_FALSE(f.Loaded());
    EXPECT_FALSE(f.WriteString("A", "B", "C"));  // never rewrites what it could not read
    EXPECT_EQ(test::ReadFile(big).size(), static_cast<std::size_t>(ProfileFile::kMaxSize + 1));

    const auto nul = dir.Path("nul.ini");
    const std::string withNul("[TRANSFER]\r\nSS_TYPE = 2 ; F\0\r\nDLL_NAME=ktx_sim.so\r\n", 51);
    test::WriteFile(nul, withNul);
    ProfileFile n(nul);
    EXPECT_FALSE(n.WriteString("TRANSFER", "SS_TYPE", "4"));  // would revive DLL_NAME
    const auto kept = test::ReadFile(nul);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), withNul);

    ProfileFile nowhere(dir.Path("no/such/dir/k.ini"));
    EXPECT_FALSE(nowhere.WriteString("A", "B", "C"));
}

std::string Text(const std::string& path) {
    const auto bytes = test::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

struct NumberCase {
    const char* text;
    std::optional<int> expected;
    friend void PrintTo(const NumberCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class Number : public ::testing::TestWithParam<NumberCase> {};

INSTANTIATE_TEST_SUITE_P(
    Values, Number,
    ::testing::Values(NumberCase{"2", 2}, NumberCase{" 2 ; GPIB", 2}, NumberCase{"-7", -7},
                      NumberCase{"+3", 3}, NumberCase{"-2147483648", INT_MIN},
                      NumberCase{"2147483647", INT_MAX}, NumberCase{"2147483648", std::nullopt},
                      NumberCase{"ja", std::nullopt}, NumberCase{"12abc", std::nullopt},
                      NumberCase{"1.5", std::nullopt}, NumberCase{"", std::nullopt},
                      NumberCase{"-", std::nullopt}, NumberCase{"3 4", std::nullopt},
                      NumberCase{"; 3", std::nullopt}, NumberCase{"0x10", std::nullopt}));

TEST_P(Number, IsWhollyANumberOrNone) {
    EXPECT_EQ(ProfileNumber(GetParam().text), GetParam().expected);
}

TEST(ProfileFile, EveryLineIsOneValue) {
    test::TempDir dir;
    const auto path = dir.Path("kt_x.ini");
    test::WriteFile(path, std::string("[DEVICE]\r\nNAME=<<<END\r\nTYPE=9\r\nEND\r\n"
                                      "[INTERFACE]\r\nRS232=1\r\n"));
    const ProfileFile f(path);
    EXPECT_EQ(f.ReadString("DEVICE", "NAME", ""), "<<<END");
    EXPECT_EQ(f.ReadInt("DEVICE", "TYPE", 0), 9);
    EXPECT_EQ(f.ReadInt("INTERFACE", "RS232", -1), 1);
}

// A write changes the one line and leaves the rest of the user's file as it was.
struct EditCase {
    const char* name;
    const char* before;  // nullptr: no file yet
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

const EditCase kEdits[] = {
    {"OnlyTheLineChangesCrLfStays",
     "; Kurvitex\r\n[Device]\r\nIniFile = C:\\alt.ini ; alt\r\nTYPE=1\r\n\r\n[TRANSFER]\r\n"
     "SS_TYPE=4\r\n",
     "DEVICE", "INIFILE", "/x/kt_a.ini",
     "; Kurvitex\r\n[Device]\r\nIniFile = /x/kt_a.ini\r\nTYPE=1\r\n\r\n[TRANSFER]\r\n"
     "SS_TYPE=4\r\n"},
    {"NewKeyEndsItsSection",
     "[DEVICE]\nINIFILE=a\nTYPE=1\n\n; the interface\n[TRANSFER]\nSS_TYPE=4\n", "DEVICE", "MODE",
     "1", "[DEVICE]\nINIFILE=a\nTYPE=1\nMODE=1\n\n; the interface\n[TRANSFER]\nSS_TYPE=4\n"},
    {"NewKeyInASectionWithoutKeys", "[COLOR]\n[APP]\nANZ=0\n", "COLOR", "ENABLE", "1",
     "[COLOR]\nENABLE=1\n[APP]\nANZ=0\n"},
    {"NewSectionAtTheEnd", "[DEVICE]\nTYPE=1", "COLOR", "ENABLE", "1",
     "[DEVICE]\nTYPE=1\n\n[COLOR]\nENABLE=1\n"},
    {"NewFile", nullptr, "DEVICE", "TYPE", "12", "[DEVICE]\nTYPE=12\n"},
    {"FirstOfEqualKeysAnswers", "[A]\nX=1\n[B]\nY=2\n[a]\nx=3\n", "A", "X", "9",
     "[A]\nX=9\n[B]\nY=2\n[a]\nx=3\n"},
    {"CommentsAreNoKeys", "[A]\n;X=1\n # X=2\nY=3\n", "A", "X", "9",
     "[A]\n;X=1\n # X=2\nY=3\nX=9\n"},
    {"MultiLineTagIsText", "[A]\nX=1\nY=2\n", "A", "X", "<<<Y", "[A]\nX=<<<Y\nY=2\n"},
};

class ProfileEdit : public ::testing::TestWithParam<EditCase> {};

INSTANTIATE_TEST_SUITE_P(Files, ProfileEdit, ::testing::ValuesIn(kEdits),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(ProfileEdit, ChangesOneLine) {
    const EditCase& c = GetParam();
    test::TempDir dir;
    const auto path = dir.Path("kurvitex.ini");
    if (c.before != nullptr) {
        test::WriteFile(path, std::string(c.before));
    }
    ProfileFile f(path);
    ASSERT_TRUE(f.WriteString(c.section, c.key, c.value));
    EXPECT_EQ(Text(path), c.after);
    EXPECT_EQ(f.ReadString(c.section, c.key, ""), c.value);
    EXPECT_EQ(ProfileFile(path).ReadString(c.section, c.key, ""), c.value);
    ASSERT_TRUE(f.WriteString(c.section, c.key, c.value));  // the same again: nothing changes
    EXPECT_EQ(Text(path), c.after);
}

TEST(ProfileFile, RefusesWhatCannotBeOneLine) {
    test::TempDir dir;
    const auto path = dir.Path("kurvitex.ini");
    const std::string before = "[DEVICE]\nINIFILE=a\n";
    test::WriteFile(path, before);
    ProfileFile f(path);
    EXPECT_FALSE(f.WriteString("DEVICE", "INIFILE", "/tmp/x\n[DEVICE]\nTYPE=99"));
    EXPECT_FALSE(f.WriteString("DEVICE", "A=B", "1"));
    EXPECT_FALSE(f.WriteString("DEV]ICE", "A", "1"));
    EXPECT_EQ(Text(path), before);
}

// How the settings file stands on disk: a write keeps what it is (link, owner, permissions).
struct PlaceCase {
    const char* name;
    // Makes the settings file in `dir` and returns the name the program knows it by.
    std::string (*prepare)(const test::TempDir& dir);
    bool written;
    bool sameInode;  // the file itself is rewritten, not replaced
};

namespace fs = std::filesystem;

const PlaceCase kPlaces[] = {
    {"OwnFile",
     [](const test::TempDir& d) {
         fs::permissions(d.Path("kurvitex.ini"), fs::perms(0640));
         return d.Path("kurvitex.ini");
     },
     true, false},
    {"SymbolicLink",
     [](const test::TempDir& d) {
         fs::create_directory(d.Path("real"));
         fs::rename(d.Path("kurvitex.ini"), d.Path("real/settings.ini"));
         fs::create_symlink("real/settings.ini", d.Path("kurvitex.ini"));
         return d.Path("kurvitex.ini");
     },
     true, false},
    {"HardLink",
     [](const test::TempDir& d) {
         fs::create_hard_link(d.Path("kurvitex.ini"), d.Path("backup.ini"));
         return d.Path("kurvitex.ini");
     },
     true, true},
    {"WriteProtectedFolder",
     [](const test::TempDir& d) {
         fs::create_directory(d.Path("ro"));
         fs::rename(d.Path("kurvitex.ini"), d.Path("ro/kurvitex.ini"));
         fs::permissions(d.Path("ro"), fs::perms(0555));
         return d.Path("ro/kurvitex.ini");
     },
     true, true},
    {"OtherUsersFile",
     [](const test::TempDir& d) {
         // Only root can give a file away; the file stays writable for root.
         return ::chown(d.Path("kurvitex.ini").c_str(), 65534, 65534) == 0 ? d.Path("kurvitex.ini")
                                                                           : std::string();
     },
     true, true},
    {"WriteProtectedFile",
     [](const test::TempDir& d) {
         fs::permissions(d.Path("kurvitex.ini"), fs::perms(0444));
         return d.Path("kurvitex.ini");
     },
     false, true},
};

class SettingsPlace : public ::testing::TestWithParam<PlaceCase> {};

INSTANTIATE_TEST_SUITE_P(Files, SettingsPlace, ::testing::ValuesIn(kPlaces),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(SettingsPlace, WriteKeepsWhatTheFileIs) {
    test::TempDir dir;
    const std::string before = "; mine\n[DEVICE]\nTYPE=1\n";
    test::WriteFile(dir.Path("kurvitex.ini"), before);
    const std::string path = GetParam().prepare(dir);
    if (path.empty()) {
        GTEST_SKIP() << "giving a file to another user needs root";
    }
    struct stat was {};
    ASSERT_EQ(::stat(path.c_str(), &was), 0);
    const bool link = fs::is_symlink(path);
    const fs::path folder = fs::canonical(path).parent_path();
    const auto files = std::distance(fs::directory_iterator(folder), {});

    EXPECT_EQ(ProfileFile(path).WriteString("DEVICE", "TYPE", "12"), GetParam().written);
    EXPECT_EQ(Text(path), GetParam().written ? "; mine\n[DEVICE]\nTYPE=12\n" : before);
    struct stat is {};
    ASSERT_EQ(::stat(path.c_str(), &is), 0);
    EXPECT_EQ(fs::is_symlink(path), link);
    EXPECT_EQ(is.st_nlink, was.st_nlink);
    EXPECT_EQ(is.st_uid, was.st_uid);
    EXPECT_EQ(is.st_gid, was.st_gid);
    EXPECT_EQ(is.st_mode, was.st_mode);
    if (GetParam().sameInode) {
        EXPECT_EQ(is.st_ino, was.st_ino);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), files);  // nothing left over
    fs::permissions(folder, fs::perms(0755));
}

}  // namespace
}  // namespace ktx

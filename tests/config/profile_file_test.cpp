// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/profile_file.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(f.ReadInt("TRANSFER", "BAD", 5), 0);
    EXPECT_EQ(f.ReadInt("TRANSFER", "NEG", 5), -7);
    EXPECT_EQ(f.ReadInt("TRANSFER", "MISSING", 5), 5);
    EXPECT_EQ(f.ReadString("NOSECTION", "X", "dflt"), "dflt");
    EXPECT_EQ(ProfileIntFromText("99999999999"), 2147483647);
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

    ProfileFile nowhere(dir.Path("no/such/dir/k.ini"));
    EXPECT_FALSE(nowhere.WriteString("A", "B", "C"));
}

}  // namespace
}  // namespace ktx

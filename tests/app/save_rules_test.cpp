// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/save_rules.h"

#include <gtest/gtest.h>

#include "test_files.h"

namespace ktx {
namespace {

TEST(SaveRules, FilterPairs) {
    const auto pairs = ParseFilter("Kurvitex Dateien (*.ktx)|*.ktx|FFT Dateien (*.fft)|*.fft|Rest");
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[1].first, "FFT Dateien (*.fft)");
    EXPECT_EQ(pairs[1].second, "*.fft");
    EXPECT_TRUE(ParseFilter("").empty());
}

struct SaveNameCase {
    const char* folder;
    const char* typed;
    const char* mask;
    const char* upper;    // where file names ignore case
    const char* asTyped;  // where they tell case apart
    friend void PrintTo(const SaveNameCase& c, std::ostream* os) { *os << c.typed; }
};

class SaveName : public ::testing::TestWithParam<SaveNameCase> {};

INSTANTIATE_TEST_SUITE_P(
    Names, SaveName,
    ::testing::Values(
        SaveNameCase{"/data", "log1", "*.KTX", "/data/LOG1.KTX", "/data/log1.ktx"},
        SaveNameCase{"/data", "data.txt", "*.BMP", "/data/DATA.BMP", "/data/data.bmp"},
        SaveNameCase{"/home/Messung/", "kurve.a.b", "*.ktx", "/home/Messung/KURVE.A.KTX",
                     "/home/Messung/kurve.a.ktx"},
        SaveNameCase{"/data", "/other/Dir/x.fft", "*.FFT", "/other/Dir/X.FFT", "/other/Dir/x.fft"},
        SaveNameCase{"/data", "*.*", "*.*", "/data/*.*", "/data/*.*"},
        SaveNameCase{"/data", "auswahl1.ktx", "*.KTX", "/data/AUSWAHL1.KTX", "/data/auswahl1.ktx"},
        SaveNameCase{"/data", "Bild1.BMP", "*.bmp", "/data/BILD1.BMP", "/data/Bild1.BMP"}));

TEST_P(SaveName, ExtensionFromTheMaskAndTheFileNameUpperCased) {
    EXPECT_EQ(
        ResolveSaveName(GetParam().folder, GetParam().typed, GetParam().mask, NameCase::Upper),
        GetParam().upper);
}

TEST_P(SaveName, ExtensionFromTheMaskAndTheFileNameAsTyped) {
    EXPECT_EQ(
        ResolveSaveName(GetParam().folder, GetParam().typed, GetParam().mask, NameCase::AsTyped),
        GetParam().asTyped);
}

// A file that is there in other letter case is the one the user means: the overwrite question
// must find it, and no second file may appear beside it.
TEST(SaveRules, AnExistingFileInOtherCaseIsTheOneMeant) {
    test::TempDir dir;
    test::WriteFile(dir.Path("BILD1.BMP"), std::string("x"));
    test::WriteFile(dir.Path("auswahl1.ktx"), std::string("x"));
    test::WriteFile(dir.Path("A.KTX"), std::string("x"));
    test::WriteFile(dir.Path("a.Ktx"), std::string("x"));
    const auto resolve = [&](const char* typed, const char* mask) {
        return ResolveSaveName(dir.Path(""), typed, mask, NameCase::AsTyped);
    };
    EXPECT_EQ(resolve("bild1", "*.BMP"), dir.Path("BILD1.BMP"));
    EXPECT_EQ(resolve("auswahl1.ktx", "*.KTX"), dir.Path("auswahl1.ktx"));
    EXPECT_EQ(resolve("AUSWAHL1", "*.KTX"), dir.Path("auswahl1.ktx"));
    EXPECT_EQ(resolve("a", "*.KTX"), dir.Path("a.ktx"));  // two candidates: neither is meant
    EXPECT_EQ(CheckSaveName(resolve("bild1", "*.BMP")), SaveCheck::Exists);
}

TEST(SaveRules, Checks) {
    test::TempDir dir;
    EXPECT_EQ(CheckSaveName(dir.Path("*.KTX")), SaveCheck::InvalidName);
    EXPECT_EQ(CheckSaveName(dir.Path("NEW.KTX")), SaveCheck::Accept);
    test::WriteFile(dir.Path("OLD.KTX"), std::string("x"));
    EXPECT_EQ(CheckSaveName(dir.Path("OLD.KTX")), SaveCheck::Exists);
}

TEST(ChannelChoice, FirstPresentColumn) {
    EXPECT_EQ(FirstPresentChannel({"V", "#", "A", "#"}), 0);
    EXPECT_EQ(FirstPresentChannel({"#", "#", "A", "V"}), 2);
    EXPECT_EQ(FirstPresentChannel({"#", "#", "#", "#"}), -1);
}

}  // namespace
}  // namespace ktx

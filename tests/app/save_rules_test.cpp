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

struct NameCase {
    const char* folder;
    const char* typed;
    const char* mask;
    const char* expected;
    friend void PrintTo(const NameCase& c, std::ostream* os) { *os << c.typed; }
};

class SaveName : public ::testing::TestWithParam<NameCase> {};

INSTANTIATE_TEST_SUITE_P(
    Names, SaveName,
    ::testing::Values(NameCase{"/data", "log1", "*.KTX", "/data/LOG1.KTX"},
                      NameCase{"/data", "data.txt", "*.BMP", "/data/DATA.BMP"},
                      NameCase{"/home/Messung/", "kurve.a.b", "*.ktx", "/home/Messung/KURVE.A.KTX"},
                      NameCase{"/data", "/other/Dir/x.fft", "*.FFT", "/other/Dir/X.FFT"},
                      NameCase{"/data", "*.*", "*.*", "/data/*.*"}));

TEST_P(SaveName, ExtensionFromTheMaskAndTheFileNameUpperCased) {
    EXPECT_EQ(ResolveSaveName(GetParam().folder, GetParam().typed, GetParam().mask),
              GetParam().expected);
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

// SPDX-License-Identifier: GPL-3.0-or-later
// Header matching, the ";" path rule, argument splitting and number texts.
#include "command_header.h"

#include <gtest/gtest.h>

#include "number_format.h"

namespace ktx::sim {
namespace {

struct MnemonicCase {
    const char* mnemonic;
    const char* token;
    bool matches;
};

class SimMnemonicTest : public testing::TestWithParam<MnemonicCase> {};

TEST_P(SimMnemonicTest, AcceptsExactlyShortAndLongForm) {
    const MnemonicCase& c = GetParam();
    EXPECT_EQ(MatchesMnemonic(c.mnemonic, c.token), c.matches) << c.mnemonic << " / " << c.token;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SimMnemonicTest,
    testing::Values(MnemonicCase{"CURVe", "CURV", true}, MnemonicCase{"CURVe", "curve", true},
                    MnemonicCase{"CURVe", "Curv", true}, MnemonicCase{"CURVe", "CUR", false},
                    MnemonicCase{"CURVe", "CURVES", false}, MnemonicCase{"DATa", "DATA", true},
                    MnemonicCase{"DATa", "DA", false}, MnemonicCase{"ENCdg", "ENC", true},
                    MnemonicCase{"ENCdg", "ENCD", false}, MnemonicCase{"HORizontal", "hor", true},
                    MnemonicCase{"RECOrdlength", "RECO", true},
                    MnemonicCase{"BYT_Nr", "BYT_N", true}, MnemonicCase{"NR_Pt", "nr_pt", true},
                    MnemonicCase{"WFMOutpre", "WFMO", true}, MnemonicCase{"*IDN", "*idn", true},
                    MnemonicCase{"ASCIi", "ASCI", true}, MnemonicCase{"ASCIi", "ASC", false}));

TEST(SimParseCommandTest, SplitsHeaderQueryAndArguments) {
    const ParsedCommand query = ParseCommand("wfmpre:ch1:ymult?");
    EXPECT_EQ(query.components, (std::vector<std::string>{"WFMPRE", "CH1", "YMULT"}));
    EXPECT_TRUE(query.query);
    EXPECT_FALSE(query.rooted);

    const ParsedCommand set = ParseCommand(":DATA:SOURCE   CH2");
    EXPECT_TRUE(set.rooted);
    EXPECT_FALSE(set.query);
    EXPECT_EQ(set.arguments, "CH2");

    EXPECT_TRUE(ParseCommand("*IDN?").common);
}

TEST(SimParseCommandTest, PathRuleContinuesBelowThePreviousCommand) {
    const std::vector<std::string> path = {"WFMPRE", "CH1"};
    EXPECT_EQ(ResolveComponents(path, ParseCommand("YOFF?")),
              (std::vector<std::string>{"WFMPRE", "CH1", "YOFF"}));
    EXPECT_EQ(ResolveComponents(path, ParseCommand(":CURV?")), (std::vector<std::string>{"CURV"}));
    EXPECT_EQ(ResolveComponents(path, ParseCommand("*IDN?")), (std::vector<std::string>{"*IDN"}));
}

TEST(SimArgumentsTest, SplitsOutsideQuotesAndBlocks) {
    EXPECT_EQ(SplitArguments("CH1, \"c:\\a,b.tmp\""),
              (std::vector<std::string>{"CH1", "\"c:\\a,b.tmp\""}));
    // The block announces 3 bytes, one of them a comma.
    EXPECT_EQ(SplitArguments("#13a,b,REF1"), (std::vector<std::string>{"#13a,b", "REF1"}));
    EXPECT_TRUE(SplitArguments("   ").empty());
    EXPECT_EQ(Unquote(" \"c:\\ktx.tmp\" "), "c:\\ktx.tmp");
}

TEST(SimArgumentsTest, BlockHeaderNeverTrustsItsDigits) {
    std::size_t offset = 0;
    std::size_t length = 0;
    EXPECT_TRUE(ParseBlockHeader("#3100xyz", offset, length));
    EXPECT_EQ(offset, 5u);
    EXPECT_EQ(length, 100u);
    EXPECT_FALSE(ParseBlockHeader("#", offset, length));
    EXPECT_FALSE(ParseBlockHeader("#9123", offset, length));
    EXPECT_FALSE(ParseBlockHeader("#2x1", offset, length));
    EXPECT_FALSE(ParseBlockHeader("#0", offset, length));
}

struct Nr3Case {
    double value;
    const char* text;
};

class SimNumberFormatTest : public testing::TestWithParam<Nr3Case> {};

TEST_P(SimNumberFormatTest, PrintsLikeTheInstruments) {
    EXPECT_EQ(FormatNr3(GetParam().value), GetParam().text);
    EXPECT_DOUBLE_EQ(std::stod(FormatNr3(GetParam().value)), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Values, SimNumberFormatTest,
                         testing::Values(Nr3Case{1.5625e-4, "1.5625E-4"}, Nr3Case{4e-6, "4.0E-6"},
                                         Nr3Case{0.0, "0.0E0"}, Nr3Case{6400.0, "6.4E3"},
                                         Nr3Case{-5e-3, "-5.0E-3"}, Nr3Case{0.04, "4.0E-2"}));

TEST(SimNumberParseTest, IntegersAndTolerantInput) {
    EXPECT_EQ(FormatNr1(2500), "2500");
    EXPECT_EQ(FormatNr1(-3), "-3");
    EXPECT_EQ(ParseInteger(" 2500 "), 2500);
    EXPECT_EQ(ParseInteger("+1.0E3"), 1000);
    EXPECT_FALSE(ParseInteger("12abc").has_value());
    EXPECT_FALSE(ParseInteger("").has_value());
    EXPECT_FALSE(ParseInteger("1E300").has_value());
    EXPECT_FALSE(ParseInteger("nan").has_value());
}

}  // namespace
}  // namespace ktx::sim

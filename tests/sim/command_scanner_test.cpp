// SPDX-License-Identifier: GPL-3.0-or-later
// Framing of the host's byte stream: messages, ";", quotes, definite-length blocks, split at
// every possible position.
#include "command_scanner.h"

#include <gtest/gtest.h>

namespace ktx::sim {
namespace {

std::vector<ScannedUnit> ScanInPieces(std::string_view bytes, std::size_t piece) {
    CommandScanner scanner;
    std::vector<ScannedUnit> units;
    for (std::size_t i = 0; i < bytes.size(); i += piece) {
        scanner.Feed(bytes.substr(i, piece), units);
    }
    return units;
}

std::vector<std::string> Texts(const std::vector<ScannedUnit>& units) {
    std::vector<std::string> texts;
    for (const ScannedUnit& unit : units) {
        texts.push_back(unit.text);
    }
    return texts;
}

class SimScannerSplitTest : public testing::TestWithParam<std::size_t> {};

TEST_P(SimScannerSplitTest, SameCommandsWhereverTheBytesAreSplit) {
    const std::string block = std::string("#17") + "a\nb;c\r\n";
    const std::string stream =
        "HEADER ON;VERB ON\r\nDATA:DEST REF1;:CURVE " + block + "\nSAV:WAVE CH1,\"x;y\"\n";
    const auto units = ScanInPieces(stream, GetParam());
    ASSERT_EQ(Texts(units), (std::vector<std::string>{"HEADER ON", "VERB ON", "DATA:DEST REF1",
                                                      ":CURVE " + block, "SAV:WAVE CH1,\"x;y\""}));
    EXPECT_FALSE(units[0].endOfMessage);
    EXPECT_TRUE(units[1].endOfMessage);
    EXPECT_TRUE(units[3].endOfMessage);
}

INSTANTIATE_TEST_SUITE_P(Pieces, SimScannerSplitTest, testing::Values(1, 2, 3, 7, 1000));

TEST(SimScannerTest, EndOfMessageCompletesAPendingCommand) {
    CommandScanner scanner;
    std::vector<ScannedUnit> units;
    scanner.Feed("CURV?", units);
    EXPECT_TRUE(units.empty());
    scanner.EndOfMessage(units);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(units[0].text, "CURV?");
    EXPECT_TRUE(units[0].endOfMessage);
    EXPECT_TRUE(scanner.Idle());
}

TEST(SimScannerTest, ShortBlockEndsWithTheMessageAndFramingRecovers) {
    CommandScanner scanner;
    std::vector<ScannedUnit> units;
    scanner.Feed("CURVE #210abc", units);
    scanner.EndOfMessage(units);
    scanner.Feed("*IDN?\n", units);
    EXPECT_EQ(Texts(units), (std::vector<std::string>{"CURVE #210abc", "*IDN?"}));
}

TEST(SimScannerTest, OversizedBlockIsDroppedWithoutStoringIt) {
    CommandScanner scanner;
    std::vector<ScannedUnit> units;
    scanner.Feed("CURVE #9999999999", units);  // ~1 GB announced
    scanner.Feed(std::string(1000, 'x'), units);
    scanner.EndOfMessage(units);
    scanner.Feed("*IDN?\n", units);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_TRUE(units[0].damaged);
    EXPECT_EQ(units[1].text, "*IDN?");
}

TEST(SimScannerTest, HashWithoutDigitIsAnOrdinaryCharacter) {
    const auto units = ScanInPieces("FOO #H1F;BAR #x\n", 1);
    EXPECT_EQ(Texts(units), (std::vector<std::string>{"FOO #H1F", "BAR #x"}));
}

TEST(SimScannerTest, WriteFileKeepsSemicolonsUpToTheLineFeed) {
    const auto units = ScanInPieces("FILES:WRITEF \"a\",:WFMPRE:BYT_NR 2;:CURVE #12\n;\n*CLS\n", 4);
    EXPECT_EQ(Texts(units), (std::vector<std::string>{
                                "FILES:WRITEF \"a\",:WFMPRE:BYT_NR 2;:CURVE #12\n;", "*CLS"}));
}

TEST(SimScannerTest, UnterminatedStringEndsAtTheLineFeed) {
    const auto units = ScanInPieces("SAV:WAVE CH1,\"abc\n*IDN?\n", 1);
    EXPECT_EQ(Texts(units), (std::vector<std::string>{"SAV:WAVE CH1,\"abc", "*IDN?"}));
}

}  // namespace
}  // namespace ktx::sim

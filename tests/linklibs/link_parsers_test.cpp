// SPDX-License-Identifier: GPL-3.0-or-later
// The pure parsers of the interface libraries: block headers, serial settings, GPIB time-out
// codes.
#include <gtest/gtest.h>

#include <ostream>

#include "block_header.h"
#include "gpib_timeout.h"
#include "prologix_protocol.h"
#include "serial_config.h"

namespace ktx::linklib::test {
namespace {

struct HeaderCase {
    std::string name;
    std::string text;
    BlockHeader::Kind kind;
    std::size_t headerSize;
    std::uint64_t length;
};

void PrintTo(const HeaderCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkBlockHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(LinkBlockHeaderTest, Parses) {
    const BlockHeader header = ParseBlockHeader(GetParam().text);
    EXPECT_EQ(header.kind, GetParam().kind);
    if (header.kind == BlockHeader::Kind::Definite ||
        header.kind == BlockHeader::Kind::Indefinite) {
        EXPECT_EQ(header.headerSize, GetParam().headerSize);
        EXPECT_EQ(header.length, GetParam().length);
    }
}

using Kind = BlockHeader::Kind;
INSTANTIATE_TEST_SUITE_P(
    Headers, LinkBlockHeaderTest,
    ::testing::Values(HeaderCase{"Hash", "#", Kind::NeedMore, 0, 0},
                      HeaderCase{"DigitCountOnly", "#4", Kind::NeedMore, 0, 0},
                      HeaderCase{"PartOfLength", "#425", Kind::NeedMore, 0, 0},
                      HeaderCase{"Definite", "#42500rest", Kind::Definite, 6, 2500},
                      HeaderCase{"DefiniteZero", "#10", Kind::Definite, 3, 0},
                      HeaderCase{"NineDigits", "#9999999999", Kind::Definite, 11, 999999999},
                      HeaderCase{"Indefinite", "#0abc", Kind::Indefinite, 2, 0},
                      HeaderCase{"LetterAfterHash", "#A1", Kind::NotBlock, 0, 0},
                      HeaderCase{"LetterInLength", "#3 12", Kind::Invalid, 0, 0},
                      HeaderCase{"SignInLength", "#2-1", Kind::Invalid, 0, 0},
                      HeaderCase{"NoHash", "42", Kind::NotBlock, 0, 0}),
    [](const auto& info) { return info.param.name; });

struct SerialCase {
    std::string text;
    bool valid;
    SerialConfig expected;
};

void PrintTo(const SerialCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class LinkSerialConfigTest : public ::testing::TestWithParam<SerialCase> {};

TEST_P(LinkSerialConfigTest, Parses) {
    const auto config = ParseSerialConfig(GetParam().text);
    ASSERT_EQ(config.has_value(), GetParam().valid) << GetParam().text;
    if (config) {
        const SerialConfig& e = GetParam().expected;
        EXPECT_EQ(config->port, e.port);
        EXPECT_EQ(config->baud, e.baud);
        EXPECT_EQ(config->parity, e.parity);
        EXPECT_EQ(config->dataBits, e.dataBits);
        EXPECT_EQ(config->stopBits, e.stopBits);
        EXPECT_EQ(config->handshake, e.handshake);
    }
}

using P = SerialConfig::Parity;
using H = SerialConfig::Handshake;
INSTANTIATE_TEST_SUITE_P(
    Texts, LinkSerialConfigTest,
    ::testing::Values(
        SerialCase{"COM2:9600,N,8,1", true, {2, 9600, P::None, 8, 1, H::None}},
        SerialCase{"com1:19200,e,7,2,hw", true, {1, 19200, P::Even, 7, 2, H::Hardware}},
        SerialCase{" COM3 : 4800 , O , 8 , 1 , XON ", true, {3, 4800, P::Odd, 8, 1, H::XonXoff}},
        SerialCase{"COM12:115200,N,8,1,NONE", true, {12, 115200, P::None, 8, 1, H::None}},
        SerialCase{"COM2", false, {}}, SerialCase{"NONE", false, {}}, SerialCase{"", false, {}},
        SerialCase{"COM0:9600,N,8,1", false, {}}, SerialCase{"COM2:9600,X,8,1", false, {}},
        SerialCase{"COM2:9600,N,9,1", false, {}}, SerialCase{"COM2:9600,N,8,3", false, {}},
        SerialCase{"COM2:96k,N,8,1", false, {}}, SerialCase{"COM2:9600,N,8", false, {}},
        SerialCase{"COM2:9600,N,8,1,RTS", false, {}},
        SerialCase{"COM2:99999999999999999999,N,8,1", false, {}}));

struct TimeoutCase {
    int ms;
    int code;
};

void PrintTo(const TimeoutCase& c, std::ostream* os) {
    *os << c.ms << " ms";
}

class LinkGpibTimeoutTest : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(LinkGpibTimeoutTest, NearestCode) {
    EXPECT_EQ(GpibTimeoutCode(GetParam().ms), GetParam().code) << GetParam().ms << " ms";
}

INSTANTIATE_TEST_SUITE_P(Durations, LinkGpibTimeoutTest,
                         ::testing::Values(TimeoutCase{0, 5}, TimeoutCase{1, 5}, TimeoutCase{3, 6},
                                           TimeoutCase{100, 9}, TimeoutCase{250, 10},
                                           TimeoutCase{1000, 11}, TimeoutCase{1500, 11},
                                           TimeoutCase{2500, 12}, TimeoutCase{3000, 12},
                                           TimeoutCase{10000, 13}, TimeoutCase{65535, 15}));

TEST(LinkGpibTimeoutCodes, EveryCodeMapsBackToItself) {
    for (int code = 5; code <= 17; ++code) {
        const long long ms = GpibTimeoutMicroseconds(code) / 1000;
        if (ms <= 65535) {
            EXPECT_EQ(GpibTimeoutCode(static_cast<int>(ms)), code);
        }
    }
}

// Data for a Prologix-style adapter: CR, LF, ESC and "+" escaped with ESC, nothing else.
struct EscapeCase {
    std::string data;
    std::string escaped;
    friend void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.escaped.size(); }
};

class LinkPrologixEscapeTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(LinkPrologixEscapeTest, EscapesTheAdaptersOwnBytes) {
    EXPECT_EQ(prologix::Escape(GetParam().data), GetParam().escaped);
}

INSTANTIATE_TEST_SUITE_P(
    Data, LinkPrologixEscapeTest,
    ::testing::Values(EscapeCase{"", ""}, EscapeCase{"*IDN?", "*IDN?"},
                      EscapeCase{"a\nb", "a\x1b\nb"}, EscapeCase{"\r\n", "\x1b\r\x1b\n"},
                      EscapeCase{"++read", "\x1b+\x1b+read"},
                      EscapeCase{std::string("\x1b\0\xff", 3), std::string("\x1b\x1b\0\xff", 4)},
                      EscapeCase{"CURVE #14\x0d\x0a\x1b\x2b",
                                 "CURVE #14\x1b\x0d\x1b\x0a\x1b\x1b\x1b\x2b"}));

TEST(LinkPrologixSetup, ConfiguresAControllerForTheAddress) {
    const std::string lines = prologix::SetupLines(7);
    for (const char* line :
         {"\n++mode 1\n", "\n++addr 7\n", "\n++auto 0\n", "\n++eoi 1\n", "\n++eos 3\n"}) {
        EXPECT_NE(lines.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(lines.back(), '\n');
    EXPECT_EQ(lines.find('\r'), std::string::npos);
}

}  // namespace
}  // namespace ktx::linklib::test

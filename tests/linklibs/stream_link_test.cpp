// SPDX-License-Identifier: GPL-3.0-or-later
// StreamLink against a scripted in-memory instrument: framing of answers, blocks and files,
// time-outs, and that no stale byte of one exchange reaches the next.
#include "stream_link.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ktx_link.h"
#include "link_test_support.h"
#include "scripted_stream.h"

namespace ktx::linklib::test {
namespace {

class LinkStreamLinkTest : public ::testing::Test {
  protected:
    LinkStreamLinkTest()
        : m_state(std::make_shared<ScriptState>()),
          m_link(std::make_unique<ScriptedStream>(m_state)) {
        // Short, so failing cases end quickly; correct cases never wait for it (all their bytes
        // are in memory at once).
        m_link.SetTimeout(100);
    }

    // The program's Query: clear, write, read.
    std::string Query(const std::string& command, bool* ok = nullptr) {
        m_link.Clear();
        char buffer[KTX_LINK_READ_BUFFER];
        const bool done = m_link.Write(command) && m_link.Read(buffer);
        if (ok != nullptr) {
            *ok = done;
        }
        return done ? std::string(buffer) : std::string();
    }

    std::shared_ptr<ScriptState> m_state;
    StreamLink m_link;
    ScratchDir m_dir;
};

TEST_F(LinkStreamLinkTest, WriteSendsTextWithOneLineFeed) {
    EXPECT_TRUE(m_link.Write("ACQ:STATE RUN"));
    EXPECT_TRUE(m_link.Write("*IDN?\n"));  // a line feed inside the text stays, ours follows
    EXPECT_EQ(m_state->Sent(), "ACQ:STATE RUN\n*IDN?\n\n");
}

TEST_F(LinkStreamLinkTest, RawTextIsTheStartOfTheMessageTheNextWriteEnds) {
    m_state->answers[":ACQ:MODE SAMPLE;:SEL:CH1 1;*IDN?"] = "ID\n";
    EXPECT_TRUE(m_link.WriteRaw(":ACQ:MODE SAMPLE;:"));
    EXPECT_TRUE(m_link.WriteRaw("SEL:CH1 1;*ID"));  // cut anywhere, as long groups are
    EXPECT_EQ(m_state->Sent(), ":ACQ:MODE SAMPLE;:SEL:CH1 1;*ID");
    ASSERT_TRUE(m_link.Write("N?"));
    char buffer[KTX_LINK_READ_BUFFER];
    ASSERT_TRUE(m_link.Read(buffer));
    EXPECT_STREQ(buffer, "ID");  // the instrument saw one message
}

struct AnswerCase {
    std::string name;
    std::string bytes;     // what the instrument sends
    std::string expected;  // what LinkRead hands back
    std::size_t chunk;     // bytes per transport read
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkStreamLinkAnswerTest : public LinkStreamLinkTest,
                                 public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(LinkStreamLinkAnswerTest, ReadsOneAnswerThenTheNext) {
    m_state->chunk = GetParam().chunk;
    m_state->answers["Q?"] = GetParam().bytes;
    m_state->answers["NEXT?"] = "NEXT\n";
    EXPECT_EQ(Query("Q?"), GetParam().expected);
    EXPECT_EQ(Query("NEXT?"), "NEXT");
}

const std::string kLong(5000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Answers, LinkStreamLinkAnswerTest,
    ::testing::Values(AnswerCase{"Plain", "TEKTRONIX,TDS 220,0,CF:91.1CT\n",
                                 "TEKTRONIX,TDS 220,0,CF:91.1CT", 4096},
                      AnswerCase{"CarriageReturn", "1.0E-3\r\n", "1.0E-3", 4096},
                      AnswerCase{"Empty", "\n", "", 4096},
                      AnswerCase{"ByteByByte", ":DATA:ENC RIB;WID 2\r\n", ":DATA:ENC RIB;WID 2", 1},
                      AnswerCase{"LongerThanBufferIsCut", kLong + "\n",
                                 std::string(KTX_LINK_READ_BUFFER - 1, 'x'), 4096},
                      AnswerCase{"LongerThanBufferInPieces", kLong + "\r\n",
                                 std::string(KTX_LINK_READ_BUFFER - 1, 'x'), 7},
                      AnswerCase{"CarriageReturnJustBeyondTheCut",
                                 std::string(KTX_LINK_READ_BUFFER - 1, 'y') + "\r\n",
                                 std::string(KTX_LINK_READ_BUFFER - 1, 'y'), 4096}),
    [](const auto& info) { return info.param.name; });

struct FileCase {
    std::string name;
    std::string bytes;     // the instrument's response
    std::string expected;  // the file afterwards
    std::size_t chunk;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkStreamLinkReceiveFileTest : public LinkStreamLinkTest,
                                      public ::testing::WithParamInterface<FileCase> {};

TEST_P(LinkStreamLinkReceiveFileTest, WritesTheWholeResponseAndNothingMore) {
    m_state->chunk = GetParam().chunk;
    m_state->answers["CURV?"] = GetParam().bytes;
    m_state->answers["NEXT?"] = "NEXT\n";
    const std::string file = m_dir.File("curve.tmp");
    WriteWholeFile(file, "old content that must go");
    ASSERT_TRUE(m_link.Write("CURV?"));
    m_link.Clear();
    ASSERT_TRUE(m_link.ReceiveFile(file.c_str()));
    EXPECT_EQ(ReadWholeFile(file), GetParam().expected);
    // The answer after the block starts clean: its terminator was taken with it.
    ASSERT_TRUE(m_link.Write("NEXT?"));
    char buffer[KTX_LINK_READ_BUFFER];
    ASSERT_TRUE(m_link.Read(buffer));
    EXPECT_STREQ(buffer, "NEXT");
}

std::string Binary(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);  // every byte value, "\n" too
    }
    return bytes;
}

// Built once, on first use, so test processes that do not need it start quickly.
const std::string& Big() {
    static const std::string big = Binary(3 * 1024 * 1024 + 17);
    return big;
}

// Screen pictures as instruments send them: raw, with "#1" and line feeds inside, and a BMP or
// 256-colour PCX that may end in a line feed (its last pixel, its palette's last blue).
std::string Le32Text(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

std::string BmpPicture() {
    std::string body = "#1x\n" + Binary(300) + "\n";
    std::string bmp = "BM" + Le32Text(static_cast<std::uint32_t>(6 + body.size()));
    return bmp + body;
}

std::string PngChunk(const std::string& type, const std::string& data) {
    const auto n = static_cast<std::uint32_t>(data.size());
    return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                       static_cast<char>(n >> 8), static_cast<char>(n)} +
           type + data + "CRC!";
}

std::string PngPicture() {
    return std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", Binary(13)) +
           PngChunk("tEXt", std::string("Comment\0#1\n#9", 13)) + PngChunk("IDAT", Binary(5000)) +
           PngChunk("IEND", "");
}

std::string PcxPicture() {
    std::string pcx = std::string("\x0a\x05\x01\x08", 4) + std::string(124, '\0');
    return pcx + "#1\n" + Binary(2000) + "\x0c" + std::string(767, '\x20') + "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Responses, LinkStreamLinkReceiveFileTest,
    ::testing::Values(
        FileCase{"DefiniteWithHeaderText", ":CURVE #15hello\n", ":CURVE #15hello", 4096},
        FileCase{"DefiniteHoldingLineFeeds", "#210ab\ncd\nef\n\n\n", "#210ab\ncd\nef\n\n", 4096},
        FileCase{"DefiniteByteByByte", ":CURV #14\r\n#\n\r\n", ":CURV #14\r\n#\n", 1},
        FileCase{"DefiniteCarriageReturnLineFeedEnd", "#13abc\r\n", "#13abc", 4096},
        FileCase{"Indefinite", ":CURVE #0ab\ncd\n", ":CURVE #0ab\ncd", 3},
        FileCase{"Text", ":ACQ:MODE SAMPLE;:HOR:MAIN:SCALE 1.0E-3\n",
                 ":ACQ:MODE SAMPLE;:HOR:MAIN:SCALE 1.0E-3", 4096},
        FileCase{"TextWithHashInQuotes", ":MESSAGE:SHOW \"#A1\"\r\n", ":MESSAGE:SHOW \"#A1\"", 5},
        FileCase{"RawPictureStartingWithLineFeed", std::string("\x0a\x05\x01\x08", 4) + "pixels",
                 std::string("\x0a\x05\x01\x08", 4) + "pixels", 4096},
        FileCase{"BmpEndsAtItsSizeWithItsFinalLineFeed", BmpPicture(), BmpPicture(), 4096},
        FileCase{"BmpByteByByte", BmpPicture(), BmpPicture(), 1},
        FileCase{"PngEndsAfterIend", PngPicture(), PngPicture(), 4096},
        FileCase{"PngInSmallPieces", PngPicture(), PngPicture(), 7},
        FileCase{"PcxKeepsThePalettesFinalLineFeed", PcxPicture(), PcxPicture(), 4096}),
    [](const auto& info) { return info.param.name; });

TEST_F(LinkStreamLinkTest, PcxGoesOnAfterAPauseBehindALineFeed) {
    // A line feed followed by a quiet line ends a text, never a PCX: only the time-out does.
    m_link.SetTimeout(1000);
    const std::string pcx = PcxPicture();
    const std::size_t cut = pcx.find('\n', 1) + 1;
    m_state->answers["HARDC START"] = pcx.substr(0, cut);
    std::thread rest([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        m_state->Push(pcx.substr(cut));
    });
    const std::string file = m_dir.File("screen.pcx");
    ASSERT_TRUE(m_link.Write("HARDC START"));
    const bool ok = m_link.ReceiveFile(file.c_str());
    rest.join();
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadWholeFile(file), pcx);
}

TEST_F(LinkStreamLinkTest, PictureCutShortFailsAndTheNextAnswerIsClean) {
    for (const std::string& picture : {BmpPicture(), PngPicture()}) {
        m_state->answers["HARDC START"] = picture.substr(0, picture.size() / 2);
        m_state->answers["*IDN?"] = "ID\n";
        ASSERT_TRUE(m_link.Write("HARDC START"));
        EXPECT_FALSE(m_link.ReceiveFile(m_dir.File("cut.tmp").c_str()));
        m_state->Push(picture.substr(picture.size() / 2));  // the rest comes too late
        EXPECT_EQ(Query("*IDN?"), "ID");
    }
}

TEST_F(LinkStreamLinkTest, ShortBlockFailsAndLeavesNothingForTheNextAnswer) {
    m_state->answers["CURV?"] = ":CURVE #210abc\n";  // 4 of 10 bytes
    m_state->answers["*IDN?"] = "ID\n";
    const std::string file = m_dir.File("short.tmp");
    ASSERT_TRUE(m_link.Write("CURV?"));
    EXPECT_FALSE(m_link.ReceiveFile(file.c_str()));
    EXPECT_EQ(ReadWholeFile(file), ":CURVE #210abc\n");  // what arrived is kept
    m_state->Push("defg\n");                             // the rest straggles in after the failure
    EXPECT_EQ(Query("*IDN?"), "ID");
}

TEST_F(LinkStreamLinkTest, LateAnswerAfterAFailedReadIsNotTakenForTheNextOne) {
    m_state->answers["*IDN?"] = "ID\n";
    char buffer[KTX_LINK_READ_BUFFER];
    ASSERT_TRUE(m_link.Write("SLOW?"));
    EXPECT_FALSE(m_link.Read(buffer));
    EXPECT_STREQ(buffer, "");
    m_link.Clear();
    m_state->Push("SLOW ANSWER\n");  // arrives between the clear and the next command
    ASSERT_TRUE(m_link.Write("*IDN?"));
    ASSERT_TRUE(m_link.Read(buffer));
    EXPECT_STREQ(buffer, "ID");
}

TEST_F(LinkStreamLinkTest, ReadFailsAtTheTimeOutWhenNothingComes) {
    char buffer[KTX_LINK_READ_BUFFER];
    ASSERT_TRUE(m_link.Write("*IDN?"));
    EXPECT_FALSE(m_link.Read(buffer));
    EXPECT_FALSE(m_link.ReadData(buffer, 4));
    EXPECT_FALSE(m_link.ReceiveFile(m_dir.File("none.tmp").c_str()));
}

TEST_F(LinkStreamLinkTest, BrokenStreamFailsEveryCall) {
    m_state->broken = true;
    char buffer[KTX_LINK_READ_BUFFER];
    EXPECT_FALSE(m_link.Write("*IDN?"));
    EXPECT_FALSE(m_link.Read(buffer));
    EXPECT_FALSE(m_link.ReadData(buffer, 4));
}

struct DataCase {
    std::string name;
    std::string bytes;
    std::uint32_t count;
    bool ok;
    std::string expected;  // all `count` bytes of the buffer after a success
    std::int32_t status = KTX_LINK_OK;
};

void PrintTo(const DataCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkStreamLinkReadDataTest : public LinkStreamLinkTest,
                                   public ::testing::WithParamInterface<DataCase> {};

TEST_P(LinkStreamLinkReadDataTest, StoresExactlyCountBytesOfTheBlock) {
    m_state->chunk = 3;
    m_state->answers["CURV?"] = GetParam().bytes;
    m_state->answers["*IDN?"] = "ID\n";
    std::vector<char> buffer(GetParam().count + 8, '\x55');
    ASSERT_TRUE(m_link.Write("CURV?"));
    m_link.Clear();
    EXPECT_EQ(m_link.ReadData(buffer.data(), GetParam().count), GetParam().ok);
    if (GetParam().ok) {
        EXPECT_EQ(std::string(buffer.data(), GetParam().count), GetParam().expected);
        EXPECT_EQ(buffer[GetParam().count], '\x55');  // not one byte more
        EXPECT_EQ(m_link.LastStatus().code, GetParam().status);
    }
    // Whatever is left of the block never shows up as the next answer.
    ASSERT_TRUE(m_link.Write("*IDN?"));
    char answer[KTX_LINK_READ_BUFFER];
    ASSERT_TRUE(m_link.Read(answer));
    EXPECT_STREQ(answer, "ID");
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, LinkStreamLinkReadDataTest,
    ::testing::Values(DataCase{"Exact", "#15AB\nDE\n", 5, true, "AB\nDE"},
                      DataCase{"HeaderTextSkipped", ":CURVE #15ABCDE\n", 5, true, "ABCDE"},
                      DataCase{"FewerThanTheBlockHolds", "#210ABCDEFGHIJ\n", 4, true, "ABCD"},
                      DataCase{"Indefinite", "#0ABCDEFG\n", 3, true, "ABC"},
                      // A one-byte curve of N points read as 2 x N bytes: the block, then zeros.
                      DataCase{"MoreThanTheBlockHolds", "#13ABC\n", 5, true,
                               std::string("ABC\0\0", 5), KTX_LINK_SHORT_DATA},
                      DataCase{"MoreThanTheIndefiniteBlockHolds", "#0ABC\r\n", 6, true,
                               std::string("ABC\0\0\0", 6), KTX_LINK_SHORT_DATA},
                      DataCase{"ShortBlock", "#19ABC\n", 9, false, ""},
                      DataCase{"NonDigitLength", "#4A100xxxx\n", 4, false, ""},
                      DataCase{"NoDigitCount", "#x12345\n", 4, false, ""},
                      DataCase{"NoBlockAtAll", "garbage without a block\n", 4, false, ""}),
    [](const auto& info) { return info.param.name; });

TEST_F(LinkStreamLinkTest, ClearDropsLeftoversWhenNothingWasSentSinceTheLastRead) {
    m_state->answers["A?"] = "A\n";
    m_state->Push("LEFTOVER\n");
    m_link.Clear();
    ASSERT_TRUE(m_link.Write("A?"));
    char buffer[KTX_LINK_READ_BUFFER];
    ASSERT_TRUE(m_link.Read(buffer));
    EXPECT_STREQ(buffer, "A");
}

TEST_F(LinkStreamLinkTest, ClearKeepsTheAnswerToTheCommandJustSent) {
    m_state->answers["A?"] = "A\n";
    m_state->Push("STALE\n");         // there before the command
    ASSERT_TRUE(m_link.Write("A?"));  // its answer is there at once
    m_link.Clear();
    m_link.Clear();  // a second clear keeps it too
    char buffer[KTX_LINK_READ_BUFFER];
    ASSERT_TRUE(m_link.Read(buffer));
    EXPECT_STREQ(buffer, "A");
}

TEST_F(LinkStreamLinkTest, ClearAfterAReadDropsEverything) {
    m_state->answers["A?"] = "A\nEXTRA\n";
    char buffer[KTX_LINK_READ_BUFFER];
    ASSERT_TRUE(m_link.Write("A?"));
    ASSERT_TRUE(m_link.Read(buffer));
    m_link.Clear();
    EXPECT_FALSE(m_link.Read(buffer));
}

struct SendFileCase {
    std::string name;
    std::string content;
    std::string sent;
};

void PrintTo(const SendFileCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkStreamLinkSendFileTest : public LinkStreamLinkTest,
                                   public ::testing::WithParamInterface<SendFileCase> {};

TEST_P(LinkStreamLinkSendFileTest, SendsTheBytesWithOneTerminator) {
    const std::string file = m_dir.File("setup.set");
    WriteWholeFile(file, GetParam().content);
    ASSERT_TRUE(m_link.SendFile(file.c_str()));
    EXPECT_EQ(m_state->Sent(), GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LinkStreamLinkSendFileTest,
    ::testing::Values(SendFileCase{"WithoutLineFeed", ":ACQ:MODE SAMPLE;:SEL:CH1 1",
                                   ":ACQ:MODE SAMPLE;:SEL:CH1 1\n"},
                      SendFileCase{"EndingInLineFeed", "HEADER ON\n", "HEADER ON\n"},
                      SendFileCase{"LineFeedInside", "A\nB", "A\nB\n"},
                      SendFileCase{"Empty", "", "\n"}),
    [](const auto& info) { return info.param.name; });

TEST_F(LinkStreamLinkTest, LargeBlockArrivesCompleteInPieces) {
    m_state->chunk = 65536;
    m_state->answers["CURV?"] = ":CURVE #73145745" + Big() + "\n";
    m_state->answers["*IDN?"] = "ID\n";
    const std::string file = m_dir.File("large.tmp");
    ASSERT_TRUE(m_link.Write("CURV?"));
    ASSERT_TRUE(m_link.ReceiveFile(file.c_str()));
    EXPECT_TRUE(ReadWholeFile(file) == ":CURVE #73145745" + Big());
    EXPECT_EQ(Query("*IDN?"), "ID");
}

TEST_F(LinkStreamLinkTest, LargeFileIsSentUnchanged) {
    const std::string file = m_dir.File("large.set");
    WriteWholeFile(file, Big() + "\n");
    ASSERT_TRUE(m_link.SendFile(file.c_str()));
    EXPECT_TRUE(m_state->Sent() == Big() + "\n");
}

TEST_F(LinkStreamLinkTest, SendFileOfAMissingFileFails) {
    EXPECT_FALSE(m_link.SendFile(m_dir.File("missing.set").c_str()));
    EXPECT_EQ(m_state->Sent(), "");
}

TEST_F(LinkStreamLinkTest, ReceiveFileIntoAnUnwritablePlaceFails) {
    m_state->answers["SET?"] = "X\n";
    ASSERT_TRUE(m_link.Write("SET?"));
    EXPECT_FALSE(m_link.ReceiveFile(m_dir.File("no/such/folder.set").c_str()));
}

enum class Call { Read, ReceiveFile, ReadData };

struct CauseCase {
    std::string name;
    std::string response;  // to "Q?"
    Call call;
    std::int32_t code;
    std::uint32_t detail = 0;
    std::uint32_t expected = 0;
    bool broken = false;
};

void PrintTo(const CauseCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkStreamLinkCauseTest : public LinkStreamLinkTest,
                                public ::testing::WithParamInterface<CauseCase> {};

// Each failure says why, in numbers the program turns into a message; and the link is usable
// for the next question afterwards.
TEST_P(LinkStreamLinkCauseTest, SaysWhyAndRecovers) {
    const CauseCase& c = GetParam();
    m_state->answers["Q?"] = c.response;
    m_state->answers["*IDN?"] = "ID\n";
    m_state->broken = c.broken;
    std::string file = m_dir.File(c.code == KTX_LINK_E_FILE ? "no/such/folder" : "answer.tmp");
    char buffer[KTX_LINK_READ_BUFFER];
    std::vector<char> data(16);
    m_link.Write("Q?");
    bool ok = false;
    switch (c.call) {
        case Call::Read:
            ok = m_link.Read(buffer);
            break;
        case Call::ReceiveFile:
            ok = m_link.ReceiveFile(file.c_str());
            break;
        case Call::ReadData:
            ok = m_link.ReadData(data.data(), static_cast<std::uint32_t>(data.size()));
            break;
    }
    EXPECT_EQ(ok, c.code == KTX_LINK_OK);
    const LinkStatus status = m_link.LastStatus();
    EXPECT_EQ(status.code, c.code);
    EXPECT_EQ(status.detail, c.detail);
    EXPECT_EQ(status.expected, c.expected);
    if (!c.broken) {
        EXPECT_EQ(Query("*IDN?"), "ID");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Causes, LinkStreamLinkCauseTest,
    ::testing::Values(
        CauseCase{"Answer", "A\n", Call::Read, KTX_LINK_OK},
        CauseCase{"NothingComes", "", Call::Read, KTX_LINK_E_TIMEOUT, 100},
        CauseCase{"LineBroken", "", Call::Read, KTX_LINK_E_CLOSED, 0, 0, true},
        CauseCase{"FloodWithoutLineFeed", std::string(20000, 'x'), Call::Read,
                  KTX_LINK_E_SIZE_LIMIT, KTX_LINK_MAX_ANSWER},
        CauseCase{"BlockShorterThanAnnounced", ":CURVE #210abc\n", Call::ReceiveFile,
                  KTX_LINK_E_SHORT_BLOCK, 4, 10},
        CauseCase{"BlockShorterThanAnnouncedIntoMemory", "#220abc\n", Call::ReadData,
                  KTX_LINK_E_SHORT_BLOCK, 4, 20},
        CauseCase{"BlockLargerThanTheBound", ":CURVE #9999999999" + std::string(1000, 'd'),
                  Call::ReceiveFile, KTX_LINK_E_SIZE_LIMIT,
                  static_cast<std::uint32_t>(StreamLink::kDefaultReceiveLimit), 999999999},
        CauseCase{"MalformedBlock", "#4A100xxxx\n", Call::ReadData, KTX_LINK_E_PROTOCOL},
        CauseCase{"FileCannotBeWritten", "A\n", Call::ReceiveFile, KTX_LINK_E_FILE, ENOENT}),
    [](const auto& info) { return info.param.name; });

// Whatever an instrument sends, every read ends (at the latest at the time-out), stores no
// more than asked, and the link answers the next command correctly.
TEST_F(LinkStreamLinkTest, RandomResponsesNeverBreakTheLink) {
    m_link.SetTimeout(5);
    std::mt19937 random(20260412);
    const std::string alphabet = "#0123456789\n\r:ABC ";
    const std::string file = m_dir.File("random.tmp");
    for (int round = 0; round < 200; ++round) {
        std::string response;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) {
            response += random() % 4 == 0 ? static_cast<char>(random() % 256)
                                          : alphabet[random() % alphabet.size()];
        }
        m_state->answers["R?"] = response;
        char buffer[KTX_LINK_READ_BUFFER];
        std::vector<char> data(8 + 1, '\x55');
        ASSERT_TRUE(m_link.Write("R?"));
        switch (round % 3) {
            case 0:
                m_link.Read(buffer);
                break;
            case 1:
                m_link.ReceiveFile(file.c_str());
                break;
            default:
                m_link.ReadData(data.data(), 8);
                EXPECT_EQ(data[8], '\x55');
                break;
        }
        m_state->answers["*IDN?"] = "ID\n";
        m_link.SetTimeout(1000);
        EXPECT_EQ(Query("*IDN?"), "ID") << "round " << round;
        m_link.SetTimeout(5);
    }
}

TEST_F(LinkStreamLinkTest, SetTimeoutHandsBackThePreviousValue) {
    StreamLink fresh(std::make_unique<ScriptedStream>(std::make_shared<ScriptState>()));
    EXPECT_EQ(fresh.SetTimeout(3000), StreamLink::kDefaultTimeoutMs);
    EXPECT_EQ(fresh.SetTimeout(250), 3000);
    EXPECT_EQ(fresh.SetTimeout(StreamLink::kDefaultTimeoutMs), 250);
}

}  // namespace
}  // namespace ktx::linklib::test

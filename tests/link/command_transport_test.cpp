// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/command_transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QLibrary>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <thread>

#include "fake_link.h"
#include "link/link_library.h"
#include "test_files.h"

namespace ktx {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// The library receives into a temporary file next to the target, renamed onto it on success.
auto ReceiveNextTo(const std::string& target) {
    return AllOf(StartsWith("receive " + target + "."), EndsWith(".part"));
}

class TransportTest : public ::testing::Test {
  protected:
    // The fake with the version 1 table; FullTableTest takes the other one.
    virtual std::string LibraryFile() const { return "ktx_fake.so"; }

    void SetUp() override {
        // Held for the whole test so the fake's script outlives the transport's reloads.
        m_fakeLib.setFileName(QString(KTX_FAKE_LINK_DIR) + "/" +
                              QString::fromStdString(LibraryFile()));
        ASSERT_TRUE(m_fakeLib.load()) << m_fakeLib.errorString().toStdString();
        m_script = reinterpret_cast<FakeLinkScript* (*)()>(m_fakeLib.resolve("ktx_fake_script"))();
        m_script->Reset();
    }
    void TearDown() override {
        m_transport.CloseLink();
        m_fakeLib.unload();
    }

    void Open(int linkType = kLinkRs232, int deviceType = 1,
              const std::string& name = "KTX_FAKE.SO") {
        m_transport.OpenLink({KTX_FAKE_LINK_DIR, name, linkType, deviceType}, false,
                             "/p/kurvitex.ini");
        m_script->calls.clear();
    }

    QLibrary m_fakeLib;
    FakeLinkScript* m_script = nullptr;
    test::TempDir m_dir;
    test::RecordingNotifier m_notifier;
    std::vector<int> m_waits;
    CommandTransport m_transport{m_notifier, [this](int ms) { m_waits.push_back(ms); }};
};

TEST_F(TransportTest, OpenFindsTheLibraryIgnoringCaseAndSetsTheTimeout) {
    m_transport.OpenLink({KTX_FAKE_LINK_DIR, "Ktx_Fake.So", kLinkRs232, 1}, true, "/p/k.ini");
    EXPECT_THAT(m_script->calls, ElementsAre("open /p/k.ini 1", "timeout 1000"));
    EXPECT_EQ(m_transport.LinkHandle(), 7);
    EXPECT_EQ(m_transport.LinkPort(), 3);
    EXPECT_THAT(m_notifier.shown, IsEmpty());

    // Settings written on Windows name the library with .dll.
    m_transport.OpenLink({KTX_FAKE_LINK_DIR, "KTX_FAKE.DLL", kLinkRs232, 1}, false, "/p/k.ini");
    EXPECT_TRUE(m_transport.LibraryLoaded());
    EXPECT_THAT(m_notifier.shown, IsEmpty());
}

TEST_F(TransportTest, LinkThatDoesNotOpenShowsMessage6) {
    m_script->openHandle = 0;
    Open();
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].text, "keine gültige Schnittstelle");
    EXPECT_FALSE(m_transport.SendCommand("*RST"));
    EXPECT_EQ(m_transport.Query("*IDN?"), "");
    // Only the clear of the query reaches the library: nothing is written without a link.
    EXPECT_THAT(m_script->calls, ElementsAre("clear"));
}

struct BadLibrary {
    const char* name;
    const char* why;
    friend void PrintTo(const BadLibrary& b, std::ostream* os) { *os << b.why; }
};

class TransportBadLibrary : public TransportTest,
                            public ::testing::WithParamInterface<BadLibrary> {};

INSTANTIATE_TEST_SUITE_P(Libraries, TransportBadLibrary,
                         ::testing::Values(BadLibrary{"", "none named"},
                                           BadLibrary{"ktx_missing.so", "missing"},
                                           BadLibrary{"not_a_library.so", "text file"},
                                           BadLibrary{"ktx_nosym.so", "no ktx_link_ops"}));

TEST_P(TransportBadLibrary, FailsWithMessages5And6ThenQuietly) {
    test::TempDir dir;
    test::WriteFile(dir.Path("not_a_library.so"), std::string("this is no ELF file\n"));
    const std::string libDir = std::string(GetParam().name) == "not_a_library.so"
                                   ? dir.Path("")
                                   : std::string(KTX_FAKE_LINK_DIR);
    m_transport.OpenLink({libDir, GetParam().name, kLinkGpib, 1}, false, "/p/k.ini");
    ASSERT_EQ(m_notifier.shown.size(), 2u);
    EXPECT_EQ(m_notifier.shown[0].text, "IO- Bibliothek konnte nicht geladen werden");
    EXPECT_EQ(m_notifier.shown[1].text, "keine gültige Schnittstelle");
    EXPECT_FALSE(m_transport.LibraryLoaded());

    EXPECT_FALSE(m_transport.SendCommand("*RST"));
    EXPECT_FALSE(m_transport.SendRaw("X"));
    EXPECT_EQ(m_transport.Query("*IDN?"), "");
    EXPECT_FALSE(m_transport.ReceiveToFile("f", "CURV?", 0));
    EXPECT_FALSE(m_transport.SendFileToDevice("f", ""));
    char buf[4];
    EXPECT_FALSE(m_transport.LinkReadData(buf, 4));
    m_transport.LinkClear();
    // Without a library the time-out call hands back its first argument, the (zero) handle.
    EXPECT_EQ(m_transport.LinkSetTimeout(500), 0);
    EXPECT_EQ(m_notifier.shown.size(), 2u);
    EXPECT_THAT(m_script->calls, IsEmpty());
}

TEST_F(TransportTest, LineFeedOnlyForType30CommandsAndQueries) {
    Open(kLinkRs232, 30);
    m_script->answers = {"ON..", "x"};
    EXPECT_TRUE(m_transport.SendCommand("*RST"));
    EXPECT_EQ(m_transport.Query("COMU?"), "ON..");
    EXPECT_TRUE(m_transport.SendRaw("RAW"));
    EXPECT_TRUE(m_transport.ReceiveToFile(m_dir.Path("f"), "CURV?", 0));
    EXPECT_EQ(m_transport.QueryRetry("ID?"), "x");
    // This library has no LinkWriteRaw: the raw text goes with the next command, as a whole.
    EXPECT_THAT(
        m_script->calls,
        ElementsAre("write 7 *RST\n", "clear", "write 7 COMU?\n", "read", "write 7 RAWCURV?",
                    "clear", ReceiveNextTo(m_dir.Path("f")), "clear", "write 7 ID?", "read"));
    EXPECT_THAT(m_waits, IsEmpty());  // RS232: no pacing
}

TEST_F(TransportTest, GpibPacesEveryCommandAndRaisesTheFileTimeout) {
    Open(kLinkGpib);
    m_script->timeout = 1000;
    m_script->writeOk = false;
    EXPECT_FALSE(m_transport.SendCommand("ACQ:STATE STOP"));  // paced although it failed
    m_script->writeOk = true;
    EXPECT_TRUE(m_transport.SendRaw("DATA INIT"));
    m_script->answers = {"1"};
    EXPECT_EQ(m_transport.Query("ACQ:STATE?"), "1");  // no pause after a query
    EXPECT_EQ(m_waits, (std::vector<int>{100, 100}));

    m_script->calls.clear();
    m_waits.clear();
    EXPECT_TRUE(m_transport.ReceiveToFile(m_dir.Path("c"), "CURV?", 250));
    EXPECT_THAT(m_script->calls, ElementsAre("write 7 CURV?", "timeout 3000", "clear",
                                             ReceiveNextTo(m_dir.Path("c")), "timeout 1000"));
    EXPECT_EQ(m_waits, (std::vector<int>{250}));

    m_script->calls.clear();
    m_script->transferOk = false;
    EXPECT_FALSE(m_transport.SendFileToDevice("/t/w", ""));
    EXPECT_THAT(m_script->calls, ElementsAre("timeout 3000", "send /t/w", "timeout 1000"));
}

TEST_F(TransportTest, QueryClearsFirstAndCutsLongAnswers) {
    Open();
    m_script->answers = {std::string(300, 'A')};
    EXPECT_EQ(m_transport.Query("SET?"), std::string(254, 'A'));
    EXPECT_THAT(m_script->calls, ElementsAre("clear", "write 7 SET?", "read"));

    m_script->calls.clear();
    EXPECT_EQ(m_transport.Query("*IDN?"), "");  // the read fails: nothing stale comes back
    m_script->writeOk = false;
    m_script->answers = {"late"};
    EXPECT_EQ(m_transport.Query("*IDN?"), "");
    EXPECT_EQ(m_script->answers.size(), 1u);  // no read after a failed write
}

TEST_F(TransportTest, QueryRetryAsksUntilTheUserGivesUp) {
    int asked = 0;
    // The script has no answer for the first read; the confirmation refills it.
    class RefillingNotifier final : public Notifier {
      public:
        RefillingNotifier(FakeLinkScript* s, int& asked) : m_s(s), m_asked(asked) {}
        void Show(Severity, const Notice&) override {}
        bool Confirm(const Notice& n) override {
            ++m_asked;
            EXPECT_EQ(n.Text(), "Gerät antwortet nicht, wiederholen?");
            if (m_asked == 1) {
                m_s->answers.push_back("MEAS 1.5");
                return true;
            }
            return false;
        }

      private:
        FakeLinkScript* m_s;
        int& m_asked;
    } refill(m_script, asked);
    CommandTransport transport(refill, [](int) {});
    transport.OpenLink({KTX_FAKE_LINK_DIR, "ktx_fake.so", kLinkRs232, 1}, false, "/p/k.ini");
    m_script->calls.clear();
    EXPECT_EQ(transport.QueryRetry("MEASU:IMM:VAL?"), "MEAS 1.5");
    EXPECT_EQ(asked, 1);
    // One clear only, before the first attempt.
    EXPECT_THAT(m_script->calls, ElementsAre("clear", "write 7 MEASU:IMM:VAL?", "read",
                                             "write 7 MEASU:IMM:VAL?", "read"));
    EXPECT_EQ(transport.QueryRetry("MEASU:IMM:VAL?"), "");  // the user cancels
    EXPECT_EQ(asked, 2);
    transport.CloseLink();
}

TEST_F(TransportTest, CloseTriesTwiceAndUnloads) {
    Open();
    m_script->closeFailures = 5;
    m_transport.CloseLink();
    EXPECT_THAT(m_script->calls, ElementsAre("close", "close"));
    EXPECT_EQ(m_transport.LinkHandle(), 0);
    EXPECT_FALSE(m_transport.LibraryLoaded());
    m_transport.CloseLink();  // closing again does nothing
    EXPECT_EQ(m_script->calls.size(), 2u);
}

TEST_F(TransportTest, ReadDataAndTimeoutPassThrough) {
    Open();
    std::vector<std::uint8_t> buf(16, 0);
    EXPECT_TRUE(m_transport.LinkReadData(buf.data(), 16));
    EXPECT_EQ(buf[15], 0x5A);
    m_script->timeout = 1000;
    EXPECT_EQ(m_transport.LinkSetTimeout(20), 1000);
    EXPECT_EQ(m_transport.LinkSetTimeout(1000), 20);
}

TEST_F(TransportTest, CallsFromSeveralThreadsNeverOverlap) {
    Open();
    for (int i = 0; i < 200; ++i) {
        m_script->answers.push_back("A");
    }
    auto worker = [this] {
        for (int i = 0; i < 50; ++i) {
            m_transport.Query("*IDN?");
            m_transport.SendCommand("ACQ:STATE RUN");
        }
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    EXPECT_FALSE(m_script->overlapped);
}

struct ReceiveCase {
    const char* name;
    bool transferOk;
    const char* before;  // the target's content before; nullptr: there is none
    bool ok;
    const char* after;  // nullptr: still none
    friend void PrintTo(const ReceiveCase& c, std::ostream* os) { *os << c.name; }
};

class TransportReceiveTest : public TransportTest,
                             public ::testing::WithParamInterface<ReceiveCase> {};

// A receive that fails leaves the target as it was, never a part that looks complete.
TEST_P(TransportReceiveTest, PutsTheFileInPlaceOnlyWhenComplete) {
    const ReceiveCase& c = GetParam();
    Open();
    const std::string target = m_dir.Path("curve.bin");
    if (c.before) {
        test::WriteFile(target, std::string(c.before));
    }
    m_script->transferOk = c.transferOk;
    m_script->received = ":CURVE #520000 and the 10007 bytes that came";
    EXPECT_EQ(m_transport.ReceiveToFile(target, "CURV?", 0), c.ok);
    if (c.after) {
        const test::Bytes bytes = test::ReadFile(target);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.after);
    } else {
        EXPECT_FALSE(std::filesystem::exists(target));
    }
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_dir.Path(""))) {
        ++files;
    }
    EXPECT_EQ(files, c.after ? 1 : 0);  // no temporary file left behind
}

INSTANTIATE_TEST_SUITE_P(
    Receives, TransportReceiveTest,
    ::testing::Values(ReceiveCase{"Complete", true, "old", true,
                                  ":CURVE #520000 and the 10007 bytes that came"},
                      ReceiveCase{"FailedKeepsTheOldContent", false, "old", false, "old"},
                      ReceiveCase{"FailedMakesNoFile", false, nullptr, false, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransportTest, ReceiveIntoAFolderAsksTheInstrumentNothing) {
    Open();
    EXPECT_FALSE(m_transport.ReceiveToFile(m_dir.Path(""), "CURV?", 0));
    EXPECT_THAT(m_script->calls, IsEmpty());  // no answer is left behind unread
    EXPECT_THAT(m_transport.LastFailure().text, StartsWith("Dateizugriff verweigert "));
}

// The fake with the full table: LinkWriteRaw and LinkLastError.
class FullTableTest : public TransportTest {
  protected:
    std::string LibraryFile() const override { return "ktx_fake2.so"; }
    void OpenFull() { Open(kLinkRs232, 1, "ktx_fake2.so"); }
};

TEST_F(FullTableTest, RawTextGoesOutAtOnceAndTheNextCommandEndsTheMessage) {
    OpenFull();
    EXPECT_TRUE(m_transport.SendRaw(":ACQ:MODE SAMPLE;:"));
    EXPECT_TRUE(m_transport.SendRaw("SEL:CH1 1"));
    EXPECT_TRUE(m_transport.SendCommand(""));
    EXPECT_THAT(m_script->calls,
                ElementsAre("writeraw 7 :ACQ:MODE SAMPLE;:", "writeraw 7 SEL:CH1 1", "write 7 "));
}

struct CauseCase {
    int code;
    std::uint32_t detail;
    std::uint32_t expected;
    const char* text;
    friend void PrintTo(const CauseCase& c, std::ostream* os) { *os << c.text; }
};

class TransportCauseTest : public FullTableTest, public ::testing::WithParamInterface<CauseCase> {};

// The library's numbers become the German cause the status line and ktx show.
TEST_P(TransportCauseTest, NamesTheCauseOfAFailure) {
    const CauseCase& c = GetParam();
    std::vector<std::string> told;
    m_transport.SetFailureCallback([&](const LinkFailure& f) { told.push_back(f.text); });
    OpenFull();
    m_script->errorCode = c.code;
    m_script->errorDetail = c.detail;
    m_script->errorExpected = c.expected;
    EXPECT_EQ(m_transport.Query("WFMPRE:YMULT?"), "");  // no answer scripted
    EXPECT_EQ(m_transport.LastFailure().text, c.text);
    EXPECT_THAT(told, ElementsAre(c.text));
    m_script->answers = {"1.0E-3"};
    EXPECT_EQ(m_transport.Query("WFMPRE:YMULT?"), "1.0E-3");
    EXPECT_FALSE(m_transport.LastFailure().Known());  // the latest routine went through
}

INSTANTIATE_TEST_SUITE_P(
    Causes, TransportCauseTest,
    ::testing::Values(
        CauseCase{KTX_LINK_E_TIMEOUT, 1000, 0, "Zeitüberschreitung nach 1000 ms"},
        CauseCase{KTX_LINK_E_CLOSED, 0, 0, "Verbindung vom Gerät geschlossen"},
        CauseCase{KTX_LINK_E_BUSY, 0, 0, "Gerät belegt"},
        CauseCase{KTX_LINK_E_SHORT_BLOCK, 10007, 20000,
                  "Block kürzer als angekündigt: 10007 von 20000 Bytes"},
        CauseCase{KTX_LINK_E_SIZE_LIMIT, 8192, 0, "Größengrenze von 8192 Bytes erreicht"},
        CauseCase{KTX_LINK_E_SIZE_LIMIT, 1048576, 999999999,
                  "Größengrenze von 1048576 Bytes erreicht (angekündigt: 999999999 Bytes)"},
        CauseCase{KTX_LINK_E_PROTOCOL, 0, 0, "Antwort ist kein gültiger Datenblock"},
        CauseCase{KTX_LINK_E_FILE, ENOSPC, 0, "Dateifehler: kein Speicherplatz mehr auf dem Gerät"},
        CauseCase{KTX_LINK_E_SYSTEM, EACCES, 0, "Zugriff verweigert"},
        CauseCase{42, 0, 0, "IO Error Nr.: 42"}));

TEST_F(FullTableTest, AFailedOpenSaysWhyWhereAsked) {
    m_script->openHandle = 0;
    m_script->errorCode = KTX_LINK_E_REFUSED;
    OpenFull();  // the main window: message 6 as it stands, the cause for the status line
    EXPECT_EQ(m_transport.LastFailure().text, "Verbindung abgelehnt");
    m_transport.SetCauseInMessages(true);  // the command line: the cause in the message
    OpenFull();
    ASSERT_EQ(m_notifier.shown.size(), 2u);
    EXPECT_EQ(m_notifier.shown[0].text, "keine gültige Schnittstelle");
    EXPECT_EQ(m_notifier.shown[1].text, "keine gültige Schnittstelle (Verbindung abgelehnt)");
}

#ifdef KTX_PROGRAM_DIR

// The simulated instrument in-process: through the full table (ktx_sim.so of the program
// folder) and through a version 1 table of the same library (ktx_sim_v1.so), whose raw text
// the transport keeps and hands over with the next command.
class TransportSimTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        const std::string dir = GetParam() == "ktx_sim.so" ? KTX_PROGRAM_DIR : KTX_FAKE_LINK_DIR;
        test::WriteFile(m_dir.Path("kurvitex.ini"), std::string("[SIM]\nRECORDLENGTH=2500\n"));
        m_transport.OpenLink({dir, GetParam(), kLinkRs232, 1}, false, m_dir.Path("kurvitex.ini"));
        ASSERT_NE(m_transport.LinkHandle(), 0);
        m_transport.LinkSetTimeout(3000);
    }
    std::string ReadSetup() {
        EXPECT_TRUE(m_transport.ReceiveToFile(m_dir.Path("setup.set"), "SET?", 0));
        const test::Bytes bytes = test::ReadFile(m_dir.Path("setup.set"));
        return std::string(bytes.begin(), bytes.end());
    }

    test::TempDir m_dir;
    test::RecordingNotifier m_notifier;
    CommandTransport m_transport{m_notifier};
};

// The set-up transfer sends a long set-up in groups ending ";:" (or cut at 481 characters):
// the instrument must see one message, or every group but the last ends in an empty command.
TEST_P(TransportSimTest, SetupSentInGroupsArrivesAsOneMessage) {
    ASSERT_TRUE(m_transport.SendCommand("HEADER ON"));
    const std::string setup = ReadSetup();
    ASSERT_TRUE(m_transport.SendCommand("*CLS;:DATA:STOP 17;:SELECT:CH2 ON"));
    ASSERT_NE(ReadSetup(), setup);
    std::string group;
    int groups = 0;
    for (const char c : setup) {
        group += c;
        if ((group.size() >= 2 && group.compare(group.size() - 2, 2, ";:") == 0) ||
            group.size() >= 481) {
            ASSERT_TRUE(m_transport.SendRaw(group));
            group.clear();
            ++groups;
        }
    }
    ASSERT_TRUE(m_transport.SendRaw(group));
    ASSERT_TRUE(m_transport.SendCommand(""));
    // Many command paths, one of them longer than a group (cut in the middle of its argument).
    EXPECT_GT(groups, 10);
    EXPECT_EQ(m_transport.Query("*ESR?"), "0");  // no "-113 Undefined header"
    EXPECT_EQ(ReadSetup(), setup);
}

// The live display reads 2 x N bytes of a one-byte curve of N points, frame after frame, with
// its queries in between: every frame succeeds and no answer slips.
TEST_P(TransportSimTest, LiveDisplayFramesReadTwiceTheBlock) {
    constexpr std::uint32_t kPoints = 1000;
    ASSERT_TRUE(m_transport.SendCommand("DATA:ENC RIB;WID 1;START 1;STOP 1000;:HEADER OFF"));
    const std::string ymult = m_transport.Query("WFMPRE:YMULT?");
    ASSERT_NE(ymult, "");
    for (int frame = 0; frame < 5; ++frame) {
        EXPECT_EQ(m_transport.Query("WFMPRE:YMULT?"), ymult) << "frame " << frame;
        ASSERT_TRUE(m_transport.SendCommand("curv?"));
        m_transport.LinkClear();
        std::vector<std::uint8_t> buffer(2 * kPoints, 0xA5);
        std::uint32_t stored = 0;
        ASSERT_TRUE(m_transport.LinkReadData(buffer.data(), 2 * kPoints, &stored))
            << "frame " << frame;
        // Without LinkLastError the transport cannot know, and reports what was asked for.
        EXPECT_EQ(stored, GetParam() == "ktx_sim.so" ? kPoints : 2 * kPoints);
        EXPECT_TRUE(std::all_of(buffer.begin() + kPoints, buffer.end(),
                                [](std::uint8_t b) { return b == 0; }));
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, TransportSimTest, ::testing::Values("ktx_sim.so", "ktx_sim_v1.so"),
                         [](const auto& info) {
                             return info.param == "ktx_sim.so" ? std::string("Full")
                                                               : std::string("VersionOne");
                         });

#endif  // KTX_PROGRAM_DIR

// Links opened and closed side by side on several threads (several programs' worth of clients
// in one process) leave no interface library loaded once the last one is gone.
TEST(LinkLibraryTurns, LibrariesLoadedOnSeveralThreadsAreUnloadedAtTheEnd) {
    // A QLibrary of the same file sees the load state the instances of that file share.
    const QLibrary probe(QString(KTX_FAKE_LINK_DIR) + "/ktx_fake.so");
    ASSERT_FALSE(probe.isLoaded());
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 200; ++i) {
                LinkLibrary library;
                ASSERT_TRUE(library.Load(KTX_FAKE_LINK_DIR, "ktx_fake.so", nullptr));
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_FALSE(probe.isLoaded());
}

}  // namespace
}  // namespace ktx

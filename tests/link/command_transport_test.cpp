// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/command_transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QLibrary>

#include <thread>

#include "fake_link.h"
#include "test_files.h"

namespace ktx {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TransportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Held for the whole test so the fake's script outlives the transport's reloads.
        m_fakeLib.setFileName(QString(KTX_FAKE_LINK_DIR) + "/ktx_fake.so");
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
    EXPECT_TRUE(m_transport.ReceiveToFile("/t/f", "CURV?", 0));
    EXPECT_EQ(m_transport.QueryRetry("ID?"), "x");
    EXPECT_THAT(m_script->calls, ElementsAre("write 7 *RST\n", "clear", "write 7 COMU?\n", "read",
                                             "write 7 RAW", "write 7 CURV?", "clear",
                                             "receive /t/f", "clear", "write 7 ID?", "read"));
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
    EXPECT_TRUE(m_transport.ReceiveToFile("/t/c", "CURV?", 250));
    EXPECT_THAT(m_script->calls, ElementsAre("write 7 CURV?", "timeout 3000", "clear",
                                             "receive /t/c", "timeout 1000"));
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

}  // namespace
}  // namespace ktx

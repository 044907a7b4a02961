// SPDX-License-Identifier: GPL-3.0-or-later
// The real transports against a hostile peer: one that drips bytes, answers late, hangs up in
// the middle of a block, floods the line without a line feed, or announces a block larger than
// the size bound. Every call ends in bounded time, says why it failed, and the next question
// gets its own answer.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "fake_instrument.h"
#include "ktx_link.h"
#include "link_test_support.h"

namespace ktx::linklib::test {
namespace {

using Clock = std::chrono::steady_clock;

enum class Call { Read, ReceiveFile };

struct HostileCase {
    std::string name;
    std::string command;
    Call call;
    std::uint16_t timeoutMs;
    std::int32_t code;
    std::uint32_t detail;
    std::uint32_t expected;
    // Ask the next question at once, while the peer may still be busy with this one (the late
    // answer); otherwise wait until the peer has finished misbehaving.
    bool askAtOnce = false;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkHostileTest : public ::testing::TestWithParam<std::tuple<std::string, HostileCase>> {
  protected:
    const std::string& Transport() const { return std::get<0>(GetParam()); }
    const HostileCase& Case() const { return std::get<1>(GetParam()); }

    void SetUp() override {
        m_fake = std::make_unique<FakeInstrument>(Transport() == "tcp" ? FakeInstrument::OnTcp()
                                                                       : FakeInstrument::OnPty());
        ASSERT_TRUE(m_fake->Ok());
        m_fake->Start();
        m_library = std::make_unique<LoadedLinkLibrary>("ktx_" + Transport() + ".so");
        ASSERT_NE(m_library->Ops(), nullptr) << m_library->Error();
        // A size bound of 1 MiB, so the huge block is refused by the bound, not by memory.
        const std::string bound = "[LINK]\nMAXRECEIVE=1\n";
        m_ini = m_dir.File("kurvitex.ini");
        WriteWholeFile(m_ini, Transport() == "tcp"
                                  ? bound + "[TCP]\nHOST=127.0.0.1\nPORT=" +
                                        std::to_string(m_fake->Port()) + "\n"
                                  : bound + "[RS232]\nCONFIG=COM1:115200,N,8,1\n[SERIAL]\nDEVICE=" +
                                        m_fake->Device() + "\n");
        std::int32_t port = 0;
        m_handle = Ops()->LinkOpen(m_ini.c_str(), 0, &port);
        ASSERT_NE(m_handle, 0);
    }
    void TearDown() override {
        if (m_handle != 0) {
            Ops()->LinkClose(m_handle);
        }
        m_fake->Stop();
    }

    const KtxLinkOps* Ops() const { return m_library->Ops(); }

    std::string Query(const char* command) {
        char buffer[KTX_LINK_READ_BUFFER];
        Ops()->LinkClear(m_handle);
        if (Ops()->LinkWrite(m_handle, command) == 0 || Ops()->LinkRead(m_handle, buffer) == 0) {
            return {};
        }
        return buffer;
    }

    // Discards what the peer still sends until it has finished, as the next command would.
    void WaitForThePeer() {
        m_fake->Hush();
        const auto until = Clock::now() + std::chrono::seconds(20);
        while (m_fake->Busy() && Clock::now() < until) {
            Ops()->LinkClear(m_handle);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Ops()->LinkClear(m_handle);
    }

    ScratchDir m_dir;
    std::unique_ptr<FakeInstrument> m_fake;
    std::unique_ptr<LoadedLinkLibrary> m_library;
    std::string m_ini;
    std::uint16_t m_handle = 0;
};

TEST_P(LinkHostileTest, EndsInTimeSaysWhyAndTheNextAnswerIsRight) {
    const HostileCase& c = Case();
    Ops()->LinkSetTimeout(m_handle, c.timeoutMs);
    const std::string file = m_dir.File("response.tmp");
    ASSERT_EQ(Ops()->LinkWrite(m_handle, c.command.c_str()), 1);
    const auto start = Clock::now();
    char buffer[KTX_LINK_READ_BUFFER];
    const std::uint8_t ok = c.call == Call::Read ? Ops()->LinkRead(m_handle, buffer)
                                                 : Ops()->LinkReceiveFile(m_handle, file.c_str());
    const auto took = Clock::now() - start;
    EXPECT_EQ(ok, 0);
    // A bound against hanging, not a measure of speed.
    EXPECT_LT(took, std::chrono::milliseconds(c.timeoutMs + KTX_LINK_ANSWER_GRACE_MS + 2000));
    std::uint32_t detail = 0;
    std::uint32_t expected = 0;
    EXPECT_EQ(Ops()->LinkLastError(m_handle, &detail, &expected), c.code);
    EXPECT_EQ(detail, c.detail);
    EXPECT_EQ(expected, c.expected);

    if (c.code == KTX_LINK_E_SHORT_BLOCK && Transport() == "tcp") {
        EXPECT_EQ(Query("*IDN?"), "");  // the peer hung up
        EXPECT_EQ(Ops()->LinkLastError(m_handle, nullptr, nullptr), KTX_LINK_E_CLOSED);
        return;
    }
    if (!c.askAtOnce) {
        WaitForThePeer();
    }
    Ops()->LinkSetTimeout(m_handle, 3000);
    EXPECT_EQ(Query("*IDN?"), FakeInstrument::kIdentity);
    EXPECT_EQ(Query("*IDN?"), FakeInstrument::kIdentity);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, LinkHostileTest,
    ::testing::Combine(
        ::testing::Values("tcp", "serial"),
        ::testing::Values(
            // One byte every 50 ms for a minute: each byte would restart the time-out.
            HostileCase{"Drip", "DRIP? 1200 50", Call::Read, 300, KTX_LINK_E_TIMEOUT, 300, 0},
            // Answers 150 ms after the time-out; the next question must not get "LATE".
            HostileCase{"LateAnswer", "LATE? 550", Call::Read, 400, KTX_LINK_E_TIMEOUT, 400, 0,
                        true},
            HostileCase{"HangsUpMidBlock", "CUT? 1000 5000", Call::ReceiveFile, 500,
                        KTX_LINK_E_SHORT_BLOCK, 1000, 5000},
            HostileCase{"FloodWithoutLineFeed", "FLOOD? 200000", Call::Read, 1000,
                        KTX_LINK_E_SIZE_LIMIT, KTX_LINK_MAX_ANSWER, 0},
            HostileCase{"BlockLargerThanTheBound", "HUGE?", Call::ReceiveFile, 1000,
                        KTX_LINK_E_SIZE_LIMIT, 1u << 20, 999999999},
            // Raw data without any length (a hard copy) stops at the bound too.
            HostileCase{"FloodIntoAFile", "FLOOD? 3000000", Call::ReceiveFile, 1000,
                        KTX_LINK_E_SIZE_LIMIT, 1u << 20, 0})),
    [](const auto& info) { return std::get<0>(info.param) + "_" + std::get<1>(info.param).name; });

}  // namespace
}  // namespace ktx::linklib::test

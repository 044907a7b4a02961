// SPDX-License-Identifier: GPL-3.0-or-later
// ktx_prologix.so: a GPIB instrument behind a Prologix-style controller, on a USB serial port
// (GPIB-USB) or on the LAN (GPIB-ETHERNET, TCP port 1234). Settings in [PROLOGIX]: HOST (the
// adapter on the LAN; when set it wins), PORT (default 1234), DEVICE (the adapter's serial
// port, default /dev/ttyUSB0) and ADDRESS (the instrument's GPIB primary address 0 ... 30,
// default 1). The status line port is ADDRESS.
//
// The adapter is set up on opening (see prologix_protocol.h) and must name its firmware for
// "++ver", or the open fails. Each host message is one data line: its bytes escaped, ended by
// a plain line feed, sent by the adapter with EOI on the last byte (no line feed added, as
// ktx_gpib sends). The instrument's response is asked for with "++read eoi" when the link first
// waits for it after a message (and again whenever the adapter's own read time-out has passed
// without a byte) and arrives raw. Device clear is "++clr".
#include <algorithm>
#include <cstdio>
#include <string>

#include "ktx_link.h"
#include "link_ops.h"
#include "link_settings.h"
#include "prologix_protocol.h"
#include "serial_config.h"
#include "serial_stream.h"
#include "tcp_stream.h"

namespace ktx::linklib {

namespace {

constexpr int kAdapterAnswerMs = 3000;
// After "++clr": bytes of an aborted read still on their way pass within this quiet time.
constexpr int kClearQuietMs = 100;

// Sends all of `bytes` before the deadline.
bool SendAll(ByteStream& stream, std::string_view bytes, Clock::time_point deadline) {
    while (!bytes.empty()) {
        const std::ptrdiff_t n = stream.Send(bytes, deadline);
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

class PrologixStream final : public ByteStream {
  public:
    explicit PrologixStream(std::unique_ptr<ByteStream> adapter) : m_adapter(std::move(adapter)) {}
    ~PrologixStream() override { Close(); }

    std::ptrdiff_t Send(std::string_view bytes, Clock::time_point deadline) override {
        if (m_adapter == nullptr) {
            return -1;
        }
        m_readAsked = false;  // a new message: its response must be asked for again
        const std::string escaped = prologix::Escape(bytes);
        std::string_view rest(escaped);
        while (!rest.empty()) {
            const std::ptrdiff_t n = m_adapter->Send(rest, deadline);
            if (n <= 0) {
                return n;
            }
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
        return static_cast<std::ptrdiff_t>(bytes.size());
    }

    bool EndOfMessage(Clock::time_point deadline) override {
        m_readAsked = false;
        return m_adapter != nullptr && SendAll(*m_adapter, "\n", deadline);
    }

    bool UsesLineTerminator() const override { return false; }

    std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) override {
        if (m_adapter == nullptr) {
            return -1;
        }
        for (;;) {
            if (!m_readAsked) {
                if (!SendAll(*m_adapter, prologix::kReadLine, deadline)) {
                    return Clock::now() >= deadline ? 0 : -1;
                }
                m_readAsked = true;
                m_readAskedAt = Clock::now();
                m_answered = false;
            }
            // The adapter gives a read up when the instrument says nothing for its own
            // time-out; a link waiting longer (a slow instrument, a long [DEVICE] TMO) asks again.
            const Clock::time_point adapterGivesUp =
                m_readAskedAt + std::chrono::milliseconds(prologix::kAdapterReadTimeoutMs + 200);
            const Clock::time_point until =
                m_answered ? deadline : std::min(deadline, adapterGivesUp);
            const std::ptrdiff_t n = m_adapter->Receive(buffer, size, until);
            if (n != 0 || Clock::now() >= deadline) {
                m_answered = m_answered || n > 0;
                return n;
            }
            m_readAsked = false;
        }
    }

    void Drain(std::string& out) override {
        if (m_adapter != nullptr) {
            m_adapter->Drain(out);
        }
    }

    bool ClearDevice(Clock::time_point deadline) override {
        if (m_adapter == nullptr || !SendAll(*m_adapter, prologix::kClearLine, deadline)) {
            return false;
        }
        m_readAsked = false;
        // "++clr" also ends a read in progress; what it had already passed on is dropped.
        char scratch[4096];
        for (;;) {
            const Clock::time_point quiet =
                std::min(deadline, Clock::now() + std::chrono::milliseconds(kClearQuietMs));
            if (m_adapter->Receive(scratch, sizeof scratch, quiet) <= 0 ||
                Clock::now() >= deadline) {
                return true;
            }
        }
    }

    bool Close() override {
        if (m_adapter == nullptr) {
            return true;
        }
        const bool ok = m_adapter->Close();
        m_adapter.reset();
        return ok;
    }

  private:
    std::unique_ptr<ByteStream> m_adapter;
    bool m_readAsked = false;
    Clock::time_point m_readAskedAt{};
    bool m_answered = false;  // bytes came since the latest "++read eoi"
};

// Sets the adapter up and checks that it answers; false with the cause in `failure`.
bool SetUpAdapter(ByteStream& adapter, int address, const std::string& where, LinkStatus& failure) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kAdapterAnswerMs);
    const std::string lines = prologix::SetupLines(address) + std::string(prologix::kVersionLine);
    if (!SendAll(adapter, lines, deadline)) {
        std::fprintf(stderr, "ktx_prologix: %s takes no commands\n", where.c_str());
        failure = {KTX_LINK_E_TIMEOUT, kAdapterAnswerMs, 0};
        return false;
    }
    std::string answer;
    char buffer[256];
    while (answer.find('\n') == std::string::npos) {
        const std::ptrdiff_t n = adapter.Receive(buffer, sizeof buffer, deadline);
        if (n <= 0) {
            std::fprintf(stderr, "ktx_prologix: no Prologix-style adapter answers at %s\n",
                         where.c_str());
            failure = n == 0 ? LinkStatus{KTX_LINK_E_TIMEOUT, kAdapterAnswerMs, 0}
                             : LinkStatus{KTX_LINK_E_CLOSED, 0, 0};
            return false;
        }
        answer.append(buffer, static_cast<std::size_t>(n));
        if (answer.size() > 4096) {
            break;  // talkative, but something answers
        }
    }
    return true;
}

std::unique_ptr<ByteStream> OpenPrologix(const char* configPath, bool /*askUser*/,
                                         std::int32_t* port, LinkStatus& failure) {
    const LinkSettings settings(configPath, "PROLOGIX");
    settings.WriteDefaultsIfMissing({{"DEVICE", "/dev/ttyUSB0"}, {"HOST", ""}, {"ADDRESS", "1"}});
    const std::string host = settings.Text("HOST", "");
    const std::string device = settings.Text("DEVICE", "/dev/ttyUSB0");
    const long tcpPort = settings.Integer("PORT", 1234);
    const long address = settings.Integer("ADDRESS", 1);
    if (address < 0 || address > 30 || tcpPort < 1 || tcpPort > 65535 ||
        (host.empty() && device.empty())) {
        std::fprintf(stderr, "ktx_prologix: [PROLOGIX] HOST/PORT/DEVICE/ADDRESS invalid\n");
        failure = {KTX_LINK_E_SETTINGS, 0, 0};
        return nullptr;
    }
    std::unique_ptr<ByteStream> adapter;
    std::string where;
    if (!host.empty()) {
        where = host + ":" + std::to_string(tcpPort);
        const int fd =
            ConnectTcp(host, static_cast<int>(tcpPort), kConnectTimeoutMs, "ktx_prologix", failure);
        if (fd < 0) {
            return nullptr;
        }
        adapter = MakeTcpStream(fd);
    } else {
        where = device;
        // The adapter's USB serial port ignores the line settings; these are the usual ones.
        SerialConfig line;
        line.baud = 115200;
        adapter = OpenSerialLine(device, line, "ktx_prologix", failure);
        if (adapter == nullptr) {
            return nullptr;
        }
    }
    if (!SetUpAdapter(*adapter, static_cast<int>(address), where, failure)) {
        return nullptr;
    }
    *port = static_cast<std::int32_t>(address);
    return std::make_unique<PrologixStream>(std::move(adapter));
}

}  // namespace

}  // namespace ktx::linklib

extern "C" KTX_LINK_EXPORT const KtxLinkOps* ktx_link_ops(void) {
    return ktx::linklib::LinkOpsFor(&ktx::linklib::OpenPrologix);
}

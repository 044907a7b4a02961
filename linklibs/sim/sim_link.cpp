// SPDX-License-Identifier: GPL-3.0-or-later
// ktx_sim.so: the simulated instrument in-process. Settings in [SIM]: MODEL, TYPE (device
// family), SEED, RECORDLENGTH and the fault switches SILENT, GARBAGE, TRUNCATE (0/1), DROPAFTER
// (answer bytes before the "connection" drops, -1 never) and DELAY (ms before each answer).
// The status line port is 0: there is no physical port.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "ktx_link.h"
#include "link_ops.h"
#include "link_settings.h"
#include "sim_instrument.h"

namespace ktx::linklib {

namespace {

// Carries bytes to and from a SimInstrument and plays the carrier's faults: a delay before
// each answer and a dropped connection after a number of answer bytes.
class SimStream final : public ByteStream {
  public:
    SimStream(sim::SimConfig config, const sim::FaultSwitches& faults) : m_instrument(config) {
        m_instrument.Faults() = faults;
        m_dropSetting = faults.dropAfterBytes;
    }

    std::ptrdiff_t Send(std::string_view bytes, Clock::time_point /*deadline*/) override {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_dropped) {
            return -1;
        }
        const bool hadOutput = m_instrument.OutputAvailable() > 0;
        m_instrument.Receive(bytes);
        NoteNewOutput(hadOutput);
        return static_cast<std::ptrdiff_t>(bytes.size());
    }

    std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) override {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_closed || m_dropped) {
                return -1;
            }
            const Clock::time_point now = Clock::now();
            if (m_instrument.OutputAvailable() > 0 && now >= m_readyAt) {
                return Take(buffer, size);
            }
            if (now >= deadline) {
                return 0;
            }
            // Nothing will appear by itself (the instrument only answers what is sent), so
            // sleep until the answer is due, the deadline passes or the link is closed.
            const bool pending = m_instrument.OutputAvailable() > 0;
            m_wake.wait_until(lock, pending ? std::min(m_readyAt, deadline) : deadline);
        }
    }

    void Drain(std::string& out) override {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_dropped || Clock::now() < m_readyAt) {
            return;
        }
        std::string bytes(m_instrument.OutputAvailable(), '\0');
        if (!bytes.empty()) {
            bytes.resize(static_cast<std::size_t>(Take(bytes.data(), bytes.size())));
            out += bytes;
        }
    }

    bool EndOfMessage(Clock::time_point /*deadline*/) override {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_dropped) {
            return false;
        }
        const bool hadOutput = m_instrument.OutputAvailable() > 0;
        m_instrument.EndOfMessage();
        NoteNewOutput(hadOutput);
        return true;
    }

    // The simulated instrument knows device clear like a GPIB instrument: it drops its unread
    // output, late answers included, and any half-received command.
    bool ClearDevice(Clock::time_point /*deadline*/) override {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_dropped) {
            return false;
        }
        m_instrument.DeviceClear();
        return true;
    }

    bool Close() override {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_wake.notify_all();
        return true;
    }

  private:
    void NoteNewOutput(bool hadOutput) {
        if (!hadOutput && m_instrument.OutputAvailable() > 0) {
            m_readyAt = Clock::now() + std::chrono::milliseconds(m_instrument.Faults().delayMs);
        }
    }

    // Hands out answer bytes, at most up to the drop point; -1 once the drop point is reached.
    std::ptrdiff_t Take(char* buffer, std::size_t size) {
        const std::int64_t dropAfter = m_instrument.Faults().dropAfterBytes;
        // The count starts when the switch is set ("KTXSIM:DROP n" drops n bytes from then).
        if (dropAfter != m_dropSetting) {
            m_dropSetting = dropAfter;
            m_passed = 0;
        }
        if (dropAfter >= 0) {
            if (m_passed >= dropAfter) {
                m_dropped = true;
                return -1;
            }
            size = std::min<std::size_t>(size, static_cast<std::size_t>(dropAfter - m_passed));
        }
        const std::string bytes = m_instrument.TakeOutput(size);
        std::copy(bytes.begin(), bytes.end(), buffer);
        m_passed += static_cast<std::int64_t>(bytes.size());
        return static_cast<std::ptrdiff_t>(bytes.size());
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    sim::SimInstrument m_instrument;
    Clock::time_point m_readyAt{};
    std::int64_t m_passed = 0;
    std::int64_t m_dropSetting = -1;
    bool m_closed = false;
    bool m_dropped = false;
};

std::unique_ptr<ByteStream> OpenSim(const char* configPath, bool /*askUser*/, std::int32_t* port,
                                    LinkStatus& failure) {
    const LinkSettings settings(configPath, "SIM");
    settings.WriteDefaultsIfMissing({{"MODEL", ""},
                                     {"TYPE", "1"},
                                     {"SEED", "1"},
                                     {"RECORDLENGTH", "2500"},
                                     {"SILENT", "0"},
                                     {"GARBAGE", "0"},
                                     {"TRUNCATE", "0"},
                                     {"DROPAFTER", "-1"},
                                     {"DELAY", "0"}});
    sim::SimConfig config;
    config.model = settings.Text("MODEL", "");
    config.deviceType = static_cast<int>(settings.Integer("TYPE", 1));
    config.seed = static_cast<std::uint64_t>(settings.Integer("SEED", 1));
    const long length = settings.Integer("RECORDLENGTH", 2500);
    if (length < 1 || length > 10'000'000) {
        std::fprintf(stderr, "ktx_sim: [SIM] RECORDLENGTH %ld is out of range 1 ... 10000000\n",
                     length);
        failure = {KTX_LINK_E_SETTINGS, 0, 0};
        return nullptr;
    }
    config.recordLength = length;
    sim::FaultSwitches faults;
    faults.silent = settings.Integer("SILENT", 0) != 0;
    faults.garbage = settings.Integer("GARBAGE", 0) != 0;
    faults.truncateBlock = settings.Integer("TRUNCATE", 0) != 0;
    faults.dropAfterBytes = settings.Integer("DROPAFTER", -1);
    faults.delayMs = static_cast<int>(std::clamp(settings.Integer("DELAY", 0), 0L, 600'000L));
    *port = 0;
    return std::make_unique<SimStream>(std::move(config), faults);
}

}  // namespace

}  // namespace ktx::linklib

extern "C" KTX_LINK_EXPORT const KtxLinkOps* ktx_link_ops(void) {
    return ktx::linklib::LinkOpsFor(&ktx::linklib::OpenSim);
}

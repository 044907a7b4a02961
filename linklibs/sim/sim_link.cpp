// SPDX-License-Identifier: GPL-3.0-or-later
// ktx_sim.so: the simulated instrument in-process. It plays the instrument selected in the
// program and follows a new selection without being reopened (SimSelection says how it finds
// it). Settings in [SIM] of the configuration file: TYPE (device family) and MODEL override the
// selection; SEED, RECORDLENGTH and the fault switches SILENT, GARBAGE, TRUNCATE (0/1),
// DROPAFTER (answer bytes before the "connection" drops, -1 never), DELAY (ms each answer is
// held) and DRIP (ms between answer bytes). The status line port is 0: there is no physical
// port.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "answer_queue.h"
#include "ktx_link.h"
#include "link_ops.h"
#include "link_settings.h"
#include "sim_instrument.h"
#include "sim_selection.h"

namespace ktx::linklib {

namespace {

// Carries bytes to and from a SimInstrument; the answers travel through an AnswerQueue, which
// plays the carrier faults (delay, drip, drop).
class SimStream final : public ByteStream {
  public:
    SimStream(sim::SimConfig config, const sim::FaultSwitches& faults, SimSelection selection)
        : m_instrument(std::move(config), faults),
          m_answers(m_instrument.Faults()),
          m_selection(std::move(selection)) {}

    std::ptrdiff_t Send(std::string_view bytes, Clock::time_point /*deadline*/) override {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_dropped) {
            return -1;
        }
        FollowSelection();
        m_instrument.Receive(bytes);
        Collect();
        return static_cast<std::ptrdiff_t>(bytes.size());
    }

    std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) override {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_closed || m_dropped) {
                return -1;
            }
            const Clock::time_point now = Clock::now();
            const std::string_view due = m_answers.Due(now);
            if (!due.empty()) {
                const std::size_t n = std::min(size, due.size());
                std::copy_n(due.data(), n, buffer);
                m_answers.Consumed(n, now);
                return static_cast<std::ptrdiff_t>(n);
            }
            if (m_answers.Dropped()) {
                m_dropped = true;
                return -1;
            }
            if (now >= deadline) {
                return 0;
            }
            // Nothing appears by itself (the instrument only answers what is sent), so sleep
            // until the next byte is due, the deadline passes or the link is closed.
            const auto next = m_answers.NextDue();
            m_wake.wait_until(lock, next ? std::min(*next, deadline) : deadline);
        }
    }

    void Drain(std::string& out) override {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_dropped) {
            return;
        }
        const Clock::time_point now = Clock::now();
        for (std::size_t taken = 0; taken < kMaxDrainBytes;) {
            const std::string_view due = m_answers.Due(now);
            if (due.empty()) {
                break;
            }
            const std::size_t n = std::min(due.size(), kMaxDrainBytes - taken);
            out.append(due.data(), n);
            m_answers.Consumed(n, now);
            taken += n;
        }
    }

    bool EndOfMessage(Clock::time_point /*deadline*/) override {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_dropped) {
            return false;
        }
        m_instrument.EndOfMessage();
        Collect();
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
        m_answers.Clear();  // answers held back by the delay switch are output too
        return true;
    }

    bool Close() override {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_wake.notify_all();
        return true;
    }

  private:
    // Between messages the user may have selected another instrument.
    void FollowSelection() {
        if (!m_instrument.AtMessageStart() || !m_selection.Refresh()) {
            return;
        }
        sim::SimConfig config = m_instrument.Config();
        config.deviceType = m_selection.Identity().deviceType;
        config.model = m_selection.Identity().model;
        m_instrument.Replace(std::move(config));
    }

    void Collect() {
        const Clock::time_point now = Clock::now();
        m_answers.Push(m_instrument.TakeOutput(), now);
        for (auto& [ms, bytes] : m_instrument.TakeLater()) {
            m_answers.Push(std::move(bytes), now + std::chrono::milliseconds(ms));
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    sim::SimInstrument m_instrument;
    sim::AnswerQueue m_answers;
    SimSelection m_selection;
    bool m_closed = false;
    bool m_dropped = false;
};

std::unique_ptr<ByteStream> OpenSim(const char* configPath, bool /*askUser*/, std::int32_t* port,
                                    LinkStatus& failure) {
    const LinkSettings settings(configPath, "SIM");
    SimSelection selection(configPath);
    // The keys a user may want to edit, written once into kurvitex.ini; never into an
    // instrument definition file, and never TYPE or MODEL: written, they could not be told
    // from a choice the user made.
    if (!selection.HandedDefinitionFile()) {
        LinkSettings::Defaults defaults = {{"SEED", "1"}, {"RECORDLENGTH", "2500"}};
        const sim::FaultSwitches none;
        for (const sim::FaultSwitchName& name : sim::FaultSwitchNames()) {
            defaults.emplace_back(name.key,
                                  std::to_string(sim::FaultSwitchValue(none, name.which)));
        }
        settings.WriteDefaultsIfMissing(defaults);
    }
    selection.Refresh();
    sim::SimConfig config;
    config.deviceType = selection.Identity().deviceType;
    config.model = selection.Identity().model;
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
    for (const sim::FaultSwitchName& name : sim::FaultSwitchNames()) {
        if (settings.Has(name.key)) {
            sim::SetFaultSwitch(
                faults, name.which,
                settings.Integer(name.key, sim::FaultSwitchValue(faults, name.which)));
        }
    }
    *port = 0;
    return std::make_unique<SimStream>(std::move(config), faults, std::move(selection));
}

}  // namespace

}  // namespace ktx::linklib

extern "C" KTX_LINK_EXPORT const KtxLinkOps* ktx_link_ops(void) {
    return ktx::linklib::LinkOpsFor(&ktx::linklib::OpenSim);
}

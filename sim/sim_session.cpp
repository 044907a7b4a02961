// SPDX-License-Identifier: GPL-3.0-or-later
// Framing, whole-message execution and output of one connection.
#include "sim_session.h"

#include <algorithm>
#include <utility>

namespace ktx::sim {

SimSession::SimSession(InstrumentState& instrument, const FaultSwitches& faults)
    : m_instrument(instrument) {
    m_connection.faults = faults;
}

void SimSession::Take(std::vector<ScannedUnit>& units) {
    for (ScannedUnit& unit : units) {
        m_pendingBytes += unit.text.size();
        const bool ends = unit.endOfMessage;
        m_pending.push_back(std::move(unit));
        if (ends || m_pendingBytes > kMaxPendingBytes) {
            m_instrument.Run(m_connection, m_pending);
            m_pending.clear();
            m_pendingBytes = 0;
        }
    }
}

void SimSession::Receive(std::string_view bytes) {
    std::vector<ScannedUnit> units;
    m_scanner.Feed(bytes, units);
    Take(units);
}

void SimSession::EndOfMessage() {
    std::vector<ScannedUnit> units;
    m_scanner.EndOfMessage(units);
    Take(units);
}

std::string SimSession::TakeOutput(std::size_t max) {
    std::string& output = m_connection.output;
    std::size_t& position = m_connection.outputPos;
    const std::size_t n = std::min(max, OutputAvailable());
    if (position == 0 && n == output.size()) {
        std::string all = std::move(output);
        output.clear();
        return all;
    }
    std::string out = output.substr(position, n);
    position += n;
    if (position == output.size()) {
        output.clear();
        position = 0;
    } else if (position > (std::size_t{1} << 20) && position > output.size() / 2) {
        output.erase(0, position);  // keep a reader taking small pieces linear
        position = 0;
    }
    return out;
}

std::vector<std::pair<int, std::string>> SimSession::TakeLater() {
    return std::exchange(m_connection.later, {});
}

std::size_t SimSession::OutputAvailable() const {
    return m_connection.output.size() - m_connection.outputPos;
}

void SimSession::DeviceClear() {
    m_scanner.Reset();
    m_pending.clear();
    m_pendingBytes = 0;
    m_connection.path.clear();
    m_connection.answerParts.clear();
    m_connection.answerBytes = 0;
    m_connection.answerOverflow = false;
    m_connection.output.clear();
    m_connection.outputPos = 0;
    m_connection.later.clear();
}

bool SimSession::AtMessageStart() const {
    return m_scanner.Idle() && m_pending.empty();
}

}  // namespace ktx::sim

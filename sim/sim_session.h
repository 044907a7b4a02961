// SPDX-License-Identifier: GPL-3.0-or-later
// One host's connection to a simulated instrument that may have several (the ktx-sim server
// serves each TCP client through one of these): its own framing of the byte stream, its own
// ";" path, answers, output and fault switches, while settings, waveforms and files belong to
// the shared InstrumentState.
//
// A message runs as a whole once its line feed (or the carrier's end of message) has arrived,
// so the commands of two connections never interleave inside a message. Only a message of more
// than kMaxPendingBytes of commands before its end runs in parts.
//
// Not thread-safe: the owner of the instrument drives all its sessions from one thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "command_scanner.h"
#include "instrument_state.h"

namespace ktx::sim {

class SimSession {
  public:
    // The instrument is borrowed and must outlive the session.
    SimSession(InstrumentState& instrument, const FaultSwitches& faults);
    SimSession(const SimSession&) = delete;
    SimSession& operator=(const SimSession&) = delete;

    void Receive(std::string_view bytes);
    void EndOfMessage();
    std::string TakeOutput(std::size_t max = static_cast<std::size_t>(-1));
    std::size_t OutputAvailable() const;
    // Answer bytes to be held back: {milliseconds after the output taken with them, bytes}.
    std::vector<std::pair<int, std::string>> TakeLater();
    // Drops this connection's pending output and half-received message; others keep theirs.
    void DeviceClear();
    bool AtMessageStart() const;

    FaultSwitches& Faults() { return m_connection.faults; }

    static constexpr std::size_t kMaxPendingBytes = std::size_t{1} << 20;

  private:
    void Take(std::vector<ScannedUnit>& units);

    InstrumentState& m_instrument;
    CommandScanner m_scanner;
    std::vector<ScannedUnit> m_pending;  // complete commands of a message not ended yet
    std::size_t m_pendingBytes = 0;
    ConnectionState m_connection;
};

}  // namespace ktx::sim

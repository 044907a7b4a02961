// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument: keeps instrument state and answers the command language the way the
// real instruments of each device family do. It knows nothing of transports: bytes from the
// host go in through Receive(), bytes for the host come out of TakeOutput(). The in-process
// interface library and the ktx-sim server (TCP, pseudo-terminal) both drive one of these.
//
// Not thread-safe: one owner drives it from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ktx::sim {

struct SimConfig {
    int deviceType = 1;                // device family: 1, 2, 9, 10, 12, 14, 19, 20 or 30
    std::string model;                 // identification model text; empty = the family's default
    std::uint64_t seed = 1;            // noise is deterministic for a given seed
    std::int64_t recordLength = 2500;  // points per channel, up to 10 000 000
};

// Faults the instrument itself produces. Transport faults (dropping the connection after N
// bytes, delaying every answer) belong to whoever carries the bytes; they are listed here so
// that every carrier takes them from one place.
struct FaultSwitches {
    bool silent = false;               // accept commands, never answer
    bool garbage = false;              // answer queries with bytes that are no valid answer
    bool truncateBlock = false;        // binary blocks carry fewer bytes than announced
    std::int64_t dropAfterBytes = -1;  // carrier: close after this many answer bytes (-1: never)
    int delayMs = 0;                   // carrier: wait this long before passing on each answer
};

class SimInstrument {
  public:
    explicit SimInstrument(SimConfig config);
    ~SimInstrument();
    SimInstrument(const SimInstrument&) = delete;
    SimInstrument& operator=(const SimInstrument&) = delete;

    // Bytes from the host, split anywhere. Commands end with a line feed (a carriage return
    // before it is ignored); several may share a line, separated by ";". Binary blocks inside
    // a command ("CURVE #<d><len><bytes>") are taken by their length, whatever bytes they hold.
    void Receive(std::string_view bytes);
    // The end of one host message where the carrier knows it (GPIB EOI, the end of a file sent
    // by the in-process library): a pending command without a line feed is complete now.
    void EndOfMessage();

    // Answer bytes produced so far, at most `max`; removed from the output.
    std::string TakeOutput(std::size_t max = static_cast<std::size_t>(-1));
    std::size_t OutputAvailable() const;
    // Device clear: drops pending output and any half-received command.
    void DeviceClear();

    FaultSwitches& Faults();
    const SimConfig& Config() const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace ktx::sim

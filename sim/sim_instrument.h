// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument with one host on its line: keeps instrument state and answers the
// command language the way the real instruments of each device family do. It knows nothing of
// transports: bytes from the host go in through Receive(), bytes for the host come out of
// TakeOutput(). The in-process interface library drives one of these; the ktx-sim server puts
// several hosts on one instrument through SimSession (sim_session.h).
//
// Not thread-safe: one owner drives it from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fault_switches.h"

namespace ktx::sim {

struct SimConfig {
    int deviceType = 1;                // device family: 1, 2, 9, 10, 12, 14, 19, 20 or 30
    std::string model;                 // identification model text; empty = the family's default
    std::uint64_t seed = 1;            // noise is deterministic for a given seed
    std::int64_t recordLength = 2500;  // points per channel, up to 10 000 000
};

class SimInstrument {
  public:
    explicit SimInstrument(SimConfig config, const FaultSwitches& faults = {});
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
    // Answer bytes the carrier holds back: {milliseconds after the output taken before, bytes}
    // (a pause inside a screen picture, a hard copy the user starts on the instrument later).
    std::vector<std::pair<int, std::string>> TakeLater();
    // Device clear: drops pending output and any half-received command.
    void DeviceClear();
    // True between host messages: nothing of the next one has arrived yet.
    bool AtMessageStart() const;

    // Another instrument on the line (the user selected another model): the family and model
    // of `config`, in its power-on state. The host's fault switches stay.
    void Replace(SimConfig config);

    FaultSwitches& Faults();
    const SimConfig& Config() const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace ktx::sim

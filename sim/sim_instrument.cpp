// SPDX-License-Identifier: GPL-3.0-or-later
// SimInstrument: the public face of the simulated instrument; the work is in InstrumentState.
#include "sim_instrument.h"

#include "instrument_state.h"

namespace ktx::sim {

struct SimInstrument::State {
    explicit State(SimConfig config) : instrument(std::move(config)) {}
    InstrumentState instrument;
};

SimInstrument::SimInstrument(SimConfig config)
    : m_state(std::make_unique<State>(std::move(config))) {}

SimInstrument::~SimInstrument() = default;

void SimInstrument::Receive(std::string_view bytes) {
    m_state->instrument.Receive(bytes);
}

void SimInstrument::EndOfMessage() {
    m_state->instrument.EndOfMessage();
}

std::string SimInstrument::TakeOutput(std::size_t max) {
    return m_state->instrument.TakeOutput(max);
}

std::size_t SimInstrument::OutputAvailable() const {
    return m_state->instrument.OutputAvailable();
}

void SimInstrument::DeviceClear() {
    m_state->instrument.DeviceClear();
}

FaultSwitches& SimInstrument::Faults() {
    return m_state->instrument.faults;
}

const SimConfig& SimInstrument::Config() const {
    return m_state->instrument.config;
}

}  // namespace ktx::sim

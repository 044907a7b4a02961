// SPDX-License-Identifier: GPL-3.0-or-later
// SimInstrument: one InstrumentState with one SimSession on it.
#include "sim_instrument.h"

#include "instrument_state.h"
#include "sim_session.h"

namespace ktx::sim {

struct SimInstrument::State {
    State(SimConfig config, const FaultSwitches& faults)
        : instrument(std::move(config)), session(instrument, faults) {}
    InstrumentState instrument;
    SimSession session;
};

SimInstrument::SimInstrument(SimConfig config, const FaultSwitches& faults)
    : m_state(std::make_unique<State>(std::move(config), faults)) {}

SimInstrument::~SimInstrument() = default;

void SimInstrument::Receive(std::string_view bytes) {
    m_state->session.Receive(bytes);
}

void SimInstrument::EndOfMessage() {
    m_state->session.EndOfMessage();
}

std::vector<std::pair<int, std::string>> SimInstrument::TakeLater() {
    return m_state->session.TakeLater();
}

std::string SimInstrument::TakeOutput(std::size_t max) {
    return m_state->session.TakeOutput(max);
}

std::size_t SimInstrument::OutputAvailable() const {
    return m_state->session.OutputAvailable();
}

void SimInstrument::DeviceClear() {
    m_state->session.DeviceClear();
}

bool SimInstrument::AtMessageStart() const {
    return m_state->session.AtMessageStart();
}

void SimInstrument::Replace(SimConfig config) {
    m_state->instrument.Replace(std::move(config));
}

FaultSwitches& SimInstrument::Faults() {
    return m_state->session.Faults();
}

const SimConfig& SimInstrument::Config() const {
    return m_state->instrument.config;
}

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// Front-panel settings the simulated instrument keeps only to report them in its set-up ("SET?")
// and to answer their own queries: vertical channel settings, time base, trigger, display and
// the telecom mask. Every one of them is taken back when a set-up is sent, so "SET?" after
// sending a set-up answers what was sent. The waveform-relevant settings (data source,
// encoding, record length, ...) live in InstrumentState itself.
#pragma once

#include <string>
#include <vector>

namespace ktx::sim {

struct CommandEntry;
struct InstrumentState;

enum class PanelKind {
    Real,    // one real number, kept in NR3
    Choice,  // one of the mnemonics of `choices`, kept in its long form
    Quoted,  // a quoted string, kept with its double quotes (may hold ";" and ":")
    Points,  // pairs of reals "x,y,x,y,...", kept in NR3
};

struct PanelSetting {
    std::string parent;  // "CH1", "TRIGGER:A:EDGE" (long forms)
    std::string leaf;    // "SCALE"
    std::string value;   // as SET? reports it
};

// The power-on values, in the order "SET?" reports them.
std::vector<PanelSetting> DefaultPanelSettings();

// The settings as a set-up reports them: each parent opens a command path (":CH1:SCALE 1.0E0"),
// its other leaves follow with ";" relative to it; ";" also separates the paths. No ";" at
// either end.
std::string PanelSetupText(const std::vector<PanelSetting>& settings);

// Adds the panel settings' headers (setting and query) and KTXSIM:TELEcom to the command table.
void AppendPanelCommands(std::vector<CommandEntry>& table);

// What "*IDN?" adds for the application modules the connection's switches give the instrument
// (type 12 with the telecom switch: " TDS3TMT:v1.00"); empty otherwise.
std::string ModuleText(InstrumentState& state);

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// What differs between the simulated device families: identification texts and the
// presence checks the program uses for each ("*IDN?", "!V?" for type 20, "COMU?" for type 30).
#pragma once

#include <optional>
#include <string>

namespace ktx::sim {

// The family's default model text ("TDS 210" for type 1, ...).
std::string DefaultModel(int deviceType);

// The model an instrument answers with when its definition file names it `name` ([DEVICE]
// NAME): the family's default when the program's name check accepts that ("TDS_3012" needs
// "TDS" and "3012" in the answer, a name without "_" itself), else the name with its "_" as
// blanks, so an instrument the user added is recognised too. Empty or "NONAME": the default.
std::string ModelForName(int deviceType, const std::string& name);

// Which instrument the in-process simulator plays.
struct SimIdentity {
    int deviceType = 1;
    std::string model;  // empty: the family's default
};
// [SIM] TYPE and MODEL as the user wrote them in the configuration file (nothing: absent).
struct SimChoice {
    std::optional<long> type;
    std::string model;
};
// [DEVICE] TYPE and NAME of the instrument definition file the program has selected.
struct SelectedInstrument {
    int deviceType = 1;
    std::string name;
};
// The user's TYPE and MODEL win; otherwise the selected instrument is played. TYPE=1 without
// a MODEL is what older versions wrote into every kurvitex.ini as a default, so it does not
// count as a choice. Nothing selected and nothing chosen: family 1.
SimIdentity ChooseIdentity(const SimChoice& user,
                           const std::optional<SelectedInstrument>& selected);

// Answer to "*IDN?"; nothing for the families that ignore it (19, 20).
std::optional<std::string> IdentificationAnswer(int deviceType, const std::string& model);
// Answer to the older "ID?" query ("ID TEK/TDS 210,CF:91.1CT,FV:v1.16").
std::string LegacyIdAnswer(const std::string& model);
// Answer to "!V?" of the handheld family (type 20): the version text "THS3014 V1.05".
std::optional<std::string> HandheldVersionAnswer(int deviceType, const std::string& model);
// Answer to "COMU?" (type 30 only): the instrument reports its communication as "ON..".
std::optional<std::string> CommunicationAnswer(int deviceType);

// Families with a multimeter display ("DIS:MOD?").
bool HasMeterMode(int deviceType);

}  // namespace ktx::sim

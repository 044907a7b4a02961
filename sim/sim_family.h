// SPDX-License-Identifier: GPL-3.0-or-later
// What differs between the simulated device families: identification texts and the
// presence checks the program uses for each ("*IDN?", "!V?" for type 20, "COMU?" for type 30).
#pragma once

#include <optional>
#include <string>

namespace ktx::sim {

// The family's default model text ("TDS 210" for type 1, ...).
std::string DefaultModel(int deviceType);

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

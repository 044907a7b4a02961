// SPDX-License-Identifier: GPL-3.0-or-later
// Automatic measurements ("MEASUrement:MEAS1:TYPe FREQuency", "...:VALue?") computed from a
// record of the simulated instrument.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ktx::sim {

// The measurement types the simulated instruments offer, as mnemonics ("FREQuency", ...).
std::span<const std::string_view> MeasurementTypes();

// The value of measurement `type` (the upper-case long form of one of MeasurementTypes(),
// "FREQUENCY") over `volts`, points
// `xIncrement` seconds apart. Nothing when the record has no such value (no edge, too short):
// the instruments then answer 9.9E37.
std::optional<double> Measure(std::string_view type, std::span<const double> volts,
                              double xIncrement);

// Unit text of a measurement: "V", "s", "Hz" or "%".
std::string MeasurementUnit(std::string_view type);

}  // namespace ktx::sim

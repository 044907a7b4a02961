// SPDX-License-Identifier: GPL-3.0-or-later
// The multimeter of the handheld family (type 20), spoken to in its exclamation command set:
//   !T<ff>,<rr>   function ff (two digits, 01 ... 11) with range rr ("A" or "00": auto, else
//                 two digits); answers "T0", or "T1" for an argument it cannot take
//   !h00?         the 36-character status (layout below)
//   !M?, !U?      the main and the secondary reading: "M0;<value>", "U0;<value>"
// The function numbers are those of the THS3014's definition file ([MEASDMM] S1 ... S11).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "command_table.h"
#include "instrument_state.h"
#include "number_format.h"

namespace ktx::sim {

namespace {

using State = InstrumentState;

struct HandheldFunction {
    double main;       // reading in the main unit
    double secondary;  // reading in the secondary unit
    bool continuity;   // the continuity function (status "0D")
};

// What the probes see: a 1.5 V cell, CH1's 2.5 V sine at 1 kHz, 12.3 mA through a 1 kΩ
// resistor, 100 nF, room temperature; the continuity test finds the 1 kΩ open.
constexpr HandheldFunction kFunctions[] = {
    {1.5, 1.5, false},        // 01 V DC
    {1.7678, 1000.0, false},  // 02 V AC, Hz
    {0.0123, 0.0123, false},  // 03 A DC
    {0.0087, 50.0, false},    // 04 A AC, Hz
    {1000.0, 1000.0, false},  // 05 Ohm
    {1.0e-7, 1.0e-7, false},  // 06 F
    {23.5, 23.5, false},      // 07 °C
    {74.3, 74.3, false},      // 08 °F
    {1000.0, 1.7678, false},  // 09 Hz, V
    {1000.0, 1000.0, true},   // 10 continuity
    {0.62, 0.62, false},      // 11 diode
};
constexpr int kFunctionCount = static_cast<int>(std::size(kFunctions));

bool Handheld(State& s) {
    if (s.config.deviceType != 20) {
        s.Error(-113, "Undefined header");
        return false;
    }
    return true;
}

bool TwoDigits(const std::string& text) {
    return text.size() == 2 && text[0] >= '0' && text[0] <= '9' && text[1] >= '0' && text[1] <= '9';
}

void SelectFunction(State& s, const Call& call) {
    if (!Handheld(s)) {
        return;
    }
    if (call.arguments.size() != 2 || !TwoDigits(call.arguments[0])) {
        s.AnswerRaw("T1");
        return;
    }
    const int function = std::atoi(call.arguments[0].c_str());
    const std::string range = ToUpper(call.arguments[1]);
    if (function < 1 || function > kFunctionCount || (range != "A" && !TwoDigits(range))) {
        s.AnswerRaw("T1");
        return;
    }
    s.handheld.function = function;
    // Range 00 is the first entry of every range table: auto range.
    s.handheld.range = range == "00" ? "A" : range;
    s.AnswerRaw("T0");
}

// Positions counted from 1, as the program reads them: 24 the manual range's digit, 27-28 the
// status byte (hexadecimal; 2 main value over range, 8 secondary over range, 16 continuity
// closed), 29 "1" for auto range, 33-34 "0D" while the continuity function is on, 35-36 the
// function number (hexadecimal). Everything else is "0".
void Status(State& s, const Call&) {
    if (!Handheld(s)) {
        return;
    }
    std::string status(36, '0');
    status[0] = 'h';
    const bool autoRange = s.handheld.range == "A";
    status[23] = autoRange ? '0' : s.handheld.range.back();
    status[28] = autoRange ? '1' : '0';
    const HandheldFunction& function = kFunctions[s.handheld.function - 1];
    if (function.continuity) {
        status[32] = '0';
        status[33] = 'D';
    }
    char number[3];
    std::snprintf(number, sizeof number, "%02X", static_cast<unsigned>(s.handheld.function));
    status[34] = number[0];
    status[35] = number[1];
    s.AnswerRaw(status);
}

std::string Reading(const State& s, double value) {
    // A little noise that changes with every acquisition, four significant digits.
    const double wobble =
        std::sin(static_cast<double>(s.acquisition) * 1.3 + static_cast<double>(s.config.seed)) *
        1e-4;
    char rounded[32];
    std::snprintf(rounded, sizeof rounded, "%.3e", value * (1.0 + wobble));
    return FormatNr3(std::strtod(rounded, nullptr));
}

void MainValue(State& s, const Call&) {
    if (Handheld(s)) {
        s.AnswerRaw("M0;" + Reading(s, kFunctions[s.handheld.function - 1].main));
    }
}

void SecondaryValue(State& s, const Call&) {
    if (Handheld(s)) {
        s.AnswerRaw("U0;" + Reading(s, kFunctions[s.handheld.function - 1].secondary));
    }
}

}  // namespace

void AppendHandheldCommands(std::vector<CommandEntry>& table) {
    table.push_back({"!T", true, false, SelectFunction, {}});
    table.push_back({"!H", false, true, Status, {}});
    table.push_back({"!M", false, true, MainValue, {}});
    table.push_back({"!U", false, true, SecondaryValue, {}});
}

}  // namespace ktx::sim

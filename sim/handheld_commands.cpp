// SPDX-License-Identifier: GPL-3.0-or-later
// The multimeter of the handheld family (type 20), spoken to in its exclamation command set:
//   !T<ff>,<rr>   function ff (two digits, 01 ... 11) with range rr ("A" or "00": auto, else
//                 the two-digit code of the function's range table); answers "T0", or "T1"
//                 for an argument it cannot take
//   !h00?         the 36-character status (layout below)
//   !M?, !U?      the main and the secondary reading: "M0;<value>", "U0;<value>"
// The function numbers, units and range tables are those of the THS3014's definition file
// ([MEASDMM] S1 ... S11, V1 ... V11, [RANGE<main unit>]); a test holds the two together.
// Readings drift with the instrument's clock; a manual range smaller than the reading reads
// over range (status bit 2, the value 9.9E37), as does the open continuity probe.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <vector>

#include "command_table.h"
#include "instrument_state.h"
#include "number_format.h"
#include "reading_drift.h"

namespace ktx::sim {

namespace {

using State = InstrumentState;

struct HandheldFunction {
    double main;        // reading in the main unit
    double secondary;   // reading in the secondary unit
    int rangeTable;     // index into kRangeTables; -1: no range table (auto range only)
    bool sameQuantity;  // the secondary value is the main quantity again (shares its range)
    bool continuity;    // the continuity function (status "0D")
};

// Full scale of range codes 01, 02, ... of each range table ([RANGEV], [RANGEA], ...); code
// 00 is auto range in every table. The temperature tables hold only 00.
struct RangeTable {
    const char* unit;
    std::vector<double> fullScale;
};
const RangeTable kRangeTables[] = {
    {"V", {0.4, 4.0, 40.0, 400.0, 600.0}},
    {"A", {0.4, 10.0}},
    {"OHM", {400.0, 4e3, 40e3, 400e3, 4e6, 40e6}},
    {"F", {5e-9, 50e-9, 500e-9, 5e-6, 50e-6}},
    {"\xB0"
     "C",
     {}},
    {"\xB0"
     "F",
     {}},
    {"HZ", {10e3, 100e3, 1e6}},
};

// What the probes see: a 1.5 V cell, CH1's 2.5 V sine at 1 kHz, 12.3 mA through a 1 kΩ
// resistor, 100 nF, room temperature; the continuity probe closes now and then.
const HandheldFunction kFunctions[] = {
    {1.5, 1.5, 0, true, false},         // 01 V DC
    {1.7678, 1000.0, 0, false, false},  // 02 V AC, Hz
    {0.0123, 0.0123, 1, true, false},   // 03 A DC
    {0.0087, 50.0, 1, false, false},    // 04 A AC, Hz
    {1000.0, 1000.0, 2, true, false},   // 05 Ohm
    {1.0e-7, 1.0e-7, 3, true, false},   // 06 F
    {23.5, 23.5, 4, true, false},       // 07 °C
    {74.3, 74.3, 5, true, false},       // 08 °F
    {1000.0, 1.7678, 6, false, false},  // 09 Hz, V
    {0.5, 0.5, -1, true, true},         // 10 continuity
    {0.62, 0.62, -1, true, false},      // 11 diode
};
constexpr int kFunctionCount = static_cast<int>(std::size(kFunctions));
constexpr double kOverRange = 9.9e37;

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

// The range code's number: 0 auto range, 1 ... the table's size a manual range; nothing for
// a code the function's table does not have.
std::optional<int> RangeNumber(const HandheldFunction& function, const std::string& code) {
    if (code == "A" || code == "00") {
        return 0;
    }
    if (!TwoDigits(code) || function.rangeTable < 0) {
        return std::nullopt;
    }
    const int number = std::atoi(code.c_str());
    const auto& table = kRangeTables[function.rangeTable].fullScale;
    if (number < 1 || number > static_cast<int>(table.size())) {
        return std::nullopt;
    }
    return number;
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
    if (function < 1 || function > kFunctionCount ||
        !RangeNumber(kFunctions[function - 1], range)) {
        s.AnswerRaw("T1");
        return;
    }
    s.handheld.function = function;
    // Range 00 is the first entry of every range table: auto range.
    s.handheld.range = range == "00" ? "A" : range;
    s.AnswerRaw("T0");
}

struct Readings {
    double main;
    double secondary;
    bool mainOver;
    bool secondaryOver;
    bool closed;  // continuity
};

Readings Read(const State& s) {
    const HandheldFunction& function = kFunctions[s.handheld.function - 1];
    const double t = s.ElapsedSeconds();
    Readings r{function.main * ReadingDrift(s.config.seed, 0, t),
               function.secondary * ReadingDrift(s.config.seed, 1, t), false, false, false};
    if (function.continuity) {
        r.closed = ContinuityClosed(s.config.seed, t);
        r.main = r.secondary = 0.5;  // the closed contact, not drifting
        r.mainOver = r.secondaryOver = !r.closed;
        return r;
    }
    const int range = RangeNumber(function, s.handheld.range).value_or(0);
    if (range > 0) {
        const double fullScale = kRangeTables[function.rangeTable].fullScale[range - 1];
        r.mainOver = std::fabs(r.main) > fullScale;
        r.secondaryOver = function.sameQuantity && std::fabs(r.secondary) > fullScale;
    }
    return r;
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
    const Readings r = Read(s);
    const unsigned statusByte =
        (r.mainOver ? 2u : 0u) | (r.secondaryOver ? 8u : 0u) | (r.closed ? 16u : 0u);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", statusByte);
    status[26] = hex[0];
    status[27] = hex[1];
    if (function.continuity) {
        status[32] = '0';
        status[33] = 'D';
    }
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(s.handheld.function));
    status[34] = hex[0];
    status[35] = hex[1];
    s.AnswerRaw(status);
}

std::string Reading(double value, bool over) {
    if (over) {
        return "9.9E37";
    }
    // Four significant digits, as the display shows them.
    char rounded[32];
    std::snprintf(rounded, sizeof rounded, "%.3e", value);
    return FormatNr3(std::strtod(rounded, nullptr));
}

void MainValue(State& s, const Call&) {
    if (Handheld(s)) {
        const Readings r = Read(s);
        s.AnswerRaw("M0;" + Reading(r.main, r.mainOver));
    }
}

void SecondaryValue(State& s, const Call&) {
    if (Handheld(s)) {
        const Readings r = Read(s);
        s.AnswerRaw("U0;" + Reading(r.secondary, r.secondaryOver));
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

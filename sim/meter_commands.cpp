// SPDX-License-Identifier: GPL-3.0-or-later
// The multimeter of the type-9 family (a scope with a built-in multimeter): "DMM:FUNC",
// "DMM:RANGE", "DMM:HOLD", "DMM:LOGG", "DMM:MEASU" and "DMM:VAL?". Other families do not
// know these headers.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "command_table.h"
#include "instrument_state.h"
#include "number_format.h"
#include "reading_drift.h"
#include "sim_family.h"

namespace ktx::sim {

namespace {

using State = InstrumentState;

// Function codes the simulated meter offers, as mnemonics: the definition files use the short
// form "CONT". Ranges are kept per function as given.
constexpr const char* kFunctions = "ACV|DCV|OHMS|DIODe|CONTinuity";

bool MeterPresent(State& s) {
    if (!HasMeterMode(s.config.deviceType)) {
        s.Error(-113, "Undefined header");
        return false;
    }
    return true;
}

std::string Argument(const Call& call) {
    return call.arguments.empty() ? std::string() : ToUpper(call.arguments.front());
}

std::optional<bool> OnOff(const std::string& text) {
    if (text == "ON" || text == "1") {
        return true;
    }
    if (text == "OFF" || text == "0") {
        return false;
    }
    return std::nullopt;
}

void Function(State& s, const Call& call) {
    if (!MeterPresent(s)) {
        return;
    }
    if (call.command.query) {
        s.Answer(call, s.verbose ? LongForm(s.meter.function) : ShortForm(s.meter.function));
        return;
    }
    const std::string function = Argument(call);
    std::string_view known = kFunctions;
    while (!known.empty()) {
        const std::size_t bar = known.find('|');
        const std::string_view mnemonic = known.substr(0, bar);
        if (MatchesMnemonic(mnemonic, function)) {
            s.meter.function = std::string(mnemonic);
            return;
        }
        known = bar == std::string_view::npos ? std::string_view() : known.substr(bar + 1);
    }
    s.Error(-224, "Illegal parameter value");
}

// Answers "ON"/"OFF" rather than 1/0: the program looks for "OFF" in the answer.
void AutoRange(State& s, const Call& call) {
    if (!MeterPresent(s)) {
        return;
    }
    if (call.command.query) {
        s.Answer(call, s.meter.autoRange ? "ON" : "OFF");
    } else if (const auto on = OnOff(Argument(call))) {
        s.meter.autoRange = *on;
    } else {
        s.Error(-224, "Illegal parameter value");
    }
}

void Range(State& s, const Call& call) {
    if (!MeterPresent(s)) {
        return;
    }
    const std::string& function = call.components[2];
    if (call.command.query) {
        const auto range = s.meter.ranges.find(function);
        s.Answer(call, range == s.meter.ranges.end() ? "AUTO" : range->second);
        return;
    }
    if (call.arguments.empty()) {
        s.Error(-224, "Illegal parameter value");
        return;
    }
    s.meter.ranges[function] = Argument(call);
    s.meter.autoRange = false;  // choosing a range ends auto ranging, as on the instrument
}

void Hold(State& s, const Call& call) {
    if (!MeterPresent(s)) {
        return;
    }
    if (call.command.query) {
        s.Answer(call, s.meter.hold ? "ON" : "OFF");
    } else if (const auto on = OnOff(Argument(call))) {
        s.meter.hold = *on;
    } else {
        s.Error(-224, "Illegal parameter value");
    }
}

void LoggingSeconds(State& s, const Call& call) {
    if (!MeterPresent(s)) {
        return;
    }
    if (call.command.query) {
        s.Answer(call, s.meter.loggingSeconds);
    } else if (!call.arguments.empty()) {
        s.meter.loggingSeconds = Argument(call);
    }
}

void LoggingMode(State& s, const Call& call) {
    if (!MeterPresent(s)) {
        return;
    }
    if (call.command.query) {
        s.Answer(call, s.meter.loggingMode);
        return;
    }
    const std::string mode = Argument(call);
    if (MatchesMnemonic("SAMple", mode)) {
        s.meter.loggingMode = "SAMPLE";
    } else if (MatchesMnemonic("PEAKdetect", mode)) {
        s.meter.loggingMode = "PEAKDETECT";
    } else if (MatchesMnemonic("AVErage", mode)) {
        s.meter.loggingMode = "AVERAGE";
    } else {
        s.Error(-224, "Illegal parameter value");
    }
}

void MeasurementStateOf(State& s, const Call& call) {
    if (!MeterPresent(s)) {
        return;
    }
    bool& on = s.meter.measurementOn[call.chosen[2]];
    if (call.command.query) {
        s.Answer(call, on ? "1" : "0");
    } else if (const auto value = OnOff(Argument(call))) {
        on = *value;
    } else {
        s.Error(-224, "Illegal parameter value");
    }
}

void MeasurementTypeOf(State& s, const Call& call) {
    if (!MeterPresent(s)) {
        return;
    }
    std::string& type = s.meter.measurementType[call.chosen[2]];
    if (call.command.query) {
        s.Answer(call, type.empty() ? "NONE" : type);
    } else if (!call.arguments.empty()) {
        type = Argument(call);
    }
}

// The meter's reading: ACV the true RMS of CH1's sine, DCV a 1.5 V cell, OHMS a 1 kΩ
// resistor, each drifting slowly with the instrument's clock; CONTinuity reads 0.5 Ω while the
// probe's contact is closed and over range (9.9E37) while it is open; DIODe reads over range,
// as an open input does. A manual range ("DMM:RANGE:DCV 400E-3": the code is the full scale)
// smaller than the reading reads over range too.
void Value(State& s, const Call& call) {
    if (!MeterPresent(s)) {
        return;
    }
    const double t = s.ElapsedSeconds();
    const double drift = ReadingDrift(s.config.seed, 0, t);
    const std::string function = LongForm(s.meter.function);
    double value = 9.9e37;
    if (function == "ACV") {
        value = 2.5 / std::sqrt(2.0) * drift;
    } else if (function == "DCV") {
        value = 1.5 * drift;
    } else if (function == "OHMS") {
        value = 1000.0 * drift;
    } else if (function == "CONTINUITY" && ContinuityClosed(s.config.seed, t)) {
        value = 0.5;
    }
    const auto range = s.meter.ranges.find(function);
    if (!s.meter.autoRange && range != s.meter.ranges.end()) {
        char* end = nullptr;
        const double fullScale = std::strtod(range->second.c_str(), &end);
        if (end != range->second.c_str() && fullScale > 0.0 && std::fabs(value) > fullScale) {
            value = 9.9e37;
        }
    }
    if (s.TakeInvalidResult()) {
        value = 9.9e37;
    }
    char rounded[32];
    std::snprintf(rounded, sizeof rounded, "%.4e", value);
    s.Answer(call, value >= 9.9e37 ? "9.9E37" : FormatNr3(std::strtod(rounded, nullptr)));
}

}  // namespace

void AppendMeterCommands(std::vector<CommandEntry>& table) {
    static const std::string kRange = std::string("DMM:RANGE:") + kFunctions;
    table.push_back({"DMM:FUNCtion", true, true, Function, {}});
    table.push_back({"DMM:RANGE:AUTO", true, true, AutoRange, {}});
    table.push_back({kRange.c_str(), true, true, Range, {}});
    table.push_back({"DMM:HOLD", true, true, Hold, {}});
    table.push_back({"DMM:LOGGing:SECDiv", true, true, LoggingSeconds, {}});
    table.push_back({"DMM:LOGGing:MODe", true, true, LoggingMode, {}});
    table.push_back(
        {"DMM:MEASUrement:MEAS1|MEAS2|MEAS3|MEAS4:STATE", true, true, MeasurementStateOf, {}});
    table.push_back(
        {"DMM:MEASUrement:MEAS1|MEAS2|MEAS3|MEAS4:TYPe", true, true, MeasurementTypeOf, {}});
    table.push_back({"DMM:VALue", false, true, Value, {}});
}

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// The front-panel settings of the set-up and the telecom module switch:
//   CH<n>:SCAle ..., HORizontal:SCAle ..., TRIGger:A:..., DISplay:..., MASK:...   set and query
//   KTXSIM:TELEcom ON|OFF|1|0   type 12 names the telecom mask application in "*IDN?" (this
//                               connection only, like the fault switches)
#include <cstdlib>
#include <deque>
#include <optional>

#include "command_header.h"
#include "command_table.h"
#include "instrument_state.h"
#include "number_format.h"
#include "panel_settings.h"

namespace ktx::sim {

namespace {

struct PanelKnob {
    const char* parent;  // header pattern form ("TRIGger:A:EDGE"); "CH" expands to CH1..CH4
    const char* leaf;
    PanelKind kind;
    const char* choices;  // Choice: the mnemonics, "|" between them
    const char* value;    // power-on value, normalised like a received one
};

// The pulse mask of a 2048 kbit/s interface: time (s), amplitude (relative) of its corners.
constexpr const char* kMaskUpper =
    "-2.69E-7,0,-2.44E-7,0,-2.44E-7,1.0E-1,-2.2E-7,5.0E-1,-2.0E-7,9.0E-1,-1.94E-7,1.2E0,"
    "-1.8E-7,1.2E0,-1.6E-7,1.2E0,-1.4E-7,1.2E0,-1.2E-7,1.2E0,-1.0E-7,1.2E0,-8.0E-8,1.2E0,"
    "-6.0E-8,1.2E0,-4.0E-8,1.2E0,-2.0E-8,1.2E0,0,1.2E0,2.0E-8,1.2E0,4.0E-8,1.2E0,6.0E-8,1.2E0,"
    "8.0E-8,1.2E0,1.0E-7,1.2E0,1.2E-7,1.2E0,1.4E-7,1.2E0,1.6E-7,1.2E0,1.8E-7,1.2E0,"
    "1.94E-7,1.2E0,2.0E-7,9.0E-1,2.2E-7,5.0E-1,2.44E-7,1.0E-1,2.69E-7,1.0E-1,3.5E-7,1.0E-1,"
    "4.0E-7,1.0E-1,4.5E-7,1.0E-1,4.88E-7,1.0E-1,5.0E-7,0";
constexpr const char* kMaskLower =
    "-2.69E-7,-1.0E-1,-1.5E-7,-1.0E-1,-1.5E-7,5.0E-1,-1.2E-7,8.0E-1,-1.0E-7,8.0E-1,"
    "1.0E-7,8.0E-1,1.2E-7,8.0E-1,1.5E-7,5.0E-1,1.5E-7,-1.0E-1,2.69E-7,-2.0E-1,5.0E-7,-2.0E-1";

constexpr PanelKnob kKnobs[] = {
    {"CH", "SCAle", PanelKind::Real, "", "1.0E0"},
    {"CH", "POSition", PanelKind::Real, "", "0.0E0"},
    {"CH", "OFFSet", PanelKind::Real, "", "0.0E0"},
    {"CH", "COUPling", PanelKind::Choice, "AC|DC|GND", "DC"},
    {"CH", "BANdwidth", PanelKind::Choice, "TWEnty|ONEfifty|FULl", "FULL"},
    {"CH", "IMPedance", PanelKind::Choice, "FIFty|MEG", "MEG"},
    {"CH", "INVert", PanelKind::Choice, "ON|OFF", "OFF"},
    {"CH", "PRObe", PanelKind::Real, "", "1.0E1"},
    {"CH", "LABel", PanelKind::Quoted, "", "\"\""},
    {"HORizontal", "SCAle", PanelKind::Real, "", "4.0E-4"},
    {"HORizontal", "POSition", PanelKind::Real, "", "5.0E1"},
    {"HORizontal", "TRIGPos", PanelKind::Real, "", "5.0E1"},
    {"TRIGger:A", "MODe", PanelKind::Choice, "AUTO|NORMal", "AUTO"},
    {"TRIGger:A", "TYPe", PanelKind::Choice, "EDGE|LOGIc|PULse|VIDeo", "EDGE"},
    {"TRIGger:A", "LEVel", PanelKind::Real, "", "0.0E0"},
    {"TRIGger:A", "HOLDoff", PanelKind::Real, "", "2.5E-7"},
    {"TRIGger:A:EDGE", "SOUrce", PanelKind::Choice, "CH1|CH2|CH3|CH4|EXT|LINE", "CH1"},
    {"TRIGger:A:EDGE", "COUPling", PanelKind::Choice, "AC|DC|HFRej|LFRej|NOISErej", "DC"},
    {"TRIGger:A:EDGE", "SLOpe", PanelKind::Choice, "RISe|FALL", "RISE"},
    {"TRIGger:A:PULse", "SOUrce", PanelKind::Choice, "CH1|CH2|CH3|CH4|EXT", "CH1"},
    {"TRIGger:A:PULse", "POLarity", PanelKind::Choice, "POSITIVe|NEGAtive", "POSITIVE"},
    {"TRIGger:A:PULse", "WHEN", PanelKind::Choice, "LESSthan|MOREthan|EQual|NOTEqual", "LESSTHAN"},
    {"TRIGger:A:PULse", "WIDth", PanelKind::Real, "", "1.0E-6"},
    {"TRIGger:A:VIDeo", "STANdard", PanelKind::Choice, "NTSc|PAL|SECAM", "NTSC"},
    {"TRIGger:A:VIDeo", "FIELD", PanelKind::Choice, "ODD|EVEN|ALLFields|ALLLines|NUMERic",
     "ALLLINES"},
    {"TRIGger:A:VIDeo", "LINE", PanelKind::Real, "", "1.0E1"},
    {"MATH", "DEFine", PanelKind::Quoted, "", "\"CH1+CH2\""},
    {"MATH", "SCAle", PanelKind::Real, "", "1.0E0"},
    {"MATH", "POSition", PanelKind::Real, "", "0.0E0"},
    {"DISplay", "STYle", PanelKind::Choice, "VECtors|DOTs", "VECTORS"},
    {"DISplay", "CLOCk", PanelKind::Choice, "ON|OFF", "ON"},
    {"DISplay", "PERSistence", PanelKind::Real, "", "0.0E0"},
    {"DISplay", "FORMat", PanelKind::Choice, "YT|XY", "YT"},
    {"DISplay", "GRAticule", PanelKind::Choice, "FULl|GRId|CROSSHair|FRAme", "FULL"},
    {"DISplay", "INTENSITy", PanelKind::Real, "", "6.0E1"},
    {"CURSor", "FUNCtion", PanelKind::Choice, "OFF|HBArs|VBArs|WAVEform", "OFF"},
    {"CURSor", "SELect", PanelKind::Choice, "CH1|CH2|CH3|CH4|MATH", "CH1"},
    {"CURSor:VBArs", "UNIts", PanelKind::Choice, "SEConds|HERtz", "SECONDS"},
    {"CURSor:VBArs", "POSITION1", PanelKind::Real, "", "-1.0E-3"},
    {"CURSor:VBArs", "POSITION2", PanelKind::Real, "", "1.0E-3"},
    {"MASK", "DISplay", PanelKind::Choice, "ON|OFF", "OFF"},
    {"MASK", "STOPOnviolation", PanelKind::Choice, "ON|OFF", "OFF"},
    {"MASK", "SOUrce", PanelKind::Choice, "CH1|CH2|CH3|CH4", "CH1"},
    {"MASK:USER", "LABel", PanelKind::Quoted, "", "\"ITU-T G.703 E1;:2048 kbit/s\""},
    {"MASK:USER", "AMPLitude", PanelKind::Real, "", "2.37E0"},
    {"MASK:USER", "HSCAle", PanelKind::Real, "", "1.0E-7"},
    {"MASK:USER", "VSCAle", PanelKind::Real, "", "5.0E-1"},
    {"MASK:USER", "WIDth", PanelKind::Real, "", "4.88E-7"},
    {"MASK:USER:SEG1", "POINTs", PanelKind::Points, "", kMaskUpper},
    {"MASK:USER:SEG2", "POINTs", PanelKind::Points, "", kMaskLower},
};

// A mask segment holds at most this many corners.
constexpr std::size_t kMaxPoints = 200;
constexpr const char* kChannels[] = {"CH1", "CH2", "CH3", "CH4"};

std::string LongPath(std::string_view pattern) {
    std::string path;
    while (!pattern.empty()) {
        const std::size_t colon = pattern.find(':');
        path += LongForm(pattern.substr(0, colon));
        if (colon == std::string_view::npos) {
            break;
        }
        path += ':';
        pattern.remove_prefix(colon + 1);
    }
    return path;
}

std::optional<double> ParseReal(std::string_view text) {
    const std::string s(Trim(text));
    if (s.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || v != v) {
        return std::nullopt;
    }
    return v;
}

// The argument as the instrument keeps it, or nothing when it does not fit the setting.
std::optional<std::string> Normalise(const PanelKnob& knob, std::string_view argument) {
    argument = Trim(argument);
    switch (knob.kind) {
        case PanelKind::Real:
            if (const auto v = ParseReal(argument)) {
                return FormatNr3(*v);
            }
            return std::nullopt;
        case PanelKind::Choice: {
            std::string_view choices = knob.choices;
            while (!choices.empty()) {
                const std::size_t bar = choices.find('|');
                const std::string_view choice = choices.substr(0, bar);
                if (MatchesMnemonic(choice, argument)) {
                    return LongForm(choice);
                }
                choices = bar == std::string_view::npos ? "" : choices.substr(bar + 1);
            }
            return std::nullopt;
        }
        case PanelKind::Quoted:
            if (argument.size() >= 2 && (argument.front() == '"' || argument.front() == '\'') &&
                argument.back() == argument.front()) {
                return "\"" + Unquote(argument) + "\"";
            }
            return std::nullopt;
        case PanelKind::Points: {
            const std::vector<std::string> items = SplitArguments(argument);
            if (items.empty() || items.size() % 2 != 0 || items.size() > 2 * kMaxPoints) {
                return std::nullopt;
            }
            std::string text;
            for (const std::string& item : items) {
                const auto v = ParseReal(item);
                if (!v) {
                    return std::nullopt;
                }
                text += (text.empty() ? "" : ",") + FormatNr3(*v);
            }
            return text;
        }
    }
    return std::nullopt;
}

const PanelKnob* KnobOf(const std::string& parent, const std::string& leaf) {
    for (const PanelKnob& knob : kKnobs) {
        const std::string knobParent = LongPath(knob.parent);
        const bool parentMatches = knobParent == "CH"
                                       ? parent.size() == 3 && parent.rfind("CH", 0) == 0
                                       : knobParent == parent;
        if (parentMatches && LongForm(knob.leaf) == leaf) {
            return &knob;
        }
    }
    return nullptr;
}

void PanelCommand(InstrumentState& s, const Call& call) {
    std::string parent;
    for (std::size_t i = 0; i + 1 < call.components.size(); ++i) {
        parent += (i ? ":" : "") + call.components[i];
    }
    const std::string& leaf = call.components.back();
    const PanelKnob* knob = KnobOf(parent, leaf);
    PanelSetting* setting = nullptr;
    for (PanelSetting& p : s.panel) {
        if (p.parent == parent && p.leaf == leaf) {
            setting = &p;
        }
    }
    if (knob == nullptr || setting == nullptr) {
        s.Error(-113, "Undefined header");
        return;
    }
    if (call.command.query) {
        s.Answer(call, setting->value);
        return;
    }
    if (const auto value = Normalise(*knob, call.command.arguments)) {
        setting->value = *value;
    } else {
        s.Error(-224, "Illegal parameter value");
    }
}

void SimTelecom(InstrumentState& s, const Call& call) {
    if (call.command.query) {
        s.Answer(call, s.Faults().telecom ? "1" : "0");
        return;
    }
    const std::string argument = ToUpper(Trim(call.command.arguments));
    if (argument == "ON" || argument == "1") {
        s.Faults().telecom = true;
    } else if (argument == "OFF" || argument == "0") {
        s.Faults().telecom = false;
    } else {
        s.Error(-224, "Illegal parameter value");
    }
}

}  // namespace

std::vector<PanelSetting> DefaultPanelSettings() {
    std::vector<PanelSetting> settings;
    auto add = [&settings](const PanelKnob& knob, const std::string& parent) {
        settings.push_back(
            {parent, LongForm(knob.leaf), Normalise(knob, knob.value).value_or(knob.value)});
    };
    for (const char* channel : kChannels) {
        for (const PanelKnob& knob : kKnobs) {
            if (std::string_view(knob.parent) == "CH") {
                add(knob, channel);
            }
        }
    }
    for (const PanelKnob& knob : kKnobs) {
        if (std::string_view(knob.parent) != "CH") {
            add(knob, LongPath(knob.parent));
        }
    }
    return settings;
}

std::string PanelSetupText(const std::vector<PanelSetting>& settings) {
    std::string text;
    const std::string* parent = nullptr;
    for (const PanelSetting& s : settings) {
        if (parent == nullptr || *parent != s.parent) {
            text += (text.empty() ? ":" : ";:") + s.parent + ":";
            parent = &s.parent;
        } else {
            text += ';';
        }
        text += s.leaf + " " + s.value;
    }
    return text;
}

void AppendPanelCommands(std::vector<CommandEntry>& table) {
    // Patterns must outlive the table.
    static std::deque<std::string> patterns;
    for (const PanelKnob& knob : kKnobs) {
        const std::string parent = knob.parent;
        patterns.push_back((parent == "CH" ? std::string("CH1|CH2|CH3|CH4") : parent) + ":" +
                           knob.leaf);
        table.push_back({patterns.back().c_str(), true, true, PanelCommand, {}});
    }
    table.push_back({"KTXSIM:TELEcom", true, true, SimTelecom, {}});
}

std::string ModuleText(InstrumentState& state) {
    return state.config.deviceType == 12 && state.Faults().telecom ? " TDS3TMT:v1.00" : "";
}

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// The command table of the simulated instrument: every header it understands, which forms
// (setting, query) exist, and the handler that runs it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "command_header.h"

namespace ktx::sim {

struct InstrumentState;
struct CommandEntry;

// One command as the handler sees it: the matched header, its arguments and which
// alternative of each header component was taken.
struct Call {
    const CommandEntry* entry = nullptr;
    ParsedCommand command;
    std::vector<std::size_t> chosen;      // index of the alternative per component
    std::vector<std::string> components;  // the matched mnemonics' long forms ("WFMPRE", "CH1")
    std::vector<std::string> arguments;   // split at ","
};

// The command table: header pattern, which forms exist, and the handler.
struct CommandEntry {
    const char* pattern;  // "WFMPre:CH1|CH2|...:YMUlt"
    bool settable;
    bool queryable;
    void (*handler)(InstrumentState& state, const Call& call);
    std::vector<std::vector<std::string>> alternatives;  // filled from `pattern`
};
const std::vector<CommandEntry>& CommandTable();

// The multimeter commands of the type-9 family ("DMM:..."), kept in meter_commands.cpp.
void AppendMeterCommands(std::vector<CommandEntry>& table);
// The multimeter of the handheld family ("!T", "!h00?", "!M?", "!U?"), in
// handheld_commands.cpp.
void AppendHandheldCommands(std::vector<CommandEntry>& table);
// Hard copies, picture export and acquisition settings, in hardcopy_commands.cpp.
void AppendPictureCommands(std::vector<CommandEntry>& table);

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// Pure helpers for the headers and arguments of the command language.
//
// A mnemonic is written in its long form with the short form in upper case, "CURVe": the
// instruments accept exactly the short form ("CURV") or the long form ("CURVE"), in any case.
// A header pattern joins mnemonics with ":" and may offer alternatives with "|",
// "WFMPre:CH1|CH2:YMUlt".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ktx::sim {

std::string ToUpper(std::string_view text);
std::string_view Trim(std::string_view text);

// "CURVe" → "CURV"; a mnemonic without lower-case letters is its own short form.
std::string ShortForm(std::string_view mnemonic);
// "CURVe" → "CURVE".
std::string LongForm(std::string_view mnemonic);
// True when `token` (any case) is the short or the long form of `mnemonic`.
bool MatchesMnemonic(std::string_view mnemonic, std::string_view token);

// One command of a message split into its parts: "WFMPRE:CH1:YMULT? x" gives
// components {WFMPRE, CH1, YMULT}, query true, rooted false, arguments "x".
struct ParsedCommand {
    std::vector<std::string> components;  // as typed, upper-cased
    bool query = false;
    bool rooted = false;    // began with ":"
    bool common = false;    // IEEE 488.2 common command ("*IDN?")
    std::string arguments;  // everything after the header, leading blanks removed
};
ParsedCommand ParseCommand(std::string_view unit);

// IEEE 488.2 path rule: after ";" a command not starting with ":" continues below the
// previous command's path. `path` is the previous command's components minus its last one.
std::vector<std::string> ResolveComponents(const std::vector<std::string>& path,
                                           const ParsedCommand& command);

// Splits arguments at "," outside quotes and outside definite-length blocks; each trimmed.
std::vector<std::string> SplitArguments(std::string_view arguments);

// "\"c:\\ktx.tmp\"" → "c:\ktx.tmp"; text without quotes is returned trimmed.
std::string Unquote(std::string_view text);

// Reads a definite-length block header "#<d><len>" at the start of `text`; on success gives
// the offset of the first data byte and the announced length.
bool ParseBlockHeader(std::string_view text, std::size_t& dataOffset, std::size_t& length);

}  // namespace ktx::sim

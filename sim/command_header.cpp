// SPDX-License-Identifier: GPL-3.0-or-later
// Header matching, the ";" path rule and argument splitting of the command language.
#include "command_header.h"

#include <algorithm>
#include <cctype>

namespace ktx::sim {

std::string ToUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string_view Trim(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string ShortForm(std::string_view mnemonic) {
    std::string out;
    for (char c : mnemonic) {
        if (!std::islower(static_cast<unsigned char>(c))) {
            out += c;
        }
    }
    return out;
}

std::string LongForm(std::string_view mnemonic) {
    return ToUpper(mnemonic);
}

bool MatchesMnemonic(std::string_view mnemonic, std::string_view token) {
    const std::string upper = ToUpper(token);
    return upper == ShortForm(mnemonic) || upper == LongForm(mnemonic);
}

ParsedCommand ParseCommand(std::string_view unit) {
    ParsedCommand command;
    // Only leading blanks go: trailing bytes may belong to a binary block (the scanner has
    // already removed the blanks after a text command).
    while (!unit.empty() && (unit.front() == ' ' || unit.front() == '\t' || unit.front() == '\r' ||
                             unit.front() == '\n')) {
        unit.remove_prefix(1);
    }
    std::size_t headerEnd = 0;
    while (headerEnd < unit.size() && unit[headerEnd] != ' ' && unit[headerEnd] != '\t') {
        ++headerEnd;
    }
    std::string_view header = unit.substr(0, headerEnd);
    std::string_view rest = unit.substr(headerEnd);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
        rest.remove_prefix(1);
    }
    command.arguments = std::string(rest);
    if (!header.empty() && header.front() == ':') {
        command.rooted = true;
        header.remove_prefix(1);
    }
    if (!header.empty() && header.back() == '?') {
        command.query = true;
        header.remove_suffix(1);
    }
    if (header.size() > 2 && header.front() == '!') {
        // The handheld family's commands are "!" and one letter with their arguments glued on
        // ("!T01,A", "!h00?").
        std::string glued(header.substr(2));
        if (!rest.empty()) {
            glued += " " + std::string(rest);
        }
        command.arguments = std::move(glued);
        header = header.substr(0, 2);
    }
    command.common = !header.empty() && header.front() == '*';
    std::size_t start = 0;
    while (start <= header.size()) {
        const std::size_t colon = header.find(':', start);
        const std::size_t end = colon == std::string_view::npos ? header.size() : colon;
        command.components.push_back(ToUpper(header.substr(start, end - start)));
        if (colon == std::string_view::npos) {
            break;
        }
        start = colon + 1;
    }
    return command;
}

std::vector<std::string> ResolveComponents(const std::vector<std::string>& path,
                                           const ParsedCommand& command) {
    if (command.rooted || command.common) {
        return command.components;
    }
    std::vector<std::string> full = path;
    full.insert(full.end(), command.components.begin(), command.components.end());
    return full;
}

bool ParseBlockHeader(std::string_view text, std::size_t& dataOffset, std::size_t& length) {
    if (text.size() < 2 || text[0] != '#' || text[1] < '1' || text[1] > '9') {
        return false;
    }
    const std::size_t digits = static_cast<std::size_t>(text[1] - '0');
    if (text.size() < 2 + digits) {
        return false;
    }
    std::size_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[2 + i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    dataOffset = 2 + digits;
    length = value;
    return true;
}

std::vector<std::string> SplitArguments(std::string_view arguments) {
    std::vector<std::string> out;
    std::string current;
    std::size_t i = 0;
    while (i < arguments.size()) {
        const char c = arguments[i];
        if (c == '"' || c == '\'') {
            const std::size_t close = arguments.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? arguments.size() : close + 1;
            current.append(arguments.substr(i, end - i));
            i = end;
            continue;
        }
        std::size_t offset = 0;
        std::size_t length = 0;
        if (c == '#' && ParseBlockHeader(arguments.substr(i), offset, length)) {
            // The block's bytes may hold "," and are taken by their length; a short block
            // ends with the text.
            const std::size_t end = std::min(arguments.size(), i + offset + length);
            current.append(arguments.substr(i, end - i));
            i = end;
            continue;
        }
        if (c == ',') {
            out.emplace_back(Trim(current));
            current.clear();
            ++i;
            continue;
        }
        current += c;
        ++i;
    }
    if (!out.empty() || !Trim(current).empty()) {
        out.emplace_back(Trim(current));
    }
    return out;
}

std::string Unquote(std::string_view text) {
    text = Trim(text);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        return std::string(text.substr(1, text.size() - 2));
    }
    return std::string(text);
}

}  // namespace ktx::sim

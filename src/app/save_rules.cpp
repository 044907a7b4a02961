// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/save_rules.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace ktx {

std::vector<std::pair<std::string, std::string>> ParseFilter(const std::string& filter) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (from <= filter.size()) {
        const auto bar = filter.find('|', from);
        parts.push_back(
            filter.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
        if (bar == std::string::npos) {
            break;
        }
        from = bar + 1;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        pairs.emplace_back(parts[i], parts[i + 1]);
    }
    return pairs;
}

namespace {

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The one file in `folder` whose name is `name` in other letter case; empty when there is none
// or more than one.
std::string ExistingSpelling(const std::filesystem::path& folder, const std::string& name) {
    std::error_code ec;
    std::string found;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (Upper(entry) == Upper(name)) {
            if (!found.empty()) {
                return {};
            }
            found = entry;
        }
    }
    return found;
}

}  // namespace

std::string ResolveSaveName(const std::string& folder, const std::string& typed,
                            const std::string& mask, NameCase nameCase) {
    std::filesystem::path path(typed);
    if (!path.is_absolute()) {
        path = std::filesystem::path(folder) / path;
    }
    std::string name = path.filename().string();
    const std::string extension = mask.size() > 1 ? mask.substr(1, 4) : std::string();
    const auto dot = name.rfind('.');
    const std::string own = dot != std::string::npos ? name.substr(dot) : std::string();
    if (nameCase == NameCase::Upper) {
        return (path.parent_path() / Upper(name.substr(0, dot) + extension)).string();
    }
    if (Upper(own) != Upper(extension)) {
        name = name.substr(0, dot) + Lower(extension);
    }
    std::error_code ec;
    if (!std::filesystem::exists(path.parent_path() / name, ec) &&
        name.find('*') == std::string::npos) {
        if (const std::string existing = ExistingSpelling(path.parent_path(), name);
            !existing.empty()) {
            name = existing;
        }
    }
    return (path.parent_path() / name).string();
}

SaveCheck CheckSaveName(const std::string& name) {
    if (name.find('*') != std::string::npos) {
        return SaveCheck::InvalidName;
    }
    std::error_code ec;
    return std::filesystem::exists(name, ec) ? SaveCheck::Exists : SaveCheck::Accept;
}

int FirstPresentChannel(const UnitStrings& units) {
    for (int i = 0; i < 4; ++i) {
        if (units[i] != kAbsentUnit) {
            return i;
        }
    }
    return -1;
}

}  // namespace ktx

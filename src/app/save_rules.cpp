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

std::string ResolveSaveName(const std::string& folder, const std::string& typed,
                            const std::string& mask) {
    std::filesystem::path path(typed);
    if (!path.is_absolute()) {
        path = std::filesystem::path(folder) / path;
    }
    std::string name = path.filename().string();
    const std::string extension = mask.size() > 1 ? mask.substr(1, 4) : std::string();
    const auto dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    name += extension;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
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

// SPDX-License-Identifier: GPL-3.0-or-later
#include "installer/install_list.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "waveform/block_file.h"

namespace ktx {

bool UninstallList::Add(const char* prefix, const std::string& path) {
    m_lines.push_back(prefix + path);
    SafeWriter out(m_path);
    if (!out.Begin({})) {
        m_error = m_path + ": " + std::strerror(out.Error().error != 0 ? out.Error().error : EIO);
        return false;
    }
    for (const std::string& line : m_lines) {
        out.Write(line.data(), line.size());
        out.Write("\n", 1);
    }
    if (!out.Commit()) {
        m_error = m_path + ": " + std::strerror(out.Error().error != 0 ? out.Error().error : EIO);
        return false;
    }
    m_error.clear();
    return true;
}

bool ParseUninstallLine(std::string line, UninstallEntry& entry) {
    // A list edited on another system may end its lines in CR LF.
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.pop_back();
    }
    for (const char* prefix : {UninstallList::kDir, UninstallList::kFile, UninstallList::kGroup}) {
        const std::size_t n = std::strlen(prefix);
        if (line.size() > n && line.compare(0, n, prefix) == 0) {
            entry.prefix = prefix;
            entry.path = line.substr(n);
            return true;
        }
    }
    return false;
}

std::vector<UninstallEntry> ParseUninstallList(std::string_view text) {
    std::vector<UninstallEntry> entries;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        const std::string_view line = text.substr(0, lf);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        UninstallEntry entry;
        if (ParseUninstallLine(std::string(line), entry) &&
            std::filesystem::path(entry.path).is_absolute()) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

}  // namespace ktx

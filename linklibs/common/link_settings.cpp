// SPDX-License-Identifier: GPL-3.0-or-later
// Settings section of an interface library, read and written with SimpleIni.
#include "link_settings.h"

// Plain 8-bit names and values, no UTF-8 conversion; Debian keeps the bodies behind
// SI_IMPLEMENTATION.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <list>

#include "config/safe_file.h"

namespace ktx::linklib {

namespace {

// A settings file is a few KiB; anything far larger is not one.
constexpr std::size_t kMaxSettingsBytes = 4u << 20;

std::string Upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

// CSimpleIniA compares names without regard to case. Windows profiles keep every duplicate key
// and answer with the first, hence multi-key.
void LoadIni(CSimpleIniA& ini, const std::string& path) {
    ini.SetUnicode(false);
    ini.SetMultiKey(true);
    ini.SetMultiLine(false);
    ini.SetSpaces(false);  // "KEY=value", as Windows writes it
    ini.LoadFile(path.c_str());
}

}  // namespace

LinkSettings::LinkSettings(std::string path, std::string section)
    : m_path(std::move(path)), m_section(std::move(section)) {
    if (m_path.empty()) {
        return;
    }
    CSimpleIniA ini;
    LoadIni(ini, m_path);
    m_sectionPresent = ini.GetSectionSize(m_section.c_str()) >= 0;
    CSimpleIniA::TNamesDepend keys;
    if (!ini.GetAllKeys(m_section.c_str(), keys)) {
        return;
    }
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& key : keys) {
        const char* value = ini.GetValue(m_section.c_str(), key.pItem, "");
        m_values.emplace_back(Upper(key.pItem), value != nullptr ? value : "");
    }
}

bool LinkSettings::Has(std::string_view key) const {
    const std::string wanted = Upper(key);
    return std::any_of(m_values.begin(), m_values.end(),
                       [&](const auto& entry) { return entry.first == wanted; });
}

std::string LinkSettings::Text(std::string_view key, std::string_view fallback) const {
    const std::string wanted = Upper(key);
    for (const auto& [name, value] : m_values) {
        if (name == wanted) {
            return value;
        }
    }
    return std::string(fallback);
}

long LinkSettings::Integer(std::string_view key, long fallback) const {
    if (!Has(key)) {
        return fallback;
    }
    const std::string text = Text(key, "");
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t') {
        ++begin;
    }
    char* end = nullptr;
    const long value = std::strtol(begin, &end, 10);
    return end == begin ? fallback : value;
}

bool LinkSettings::WriteDefaultsIfMissing(const Defaults& defaults) const {
    if (m_sectionPresent || m_path.empty() || ::access(m_path.c_str(), W_OK) != 0) {
        return true;
    }
    // The section is appended to the file as it stands, byte for byte, with its own line ends;
    // the file is replaced only by a complete new content (a full disk leaves it as it was).
    std::string text;
    {
        std::ifstream in(m_path, std::ios::binary);
        if (!in) {
            return true;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad() || text.size() > kMaxSettingsBytes) {
            return true;  // not a settings file this library should touch
        }
    }
    const std::string eol = text.find("\r\n") != std::string::npos || text.empty() ? "\r\n" : "\n";
    if (!text.empty() && text.back() != '\n') {
        text += eol;
    }
    text += "[" + m_section + "]" + eol;
    for (const auto& [key, value] : defaults) {
        text += key + "=" + value + eol;
    }
    SafeFile file(m_path, SafeFile::Placement::KeepIdentity);
    if (!file.Begin()) {
        return false;
    }
    std::FILE* f = std::fopen(file.TempPath().c_str(), "wb");
    if (f == nullptr) {
        file.Fail(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written) {
        file.Fail(errno ? errno : EIO);
        return false;
    }
    return file.Commit();
}

}  // namespace ktx::linklib

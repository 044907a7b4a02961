// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/profile_file.h"

// Bytes are kept as they are: instrument definition files of the field are 8-bit text.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION  // Debian's header keeps the template bodies behind this
#include <SimpleIni.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

namespace ktx {

struct ProfileFile::Data {
    CSimpleIniA ini{false, true, true};  // names ignore case; not UTF-8, multi-key, multi-line
};

namespace {

bool Load(const std::string& path, CSimpleIniA& ini) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return false;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > static_cast<std::uintmax_t>(ProfileFile::kMaxSize)) {
        return false;
    }
    return ini.LoadFile(path.c_str()) >= 0;
}

}  // namespace

ProfileFile::ProfileFile(std::string path)
    : m_path(std::move(path)), m_data(std::make_unique<Data>()) {
    m_loaded = Load(m_path, m_data->ini);
}

ProfileFile::~ProfileFile() = default;
ProfileFile::ProfileFile(ProfileFile&&) noexcept = default;
ProfileFile& ProfileFile::operator=(ProfileFile&&) noexcept = default;

std::string ProfileFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) const {
    // With multi-key on, SimpleIni hands back the first of equal keys, as Windows does.
    const char* v = m_data->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return v ? std::string(v) : defaultValue;
}

bool ProfileFile::HasKey(const std::string& section, const std::string& key) const {
    return m_data->ini.GetValue(section.c_str(), key.c_str(), nullptr) != nullptr;
}

int ProfileIntFromText(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<int>::max()) {
            value = std::numeric_limits<int>::max();  // saturate instead of wrapping
        }
    }
    return static_cast<int>(negative ? -value : value);
}

int ProfileFile::ReadInt(const std::string& section, const std::string& key,
                         int defaultValue) const {
    const char* v = m_data->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return v ? ProfileIntFromText(v) : defaultValue;
}

bool ProfileFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    // Start from the file as it is now: the interface library may have written its own section.
    CSimpleIniA fresh(false, true, true);
    std::error_code ec;
    if (std::filesystem::exists(m_path, ec) && !Load(m_path, fresh)) {
        return false;  // there is something, but not a profile file we may rewrite
    }
    if (fresh.SetValue(section.c_str(), key.c_str(), value.c_str(), nullptr, true) < 0) {
        return false;
    }
    std::string text;
    if (fresh.Save(text) < 0) {
        return false;
    }
    // Written beside the file and renamed over it, so a full disk never leaves half a file.
    const std::string temp = m_path + ".ktxnew";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written) {
        std::remove(temp.c_str());
        return false;
    }
    std::filesystem::rename(temp, m_path, ec);
    if (ec) {
        std::remove(temp.c_str());
        return false;
    }
    m_data->ini.SetValue(section.c_str(), key.c_str(), value.c_str(), nullptr, true);
    m_loaded = true;
    return true;
}

}  // namespace ktx

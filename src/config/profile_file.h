// SPDX-License-Identifier: GPL-3.0-or-later
// Windows profile files (kurvitex.ini, the instrument definition files) with the semantics the
// program and its users expect of them: section and key names ignore case, the first of two
// equal keys wins, a missing key yields the caller's default, integers are read like
// GetPrivateProfileInt (leading digits, anything after them ignored), comments survive writes.
//
// Every read sees the file as it is on disk when the ProfileFile is made; every write goes
// straight to disk (read afresh, changed, replaced atomically), so a section the interface
// library wrote meanwhile is kept.
#pragma once

#include <memory>
#include <string>

namespace ktx {

class ProfileFile {
  public:
    // Files larger than this are not taken for profile files (read as empty, never written).
    static constexpr long long kMaxSize = 4 << 20;

    explicit ProfileFile(std::string path);
    ~ProfileFile();
    ProfileFile(ProfileFile&&) noexcept;
    ProfileFile& operator=(ProfileFile&&) noexcept;

    const std::string& Path() const { return m_path; }
    // The file existed and was read.
    bool Loaded() const { return m_loaded; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    int ReadInt(const std::string& section, const std::string& key, int defaultValue) const;
    bool HasKey(const std::string& section, const std::string& key) const;

    // Writes one value through to disk; false when the file cannot be written.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

  private:
    struct Data;
    std::string m_path;
    std::unique_ptr<Data> m_data;
    bool m_loaded = false;
};

// GetPrivateProfileInt's reading of a value: optional blanks and sign, then decimal digits up to
// the first other character; no digits gives 0.
int ProfileIntFromText(const std::string& text);

}  // namespace ktx

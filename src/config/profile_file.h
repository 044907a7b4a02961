// SPDX-License-Identifier: GPL-3.0-or-later
// Windows profile files (kurvitex.ini, the instrument definition files) with the semantics the
// program and its users expect of them: section and key names ignore case, the first of two
// equal keys wins, a missing key yields the caller's default, every line is one value (a value
// starting with "<<<" is just text), integers are whole numbers.
//
// Every read sees the file as it is on disk when the ProfileFile is made. Every write goes
// straight to disk: the file is read afresh (a section the interface library wrote meanwhile is
// kept) and only the one line changes; the rest of the file (comments, blank lines, order,
// spelling, line ends) stays byte for byte as the user wrote it. The file is replaced through
// SafeFile, so a symbolic link stays a link, a hard link stays a hard link, a write-protected
// file is not written and a full disk never leaves half a file.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

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
    // The key's value when it is a number (see ProfileNumber), else `defaultValue`.
    int ReadInt(const std::string& section, const std::string& key, int defaultValue) const;
    bool HasKey(const std::string& section, const std::string& key) const;

    // Writes one value through to disk: the key's line gets the new value, a missing key is
    // added at the end of its section, a missing section at the end of the file; a value the
    // file already holds is not written again. False when the file cannot be written
    // (write-protected, not a profile file, no such folder) or the value cannot be stored so
    // that it reads back as written (more than one line, a file that is no text).
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

  private:
    struct Data;
    std::string m_path;
    std::unique_ptr<Data> m_data;
    bool m_loaded = false;
};

// The number a profile value holds: an optional sign and decimal digits that fit an int,
// optionally followed by blanks and a ";" comment (" 2 ; GPIB" is 2, as the users' files have
// it). Anything else is no number: "ja", "12abc", "1.5", an empty value.
std::optional<int> ProfileNumber(std::string_view text);

}  // namespace ktx

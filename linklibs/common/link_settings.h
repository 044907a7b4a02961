// SPDX-License-Identifier: GPL-3.0-or-later
// One section of the configuration file handed to LinkOpen, read the way Windows profile
// functions read it: keys without regard to case, the first of duplicate keys wins, integers
// from their leading digits, defaults for whatever is missing.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ktx::linklib {

class LinkSettings {
  public:
    using Defaults = std::vector<std::pair<std::string, std::string>>;

    // Reads `section` of the file at `path`. A missing or unreadable file reads as empty.
    LinkSettings(std::string path, std::string section);

    bool Has(std::string_view key) const;
    std::string Text(std::string_view key, std::string_view fallback) const;
    // Leading optional sign and digits of the value; `fallback` when the key is missing or
    // holds no number.
    long Integer(std::string_view key, long fallback) const;

    // When the file exists, is writable and lacks the section, writes the section with
    // `defaults` so the user finds the keys to edit. Returns false only when writing failed.
    bool WriteDefaultsIfMissing(const Defaults& defaults) const;

  private:
    std::string m_path;
    std::string m_section;
    bool m_sectionPresent = false;
    std::vector<std::pair<std::string, std::string>> m_values;  // keys upper-cased, file order
};

}  // namespace ktx::linklib

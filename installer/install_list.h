// SPDX-License-Identifier: GPL-3.0-or-later
// The uninstall list (`uninstal.txt`): one line per created folder ("Dir:"), copied file
// ("Fil:") and menu file ("Grp:"). It is written anew, through a temporary file, after every
// line, so whatever happens to the installation the list on disk names everything created so
// far and never is half a file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ktx {

class UninstallList {
  public:
    static constexpr const char* kDir = "Dir:";
    static constexpr const char* kFile = "Fil:";
    static constexpr const char* kGroup = "Grp:";

    explicit UninstallList(std::string path) : m_path(std::move(path)) {}

    // Appends `prefix` + `path` and writes the list. False (Error() set) when the write failed;
    // the line is kept and written with the next one.
    bool Add(const char* prefix, const std::string& path);

    const std::vector<std::string>& Lines() const { return m_lines; }
    const std::string& Path() const { return m_path; }
    const std::string& Error() const { return m_error; }

  private:
    std::string m_path;
    std::vector<std::string> m_lines;
    std::string m_error;
};

// One line of a list, split into its prefix and path; false for a line with another prefix.
struct UninstallEntry {
    std::string prefix;
    std::string path;
};
bool ParseUninstallLine(std::string line, UninstallEntry& entry);
// The entries of a whole list (lines end in LF or CR LF) that name an absolute path, in order.
std::vector<UninstallEntry> ParseUninstallList(std::string_view text);

}  // namespace ktx

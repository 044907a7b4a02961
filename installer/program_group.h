// SPDX-License-Identifier: GPL-3.0-or-later
// The program group as freedesktop menu entries: a menu file under the user's configuration
// folder that makes a sub-menu "KURVITEX 4.8", its `.directory` file and one `.desktop` file per
// item under the user's data folder. Every file and every folder made for them is recorded in
// the uninstall list.
#pragma once

#include <string>

namespace ktx {

class UninstallList;

struct MenuFolders {
    std::string dataHome;    // $XDG_DATA_HOME, else ~/.local/share
    std::string configHome;  // $XDG_CONFIG_HOME, else ~/.config

    // From the environment, with the freedesktop defaults.
    static MenuFolders FromEnvironment();
};

struct MenuItem {
    std::string id;    // desktop file id without ".desktop", e.g. "kurvitex-ktx"
    std::string name;  // what the menu shows
    std::string exec;  // the Exec line, arguments quoted (see QuoteExecArgument)
    std::string workingDir;
    std::string icon;  // absolute path or empty
};

// The sub-menu: menu file and directory file. False with `error` set when a file could not be
// written.
bool CreateMenuGroup(const MenuFolders& folders, UninstallList& list, std::string& error);
bool AddMenuItem(const MenuFolders& folders, const MenuItem& item, UninstallList& list,
                 std::string& error);

// The items of an installation into `destination`: the program, the uninstaller and the
// read-me opened with the desktop's viewer for text.
MenuItem ProgramItem(const std::string& destination);
MenuItem UninstallItem(const std::string& destination);
MenuItem ReadmeItem(const std::string& destination);

// One Exec argument, quoted and escaped by the desktop entry rules (", `, $, \ escaped inside
// the quotes, % doubled, then the value escapes).
std::string QuoteExecArgument(const std::string& argument);

// The file contents, for tests and for CreateMenuGroup/AddMenuItem.
std::string DesktopEntryText(const MenuItem& item);
std::string DirectoryEntryText();
std::string MenuFileText();

inline constexpr const char* kMenuFileName = "kurvitex.menu";
inline constexpr const char* kDirectoryFileName = "kurvitex.directory";
inline constexpr const char* kMenuCategory = "X-Kurvitex";

}  // namespace ktx

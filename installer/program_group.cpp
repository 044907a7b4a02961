// SPDX-License-Identifier: GPL-3.0-or-later
#include "installer/program_group.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "installer/install_list.h"
#include "waveform/block_file.h"

namespace ktx {

namespace fs = std::filesystem;

namespace {

constexpr const char* kGroupName = "KURVITEX 4.8";

std::string FromEnv(const char* name, const char* fallbackBelowHome) {
    if (const char* v = std::getenv(name); v != nullptr && v[0] == '/') {
        return v;  // the XDG base directory rules ignore relative values
    }
    const char* home = std::getenv("HOME");
    return (fs::path(home != nullptr ? home : "/") / fallbackBelowHome).string();
}

// A string value of a desktop entry: backslash and control characters escaped.
std::string EscapeValue(const std::string& value) {
    std::string out;
    for (const char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Makes `folder` and the parents it lacks, each listed as it is made, so the uninstaller
// removes exactly the folders the installer added.
bool EnsureFolder(const fs::path& folder, UninstallList& list, std::string& error) {
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path()) {
            break;
        }
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!fs::create_directory(*it, ec) && ec) {
            error = it->string() + ": " + ec.message();
            return false;
        }
        if (!list.Add(UninstallList::kDir, it->string())) {
            error = list.Error();
            return false;
        }
    }
    if (!fs::is_directory(folder, ec)) {
        error = folder.string() + ": not a folder";
        return false;
    }
    return true;
}

bool WriteListed(const fs::path& target, const std::string& text, UninstallList& list,
                 std::string& error) {
    if (!EnsureFolder(target.parent_path(), list, error)) {
        return false;
    }
    SafeWriter out(target.string());
    if (out.Begin({})) {
        out.Write(text.data(), text.size());
        if (out.Commit()) {
            if (!list.Add(UninstallList::kGroup, target.string())) {
                error = list.Error();
                return false;
            }
            return true;
        }
    }
    const int e = out.Error().error;
    error = target.string() + ": " + std::strerror(e != 0 ? e : EIO);
    return false;
}

fs::path MenuFile(const MenuFolders& f) {
    return fs::path(f.configHome) / "menus" / "applications-merged" / kMenuFileName;
}
fs::path DirectoryFile(const MenuFolders& f) {
    return fs::path(f.dataHome) / "desktop-directories" / kDirectoryFileName;
}
fs::path DesktopFile(const MenuFolders& f, const std::string& id) {
    return fs::path(f.dataHome) / "applications" / (id + ".desktop");
}

}  // namespace

MenuFolders MenuFolders::FromEnvironment() {
    return {FromEnv("XDG_DATA_HOME", ".local/share"), FromEnv("XDG_CONFIG_HOME", ".config")};
}

std::string QuoteExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    quoted += '"';
    return EscapeValue(quoted);
}

std::string DesktopEntryText(const MenuItem& item) {
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Version=1.0\n"
        "Name=" +
        EscapeValue(item.name) + "\nExec=" + item.exec + "\n";
    if (!item.workingDir.empty()) {
        text += "Path=" + EscapeValue(item.workingDir) + "\n";
    }
    if (!item.icon.empty()) {
        text += "Icon=" + EscapeValue(item.icon) + "\n";
    }
    text += "Terminal=false\nCategories=" + std::string(kMenuCategory) + ";\n";
    return text;
}

std::string DirectoryEntryText() {
    return "[Desktop Entry]\nType=Directory\nVersion=1.0\nName=" + std::string(kGroupName) + "\n";
}

std::string MenuFileText() {
    return "<!DOCTYPE Menu PUBLIC \"-//freedesktop//DTD Menu 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/menu-spec/1.0/menu.dtd\">\n"
           "<Menu>\n"
           "  <Name>Applications</Name>\n"
           "  <Menu>\n"
           "    <Name>" +
           std::string(kGroupName) +
           "</Name>\n"
           "    <Directory>" +
           kDirectoryFileName +
           "</Directory>\n"
           "    <Include>\n"
           "      <Category>" +
           kMenuCategory +
           "</Category>\n"
           "    </Include>\n"
           "  </Menu>\n"
           "</Menu>\n";
}

bool CreateMenuGroup(const MenuFolders& folders, UninstallList& list, std::string& error) {
    return WriteListed(DirectoryFile(folders), DirectoryEntryText(), list, error) &&
           WriteListed(MenuFile(folders), MenuFileText(), list, error);
}

bool AddMenuItem(const MenuFolders& folders, const MenuItem& item, UninstallList& list,
                 std::string& error) {
    return WriteListed(DesktopFile(folders, item.id), DesktopEntryText(item), list, error);
}

namespace {

std::string IconOf(const std::string& destination) {
    const fs::path icon = fs::path(destination) / "kurvitex.svg";
    std::error_code ec;
    return fs::is_regular_file(icon, ec) ? icon.string() : std::string();
}

}  // namespace

MenuItem ProgramItem(const std::string& destination) {
    return {"kurvitex-ktx", "KTX 4.8",
            QuoteExecArgument((fs::path(destination) / "kurvitex").string()) + " %F", destination,
            IconOf(destination)};
}

MenuItem UninstallItem(const std::string& destination) {
    const fs::path dir(destination);
    return {"kurvitex-uninstal", "uninstal",
            QuoteExecArgument((dir / "kurvitex-uninstall").string()) + " " +
                QuoteExecArgument((dir / "uninstal.txt").string()),
            destination, ""};
}

MenuItem ReadmeItem(const std::string& destination) {
    // The desktop's own choice of viewer for text files.
    return {"kurvitex-readme", "READ ME",
            "xdg-open " + QuoteExecArgument((fs::path(destination) / "readme.txt").string()),
            destination, ""};
}

}  // namespace ktx

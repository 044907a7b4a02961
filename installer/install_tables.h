// SPDX-License-Identifier: GPL-3.0-or-later
// What the installer copies: the file table, the data folders and the language folders of the
// installation medium, with this system's names (programs without ".exe", interface libraries
// as ".so", data folders spelt as the program looks them up).
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace ktx {

struct InstallFile {
    const char* name;
    bool languageSpecific;  // the source lies in the language folder of the medium
    bool onDisks;           // written by "Create Disks"
    bool executable;        // a program: installed with execute bits
};

// In the order they are copied. The interface libraries are those this system builds; the PNG
// library is the system's own and not shipped.
inline constexpr std::array<InstallFile, 15> kInstallFiles = {{
    {"kurvitex.ini", false, true, false},
    {"ktxconv.so", false, true, false},
    {"ktx_gpib.so", true, true, false},
    {"ktx_serial.so", true, true, false},
    {"ktx_tcp.so", true, true, false},
    {"ktx_usbtmc.so", true, true, false},
    {"ktx_vxi.so", true, true, false},
    {"ktx_prologix.so", true, true, false},
    {"ktx_sim.so", true, true, false},
    {"readme.txt", true, true, false},
    {"kurvitex.svg", false, true, false},
    {"kurvitex-uninstall", false, false, true},
    {"ktx", true, true, true},
    {"ktx-sim", true, true, true},
    {"kurvitex", true, true, true},
}};

struct InstallFolder {
    const char* name;  // as the program looks it up; found on the medium in any letter case
    bool languageSpecific;
};

// Copied with their files and one level of subfolders; not written by "Create Disks". The help
// (one page per topic) is a folder of the language chosen.
inline constexpr std::array<InstallFolder, 6> kInstallFolders = {{
    {"Driver", false},
    {"Demo", false},
    {"Application", false},
    {"USB_Driver", false},
    {"Telecom", false},
    {"help", true},
}};

// The medium's folder of language `index` (0 German, 1 English, 2 Spanish, 3 French); any other
// index is German.
std::string LanguageFolder(int index);

// Paths longer than this are refused (medium and destination paths are kept in short strings).
inline constexpr std::size_t kMaxInstallPath = 80;

// The list of what was installed, in the destination folder.
inline constexpr const char* kUninstallListName = "uninstal.txt";

}  // namespace ktx

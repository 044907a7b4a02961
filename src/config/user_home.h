// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its settings, scratch files and data when it runs from a folder its
// user may not write (an installed package): in the user's data folder, filled on first start
// from the installed folder. Settings and data are copied there (the user may change them);
// the interface libraries, the help and the pictures are linked, so an update of the package
// reaches them.
#pragma once

#include <string>

namespace ktx {

// $XDG_DATA_HOME/kurvitex, else ~/.local/share/kurvitex.
std::string UserDataFolder();

// True when the program may create and replace files in `folder`.
bool FolderWritable(const std::string& folder);

// Makes `home` and gives it what it lacks of `installed`: the shipped settings and data folders
// (kurvitex.ini, Driver/, Demo/, Telecom/, Application/, USB_Driver/) as copies, other files
// and folders (libraries, help) as symbolic links; programs are left out. Nothing already in
// `home` is changed. False with `error` (German) when the folder or a file could not be made.
bool FillUserHome(const std::string& installed, const std::string& home, std::string& error);

// The program folder to run with: `programDir` when it is writable, else the user's data folder
// filled from it. `error` is set when that failed (the program then runs from `programDir`).
std::string ChooseProgramHome(const std::string& programDir, std::string& error);

}  // namespace ktx

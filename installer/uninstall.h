// SPDX-License-Identifier: GPL-3.0-or-later
// Removing an installation by its uninstall list: the files it names, its menu files, the list
// itself, then the folders it names as far as they are empty. Nothing that the list does not
// name is removed, and of what it names only what an installation makes: files inside the
// installed folder (the list's first folder), menu files by their freedesktop suffixes, empty
// folders.
#pragma once

#include <string>
#include <vector>

namespace ktx {

struct UninstallReport {
    bool listRead = false;
    std::vector<std::string> removed;
    std::vector<std::string> kept;  // named, but not removed, each with its reason
};

UninstallReport Uninstall(const std::string& listPath);

}  // namespace ktx

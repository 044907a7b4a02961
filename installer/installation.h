// SPDX-License-Identifier: GPL-3.0-or-later
// The installer's work without a window: installing from the medium into a destination folder
// (with the uninstall list and the menu entries) and writing the files onto disks. The dialogs
// collect the choices, answer the questions through InstallerUi and show its progress.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "installer/program_group.h"

namespace ktx {

// What the installer asks and shows. Texts are English, as the dialogs are.
class InstallerUi {
  public:
    virtual ~InstallerUi() = default;
    virtual void ShowFile(const std::string& path) = 0;  // the file being copied
    virtual void Progress(std::uint64_t bytesDone) = 0;
    // A warning with OK (true) and Cancel (false).
    virtual bool AskContinue(const std::string& text) = 0;
    // A warning or error with OK only.
    virtual void Warn(const std::string& text) = 0;
    virtual void Error(const std::string& text) = 0;
    // "Insert new disk": the folder standing for the next disk, nullopt for Cancel.
    virtual std::optional<std::string> NextDisk(const std::string& text) = 0;
};

struct InstallRequest {
    std::string source;       // the medium's folder
    std::string destination;  // trailing separators are dropped
    int language = 0;         // index into the language folders
    MenuFolders menu;         // where the program group goes
};

// Copies the file table and the data folders, writes the uninstall list and creates the program
// group. True when everything succeeded; every failure has been shown through `ui`.
bool Install(const InstallRequest& request, InstallerUi& ui);

// Free bytes for a folder that may not exist yet (asked of its nearest existing parent).
using SpaceQuery = std::function<std::optional<std::uint64_t>(const std::string& folder)>;
std::optional<std::uint64_t> FreeSpace(const std::string& folder);

struct DiskRequest {
    std::string source;
    std::string folder;  // the folder standing for the first disk
    int language = 0;
};

// "Create Disks": the files marked for disks into `folder`, asking for a new one whenever the
// next file, expanded, does not fit.
bool MakeDisks(const DiskRequest& request, InstallerUi& ui, const SpaceQuery& space = FreeSpace);

// Bytes the installation writes: every source file at its expanded size.
std::uint64_t BytesNeeded(const std::string& source, int language);

// The destination as typed, without trailing separators ("/" stays "/").
std::string StripTrailingSeparators(std::string path);

// The file `name` in `folder`, found in any letter case, or its compressed name (last letter
// replaced by "_", or "_" appended); empty when there is none.
std::string FindOnMedium(const std::string& folder, const std::string& name);

}  // namespace ktx

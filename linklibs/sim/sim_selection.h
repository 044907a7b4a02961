// SPDX-License-Identifier: GPL-3.0-or-later
// Which instrument the in-process simulator plays: the one selected under "Optionen >
// Geräteauswahl", unless the user set [SIM] TYPE or MODEL. The program does not reopen the link
// after a new selection, so the simulator looks again at the start of every host message and
// becomes the newly selected instrument (two stat() calls; the files are read only when one of
// them changed).
//
// Where the selection is found. The file handed to LinkOpen is
//   - kurvitex.ini (it has [DEVICE] INIFILE): INIFILE names the selected definition file, a
//     relative name taken from kurvitex.ini's own folder, which is the program folder;
//   - the selected definition file itself (the handheld family gets it instead): it is played,
//     and kurvitex.ini in the folder above its "Driver" folder is watched for later selections,
//     but only if that kurvitex.ini selects this very file when the link opens (so a definition
//     file named from elsewhere never makes a stranger's kurvitex.ini count);
//   - anything else (ktx --link sim writes a file of its own): no selection, [SIM] alone.
// The program folder is thus found from the configuration file, not from the library's own
// location: a library reached through a symbolic link or shared between program folders
// would point at the wrong one.
//
// What counts as the user's choice: [SIM] TYPE and MODEL in kurvitex.ini (or in the file
// handed over when that is no definition file); TYPE=1 without MODEL is what older versions
// wrote as a default and is not a choice (sim::ChooseIdentity).
//
// Not thread-safe; the simulator stream calls it under its lock.
#pragma once

#include <sys/stat.h>

#include <string>

#include "sim_family.h"

namespace ktx::linklib {

class SimSelection {
  public:
    explicit SimSelection(std::string configPath);

    // Looks at the files again; true when the instrument to play has changed since the last
    // call (the first call always reads them).
    bool Refresh();
    const sim::SimIdentity& Identity() const { return m_identity; }
    // The file handed over is an instrument definition file (the handheld family's).
    bool HandedDefinitionFile() const { return !m_handedFile.empty(); }

  private:
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        bool operator==(const Stamp& other) const;
    };
    static Stamp StampOf(const std::string& path);
    std::string SelectedPath() const;
    void Read();

    std::string m_configPath;
    std::string m_kurvitexIni;   // watched for the selection; empty: none
    std::string m_handedFile;    // the definition file handed over; empty: none
    std::string m_choiceFile;    // where [SIM] TYPE and MODEL are the user's choice
    std::string m_selectedPath;  // the selected definition file when last read
    Stamp m_kurvitexStamp;
    Stamp m_selectedStamp;
    bool m_read = false;
    sim::SimIdentity m_identity;
};

}  // namespace ktx::linklib

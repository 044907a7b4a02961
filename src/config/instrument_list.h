// SPDX-License-Identifier: GPL-3.0-or-later
// "Geräteauswahl" without the window: the instrument definition files in the program folder,
// which of them to preselect, accepting a choice into kurvitex.ini, and the program state that
// follows from the selected file.
#pragma once

#include <string>
#include <vector>

namespace ktx {

class Notifier;

struct InstrumentEntry {
    std::string name;  // [DEVICE] NAME (default "NONAME"), shown in the list
    std::string path;  // full path of the file
};

// The files ProgramDir/Driver/kt_*.ini (folder and pattern matched ignoring case), sorted by
// file name ignoring case. Empty when the folder is missing.
std::vector<InstrumentEntry> ListInstruments(const std::string& programDir);

// The entry to preselect: the last one whose name equals `currentName`, else the first; -1 for
// an empty list.
int PreselectedInstrument(const std::vector<InstrumentEntry>& entries,
                          const std::string& currentName);

struct InstrumentSelection {
    bool accepted = false;      // the file passed the check and is the new selection
    std::string deviceIniFile;  // the new DeviceIniFile (when accepted)
    int deviceType = 0;         // the new DeviceType (when accepted)
    bool saved = false;         // both keys reached kurvitex.ini
};

// OK of "Geräteauswahl" with the file at `path` (empty when nothing was chosen). A valid file
// becomes the selection and is written to `iniPath` ([DEVICE] TYPE and INIFILE; message 16 once
// when they could not be written, the selection stays in use for this run). An invalid file shows
// the validator's message and then message 12 with the path; nothing is written or changed.
InstrumentSelection ApplyInstrumentSelection(const std::string& path, const std::string& iniPath,
                                             Notifier& notifier);

// What the program state becomes after "Geräteauswahl" closed with OK.
struct InstrumentState {
    int operatingMode = 0;  // 0 oscilloscope, 1 multimeter
    int linkType = 0;
    int pictureFormat = 0;  // kPicture*
    std::string pictureExt = "PCX";
    bool colourCapable = false;
};

// Recomputes the state for the (new or kept) `deviceIniFile` of `deviceType`: type 9 resumes
// the mode last stored in `iniPath` [DEVICE] MODE, type 20 starts as a multimeter, all other
// types as an oscilloscope; type 0 uses no interface. Reads the files, changes nothing.
InstrumentState StateAfterSelection(const std::string& deviceIniFile, int deviceType, int linkType,
                                    const std::string& iniPath);

}  // namespace ktx

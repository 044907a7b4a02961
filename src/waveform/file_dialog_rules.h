// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the waveform file dialog without the dialog: which sources and record lengths it
// offers, which format a filter means, and what "OK" accepts.
#pragma once

#include <string>
#include <vector>

#include "waveform/transfer_request.h"

namespace ktx {

constexpr int kModeReadFile = 1;  // "Einlesen Waveform"
constexpr std::size_t kMaxSources = 10;

struct FileDialogChoices {
    std::vector<std::string> sources;  // offered, in the instrument's order
    std::string memorySize = "1000";   // [MEMORY] SIZE: the stop field's text and upper limit
    std::vector<int> memoryItems;      // the stop field's list
};

// From the selected instrument's definition file: all sources for reading, the writable ones
// (from WRITE on, at most WRITEANZ, not beyond COUNT) for writing.
FileDialogChoices ReadFileDialogChoices(const std::string& deviceFile, int mode);

// ".wfm" 4, ".xls" 0, ".fms" 1, ".ktx" 3, ".txt" 2 (any case); -1 for anything else.
int FormatFromExtension(const std::string& extension);

struct FileDialogInput {
    int mode = kModeRead;
    std::string folder;
    std::string typedName;
    std::string filterExtension;  // ".wfm", from the chosen filter's mask
    std::size_t selectedSources = 0;
    std::string start = "0";
    std::string stop;
    std::string memorySize = "1000";
};

struct FileDialogCheck {
    int message = 0;    // 0: accepted; else the message to show (42, 13, 14, 43, 44, 15)
    std::string extra;  // the text shown with it (the name, the value)
    bool confirmOverwrite = false;  // accepted, but the file exists: ask with message 306
    std::string fileName;           // the full name
    int requested = 0;              // stop - start
};

// What "OK" decides, step by step; the first failing check gives its message.
FileDialogCheck CheckFileDialog(const FileDialogInput& input, bool fileExists);

}  // namespace ktx

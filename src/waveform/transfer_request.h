// SPDX-License-Identifier: GPL-3.0-or-later
// What the waveform file dialog hands to the waveform transfer: the user's choices for reading
// curves from the instrument or writing one back.
#pragma once

#include <string>
#include <vector>

namespace ktx {

// File formats by the dialog's filter index.
enum WaveFormat : int {
    kFormatXls = 0,  // ".xls": columns, tab separated, CR LF, the system's decimal separator
    kFormatFms = 1,  // ".fms": FAMOS pair list
    kFormatTxt = 2,  // ".txt": columns with the separators of the text format options
    kFormatKtx = 3,  // ".ktx": the program's own waveform file
    kFormatWfm = 4,  // ".wfm": the instrument's own curve (the initial choice)
    kFormatNpy = 5,  // ".npy": time and value as a NumPy structured array
};

constexpr int kModeWrite = 2;  // "Ausgeben Waveform"
constexpr int kModeRead = 3;   // "Export Waveform"

struct TransferRequest {
    int mode = kModeRead;
    int format = kFormatWfm;
    std::string fileName;  // full path with the format's extension (at most 80 characters)

    // Reading.
    std::vector<std::string> sources;  // 1..10 source names as the instrument spells them
    std::string start;                 // as typed, at most 10 characters
    std::string stop;
    int requested = 0;  // stop - start
    bool show = false;  // "Anzeigen": open the result in a view

    // Writing: one destination, normally a reference memory ("REF1").
    std::string destination;

    // Text formats: column separator, line separator (0 = CR LF) and decimal sign.
    char columnSeparator = ';';
    char lineSeparator = '\n';
    char decimalSign = ',';
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Hard-copy, picture export and acquisition settings of the simulated instrument.
#pragma once

#include <string>

namespace ktx::sim {

struct HardcopySettings {
    std::string port = "RS232";
    // "HARDC:FORM" and "SAVE:IMAGE:FILEF", upper case: PCX, PCXCOLOR, BMP, BMPCOLOR, PNG,
    // PNGCOLOR, EPSIMAGE, TIFF, RLE.
    std::string format = "PCX";
    std::string layout = "LANDSCAPE";
    bool inkSaver = false;    // type 12 and 14: white background
    bool compression = true;  // type 12
    // "EXP:" of the type-10 family: the file the next "EXP START" writes.
    std::string exportFile = "HARDCOPY";
    std::string exportFormat = "BMP";
    bool exportColour = true;
};

struct AcquireSettings {
    std::string mode = "SAMPLE";  // SAMPLE, PEAKDETECT, ENVELOPE, AVERAGE, HIRES
    int averages = 16;
    int envelopes = 10;  // 0: no limit ("INFI")
    // "TRIG:STATE?" answers READY this many times after a single sequence was armed, then the
    // sequence has triggered and it answers SAVE.
    int pollsBeforeTrigger = 0;
};

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// The program-wide state the shell owns for the whole run and every subsystem reads: the
// selected instrument, the interface, the operating mode, the colour option, the scratch files.
// The open link itself (handle, port) lives in the CommandTransport.
#pragma once

#include <string>

namespace ktx {

constexpr int kModeOscilloscope = 0;
constexpr int kModeMultimeter = 1;

struct ProgramState {
    std::string programDir;   // folder of the executable (or --home / KURVITEX_HOME)
    std::string iniFileName;  // programDir/kurvitex.ini
    std::string deviceIniFile = "NONE";
    int deviceType = 1;
    int linkType = 0;
    std::string linkLibrary;
    int operatingMode = kModeOscilloscope;
    bool deviceConnected = false;
    int pictureFormat = 0;  // 0 PCX, 1 BMP, 2 PNG
    std::string pictureExt = "PCX";
    bool colourCapable = false;
    bool colourEnabled = false;
    bool instrumentChanged = true;
    bool controlMode = false;
    // The folder of the file last chosen in a file dialog: where the next one opens (this run).
    std::string lastFolder;

    // Scratch files in the program folder.
    std::string conversionFile;   // ktx_tmp.tmp: raw curves, converted imports
    std::string compressionFile;  // ktx_tmp1.tmp: compressed and cut-out waveforms
    std::string tempPicture;      // ktx_tmp.bmp: the received screen picture
};

// State at start-up from kurvitex.ini and the instrument definition file it names: the folder
// and scratch files, [DEVICE] INIFILE and the instrument's TYPE, [TRANSFER] SS_TYPE and
// DLL_NAME, the operating mode, the picture format and the colour option. A missing
// kurvitex.ini gives every default (no interface).
ProgramState ReadStartupState(const std::string& programDir);

// [DEVICE] INIFILE as a path: relative names are taken from the program folder.
std::string ResolveDeviceFile(const std::string& programDir, const std::string& iniFile);

// The operating mode a device type starts in: type 9 keeps its last mode (kurvitex.ini
// [DEVICE] MODE), 20 and above are multimeters, the rest oscilloscopes.
int StartupOperatingMode(int deviceType, const std::string& iniFileName);

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/program_state.h"

#include <filesystem>

#include "config/device_file.h"
#include "config/profile_file.h"

namespace ktx {

namespace {

constexpr int kDualModeType = 9;
constexpr int kMultimeterTypes = 20;

std::string Join(const std::string& dir, const std::string& name) {
    return (std::filesystem::path(dir) / name).string();
}

}  // namespace

std::string ResolveDeviceFile(const std::string& programDir, const std::string& iniFile) {
    if (iniFile.empty() || iniFile == "NONE" || std::filesystem::path(iniFile).is_absolute()) {
        return iniFile;
    }
    // The shipped kurvitex.ini names its instrument relative to the program folder, so the
    // folder can live anywhere.
    return Join(programDir, iniFile);
}

int StartupOperatingMode(int deviceType, const std::string& iniFileName) {
    if (deviceType == kDualModeType) {
        // Anything but the two known modes starts as an oscilloscope: the status line has no
        // name for a third.
        return ProfileFile(iniFileName).ReadInt("DEVICE", "MODE", kModeOscilloscope) ==
                       kModeMultimeter
                   ? kModeMultimeter
                   : kModeOscilloscope;
    }
    return deviceType >= kMultimeterTypes ? kModeMultimeter : kModeOscilloscope;
}

ProgramState ReadStartupState(const std::string& programDir) {
    ProgramState s;
    s.programDir = programDir;
    s.iniFileName = Join(programDir, "kurvitex.ini");
    s.conversionFile = Join(programDir, "ktx_tmp.tmp");
    s.compressionFile = Join(programDir, "ktx_tmp1.tmp");
    s.tempPicture = Join(programDir, "ktx_tmp.bmp");

    const ProfileFile ini(s.iniFileName);
    s.deviceIniFile = ResolveDeviceFile(programDir, ini.ReadString("DEVICE", "INIFILE", "NONE"));
    s.deviceType = ReadDeviceType(s.deviceIniFile);
    s.linkType = ini.ReadInt("TRANSFER", "SS_TYPE", 0);
    s.linkLibrary = ini.ReadString("TRANSFER", "DLL_NAME", "");
    s.operatingMode = StartupOperatingMode(s.deviceType, s.iniFileName);

    const PictureFormat picture = ReadPictureFormat(s.deviceIniFile);
    s.pictureFormat = picture.format;
    s.pictureExt = picture.ext;
    s.colourCapable = ReadColourCapable(s.deviceIniFile);
    s.colourEnabled = s.colourCapable && ini.ReadInt("COLOR", "ENABLE", 0) == 1;
    return s;
}

}  // namespace ktx

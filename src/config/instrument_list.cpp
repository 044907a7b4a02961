// SPDX-License-Identifier: GPL-3.0-or-later
// "Geräteauswahl" without the window; see instrument_list.h.
#include "config/instrument_list.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "config/device_file.h"
#include "config/device_validator.h"
#include "config/notifier.h"
#include "config/profile_file.h"

namespace ktx {

namespace {

constexpr int kMsgBadFileFormat = 12;
constexpr int kMsgIniNotWritten = 16;
constexpr int kHelpSelection = 14;
constexpr int kTypeNone = 0;
constexpr int kTypeMultimeterScope = 9;
constexpr int kTypeHandheld = 20;

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](char c) { return Lower(c); });
    return s;
}

bool IsDefinitionFileName(const std::string& name) {
    const std::string n = Lower(name);
    return n.size() >= 7 && n.compare(0, 3, "kt_") == 0 && n.compare(n.size() - 4, 4, ".ini") == 0;
}

// ProgramDir/Driver, found ignoring case: a folder copied from Windows may be named "DRIVER".
std::filesystem::path DriverFolder(const std::string& programDir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path exact = fs::path(programDir) / "Driver";
    if (fs::is_directory(exact, ec)) {
        return exact;
    }
    for (fs::directory_iterator it(programDir, ec), end; !ec && it != end; it.increment(ec)) {
        if (Lower(it->path().filename().string()) == "driver" && it->is_directory(ec)) {
            return it->path();
        }
    }
    return {};
}

}  // namespace

std::vector<InstrumentEntry> ListInstruments(const std::string& programDir) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code ec;
    // Full paths: the chosen one is stored in kurvitex.ini and must not depend on the working
    // folder of a later run.
    const fs::path found = DriverFolder(programDir);
    const fs::path folder = found.empty() ? found : fs::absolute(found, ec).lexically_normal();
    if (!folder.empty()) {
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeEc;
            if (IsDefinitionFileName(it->path().filename().string()) &&
                it->is_regular_file(typeEc)) {
                files.push_back(it->path().string());
            }
        }
    }
    // The list keeps the order in which the folder is enumerated, and which of two equal names
    // is preselected depends on it. On Windows (NTFS) that order is alphabetical ignoring case;
    // Linux file systems return hash order, so the names are sorted here the NTFS way.
    std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        const std::string la = Lower(fs::path(a).filename().string());
        const std::string lb = Lower(fs::path(b).filename().string());
        return la != lb ? la < lb : a < b;
    });
    std::vector<InstrumentEntry> entries;
    entries.reserve(files.size());
    for (std::string& f : files) {
        entries.push_back({ReadDeviceName(f), std::move(f)});
    }
    return entries;
}

int PreselectedInstrument(const std::vector<InstrumentEntry>& entries,
                          const std::string& currentName) {
    for (int i = static_cast<int>(entries.size()) - 1; i >= 0; --i) {
        if (entries[static_cast<std::size_t>(i)].name == currentName) {
            return i;
        }
    }
    return entries.empty() ? -1 : 0;
}

InstrumentSelection ApplyInstrumentSelection(const std::string& path, const std::string& iniPath,
                                             Notifier& notifier) {
    InstrumentSelection result;
    if (!ValidateDeviceFile(path, notifier)) {
        ShowInfoMsgText(notifier, kMsgBadFileFormat, path, kHelpSelection);
        return result;
    }
    result.accepted = true;
    result.deviceIniFile = path;
    result.deviceType = ReadDeviceType(path);

    ProfileFile ini(iniPath);
    const bool typeWritten = ini.WriteString("DEVICE", "TYPE", std::to_string(result.deviceType));
    const bool fileWritten = ini.WriteString("DEVICE", "INIFILE", path);
    result.saved = typeWritten && fileWritten;
    // One selection, one message: the second write fails for the same reason as the first.
    if (!result.saved) {
        ShowErrorMsg(notifier, kMsgIniNotWritten, kHelpSelection);
    }
    return result;
}

InstrumentState StateAfterSelection(const std::string& deviceIniFile, int deviceType, int linkType,
                                    const std::string& iniPath) {
    InstrumentState s;
    if (deviceType == kTypeMultimeterScope) {
        // Only 0 and 1 are modes; anything else a user typed into the file starts the scope.
        s.operatingMode = ProfileFile(iniPath).ReadInt("DEVICE", "MODE", 0) == 1 ? 1 : 0;
    } else if (deviceType == kTypeHandheld) {
        s.operatingMode = 1;
    } else {
        s.operatingMode = 0;
    }
    s.linkType = deviceType == kTypeNone ? 0 : linkType;
    const PictureFormat picture = ReadPictureFormat(deviceIniFile);
    s.pictureFormat = picture.format;
    s.pictureExt = picture.ext;
    s.colourCapable = ReadColourCapable(deviceIniFile);
    return s;
}

}  // namespace ktx

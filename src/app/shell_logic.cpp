// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell_logic.h"

#include <algorithm>
#include <cctype>

#include "config/message_catalog.h"
#include "config/profile_file.h"
#include "link/command_transport.h"

namespace ktx {

namespace {
constexpr int kDualModeType = 9;
constexpr int kTelecomType = 12;
constexpr int kNoIdentificationType = 19;
constexpr int kMultimeterTypes = 20;  // and above
constexpr int kHandheldType = 20;
constexpr int kLineFeedType = 30;
constexpr int kModeNameBase = 2060;
constexpr int kMaxAppEntries = 10;
}  // namespace

MenuState ComputeMenuState(const ProgramState& s, int childCount, bool imageWindowActive) {
    MenuState m;
    const bool c = s.controlMode;
    m.modusVisible = s.deviceType == kDualModeType;
    m.remoteScopeVisible = s.operatingMode == kModeOscilloscope;
    m.scannerVisible = s.operatingMode == kModeOscilloscope;
    m.remoteMeterVisible = s.operatingMode >= kModeMultimeter;
    m.setupVisible = m.waveformVisible = m.erfassungVisible = s.deviceType < kMultimeterTypes;
    m.telecomVisible = s.deviceType == kTelecomType;

    m.optionsEnabled = !c;
    m.saveVisible = imageWindowActive;
    m.saveAsVisible = !imageWindowActive;
    m.childCommandsEnabled = childCount > 0;
    m.controlButtonVisible = s.operatingMode == kModeOscilloscope;
    m.colourEnabled = s.colourCapable;
    m.colourChecked = s.colourCapable && s.colourEnabled;

    const bool d = s.deviceConnected;
    m.instrumentMenusEnabled = d && !c;
    m.scanButtonEnabled = d && !c && s.operatingMode == kModeOscilloscope;
    m.controlButtonEnabled = d;
    return m;
}

std::string DeviceStatusText(const std::string& deviceName, int deviceType, int operatingMode) {
    std::string text = deviceName;
    if (deviceType == kDualModeType) {
        text += "  ";
        text += MessageCatalog::String(kModeNameBase + operatingMode);
    }
    return text;
}

std::string InterfaceStatusText(const std::string& linkLibrary, int linkType, int linkPort) {
    const std::string name = linkLibrary.substr(0, linkLibrary.find('.'));
    return name + " " + (linkType == kLinkRs232 ? " COM" : " DEV") + std::to_string(linkPort) + " ";
}

bool DeviceNameMatches(const std::string& deviceName, const std::string& answer) {
    const auto underscore = deviceName.find('_');
    if (underscore == std::string::npos) {
        return answer.find(deviceName) != std::string::npos;
    }
    return answer.find(deviceName.substr(0, underscore)) != std::string::npos &&
           answer.find(deviceName.substr(underscore + 1)) != std::string::npos;
}

Presence CheckInstrumentPresence(CommandTransport& transport, int deviceType,
                                 const std::string& deviceName) {
    if (deviceType <= 0) {
        return Presence::NotAsked;
    }
    if (deviceType == kNoIdentificationType) {
        return Presence::Connected;
    }
    if (deviceType == kLineFeedType) {
        return transport.Query("COMU?").find("ON..") != std::string::npos ? Presence::Connected
                                                                          : Presence::NotConnected;
    }
    const std::string answer = transport.Query(deviceType == kHandheldType ? "!V?" : "*IDN?");
    if (answer.find('T') == std::string::npos) {
        return Presence::NotConnected;
    }
    return DeviceNameMatches(deviceName, answer) ? Presence::Connected : Presence::WrongDevice;
}

std::vector<InterfaceEntry> ReadInterfaceEntries(const ProfileFile& ini, int mask) {
    std::vector<InterfaceEntry> entries;
    const int count = ini.ReadInt("SSDLL", "CNT", 0);
    // A count beyond any real list is a typo; do not read thousands of keys for it.
    for (int i = 1; i <= std::min(count, 999); ++i) {
        const std::string n = std::to_string(i);
        InterfaceEntry e{ini.ReadInt("SSDLL", "T" + n, 0), ini.ReadString("SSDLL", "N" + n, ""),
                         ini.ReadString("SSDLL", "B" + n, "")};
        if ((e.kinds & mask) == e.kinds) {
            entries.push_back(std::move(e));
        }
    }
    return entries;
}

int PreselectedInterface(const std::vector<InterfaceEntry>& entries,
                         const std::string& linkLibrary) {
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        return s;
    };
    int found = -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (lower(entries[i].library) == lower(linkLibrary)) {
            found = static_cast<int>(i);
        }
    }
    return found;
}

std::vector<AppEntry> ReadAppEntries(const ProfileFile& ini) {
    const int count = std::clamp(ini.ReadInt("APP", "ANZ", 0), 0, kMaxAppEntries);
    std::vector<AppEntry> entries;
    for (int i = 1; i <= count; ++i) {
        const std::string digit(1, static_cast<char>('1' + i - 1));
        entries.push_back(
            {ini.ReadString("APP", "F" + digit, ""), ini.ReadString("APP", "N" + digit, "")});
    }
    return entries;
}

}  // namespace ktx

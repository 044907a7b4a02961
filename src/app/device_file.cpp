// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/device_file.h"

#include "app/profile_file.h"

namespace ktx {

namespace {
constexpr std::size_t kMaxText = 255;
}

int ReadDeviceType(const std::string& deviceFile) {
    return ProfileFile(deviceFile).ReadInt("DEVICE", "TYPE", 1);
}

std::string ReadDeviceName(const std::string& deviceFile) {
    return ProfileFile(deviceFile).ReadString("DEVICE", "NAME", "NONAME").substr(0, kMaxText);
}

int ReadInterfaces(const std::string& deviceFile) {
    const ProfileFile f(deviceFile);
    int mask = 0;
    if (f.ReadInt("INTERFACE", "RS232", 0) != 0) {
        mask |= kInterfaceRs232;
    }
    if (f.ReadInt("INTERFACE", "GPIB", 0) != 0) {
        mask |= kInterfaceGpib;
    }
    if (f.ReadInt("INTERFACE", "LAN", 0) != 0) {
        mask |= kInterfaceLan;
    }
    if (f.ReadInt("INTERFACE", "USB", 0) != 0) {
        mask |= kInterfaceUsb;
    }
    return mask;
}

std::string WithComPort(const std::string& config, int port) {
    std::string value = config.substr(0, kMaxText);
    const auto at = value.find("COM");
    if (at != std::string::npos && value.size() > 4 && at + 3 < value.size() && port >= 0 &&
        port <= 9) {
        value[at + 3] = static_cast<char>('0' + port);
    }
    return value;
}

bool WriteComPort(const std::string& deviceFile, int port) {
    ProfileFile f(deviceFile);
    return f.WriteString("RS232", "CONFIG",
                         WithComPort(f.ReadString("RS232", "CONFIG", "NONE"), port));
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Accessors of the instrument definition file; see device_file.h.
#include "config/device_file.h"

#include <algorithm>

#include "config/profile_file.h"

namespace ktx {

namespace {

constexpr std::size_t kMaxText = 255;
constexpr int kDefaultDeviceTimeoutSeconds = 10;
const std::string kDegreeLatin1 = "\xB0";
const std::string kDegreeUtf8 = "\xC2\xB0";

std::string Upper(std::string s) {
    // ASCII only: the bytes above 127 of an 8-bit file are left as they are.
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; });
    return s;
}

// COUNT of a list, bounded to 0 … kMaxListEntries.
int ListCount(const ProfileFile& f, const std::string& section, const std::string& key) {
    return std::clamp(f.ReadInt(section, key, 0), 0, kMaxListEntries);
}

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to) {
    for (auto at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
        s.replace(at, from.size(), to);
    }
    return s;
}

}  // namespace

int ReadDeviceType(const std::string& deviceFile) {
    return ProfileFile(deviceFile).ReadInt("DEVICE", "TYPE", 1);
}

std::string ReadDeviceName(const std::string& deviceFile) {
    return ProfileFile(deviceFile).ReadString("DEVICE", "NAME", "NONAME").substr(0, kMaxText);
}

int ReadEncoding(const std::string& deviceFile) {
    const std::string code =
        Upper(ProfileFile(deviceFile).ReadString("DEVICE", "ENCDG", "ASC").substr(0, 3));
    if (code == "BYT") {
        return kEncodingByte;
    }
    if (code == "WOR") {
        return kEncodingWord;
    }
    return kEncodingAscii;
}

int ReadDeviceWait(const std::string& deviceFile, int defaultWait) {
    return ProfileFile(deviceFile).ReadInt("DEVICE", "WAIT", defaultWait);
}

int ReadDeviceTimeout(const std::string& deviceFile) {
    return ProfileFile(deviceFile).ReadInt("DEVICE", "TMO", kDefaultDeviceTimeoutSeconds);
}

std::uint16_t DeviceTimeoutMs(int tmoSeconds) {
    const long long seconds = tmoSeconds > 0 ? tmoSeconds : kDefaultDeviceTimeoutSeconds;
    return static_cast<std::uint16_t>(std::min<long long>(seconds * 1000, 65535));
}

std::uint16_t ReadDeviceTimeoutMs(const std::string& deviceFile) {
    return DeviceTimeoutMs(ReadDeviceTimeout(deviceFile));
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

bool ReadColourCapable(const std::string& deviceFile) {
    return ProfileFile(deviceFile).ReadInt("COLOR", "ENABLE", 0) == 1;
}

PictureFormat ReadPictureFormat(const std::string& deviceFile) {
    const std::string mode = ProfileFile(deviceFile).ReadString("TRANSFER", "MODE", "PCX");
    PictureFormat p;
    if (mode.find("BMP") != std::string::npos) {
        p.format = kPictureBmp;
    } else if (mode.find("PNG") != std::string::npos) {
        p.format = kPicturePng;
    } else {
        p.format = kPicturePcx;
    }
    p.ext = Upper(mode.substr(0, 3));
    return p;
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

SourceList ReadSources(const std::string& deviceFile) {
    const ProfileFile f(deviceFile);
    SourceList s;
    const int count = ListCount(f, "SOURCES", "COUNT");
    for (int n = 1; n <= count; ++n) {
        s.names.push_back(f.ReadString("SOURCES", "S" + std::to_string(n), ""));
    }
    s.write = f.ReadInt("SOURCES", "WRITE", 0);
    s.writeCount = f.ReadInt("SOURCES", "WRITEANZ", 100);
    return s;
}

MemorySizes ReadMemory(const std::string& deviceFile) {
    const ProfileFile f(deviceFile);
    MemorySizes m;
    m.size = f.ReadString("MEMORY", "SIZE", "1000");
    const int count = ListCount(f, "MEMORY", "ITEMCNT");
    for (int n = 1; n <= count; ++n) {
        m.items.push_back(f.ReadInt("MEMORY", "I" + std::to_string(n), 0));
    }
    return m;
}

std::vector<std::string> ReadMeasures(const std::string& deviceFile) {
    const ProfileFile f(deviceFile);
    std::vector<std::string> names;
    const int count = ListCount(f, "MEASURES", "COUNT");
    for (int n = 1; n <= count; ++n) {
        names.push_back(f.ReadString("MEASURES", "M" + std::to_string(n), ""));
    }
    return names;
}

std::vector<ExportFormat> ReadExportFormats(const std::string& deviceFile) {
    const ProfileFile f(deviceFile);
    std::vector<ExportFormat> formats;
    const int count = ListCount(f, "EXPORT", "COUNT");
    for (int n = 1; n <= count; ++n) {
        const std::string i = std::to_string(n);
        formats.push_back({Upper(f.ReadString("EXPORT", "E" + i, "")),
                           Upper(f.ReadString("EXPORT", "F" + i, ""))});
    }
    return formats;
}

std::string RangeSectionSpelling(const ProfileFile& file, const std::string& name) {
    // Bring the name to the Latin-1 spelling first, so either spelling may be asked for.
    const std::string latin1 = ReplaceAll(name, kDegreeUtf8, kDegreeLatin1);
    if (latin1.find(kDegreeLatin1) == std::string::npos) {
        return name;
    }
    if (file.HasKey(latin1, "COUNT")) {
        return latin1;
    }
    const std::string utf8 = ReplaceAll(latin1, kDegreeLatin1, kDegreeUtf8);
    if (file.HasKey(utf8, "COUNT")) {
        return utf8;
    }
    return name;
}

}  // namespace ktx

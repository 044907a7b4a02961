// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as kurvitex.ini: the profile reader with the program's keys, one write of a
// value (which must read back as written, with the other values unchanged), the interface
// libraries' settings reader and the serial line's CONFIG text.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/profile_file.h"
#include "link_settings.h"
#include "serial_config.h"

namespace {

struct Key {
    const char* section;
    const char* key;
};
constexpr Key kKeys[] = {{"TRANSFER", "DLL_NAME"}, {"TRANSFER", "SS_TYPE"}, {"DEVICE", "TYPE"},
                         {"RS232", "CONFIG"},      {"SIM", "DROPAFTER"},    {"LINK", "MAXRECEIVE"}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        const auto d = std::filesystem::temp_directory_path() / "ktx-fuzz-profile";
        std::filesystem::create_directories(d);
        return (d / "kurvitex.ini").string();
    }();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    std::string before[std::size(kKeys)];
    {
        const ktx::ProfileFile ini(path);
        for (std::size_t i = 0; i < std::size(kKeys); ++i) {
            before[i] = ini.ReadString(kKeys[i].section, kKeys[i].key, "\x01");
            ini.ReadInt(kKeys[i].section, kKeys[i].key, -7);
            ktx::ProfileNumber(before[i]);
        }
        ktx::linklib::ParseSerialConfig(before[3]);
    }
    for (const char* section : {"TCP", "RS232", "SIM"}) {
        const ktx::linklib::LinkSettings settings(path, section);
        settings.Text("HOST", "");
        settings.Integer("PORT", 0);
    }
    ktx::ProfileFile ini(path);
    if (ini.WriteString("TRANSFER", "SS_TYPE", "4")) {
        const ktx::ProfileFile again(path);
        if (again.ReadString("TRANSFER", "SS_TYPE", "") != "4") {
            __builtin_trap();  // a write that reports success reads back as written
        }
        for (std::size_t i = 0; i < std::size(kKeys); ++i) {
            if (i != 1 && again.ReadString(kKeys[i].section, kKeys[i].key, "\x01") != before[i]) {
                __builtin_trap();  // and changes no other value
            }
        }
    }
    return 0;
}

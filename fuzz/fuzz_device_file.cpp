// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes as an instrument definition file to the validator and every accessor.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/device_file.h"
#include "config/device_validator.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        auto d = std::filesystem::temp_directory_path() / "ktx-fuzz-device";
        std::filesystem::create_directories(d);
        return (d / "kt_fuzz.ini").string();
    }();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    ktx::FindDeviceFileFault(path);
    ktx::ReadEncoding(path);
    ktx::ReadPictureFormat(path);
    ktx::ReadSources(path);
    ktx::ReadMemory(path);
    ktx::ReadMeasures(path);
    ktx::ReadExportFormats(path);
    return 0;
}

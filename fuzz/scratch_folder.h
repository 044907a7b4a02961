// SPDX-License-Identifier: GPL-3.0-or-later
// A folder of the fuzz target's own for the files it hands to the code under test: in memory
// (/dev/shm) where there is one, since a disk's file operations would slow the run down to a
// few runs a second, else in the temporary folder. One folder per target.
#pragma once

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace ktx::fuzz {

inline std::filesystem::path ScratchFolder(const std::string& name) {
    std::error_code ec;
    const std::filesystem::path shm = "/dev/shm";
    const std::filesystem::path base =
        std::filesystem::is_directory(shm, ec) && ::access(shm.c_str(), W_OK) == 0
            ? shm
            : std::filesystem::temp_directory_path();
    // One folder per process: several runs of a target side by side must not share files.
    const std::filesystem::path folder = base / (name + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    // Gone again when the run ends normally (a finding leaves it for a look).
    static std::filesystem::path made;
    made = folder;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    });
    return folder;
}

}  // namespace ktx::fuzz

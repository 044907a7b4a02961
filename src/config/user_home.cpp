// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/user_home.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

#include "waveform/block_file.h"

namespace ktx {

namespace fs = std::filesystem;

namespace {

// What the user may change: copied, never linked.
constexpr std::array<std::string_view, 6> kCopied = {"kurvitex.ini", "driver",      "demo",
                                                     "telecom",      "application", "usb_driver"};

bool IsCopied(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(kCopied.begin(), kCopied.end(), lower) != kCopied.end();
}

bool CopyOne(const fs::path& from, const fs::path& to, std::string& error) {
    BlockReader in(from.string());
    SafeWriter out(to.string());
    if (!in.IsOpen()) {
        error = in.OpenError().Text();
        return false;
    }
    if (!out.Begin({from.string()})) {
        error = out.Error().Text();
        return false;
    }
    std::vector<char> buffer(1 << 16);
    for (std::size_t n; (n = in.Read(buffer.data(), buffer.size())) > 0;) {
        out.Write(buffer.data(), n);
    }
    if (in.Failed()) {
        out.Discard();
        error = from.string() + ": " + SystemErrorText(EIO);
        return false;
    }
    if (!out.Commit()) {
        error = out.Error().Text();
        return false;
    }
    return true;
}

// Copies the files `to` lacks, folder by folder.
bool CopyMissing(const fs::path& from, const fs::path& to, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(from, ec)) {
        fs::create_directories(to, ec);
        if (!fs::is_directory(to, ec)) {
            error = to.string() + ": " + SystemErrorText(ec ? ec.value() : ENOTDIR);
            return false;
        }
        for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
            if (!CopyMissing(it->path(), to / it->path().filename(), error)) {
                return false;
            }
        }
        return true;
    }
    if (!fs::is_regular_file(from, ec) || fs::exists(fs::symlink_status(to, ec))) {
        return true;
    }
    return CopyOne(from, to, error);
}

bool IsProgram(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec) && p.extension() != ".so" &&
           (fs::status(p, ec).permissions() & fs::perms::owner_exec) != fs::perms::none;
}

}  // namespace

std::string UserDataFolder() {
    if (const char* v = std::getenv("XDG_DATA_HOME"); v != nullptr && v[0] == '/') {
        return (fs::path(v) / "kurvitex").string();
    }
    const char* home = std::getenv("HOME");
    return (fs::path(home != nullptr ? home : "/") / ".local" / "share" / "kurvitex").string();
}

bool FolderWritable(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool FillUserHome(const std::string& installed, const std::string& home, std::string& error) {
    std::error_code ec;
    fs::create_directories(home, ec);
    if (!fs::is_directory(home, ec)) {
        error = home + ": " + SystemErrorText(ec ? ec.value() : ENOTDIR);
        return false;
    }
    for (fs::directory_iterator it(installed, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path from = it->path();
        const fs::path to = fs::path(home) / from.filename();
        if (IsCopied(from.filename().string())) {
            if (!CopyMissing(from, to, error)) {
                return false;
            }
        } else if (!IsProgram(from) && !fs::exists(fs::symlink_status(to, ec))) {
            fs::create_symlink(fs::absolute(from), to, ec);
            if (ec) {
                error = to.string() + ": " + SystemErrorText(ec.value());
                return false;
            }
        }
    }
    return true;
}

std::string ChooseProgramHome(const std::string& programDir, std::string& error) {
    if (FolderWritable(programDir)) {
        return programDir;
    }
    const std::string home = UserDataFolder();
    return FillUserHome(programDir, home, error) ? home : programDir;
}

}  // namespace ktx

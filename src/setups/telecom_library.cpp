// SPDX-License-Identifier: GPL-3.0-or-later
#include "setups/telecom_library.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>

#include "config/notifier.h"
#include "link/command_transport.h"

namespace ktx {

namespace {

constexpr int kMsgNoModule = 311;
// The telecom mask application as the instrument names it in its identification.
constexpr const char* kTelecomModule = "TDS3TMT";
// A description line longer than this is cut (the list shows one line).
constexpr std::size_t kMaxDescription = 255;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string FirstLine(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    char c;
    while (line.size() < kMaxDescription && in.get(c) && c != '\n') {
        line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

}  // namespace

std::vector<TelecomEntry> ReadTelecomLibrary(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Regular files by lower-case name, so ".DAT" and ".dat" are found alike.
    std::map<std::string, fs::path> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec)) {
            files.emplace(Lower(it->path().filename().string()), it->path());
        }
    }
    std::vector<TelecomEntry> entries;
    for (const auto& [name, path] : files) {
        if (path.extension().string().size() != 4 || Lower(path.extension().string()) != ".set") {
            continue;
        }
        const std::string stem = name.substr(0, name.size() - 4);
        const auto dat = files.find(stem + ".dat");
        if (dat == files.end()) {
            continue;
        }
        TelecomEntry entry{FirstLine(dat->second), path.string(), {}};
        if (const auto bmp = files.find(stem + ".bmp"); bmp != files.end()) {
            entry.picture = bmp->second.string();
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool HasTelecomModule(CommandTransport& transport, Notifier& notifier) {
    if (transport.Query("*IDN?").find(kTelecomModule) != std::string::npos) {
        return true;
    }
    ShowErrorMsg(notifier, kMsgNoModule, 0);
    return false;
}

}  // namespace ktx

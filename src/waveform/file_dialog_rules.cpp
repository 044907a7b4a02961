// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/file_dialog_rules.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "config/device_file.h"

namespace ktx {

namespace {

constexpr int kMsgInvalidName = 42;
constexpr int kMsgInvalidSource = 13;
constexpr int kMsgNoSelection = 14;
constexpr int kMsgBadStart = 43;
constexpr int kMsgBadStop = 44;
constexpr int kMsgRangeTooLarge = 15;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool ParseInt(const std::string& text, long long& value) {
    std::string_view t(text);
    while (!t.empty() && t.front() == ' ') {
        t.remove_prefix(1);
    }
    while (!t.empty() && t.back() == ' ') {
        t.remove_suffix(1);
    }
    if (!t.empty() && t.front() == '+') {
        t.remove_prefix(1);
    }
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    return !t.empty() && ec == std::errc() && end == t.data() + t.size();
}

}  // namespace

FileDialogChoices ReadFileDialogChoices(const std::string& deviceFile, int mode) {
    FileDialogChoices c;
    const MemorySizes memory = ReadMemory(deviceFile);
    c.memorySize = memory.size;
    c.memoryItems = memory.items;
    const SourceList sources = ReadSources(deviceFile);
    if (mode != kModeWrite) {
        c.sources = sources.names;
        return c;
    }
    if (sources.write <= 0) {
        return c;
    }
    for (int i = sources.write - 1;
         i < static_cast<int>(sources.names.size()) && i - (sources.write - 1) < sources.writeCount;
         ++i) {
        c.sources.push_back(sources.names[static_cast<std::size_t>(i)]);
    }
    return c;
}

int FormatFromExtension(const std::string& extension) {
    const std::string e = Lower(extension);
    if (e == ".wfm") {
        return kFormatWfm;
    }
    if (e == ".xls") {
        return kFormatXls;
    }
    if (e == ".fms") {
        return kFormatFms;
    }
    if (e == ".ktx") {
        return kFormatKtx;
    }
    if (e == ".txt") {
        return kFormatTxt;
    }
    if (e == ".npy") {
        return kFormatNpy;
    }
    return -1;
}

FileDialogCheck CheckFileDialog(const FileDialogInput& in, bool fileExists) {
    FileDialogCheck r;
    std::filesystem::path path(in.typedName);
    if (!path.is_absolute()) {
        path = std::filesystem::path(in.folder) / path;
    }
    r.fileName = path.string();
    if (Lower(path.extension().string()) != Lower(in.filterExtension) ||
        r.fileName.find('*') != std::string::npos || in.typedName.empty()) {
        r.message = kMsgInvalidName;
        r.extra = r.fileName;
        return r;
    }
    if (in.mode == kModeWrite) {
        if (!fileExists) {
            r.message = kMsgInvalidName;
            r.extra = r.fileName;
            return r;
        }
        if (in.selectedSources != 1) {
            r.message = kMsgInvalidSource;
        }
        return r;
    }
    r.confirmOverwrite = fileExists;
    if (in.selectedSources == 0 || in.selectedSources > kMaxSources) {
        r.message = kMsgNoSelection;
        return r;
    }
    long long start = 0;
    long long stop = 0;
    long long size = 0;
    if (!ParseInt(in.start, start)) {
        r.message = kMsgBadStart;
        r.extra = in.start;
        return r;
    }
    if (!ParseInt(in.stop, stop)) {
        r.message = kMsgBadStop;
        r.extra = in.stop;
        return r;
    }
    if (ParseInt(in.memorySize, size) && stop > size) {
        r.message = kMsgRangeTooLarge;
        return r;
    }
    r.requested = static_cast<int>(std::clamp<long long>(stop - start, -2147483647, 2147483647));
    return r;
}

}  // namespace ktx

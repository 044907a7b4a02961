// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a set-up file (".set", or what "SET?" left in the editor's scratch file):
// the groups "Aus&geben Setup" sends, read from the file, and the editor's entries and printed
// lines. Beyond "no crash": the groups are the file up to a final line end and the same as
// the splitter makes of that text in memory, none longer than a group may be, each ending at
// ";:" unless it is cut at the limit or is the last; the entries are the text again, none
// longer than an entry may be.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "scratch_folder.h"
#include "setups/setup_transfer.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool EndsWithPathStart(const std::string& s) {
    return s.size() >= 2 && s.compare(s.size() - 2, 2, ";:") == 0;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string all;
    for (const std::string& p : parts) {
        all += p;
    }
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path =
        (ktx::fuzz::ScratchFolder("ktx-fuzz-setup") / "fuzz.set").string();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    const std::string file(reinterpret_cast<const char*>(data), size);
    // The payload: the file without one final line end ("\n", "\r", "\r\n", "\n\n", ...).
    std::string payload = file;
    for (int i = 0; i < 2 && !payload.empty() && (payload.back() == '\n' || payload.back() == '\r');
         ++i) {
        payload.pop_back();
    }

    const std::vector<std::string> groups = ktx::SplitSetupGroups(payload);
    Check(Join(groups) == payload);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const std::string& g = groups[i];
        Check(!g.empty() && g.size() <= ktx::kSetupGroupLimit);
        // No ";:" inside a group: it would have ended there.
        Check(g.find(";:") == std::string::npos || g.find(";:") == g.size() - 2);
        Check(EndsWithPathStart(g) || g.size() == ktx::kSetupGroupLimit || i + 1 == groups.size());
    }

    ktx::SetupFileReader reader(path);
    Check(reader.IsOpen() && reader.Size() == size);
    std::vector<std::string> sent;
    for (std::string group; reader.Next(group);) {
        sent.push_back(group);
        Check(sent.size() <= size);
    }
    Check(!reader.Failed());
    Check(sent == groups);

    const std::vector<std::string> entries = ktx::SplitSetupEntries(payload);
    Check(Join(entries) == payload);
    for (const std::string& e : entries) {
        Check(!e.empty() && e.size() <= ktx::kSetupEntryLimit);
    }
    const auto fromFile = ktx::ReadSetupEntryFile(path);
    Check(fromFile && *fromFile == entries);

    const std::vector<std::string> lines = ktx::SetupPrintLines(entries);
    Check(lines.size() == entries.size() + 3);
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as an uninstall list (`uninstal.txt`): the list reader, then the uninstaller
// itself on a copy of the list whose paths are moved into a scratch tree, where every file and
// folder it names exists (and one more file nobody named). Beyond "no crash": every entry read
// has a known prefix and an absolute path of one line; the uninstaller removes nothing the list
// does not name, no file outside the installed folder but menu files, and no folder that is
// not empty.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "installer/install_list.h"
#include "installer/uninstall.h"
#include "scratch_folder.h"

namespace {

namespace fs = std::filesystem;

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// At most this many entries go to the uninstaller: each costs a few file operations.
constexpr std::size_t kMaxEntries = 12;

// `path` inside `sandbox`, or empty when its ".." steps would leave it.
fs::path Moved(const fs::path& sandbox, const std::string& path) {
    const fs::path moved = (sandbox / fs::path(path).relative_path()).lexically_normal();
    const fs::path rel = moved.lexically_relative(sandbox);
    if (rel.empty() || *rel.begin() == "..") {
        return {};
    }
    return moved;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<ktx::UninstallEntry> entries = ktx::ParseUninstallList(text);
    for (const ktx::UninstallEntry& e : entries) {
        Check(e.prefix == ktx::UninstallList::kDir || e.prefix == ktx::UninstallList::kFile ||
              e.prefix == ktx::UninstallList::kGroup);
        Check(!e.path.empty() && e.path.front() == '/');
        Check(e.path.find('\n') == std::string::npos && e.path.back() != '\r');
    }

    static const fs::path sandbox = ktx::fuzz::ScratchFolder("ktx-fuzz-uninstall");
    std::error_code ec;
    fs::remove_all(sandbox / "root", ec);
    fs::create_directories(sandbox / "root", ec);
    const fs::path root = sandbox / "root";
    const fs::path list = sandbox / "root" / "uninstal.txt";

    // The list again, its paths inside the scratch tree; every file it names made.
    std::set<fs::path> named{list};
    std::set<fs::path> files;
    {
        std::ofstream out(list, std::ios::binary);
        for (const ktx::UninstallEntry& e : entries) {
            const fs::path p = Moved(root, e.path);
            if (p.empty() || named.size() > kMaxEntries) {
                continue;
            }
            out << e.prefix << p.string() << "\n";
            named.insert(p);
            if (e.prefix == ktx::UninstallList::kDir) {
                fs::create_directories(p, ec);
            } else if (!fs::exists(p, ec)) {
                fs::create_directories(p.parent_path(), ec);
                if (std::ofstream(p).good()) {
                    files.insert(p);
                }
            }
        }
    }
    // A file nobody named, in the first folder the list names (or the tree's root).
    fs::path installed = root;
    if (!entries.empty() && entries.front().prefix == ktx::UninstallList::kDir) {
        const fs::path p = Moved(root, entries.front().path);
        installed = p.empty() ? root : p;
    }
    const fs::path foreign = installed / "not-named.txt";
    if (!named.count(foreign) && fs::is_directory(installed, ec)) {
        std::ofstream(foreign) << "keep";
    }

    const ktx::UninstallReport report = ktx::Uninstall(list.string());
    Check(report.listRead);
    for (const std::string& removed : report.removed) {
        const fs::path p = fs::path(removed).lexically_normal();
        Check(named.count(p) != 0);  // nothing the list does not name
        const fs::path rel = p.lexically_relative(sandbox);
        Check(!rel.empty() && *rel.begin() != "..");
    }
    if (fs::is_directory(installed, ec) && !named.count(foreign)) {
        Check(fs::exists(foreign));  // the user's own file stays
    }
    return 0;
}

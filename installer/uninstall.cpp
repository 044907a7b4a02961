// SPDX-License-Identifier: GPL-3.0-or-later
#include "installer/uninstall.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "installer/install_list.h"

namespace ktx {

namespace fs = std::filesystem;

namespace {

bool Inside(const fs::path& path, const fs::path& folder) {
    const fs::path p = path.lexically_normal();
    const fs::path f = folder.lexically_normal();
    auto [fEnd, pIt] = std::mismatch(f.begin(), f.end(), p.begin(), p.end());
    // A trailing separator leaves an empty last element in `f`.
    return (fEnd == f.end() || (fEnd->empty() && std::next(fEnd) == f.end())) && pIt != p.end();
}

// A folder an installation makes: below the root, named without "." or ".." steps.
bool IsInstalledFolder(const fs::path& folder) {
    int names = 0;
    for (const fs::path& part : folder.relative_path()) {
        if (part == "." || part == "..") {
            return false;
        }
        names += part.empty() ? 0 : 1;
    }
    return names > 0;
}

bool IsMenuFile(const fs::path& path) {
    const std::string ext = path.extension().string();
    return ext == ".desktop" || ext == ".directory" || ext == ".menu";
}

void Remove(const fs::path& path, UninstallReport& report) {
    std::error_code ec;
    if (fs::remove(path, ec)) {
        report.removed.push_back(path.string());
    } else if (ec) {
        report.kept.push_back(path.string() + ": " + ec.message());
    }
}

}  // namespace

UninstallReport Uninstall(const std::string& listPath) {
    UninstallReport report;
    std::ifstream in(listPath, std::ios::binary);
    if (!in) {
        return report;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        return report;
    }
    in.close();
    const std::vector<UninstallEntry> entries = ParseUninstallList(text);
    report.listRead = true;
    if (entries.empty() || entries.front().prefix != UninstallList::kDir) {
        report.kept.push_back(listPath + ": no installed folder named first");
        return report;
    }
    if (!IsInstalledFolder(entries.front().path)) {
        // "Dir:/" or "Dir:/opt/ktx/.." would make every file the list names count as inside.
        report.kept.push_back(entries.front().path + ": no installed folder");
        return report;
    }
    const fs::path installed = entries.front().path;

    std::error_code ec;
    for (const UninstallEntry& e : entries) {
        const fs::path p = e.path;
        const auto status = fs::symlink_status(p, ec);
        if (e.prefix == UninstallList::kFile) {
            if (!Inside(p, installed)) {
                report.kept.push_back(e.path + ": outside the installed folder");
            } else if (fs::is_regular_file(status) || fs::is_symlink(status)) {
                Remove(p, report);
            }
        } else if (e.prefix == UninstallList::kGroup) {
            if (!IsMenuFile(p)) {
                report.kept.push_back(e.path + ": no menu file");
            } else if (fs::is_regular_file(status)) {
                Remove(p, report);
            }
        }
    }
    Remove(listPath, report);

    // Deepest folders first, each only when nothing is left in it.
    std::vector<fs::path> folders;
    for (const UninstallEntry& e : entries) {
        if (e.prefix == UninstallList::kDir) {
            folders.push_back(fs::path(e.path).lexically_normal());
        }
    }
    std::sort(folders.begin(), folders.end(), [](const fs::path& a, const fs::path& b) {
        const auto da = std::distance(a.begin(), a.end());
        const auto db = std::distance(b.begin(), b.end());
        return da != db ? da > db : a < b;
    });
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const fs::path& folder : folders) {
        const auto status = fs::symlink_status(folder, ec);
        if (!fs::is_directory(status)) {
            continue;
        }
        if (!fs::is_empty(folder, ec)) {
            report.kept.push_back(folder.string() + ": not empty");
            continue;
        }
        Remove(folder, report);
    }
    return report;
}

}  // namespace ktx

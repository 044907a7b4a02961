// SPDX-License-Identifier: GPL-3.0-or-later
#include "installer/installation.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "installer/install_list.h"
#include "installer/install_tables.h"
#include "installer/lz_copy.h"

namespace ktx {

namespace fs = std::filesystem;

namespace {

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// An entry of `folder` named `name` in any letter case (a medium written on another system may
// say "DRIVER" or "GER"); the exact name when there is none.
fs::path FindIgnoringCase(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    const fs::path exact = folder / name;
    if (fs::exists(exact, ec)) {
        return exact;
    }
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (EqualIgnoringCase(it->path().filename().string(), name)) {
            return it->path();
        }
    }
    return exact;
}

fs::path SourceFolder(const std::string& source, bool languageSpecific, int language) {
    return languageSpecific ? FindIgnoringCase(source, LanguageFolder(language)) : fs::path(source);
}

bool TooLong(const std::string& path) {
    return path.size() > kMaxInstallPath;
}

std::string TooLongText(const std::string& path) {
    return "Path longer than " + std::to_string(kMaxInstallPath) + " characters: " + path;
}

// One installation run: the failure flag, the progress and the list.
class Installer {
  public:
    Installer(const InstallRequest& r, InstallerUi& ui)
        : m_request(r),
          m_ui(ui),
          m_destination(StripTrailingSeparators(r.destination)),
          m_list((fs::path(m_destination) / kUninstallListName).string()) {}

    bool Run();

  private:
    // Copies and lists one file; false when the installation must stop.
    bool CopyListed(const std::string& source, const std::string& target, bool executable);
    bool MakeListedFolder(const std::string& target);
    bool CopyFolder(const InstallFolder& folder);
    bool Listed(const char* prefix, const std::string& path);

    const InstallRequest& m_request;
    InstallerUi& m_ui;
    std::string m_destination;
    UninstallList m_list;
    std::uint64_t m_done = 0;
    bool m_failed = false;
};

bool Installer::Listed(const char* prefix, const std::string& path) {
    if (m_list.Add(prefix, path)) {
        return true;
    }
    m_ui.Error("Uninstall list could not be written: " + m_list.Error());
    m_failed = true;
    return false;
}

bool Installer::CopyListed(const std::string& source, const std::string& target, bool executable) {
    if (TooLong(source) || TooLong(target)) {
        m_ui.Error(TooLongText(TooLong(source) ? source : target));
        m_failed = true;
        return false;
    }
    m_ui.ShowFile(target);
    const LzCopyResult copied = LzCopy(source, target, executable);
    if (!copied.ok) {
        // The copy left nothing behind; the list still names everything made before.
        m_ui.Error("Error while during copy !!\n" + copied.error);
        m_failed = true;
        return false;
    }
    std::error_code ec;
    const auto size = fs::file_size(target, ec);
    m_done += ec ? 0 : size;
    m_ui.Progress(m_done);
    return Listed(UninstallList::kFile, target);
}

bool Installer::MakeListedFolder(const std::string& target) {
    if (TooLong(target)) {
        m_ui.Error(TooLongText(target));
        m_failed = true;
        return false;
    }
    std::error_code ec;
    if (!fs::is_directory(target, ec)) {
        fs::create_directory(target, ec);
        if (ec || !fs::is_directory(target, ec)) {
            m_ui.Error("Directory could not be created " + target);
            m_failed = true;
            return false;
        }
    }
    return Listed(UninstallList::kDir, target);
}

bool Installer::CopyFolder(const InstallFolder& folder) {
    const fs::path source = FindIgnoringCase(
        SourceFolder(m_request.source, folder.languageSpecific, m_request.language), folder.name);
    const fs::path target = fs::path(m_destination) / folder.name;
    if (!MakeListedFolder(target.string())) {
        return false;
    }
    std::vector<fs::path> files;
    std::vector<fs::path> subfolders;
    std::error_code ec;
    for (fs::directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->is_directory(ec)) {
            // Only plain names are descended into: "x.old" and the like are left alone.
            if (name.find('.') == std::string::npos) {
                subfolders.push_back(it->path());
            }
        } else if (it->is_regular_file(ec)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    std::sort(subfolders.begin(), subfolders.end());
    for (const fs::path& f : files) {
        if (!CopyListed(f.string(), (target / ExpandedName(f.string())).string(), false)) {
            return false;
        }
    }
    for (const fs::path& sub : subfolders) {
        const fs::path subTarget = target / sub.filename();
        if (!MakeListedFolder(subTarget.string())) {
            return false;
        }
        std::vector<fs::path> subFiles;
        for (fs::directory_iterator it(sub, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->is_regular_file(ec)) {
                subFiles.push_back(it->path());
            }
        }
        std::sort(subFiles.begin(), subFiles.end());
        for (const fs::path& f : subFiles) {
            if (!CopyListed(f.string(), (subTarget / ExpandedName(f.string())).string(), false)) {
                return false;
            }
        }
    }
    return true;
}

bool Installer::Run() {
    m_ui.Progress(0);
    const std::string source = StripTrailingSeparators(m_request.source);
    const std::string listPath = (fs::path(m_destination) / kUninstallListName).string();
    for (const std::string& p : {source, m_destination, listPath}) {
        if (TooLong(p)) {
            m_ui.Error(TooLongText(p == listPath ? m_destination : p));
            return false;
        }
    }
    std::error_code ec;
    if (!fs::is_directory(m_destination, ec)) {
        fs::create_directory(m_destination, ec);
        if (ec || !fs::is_directory(m_destination, ec)) {
            m_ui.Error("Destination Directory could not be created");
            return false;
        }
    }
    if (Listed(UninstallList::kDir, m_destination)) {
        for (const InstallFile& file : kInstallFiles) {
            const fs::path folder = SourceFolder(source, file.languageSpecific, m_request.language);
            std::string from = FindOnMedium(folder.string(), file.name);
            if (from.empty()) {
                if (!m_ui.AskContinue("File " + (folder / file.name).string() + " not found")) {
                    m_failed = true;
                    break;
                }
                continue;
            }
            if (!CopyListed(from, (fs::path(m_destination) / file.name).string(),
                            file.executable)) {
                break;
            }
        }
    }
    if (!m_failed) {
        for (const InstallFolder& folder : kInstallFolders) {
            if (!CopyFolder(folder)) {
                break;
            }
        }
    }
    if (m_failed) {
        m_ui.Warn("Installation not successful");
        return false;
    }

    std::string error;
    if (!CreateMenuGroup(m_request.menu, m_list, error)) {
        m_ui.Error("Program Group could not be created\n" + error);
        m_failed = true;
    } else {
        for (const MenuItem& item : {ProgramItem(m_destination), UninstallItem(m_destination),
                                     ReadmeItem(m_destination)}) {
            if (!AddMenuItem(m_request.menu, item, m_list, error)) {
                m_ui.Error("Program Icon could not be created\n" + error);
                m_failed = true;
            }
        }
    }
    if (m_failed) {
        m_ui.Error("Kurvitex not successful installed");
    }
    return !m_failed;
}

}  // namespace

std::string LanguageFolder(int index) {
    static const char* const kFolders[] = {"GER", "ENG", "ESP", "FRE"};
    return kFolders[index >= 0 && index <= 3 ? index : 0];
}

std::string StripTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string FindOnMedium(const std::string& folder, const std::string& name) {
    std::error_code ec;
    fs::path found = FindIgnoringCase(folder, name);
    if (fs::is_regular_file(found, ec)) {
        return found.string();
    }
    // Compressed files are often named with their last letter replaced by "_" (compress.exe)
    // or with "_" appended (mscompress).
    std::string replaced = name;
    replaced.back() = '_';
    for (const std::string& packed : {replaced, name + "_"}) {
        found = FindIgnoringCase(folder, packed);
        if (fs::is_regular_file(found, ec)) {
            return found.string();
        }
    }
    return std::string();
}

bool Install(const InstallRequest& request, InstallerUi& ui) {
    return Installer(request, ui).Run();
}

std::optional<std::uint64_t> FreeSpace(const std::string& folder) {
    std::error_code ec;
    fs::path p = fs::absolute(folder, ec);
    while (!p.empty() && !fs::exists(p, ec) && p != p.parent_path()) {
        p = p.parent_path();
    }
    const fs::space_info info = fs::space(p, ec);
    if (ec) {
        return std::nullopt;
    }
    return info.available;
}

bool MakeDisks(const DiskRequest& request, InstallerUi& ui, const SpaceQuery& space) {
    ui.Progress(0);
    std::string folder = StripTrailingSeparators(request.folder);
    std::uint64_t done = 0;
    for (const InstallFile& file : kInstallFiles) {
        if (!file.onDisks) {
            continue;
        }
        const fs::path from = SourceFolder(request.source, file.languageSpecific, request.language);
        const std::string source = FindOnMedium(from.string(), file.name);
        std::string target = (fs::path(folder) / file.name).string();
        ui.ShowFile(target);
        if (source.empty()) {
            if (!ui.AskContinue("File " + (from / file.name).string() + " not found")) {
                return false;
            }
            continue;
        }
        // What the file takes on the disk is its expanded size, not the size on the medium.
        const std::uint64_t size = ExpandedSize(source).value_or(0);
        auto free = space(folder);
        if (!free || *free < size) {
            const auto next = ui.NextDisk("Insert new disk");
            if (!next) {
                return false;
            }
            folder = StripTrailingSeparators(*next);
            target = (fs::path(folder) / file.name).string();
            ui.ShowFile(target);
            free = space(folder);
            if (!free || *free < size) {
                ui.Error("not enough space");
                return false;
            }
        }
        if (TooLong(source) || TooLong(target)) {
            ui.Error(TooLongText(TooLong(source) ? source : target));
            return false;
        }
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) {
            fs::create_directories(folder, ec);
            if (ec || !fs::is_directory(folder, ec)) {
                ui.Error("Directory could not be created " + folder);
                return false;
            }
        }
        const LzCopyResult copied = LzCopy(source, target, file.executable);
        if (!copied.ok) {
            ui.Error("Error while during copy !!\n" + copied.error);
            return false;
        }
        done += size;
        ui.Progress(done);
    }
    return true;
}

std::uint64_t BytesNeeded(const std::string& source, int language) {
    std::uint64_t total = 0;
    for (const InstallFile& file : kInstallFiles) {
        const std::string path =
            FindOnMedium(SourceFolder(source, file.languageSpecific, language).string(), file.name);
        if (!path.empty()) {
            total += ExpandedSize(path).value_or(0);
        }
    }
    std::error_code ec;
    for (const InstallFolder& folder : kInstallFolders) {
        const fs::path dir =
            FindIgnoringCase(SourceFolder(source, folder.languageSpecific, language), folder.name);
        for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (it->is_directory(ec)) {
                // One level of plain-named subfolders, as the copy takes.
                if (it.depth() >= 1 ||
                    it->path().filename().string().find('.') != std::string::npos) {
                    it.disable_recursion_pending();
                }
                continue;
            }
            if (it->is_regular_file(ec)) {
                total += ExpandedSize(it->path().string()).value_or(0);
            }
        }
    }
    return total;
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Finding and watching the instrument the in-process simulator plays.
#include "sim_selection.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "link_settings.h"

namespace ktx::linklib {

namespace {

namespace fs = std::filesystem;

bool IsDefinitionFile(const LinkSettings& device) {
    return !device.Has("INIFILE") && (device.Has("TYPE") || device.Has("NAME"));
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// kurvitex.ini's [DEVICE] INIFILE as the program resolves it; empty for none.
std::string SelectionOf(const std::string& kurvitexIni) {
    const std::string name = LinkSettings(kurvitexIni, "DEVICE").Text("INIFILE", "NONE");
    if (name.empty() || name == "NONE") {
        return {};
    }
    const fs::path path(name);
    return path.is_absolute() ? name : (fs::path(kurvitexIni).parent_path() / path).string();
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return !a.empty() && !b.empty() && fs::equivalent(a, b, error) && !error;
}

}  // namespace

bool SimSelection::Stamp::operator==(const Stamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec;
}

SimSelection::Stamp SimSelection::StampOf(const std::string& path) {
    Stamp stamp;
    struct stat info {};
    if (!path.empty() && ::stat(path.c_str(), &info) == 0) {
        stamp.exists = true;
        stamp.device = info.st_dev;
        stamp.inode = info.st_ino;
        stamp.size = info.st_size;
        stamp.modified = info.st_mtim;
    }
    return stamp;
}

SimSelection::SimSelection(std::string configPath) : m_configPath(std::move(configPath)) {
    const LinkSettings device(m_configPath, "DEVICE");
    if (device.Has("INIFILE")) {
        m_kurvitexIni = m_configPath;
        m_choiceFile = m_configPath;
    } else if (IsDefinitionFile(device)) {
        m_handedFile = m_configPath;
        // The selection dialog offers only files in the program folder's "Driver" folder.
        const fs::path folder = fs::path(m_configPath).parent_path();
        const std::string candidate = (folder.parent_path() / "kurvitex.ini").string();
        if (Lower(folder.filename().string()) == "driver" &&
            SameFile(SelectionOf(candidate), m_handedFile)) {
            m_kurvitexIni = candidate;
            m_choiceFile = candidate;
        }
    } else {
        m_choiceFile = m_configPath;
    }
}

std::string SimSelection::SelectedPath() const {
    if (!m_kurvitexIni.empty()) {
        std::string selected = SelectionOf(m_kurvitexIni);
        if (!selected.empty() || m_handedFile.empty()) {
            return selected;
        }
    }
    return m_handedFile;
}

bool SimSelection::Refresh() {
    if (m_read) {
        const Stamp kurvitex = StampOf(m_kurvitexIni);
        if (kurvitex == m_kurvitexStamp && StampOf(m_selectedPath) == m_selectedStamp) {
            return false;
        }
    }
    const sim::SimIdentity before = m_identity;
    const bool first = !m_read;
    Read();
    return first || before.deviceType != m_identity.deviceType || before.model != m_identity.model;
}

void SimSelection::Read() {
    m_read = true;
    m_kurvitexStamp = StampOf(m_kurvitexIni);
    m_selectedPath = SelectedPath();
    m_selectedStamp = StampOf(m_selectedPath);

    std::optional<sim::SelectedInstrument> selected;
    if (m_selectedStamp.exists) {
        const LinkSettings device(m_selectedPath, "DEVICE");
        selected = sim::SelectedInstrument{static_cast<int>(device.Integer("TYPE", 1)),
                                           device.Text("NAME", "NONAME")};
    }
    sim::SimChoice choice;
    if (!m_choiceFile.empty()) {
        const LinkSettings settings(m_choiceFile, "SIM");
        if (settings.Has("TYPE")) {
            choice.type = settings.Integer("TYPE", 1);
        }
        choice.model = settings.Text("MODEL", "");
    }
    m_identity = sim::ChooseIdentity(choice, selected);
}

}  // namespace ktx::linklib

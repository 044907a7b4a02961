// SPDX-License-Identifier: GPL-3.0-or-later
// A folder of its own in the system's temporary folder for one `ktx` run's scratch files (the
// conversion file, the instrument scratch file), so that two runs never share them and the
// program folder need not be writable. Removed with everything in it when the run ends.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace ktx {

class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& prefix) {
        std::random_device rd;
        m_path = std::filesystem::temp_directory_path() /
                 (prefix + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(m_path, m_ec);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool Ok() const { return !m_ec; }
    std::string File(const char* name) const { return (m_path / name).string(); }

  private:
    std::filesystem::path m_path;
    std::error_code m_ec;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the interface library tests: scratch folders, whole-file I/O and a loaded
// interface library with its operation table.
#pragma once

#include <string>

#include "ktx_link.h"

namespace ktx::linklib::test {

// A fresh folder below the system's temporary folder, removed with everything in it.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

void WriteWholeFile(const std::string& path, const std::string& bytes);
std::string ReadWholeFile(const std::string& path);

// dlopen()s one interface library of the program folder (by file name, e.g. "ktx_tcp.so").
class LoadedLinkLibrary {
  public:
    explicit LoadedLinkLibrary(const std::string& fileName);
    ~LoadedLinkLibrary();
    LoadedLinkLibrary(const LoadedLinkLibrary&) = delete;
    LoadedLinkLibrary& operator=(const LoadedLinkLibrary&) = delete;
    // nullptr when the library or its symbol is missing; Error() says why.
    const KtxLinkOps* Ops() const { return m_ops; }
    const std::string& Error() const { return m_error; }

  private:
    void* m_handle = nullptr;
    const KtxLinkOps* m_ops = nullptr;
    std::string m_error;
};

}  // namespace ktx::linklib::test

// SPDX-License-Identifier: GPL-3.0-or-later
// Loads an interface library from the program folder and hands out its operation table.
#pragma once

#include <memory>
#include <string>

#include "ktx_link.h"

class QLibrary;

namespace ktx {

class LinkLibrary {
  public:
    LinkLibrary();
    ~LinkLibrary();
    LinkLibrary(const LinkLibrary&) = delete;
    LinkLibrary& operator=(const LinkLibrary&) = delete;

    // Loads `name` from `dir`, the name matched without regard to case (a Windows-style
    // "KTX_TCP.DLL" also finds "ktx_tcp.so"). False, with a reason for the log, when the file is
    // missing, is no loadable library, lacks ktx_link_ops, or offers an incompatible table.
    bool Load(const std::string& dir, const std::string& name, std::string* reason);
    void Unload();

    // The operation table; nullptr when nothing is loaded. Slots beyond the ninth may be
    // missing (a version 1 table ends there): reach them through the accessors below.
    const KtxLinkOps* Ops() const { return m_ops; }
    // Operations 10 and 11 when the library offers them, else nullptr.
    decltype(KtxLinkOps::LinkWriteRaw) WriteRaw() const;
    decltype(KtxLinkOps::LinkLastError) LastError() const;

  private:
    std::unique_ptr<QLibrary> m_library;
    const KtxLinkOps* m_ops = nullptr;
};

// The entry of `dir` whose name equals `name` ignoring ASCII case; empty when there is none.
std::string FindFileIgnoringCase(const std::string& dir, const std::string& name);

}  // namespace ktx

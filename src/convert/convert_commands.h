// SPDX-License-Identifier: GPL-3.0-or-later
// "&Tools" > "&Konvert": the batch converter's dialog. User-interface thread only.
#pragma once

namespace ktx {

class Shell;
class ShellServices;

class ConvertCommands final {
  public:
    ConvertCommands(Shell& shell, ShellServices& services);
    void KonvertClick();

  private:
    Shell& m_shell;
    ShellServices& m_services;
};

}  // namespace ktx

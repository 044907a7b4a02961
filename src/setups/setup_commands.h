// SPDX-License-Identifier: GPL-3.0-or-later
// The set-up menu items of the main window: "Ein&lesen Setup", "Aus&geben Setup", "&Edit Setup"
// and "&Telecom" (offered for device type 12, used only with the telecom mask application).
// User-interface thread only.
#pragma once

#include <string>

namespace ktx {

class Shell;
class ShellServices;

class SetupCommands final {
  public:
    SetupCommands(Shell& shell, ShellServices& services);

    void EinlesenSetupClick();
    void AusgebenSetupClick();
    void EditSetupClick();
    void TelecomClick();

  private:
    std::string ScratchFile() const;

    Shell& m_shell;
    ShellServices& m_services;
};

}  // namespace ktx

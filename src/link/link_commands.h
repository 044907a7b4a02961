// SPDX-License-Identifier: GPL-3.0-or-later
// The link's menu commands: "&Schnittstellenauswahl", "Schnittstellen&einstellungen" and the
// hidden "&Test" dialog (Ctrl+Shift+F1).
#pragma once

namespace ktx {

class Shell;

class LinkCommands {
  public:
    // Claims the actions; the shell outlives this object.
    explicit LinkCommands(Shell& shell);

    void SelectInterface();
    // Closes and reopens the link; the library may ask for its settings.
    void InterfaceSettings();
    void ShowTestDialog();

  private:
    Shell& m_shell;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The shell's own menu commands: "&Geräteauswahl", "&Farbe zulassen", the user's
// "&Application" menu, "&Hardwareinfo", "&Über Kurvitex" and "H&ilfe".
#pragma once

#include <QMenu>
#include <vector>

#include "app/shell_logic.h"

namespace ktx {

class Shell;

class ShellCommands {
  public:
    // Claims the actions; the shell outlives this object.
    explicit ShellCommands(Shell& shell);

    void SelectInstrument();
    void ToggleColour();
    // Fills "&Application" from kurvitex.ini [APP].
    void BuildApplicationMenu(QMenu& menu);
    void ShowHardwareInfo();
    void ShowAbout();
    void ShowHelp();

  private:
    Shell& m_shell;
    std::vector<AppEntry> m_appEntries;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The live display's side of the main window: "&Tools" > "Live" and its tool button open the
// live window modally. User-interface thread only.
#pragma once

class QAction;

namespace ktx {

class Shell;

class LiveCommands final {
  public:
    // Claims the menu item and adds the tool button; the shell outlives this object.
    explicit LiveCommands(Shell& shell);

    void LiveClick();

  private:
    Shell& m_shell;
    QAction* m_button = nullptr;
};

}  // namespace ktx

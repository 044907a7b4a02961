// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement side of the main window: "&Messen" (and the `Messen` tool button: the
// measurement dialog in oscilloscope mode, the multimeter's range dialog in multimeter mode),
// "Messbereichswahl" and "&Erfassung". User-interface thread only.
#pragma once

namespace ktx {

class Shell;
class ShellServices;

class MeasureCommands final {
  public:
    MeasureCommands(Shell& shell, ShellServices& services);

    void MessenClick();
    void MessbereichswahlClick();
    void ErfassungClick();

  private:
    Shell& m_shell;
    ShellServices& m_services;
};

}  // namespace ktx

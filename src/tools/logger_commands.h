// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the data logger and the scanner: "&Tools" > "&Datenlogger" (and
// `Log_butt`), "&Tools" > "&Scanner" (and `Scan_but`). Keeps the logger's settings for the
// whole run. User-interface thread only.
#pragma once

#include "tools/data_logger.h"

namespace ktx {

class Shell;

class LoggerCommands final {
  public:
    explicit LoggerCommands(Shell& shell);

    void DatenloggerClick();
    void ScannerClick();
    LoggerSettings& Settings() { return m_settings; }

  private:
    Shell& m_shell;
    LoggerSettings m_settings;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/logger_commands.h"

#include "app/icons.h"
#include "app/shell.h"
#include "config/program_state.h"
#include "tools/acquisition_control.h"
#include "tools/tlog_dial.h"
#include "tools/tscandlg.h"

namespace ktx {

LoggerCommands::LoggerCommands(Shell& shell) : m_shell(shell) {
    shell.Claim(QStringLiteral("Datenlogger1"), [this] { DatenloggerClick(); });
    shell.Claim(QStringLiteral("Scanner1"), [this] { ScannerClick(); });
}

void LoggerCommands::DatenloggerClick() {
    {
        Tlog_dial dialog(m_shell.Transport(), m_shell.Messages(), m_shell.State(), m_settings,
                         m_shell.Window());
        dialog.exec();
    }
    // The multimeter channel may have switched the type-9 instrument's display.
    if (m_shell.State().deviceType == kScopeMeterType) {
        bool read = false;
        {
            TransferCursorScope busy;
            read = ReadDisplayMode(m_shell.Transport(), m_shell.Messages(),
                                   m_shell.State().operatingMode);
        }
        if (read) {
            m_shell.ApplyDeviceMenus();
            m_shell.UpdateMenuItems();
        }
        m_shell.ShowStatus();
    }
}

void LoggerCommands::ScannerClick() {
    Tscandlg dialog(m_shell.Transport(), m_shell.Messages(), m_shell.State(), m_shell.Window());
    dialog.exec();
}

}  // namespace ktx

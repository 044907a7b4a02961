// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/convert_commands.h"

#include "app/child_window.h"
#include "app/shell.h"
#include "convert/tkonvdlg.h"
#include "waveform/waveform_transfer.h"

namespace ktx {

ConvertCommands::ConvertCommands(Shell& shell, ShellServices& services)
    : m_shell(shell), m_services(services) {
    shell.Claim(QStringLiteral("Konvert1"), [this] { KonvertClick(); });
}

void ConvertCommands::KonvertClick() {
    TKonvdlg dialog(m_shell.Messages(), m_services.Progress(), SystemDecimalSign(),
                    m_shell.Window());
    dialog.exec();
}

}  // namespace ktx

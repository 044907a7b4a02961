// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/measure_commands.h"

#include <QString>

#include "app/child_window.h"
#include "app/icons.h"
#include "app/shell.h"
#include "config/program_state.h"
#include "tools/acquisition_control.h"
#include "tools/multimeter_dialogs.h"
#include "tools/tmess_dial.h"

namespace ktx {

namespace {

// The handheld family (types 20 and above) speaks the exclamation command set.
constexpr int kFirstHandheldType = 20;

}  // namespace

MeasureCommands::MeasureCommands(Shell& shell, ShellServices& services)
    : m_shell(shell), m_services(services) {
    shell.Claim(QStringLiteral("Messen1"), [this] { MessenClick(); });
    shell.Claim(QStringLiteral("Messbereichswahl1"), [this] { MessbereichswahlClick(); });
    shell.Claim(QStringLiteral("Erfassung1"), [this] { ErfassungClick(); });
}

void MeasureCommands::MessenClick() {
    ProgramState& state = m_shell.State();
    if (state.operatingMode == kModeMultimeter) {
        MessbereichswahlClick();
        return;
    }
    Tmess_dial dialog(m_shell.Transport(), m_shell.Messages(), state.deviceType,
                      state.deviceIniFile, m_shell.Window());
    dialog.exec();
}

void MeasureCommands::MessbereichswahlClick() {
    ProgramState& state = m_shell.State();
    auto fetch = [this] { m_services.FetchPicture(); };
    if (state.deviceType >= kFirstHandheldType) {
        Tmbx_dlg dialog(m_shell.Transport(), m_shell.Messages(),
                        ReadMeterDefinition(state.deviceIniFile), fetch, m_shell.Window());
        dialog.exec();
        return;
    }
    {
        TransferCursorScope busy;
        ReadDisplayMode(m_shell.Transport(), m_shell.Messages(), state.operatingMode);
    }
    m_shell.ShowStatus();
    Tmb_dlg dialog(m_shell.Transport(), m_shell.Messages(),
                   ReadMeterDefinition(state.deviceIniFile), fetch, m_shell.Window());
    dialog.exec();
}

void MeasureCommands::ErfassungClick() {
    ProgramState& state = m_shell.State();
    Terf_dlg dialog(
        m_shell.Transport(), m_shell.Messages(), ReadMeterDefinition(state.deviceIniFile),
        [this] { m_services.FetchPicture(); }, m_shell.Window());
    dialog.exec();
}

}  // namespace ktx

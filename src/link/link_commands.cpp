// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/link_commands.h"

#include "app/icons.h"
#include "app/shell.h"
#include "app/shell_logic.h"
#include "config/device_file.h"
#include "config/notifier.h"
#include "config/profile_file.h"
#include "config/program_state.h"
#include "link/command_transport.h"
#include "link/link_dialogs.h"

namespace ktx {

namespace {
constexpr int kMsgIniNotWritten = 16;
// Handheld instruments keep their serial settings in their own definition file.
constexpr int kHandheldType = 20;
}  // namespace

LinkCommands::LinkCommands(Shell& shell) : m_shell(shell) {
    shell.Claim(QStringLiteral("Schnittstellenauswahl1"), [this] { SelectInterface(); });
    shell.Claim(QStringLiteral("Schnittstelleneinstellungen1"), [this] { InterfaceSettings(); });
    shell.Claim(QStringLiteral("Test1"), [this] { ShowTestDialog(); });
    shell.Claim(QStringLiteral("TestKey"), [this] { ShowTestDialog(); });
}

void LinkCommands::SelectInterface() {
    ProgramState& state = m_shell.State();
    const auto entries =
        ReadInterfaceEntries(ProfileFile(state.iniFileName), ReadInterfaces(state.deviceIniFile));
    Tsel_ss dialog(entries, PreselectedInterface(entries, state.linkLibrary), m_shell.Window());
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const int chosen = dialog.Selected();
    state.linkType = chosen >= 0 ? entries[chosen].kinds : 0;
    state.linkLibrary = chosen >= 0 ? entries[chosen].library : std::string();
    ProfileFile ini(state.iniFileName);
    if (!ini.WriteString("TRANSFER", "SS_TYPE", std::to_string(state.linkType)) ||
        !ini.WriteString("TRANSFER", "DLL_NAME", state.linkLibrary)) {
        ShowErrorMsg(m_shell.Messages(), kMsgIniNotWritten, 0);
    }
    InterfaceSettings();
}

void LinkCommands::InterfaceSettings() {
    ProgramState& state = m_shell.State();
    CommandTransport& transport = m_shell.Transport();
    transport.CloseLink();
    const LinkSettings settings{state.programDir, state.linkLibrary, state.linkType,
                                state.deviceType};
    if (state.deviceType != kHandheldType) {
        TransferCursorScope busy;
        transport.OpenLink(settings, true, state.iniFileName);
    } else {
        const std::string config = ProfileFile(state.iniFileName).ReadString("RS232", "CONFIG", "");
        Tcomform dialog(ComPortOf(config), m_shell.Window());
        dialog.exec();
        if (dialog.Port() > 0 && !WriteComPort(state.deviceIniFile, dialog.Port())) {
            ShowErrorMsg(m_shell.Messages(), kMsgIniNotWritten, 0);
        }
        TransferCursorScope busy;
        transport.OpenLink(settings, false, state.deviceIniFile);
    }
    m_shell.UpdateMenuItems();
    m_shell.CheckInstrument();
    m_shell.ShowStatus();
}

void LinkCommands::ShowTestDialog() {
    TTestSS dialog(
        [this](const std::string& command) {
            TransferCursorScope busy;
            return m_shell.Transport().Query(command);
        },
        m_shell.Window());
    dialog.exec();
}

}  // namespace ktx

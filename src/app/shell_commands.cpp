// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell_commands.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <filesystem>

#include "app/help_window.h"
#include "app/icons.h"
#include "app/info_dialogs.h"
#include "app/select_instrument_dialog.h"
#include "app/shell.h"
#include "config/device_file.h"
#include "config/instrument_list.h"
#include "config/notifier.h"
#include "config/profile_file.h"
#include "config/program_state.h"
#include "link/command_transport.h"

namespace ktx {

namespace {
constexpr int kMsgIniNotWritten = 16;
constexpr int kHandheldType = 20;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

ShellCommands::ShellCommands(Shell& shell) : m_shell(shell) {
    shell.Claim(QStringLiteral("Geraeteauswahl1"), [this] { SelectInstrument(); });
    shell.Claim(QStringLiteral("Farbezulassen1"), [this] { ToggleColour(); });
    shell.Claim(QStringLiteral("Hardwareinfo1"), [this] { ShowHardwareInfo(); });
    shell.Claim(QStringLiteral("UeberKurvitex1"), [this] { ShowAbout(); });
    shell.Claim(QStringLiteral("Hilfe2"), [this] { ShowHelp(); });
}

void ShellCommands::SelectInstrument() {
    ProgramState& state = m_shell.State();
    const auto entries = ListInstruments(state.programDir);
    std::vector<std::string> names;
    for (const InstrumentEntry& e : entries) {
        names.push_back(e.name);
    }
    Tsel_oszi dialog(names, PreselectedInstrument(entries, ReadDeviceName(state.deviceIniFile)),
                     m_shell.Window());
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const int row = dialog.Selected();
    const InstrumentSelection selection = ApplyInstrumentSelection(
        row >= 0 ? entries[row].path : std::string(), state.iniFileName, m_shell.Messages());
    if (selection.accepted) {
        state.deviceIniFile = selection.deviceIniFile;
        state.deviceType = selection.deviceType;
        m_shell.Transport().SetDeviceType(selection.deviceType);
    }
    // Recomputed whether or not the file was accepted; the link is not reopened.
    const InstrumentState after = StateAfterSelection(state.deviceIniFile, state.deviceType,
                                                      state.linkType, state.iniFileName);
    state.operatingMode = after.operatingMode;
    state.linkType = after.linkType;
    state.pictureFormat = after.pictureFormat;
    state.pictureExt = after.pictureExt;
    state.colourCapable = after.colourCapable;
    m_shell.ShowStatus();
    m_shell.CheckInstrument();
    m_shell.ApplyDeviceMenus();
    state.instrumentChanged = true;
}

void ShellCommands::ToggleColour() {
    ProgramState& state = m_shell.State();
    state.colourEnabled = !state.colourEnabled;
    m_shell.Action(QStringLiteral("Farbezulassen1"))->setChecked(state.colourEnabled);
    if (!ProfileFile(state.iniFileName)
             .WriteString("COLOR", "ENABLE", state.colourEnabled ? "1" : "0")) {
        ShowErrorMsg(m_shell.Messages(), kMsgIniNotWritten, 0);
    }
}

void ShellCommands::BuildApplicationMenu(QMenu& menu) {
    menu.clear();
    m_appEntries = ReadAppEntries(ProfileFile(m_shell.State().iniFileName));
    for (std::size_t i = 0; i < m_appEntries.size(); ++i) {
        QAction* a = menu.addAction(Q(m_appEntries[i].caption));
        QObject::connect(a, &QAction::triggered, &menu, [this, i] {
            const QString path = Q(m_appEntries[i].path);
            const QFileInfo info(path);
            // Programs start in the program folder; documents and folders open with the
            // desktop's default application.
            if (info.isFile() && info.isExecutable()) {
                QProcess::startDetached(path, {}, Q(m_shell.State().programDir));
            } else {
                QDesktopServices::openUrl(QUrl::fromLocalFile(path));
            }
        });
    }
}

void ShellCommands::ShowHardwareInfo() {
    std::string answer;
    {
        TransferCursorScope busy;
        if (m_shell.State().deviceType == kHandheldType) {
            answer = m_shell.Transport().Query("!V?");
            answer = answer.size() > 4 ? answer.substr(4) : std::string();
        } else {
            answer = m_shell.Transport().Query("*IDN?");
        }
    }
    TInfodlg dialog(Q(answer), m_shell.Window());
    dialog.exec();
}

void ShellCommands::ShowAbout() {
    TAboutDlg dialog(m_shell.Window());
    dialog.exec();
}

void ShellCommands::ShowHelp() {
    const auto page = std::filesystem::path(m_shell.State().programDir) / "help" / "index.html";
    ShowHelpPage(m_shell.Window(), page.string());
}

}  // namespace ktx

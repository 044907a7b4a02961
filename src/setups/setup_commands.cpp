// SPDX-License-Identifier: GPL-3.0-or-later
#include "setups/setup_commands.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <filesystem>

#include "app/child_window.h"
#include "app/icons.h"
#include "app/save_dialogs.h"
#include "app/shell.h"
#include "app/wait_routines.h"
#include "config/program_state.h"
#include "setups/setup_dialogs.h"
#include "setups/setup_transfer.h"
#include "setups/telecom_library.h"

namespace ktx {

namespace {

const QString kFilter = QStringLiteral("Kurvitex Setup Dateien (*.set)");

QString Q(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

// setsavedlg / setopendlg: the chosen file, or empty.
std::string ChooseSetupFile(QWidget* parent, bool save) {
    QFileDialog dialog(parent,
                       save ? QStringLiteral("Setup speichern") : QStringLiteral("Setup öffnen"),
                       Q(DialogFolder(parent)), kFilter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("set"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    const std::string name = dialog.selectedFiles().front().toLocal8Bit().toStdString();
    RememberDialogFolder(parent, name);
    return name;
}

}  // namespace

SetupCommands::SetupCommands(Shell& shell, ShellServices& services)
    : m_shell(shell), m_services(services) {
    shell.Claim(QStringLiteral("EinlesenSetup1"), [this] { EinlesenSetupClick(); });
    shell.Claim(QStringLiteral("AusgebenSetup1"), [this] { AusgebenSetupClick(); });
    shell.Claim(QStringLiteral("EditSetup1"), [this] { EditSetupClick(); });
    shell.Claim(QStringLiteral("Telecom1"), [this] { TelecomClick(); });
}

std::string SetupCommands::ScratchFile() const {
    // The editor's own file, in the system's temporary folder (the program folder may be
    // read-only): no view shows it and no other process shares it.
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    return ((ec ? std::filesystem::path(m_shell.State().programDir) : dir) /
            ("ktx_setup_" + std::to_string(QCoreApplication::applicationPid()) + ".tmp"))
        .string();
}

void SetupCommands::EinlesenSetupClick() {
    const std::string file = ChooseSetupFile(m_shell.Window(), true);
    if (file.empty()) {
        return;
    }
    TransferCursorScope busy;
    ReadSetup(m_shell.Transport(), file, m_shell.Messages());
}

void SetupCommands::AusgebenSetupClick() {
    const std::string file = ChooseSetupFile(m_shell.Window(), false);
    if (file.empty()) {
        return;
    }
    const ProgramState& state = m_shell.State();
    TransferCursorScope busy;
    WriteSetup(m_shell.Transport(), file, state.deviceType, state.deviceIniFile, m_shell.Messages(),
               m_services.Progress(), [](int ms) { WaitWithCursor(ms); });
}

void SetupCommands::EditSetupClick() {
    TSet_edi dialog(
        {m_shell.Transport(), m_shell.Messages(), m_services.Progress(),
         m_shell.State().deviceIniFile, ScratchFile(), [this] { m_services.FetchPicture(); }},
        m_shell.Window());
    dialog.exec();
}

void SetupCommands::TelecomClick() {
    {
        TransferCursorScope busy;
        if (!HasTelecomModule(m_shell.Transport(), m_shell.Messages())) {
            return;
        }
    }
    const std::string folder =
        (std::filesystem::path(m_shell.State().programDir) / "Telecom").string();
    Ttelc_form dialog({m_shell.Transport(),
                       m_shell.Messages(),
                       m_services.Progress(),
                       m_shell.State().deviceIniFile,
                       ScratchFile(),
                       {}},
                      folder, m_shell.Window());
    dialog.exec();
}

}  // namespace ktx

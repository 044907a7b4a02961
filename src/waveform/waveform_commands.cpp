// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/waveform_commands.h"

#include "app/icons.h"
#include "app/shell.h"
#include "app/status_line.h"
#include "config/program_state.h"
#include "waveform/file_dialogs.h"
#include "waveform/waveform_transfer.h"

namespace ktx {

WaveformCommands::WaveformCommands(Shell& shell) : m_shell(shell) {
    shell.Claim(QStringLiteral("EinlesenWF1"), [this] { TransferWaveform(kModeRead); });
    shell.Claim(QStringLiteral("AusgebenWF1"), [this] { TransferWaveform(kModeWrite); });
}

void WaveformCommands::TransferWaveform(int mode) {
    const ProgramState& state = m_shell.State();
    TKTX_file_dial dialog(mode, state.deviceType, state.deviceIniFile, m_showAfterReading,
                          m_shell.Messages(), m_shell.Window());
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const TransferRequest request = dialog.Request();
    if (mode == kModeRead) {
        m_showAfterReading = request.show;
    }
    TransferContext context = MakeTransferContext(state);
    context.openInView = [this](const std::string& file) { m_shell.OpenFileByExtension(file); };
    context.status = [this](const std::string& text) { m_shell.SetStatusText(text); };
    TransferCursorScope busy;
    if (mode == kModeRead) {
        ReadWaveforms(request, m_shell.Transport(), context, m_shell.Messages(), m_shell.Status());
    } else {
        WriteWaveform(request, m_shell.Transport(), context, m_shell.Messages(), m_shell.Status());
    }
}

}  // namespace ktx

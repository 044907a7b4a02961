// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/analysis_commands.h"

#include <QDir>
#include <filesystem>

#include "analysis/analysis_dialogs.h"
#include "analysis/analysis_source.h"
#include "analysis/tktxviewft.h"
#include "analysis/tktxvimth.h"
#include "app/icons.h"
#include "app/shell.h"
#include "config/program_state.h"

namespace ktx {

AnalysisCommands::AnalysisCommands(Shell& shell) : m_shell(shell) {
    shell.Claim(QStringLiteral("FFT1"), [this] { ShowFftDialog(); });
    shell.Claim(QStringLiteral("N1Kanal1"), [this] { ShowMathDialog(); });
    shell.Claim(QStringLiteral("N2Kanal1"), [this] { ShowMath2Dialog(); });
}

namespace {

AnalysisContext ContextFor(Shell& shell, const std::string& folder) {
    AnalysisContext c;
    c.notifier = &shell.Messages();
    c.startFolder = folder.empty() ? QDir::currentPath().toStdString() : folder;
    c.memoryBudget = FftMemoryBudget(shell.State().iniFileName);
    c.show = [&shell](const std::string& path) { shell.OpenFileByExtension(path); };
    return c;
}

}  // namespace

void AnalysisCommands::ShowFftDialog() {
    TKTX_fft_dial dialog(ContextFor(m_shell, m_folder), m_shell.Window());
    dialog.exec();
}

void AnalysisCommands::ShowMathDialog() {
    TKTX_mth_dial dialog(ContextFor(m_shell, m_folder), m_shell.Window());
    dialog.exec();
}

void AnalysisCommands::ShowMath2Dialog() {
    TKTX_mth2_dial dialog(ContextFor(m_shell, m_folder), m_shell.Window());
    dialog.exec();
}

bool OpenAnalysisView(Shell& shell, const std::string& path) {
    const std::string ext = UpperExtension(path);
    if (ext == ".FFT") {
        auto* view = new Tktxviewft(shell.Messages());
        if (!view->Load(path)) {
            return false;  // the view has said why and deletes itself
        }
        shell.AddDocument(view, IconKind::Fft);
        return true;
    }
    if (ext == ".MTH") {
        auto* view = new Tktxvimth(shell.Messages());
        if (!view->Load(path)) {
            return false;
        }
        shell.AddDocument(view, IconKind::Math1);
        return true;
    }
    return false;
}

}  // namespace ktx

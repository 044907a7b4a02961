// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/view_commands.h"

#include <QFileDialog>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPrintDialog>

#include <filesystem>

#include "analysis/analysis_commands.h"
#include "app/child_window.h"
#include "app/icons.h"
#include "app/save_dialogs.h"
#include "app/shell.h"
#include "app/status_line.h"
#include "config/notifier.h"
#include "config/program_state.h"
#include "view/print_page.h"
#include "waveform/waveform_import.h"

namespace ktx {

namespace {
constexpr int kMsgNoActiveWindow = 304;
}  // namespace

ViewCommands::ViewCommands(Shell& shell) : m_shell(shell) {
    const ProgramState& state = shell.State();
    m_store = std::make_shared<ViewFileStore>(
        std::filesystem::path(state.conversionFile).parent_path().string(),
        std::vector<std::string>{state.conversionFile, state.compressionFile});
    shell.Claim(QStringLiteral("Viewer1"), [this] { ShowViewer(); });
    shell.Claim(QStringLiteral("Drucken1"), [this] { PrintActive(); });
    shell.Claim(QStringLiteral("Drucker1"), [this] { PrinterSetup(); });
}

ViewCommands::~ViewCommands() = default;

ViewFiles ViewCommands::Files() const {
    const ProgramState& state = m_shell.State();
    const auto dir = std::filesystem::path(state.programDir);
    return ViewFiles{state.compressionFile,
                     {(dir / "ktx_tmp2.ktx").string(), (dir / "ktx_tmp3.ktx").string()}};
}

ProgressSink& ViewCommands::Progress() {
    return m_shell.Status();
}

bool ViewCommands::OpenView(const ViewSetup& setup) {
    auto* view = new Tktxview(*this, m_shell.Messages(), Files());
    view->SetFileStore(m_store);
    if (!view->Open(setup)) {
        return false;  // the view has said why and deletes itself
    }
    m_shell.AddDocument(view, IconKind::Viewer);
    return true;
}

void ViewCommands::OpenFile(const std::string& fileName) {
    ProgramState& state = m_shell.State();
    const ImportOutcome outcome =
        ImportWaveformFile(fileName, state.conversionFile, m_shell.Messages(), m_shell.Status());
    const auto status = [this](const std::string& t) { m_shell.SetStatusText(t); };
    switch (outcome.kind) {
        case ImportKind::Waveform:
        case ImportKind::Converted:
            if (auto setup = PlanDisplay(outcome.viewFile, fileName, outcome.sampleAxis,
                                         state.compressionFile, m_shell.Status(),
                                         m_shell.Messages(), status)) {
                setup->originFile = fileName;
                OpenView(*setup);
            }
            break;
        case ImportKind::OtherView:
            OpenAnalysisView(m_shell, outcome.viewFile);
            break;
        case ImportKind::Failed:
        case ImportKind::Ignored:
            break;
    }
}

bool ViewCommands::RequestRange(const RangeRequest& request) {
    const auto status = [this](const std::string& t) { m_shell.SetStatusText(t); };
    const RangeResult result = HandleRangeRequest(request, m_shell.State().compressionFile,
                                                  m_shell.Status(), m_shell.Messages(), status);
    if (result.view) {
        OpenView(*result.view);
    }
    return result.ok;
}

void ViewCommands::RequestRecompression(const RecompressionRequest& request) {
    const auto status = [this](const std::string& t) { m_shell.SetStatusText(t); };
    if (const auto setup = HandleRecompression(request, m_shell.State().compressionFile,
                                               m_shell.Status(), m_shell.Messages(), status)) {
        OpenView(*setup);
    }
}

void ViewCommands::ShowViewer() {
    static const char* const kViewerFilter =
        "Kurvitex Dateien (*.ktx)|*.ktx|FFT Dateien (*.fft)|*.fft|MTH Dateien (*.mth)|*.mth|"
        "Wfm Dateien (*.wfm)|*.wfm|Isf Dateien (*.isf)|*.isf|Csv Dateien (*.csv) TDS 1000 "
        "2000|*.csv|Text Dateien Tab (*.txt) TDS 5000|*.txt";
    // The "description|mask" pairs become Qt's "description (masks)" entries; the upper-case
    // mask is added because instruments write upper-case names.
    QStringList filters;
    const QStringList parts = QString::fromUtf8(kViewerFilter).split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        filters << QStringLiteral("%1 (%2 %3)").arg(parts[i], parts[i + 1], parts[i + 1].toUpper());
    }
    QFileDialog dialog(m_shell.Window(), QStringLiteral("Datei anzeigen"));
    dialog.setObjectName(QStringLiteral("Viewdialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    dialog.setDirectory(QString::fromStdString(DialogFolder(m_shell.Window())));
    // Names only, as the instruments' files are told apart: the details view elides its columns.
    dialog.setViewMode(QFileDialog::List);
    dialog.resize(640, 400);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const std::string file = dialog.selectedFiles().front().toStdString();
    RememberDialogFolder(m_shell.Window(), file);
    m_shell.OpenFileByExtension(file);
}

QPrinter& ViewCommands::Printer() {
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    return *m_printer;
}

void ViewCommands::PrintActive() {
    KtxChildWindow* child = m_shell.ActiveChild();
    auto* view = dynamic_cast<Tktxview*>(child);
    if (view == nullptr) {
        if (child) {
            child->PrintYourself();
        } else {
            ShowInfoMsg(m_shell.Messages(), kMsgNoActiveWindow, 0);
        }
        return;
    }
    QPointer<Tktxview> alive(view);
    const PrintOutcome outcome =
        RunPrintJob(Printer(), m_shell.Messages(), m_shell.Window(),
                    [alive](QPrinter& p) { return alive && alive->PrintTo(p); });
    if (outcome == PrintOutcome::Failed) {
        // Qt keeps a printer whose job did not start "active", and it refuses every later job:
        // the next print starts on a fresh one with the same printer and page.
        const QString name = m_printer->printerName();
        const QPageLayout page = m_printer->pageLayout();
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (!name.isEmpty()) {
            m_printer->setPrinterName(name);
        }
        m_printer->setPageLayout(page);
    }
}

void ViewCommands::PrinterSetup() {
    QPrintDialog dialog(&Printer(), m_shell.Window());
    dialog.setWindowTitle(QStringLiteral("Drucker einrichten"));
    dialog.exec();
}

}  // namespace ktx

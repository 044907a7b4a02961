// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/tkonvdlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/child_signals.h"
#include "app/icons.h"
#include "app/save_dialogs.h"
#include "config/notifier.h"
#include "waveform/file_dialogs.h"

namespace ktx {

namespace {

constexpr const char* kSources[] = {
    "Kurvitex (*.ktx)", "FFT (*.fft)", "ISF (*.isf)",           "WFM (*.wfm TDS6)",
    "WFM (*.wfm TDS5)", "CSV (*.csv)", "Text (*.txt TDS 5000)", "WFW (*.wfm AFG)",
};

QString Q(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

}  // namespace

TKonvdlg::TKonvdlg(Notifier& notifier, ProgressSink& progress, char systemDecimal, QWidget* parent)
    : QDialog(parent),
      m_notifier(notifier),
      m_progress(progress),
      m_systemDecimal(systemDecimal),
      m_options(new Tfos_form(this)) {
    setObjectName(QStringLiteral("Konvdlg"));
    setWindowTitle(QStringLiteral("Konvertierung"));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(QStringLiteral("Verzeichnis:"), this));
    auto* folderRow = new QHBoxLayout;
    m_folder = new QLineEdit(this);
    m_folder->setObjectName(QStringLiteral("DirectoryListBox1"));
    folderRow->addWidget(m_folder, 1);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    folderRow->addWidget(browse);
    layout->addLayout(folderRow);

    layout->addWidget(new QLabel(QStringLiteral("Dateien:"), this));
    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("FileListBox1"));
    m_files->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(m_files, 1);

    layout->addWidget(new QLabel(QStringLiteral("Dateiname:"), this));
    m_fileEdit = new QLineEdit(this);
    m_fileEdit->setObjectName(QStringLiteral("FileEdit"));
    m_fileEdit->setReadOnly(true);
    layout->addWidget(m_fileEdit);

    layout->addWidget(new QLabel(QStringLiteral("Quellformat:"), this));
    m_filter = new QComboBox(this);
    m_filter->setObjectName(QStringLiteral("FilterComboBox1"));
    for (const char* s : kSources) {
        m_filter->addItem(QString::fromUtf8(s));
    }
    layout->addWidget(m_filter);

    auto* targets = new QHBoxLayout;
    m_formGrp = new QGroupBox(QStringLiteral("Zielformat"), this);
    m_formGrp->setObjectName(QStringLiteral("form_grp"));
    auto* textTargets = new QVBoxLayout(m_formGrp);
    m_targets = new QButtonGroup(this);
    int id = 0;
    for (const char* name : {"Excel", "Famos", "Text"}) {
        auto* b = new QRadioButton(QString::fromUtf8(name), m_formGrp);
        textTargets->addWidget(b);
        m_targets->addButton(b, id++);
    }
    m_targets->button(0)->setChecked(true);
    targets->addWidget(m_formGrp);
    m_formGrp1 = new QGroupBox(QStringLiteral("Zielformat"), this);
    m_formGrp1->setObjectName(QStringLiteral("form_grp1"));
    auto* ktxTarget = new QVBoxLayout(m_formGrp1);
    auto* kurvitex = new QRadioButton(QStringLiteral("Kurvitex"), m_formGrp1);
    kurvitex->setChecked(true);
    ktxTarget->addWidget(kurvitex);
    m_formGrp1->hide();
    targets->addWidget(m_formGrp1);
    layout->addLayout(targets);

    auto* buttons = new QHBoxLayout;
    m_opBtn = new QPushButton(QStringLiteral("Optionen"), this);
    m_opBtn->setObjectName(QStringLiteral("Op_btn"));
    m_opBtn->setEnabled(false);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Abbruch"), this);
    buttons->addWidget(m_opBtn);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(browse, &QPushButton::clicked, this, [this] {
        const QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("Verzeichnis"),
                                                              m_folder->text());
        if (!dir.isEmpty()) {
            SetFolder(S(dir));
        }
    });
    connect(m_folder, &QLineEdit::editingFinished, this, [this] { Refill(); });
    connect(m_filter, &QComboBox::currentIndexChanged, this, [this] { SourceChanged(); });
    connect(m_targets, &QButtonGroup::idClicked, this, [this] {
        m_opBtn->setEnabled(m_targets->checkedId() == static_cast<int>(ConvertText::Txt));
    });
    connect(m_opBtn, &QPushButton::clicked, this, [this] { m_options->exec(); });
    connect(ok, &QPushButton::clicked, this, [this] { OkClick(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_files, &QListWidget::itemSelectionChanged, this, [this] {
        const auto selected = m_files->selectedItems();
        m_fileEdit->setText(selected.isEmpty() ? QString() : selected.front()->text());
    });
    SetFolder(DialogFolder(parent));
    resize(460, 560);
}

void TKonvdlg::SetFolder(const std::string& folder) {
    m_folder->setText(Q(folder));
    Refill();
}

std::string TKonvdlg::Folder() const {
    return S(m_folder->text());
}

void TKonvdlg::SetSourceIndex(int index) {
    m_filter->setCurrentIndex(index);
}

void TKonvdlg::SetTargetIndex(int index) {
    m_targets->button(index)->setChecked(true);
    m_opBtn->setEnabled(index == static_cast<int>(ConvertText::Txt));
}

void TKonvdlg::SelectAll() {
    m_files->selectAll();
}

std::vector<std::string> TKonvdlg::ListedFiles() const {
    std::vector<std::string> files;
    for (int i = 0; i < m_files->count(); ++i) {
        files.push_back(S(m_files->item(i)->text()));
    }
    return files;
}

bool TKonvdlg::OptionsEnabled() const {
    return m_opBtn->isEnabled();
}

bool TKonvdlg::TextTargetsVisible() const {
    return !m_formGrp->isHidden();
}

ConvertSource TKonvdlg::Source() const {
    return static_cast<ConvertSource>(std::max(0, m_filter->currentIndex()));
}

void TKonvdlg::SourceChanged() {
    const bool text = IsTextExport(Source());
    m_formGrp->setVisible(text);
    m_formGrp1->setVisible(!text);
    Refill();
}

void TKonvdlg::Refill() {
    m_files->clear();
    for (const std::string& path : MatchingFiles(Folder(), Source())) {
        m_files->addItem(QFileInfo(Q(path)).fileName());
    }
}

void TKonvdlg::OkClick() {
    std::vector<std::string> paths;
    const QDir dir(m_folder->text());
    for (int i = 0; i < m_files->count(); ++i) {
        if (m_files->item(i)->isSelected()) {
            paths.push_back(S(dir.filePath(m_files->item(i)->text())));
        }
    }
    if (paths.empty()) {
        return;
    }
    ConvertOptions options;
    options.text = static_cast<ConvertText>(m_targets->checkedId());
    options.separators = {m_options->ColumnSeparator(), m_options->LineSeparator(),
                          m_options->DecimalSign()};
    options.systemDecimal = m_systemDecimal;
    options.askOverwrite = true;
    {
        TransferCursorScope busy;
        m_summary = ConvertFiles(paths, Source(), options, m_notifier, m_progress,
                                 [this](const std::string& path) {
                                     m_fileEdit->setText(QFileInfo(Q(path)).fileName());
                                 });
    }
    ShowInfoMsgText(m_notifier, kMsgConvertSummary, SummaryCounts(m_summary), 0);
    if (IsTextExport(Source())) {
        accept();  // as after a text export: the dialog's work is done
    } else {
        Refill();  // the new ".ktx" files are no sources here; the list stays as it was
    }
}

TKonvdlg::~TKonvdlg() {
    DetachChildrenFrom(this);
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/file_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <filesystem>

#include "app/child_signals.h"
#include "app/save_dialogs.h"
#include "app/save_rules.h"
#include "config/notifier.h"
#include "waveform/wfm_readers.h"

namespace ktx {

namespace {

constexpr int kMsgOverwrite = 306;
constexpr int kInstrumentFilesType = 10;

constexpr int kMsgInvalidName = 42;
constexpr int kMsgRangeTooLarge = 15;

const char* Caption(int mode) {
    switch (mode) {
        case kModeReadFile:
            return "Einlesen Waveform";
        case kModeWrite:
            return "Ausgeben Waveform";
        default:
            return "Export Waveform";
    }
}

const char* Filter(int mode) {
    return mode == kModeRead ? "KURVITEX Dateien (*.ktx)|*.ktx|Waveform Dateien (*.wfm)|*.wfm|"
                               "EXCEL Dateien (*.xls)|*.xls|FAMOS Dateien (*.fms)|*.fms|Text "
                               "Dateien (*.txt)|*.txt|NumPy Dateien (*.npy)|*.npy"
                             : "Waveform Dateien (*.wfm)|*.wfm";
}

}  // namespace

// --- Tfos_form ---------------------------------------------------------------------------------

Tfos_form::Tfos_form(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fos_form"));
    setWindowTitle(QStringLiteral("Formatoptionen"));
    const QStringList items[3] = {
        {QStringLiteral("Semikolon"), QStringLiteral("Komma"), QStringLiteral("Leerzeichen"),
         QStringLiteral("Tabulator"), QStringLiteral("frei definiert")},
        {QStringLiteral("CR"), QStringLiteral("LF"), QStringLiteral("CR/LF"),
         QStringLiteral("frei definiert")},
        {QStringLiteral("Komma"), QStringLiteral("Punkt"), QStringLiteral("frei definiert")}};
    const QString titles[3] = {QStringLiteral("Spaltentrennung"), QStringLiteral("Zeilentrennung"),
                               QStringLiteral("Dezimalzeichen")};
    // The form starts with ";" , line feed and ",".
    const int initial[3] = {0, 1, 0};
    auto* row = new QHBoxLayout;
    for (int g = 0; g < 3; ++g) {
        auto* box = new QGroupBox(titles[g], this);
        auto* layout = new QVBoxLayout(box);
        m_groups[g] = new QButtonGroup(this);
        for (int i = 0; i < items[g].size(); ++i) {
            auto* b = new QRadioButton(items[g][i], box);
            m_groups[g]->addButton(b, i);
            layout->addWidget(b);
        }
        m_own[g] = new QLineEdit(box);
        m_own[g]->setMaxLength(1);
        m_own[g]->setMaximumWidth(40);
        m_own[g]->setEnabled(false);
        layout->addWidget(m_own[g]);
        const int last = static_cast<int>(items[g].size()) - 1;
        connect(m_groups[g], &QButtonGroup::idClicked, this,
                [this, g, last](int id) { m_own[g]->setEnabled(id == last); });
        m_groups[g]->button(initial[g])->setChecked(true);
        row->addWidget(box);
    }
    auto* caption = new QLabel(QStringLiteral("Einstellungen für Textformat"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addLayout(row);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

void Tfos_form::Choose(int list, int index, char own) {
    m_groups[list]->button(index)->click();
    if (own) {
        m_own[list]->setText(QString(QChar::fromLatin1(own)));
    }
}

char Tfos_form::ColumnSeparator() const {
    static const char kChars[] = {';', ',', ' ', '\t'};
    const int id = m_groups[0]->checkedId();
    if (id >= 0 && id < 4) {
        return kChars[id];
    }
    const QString own = m_own[0]->text();
    return own.isEmpty() ? ';' : own.at(0).toLatin1();
}

char Tfos_form::LineSeparator() const {
    switch (m_groups[1]->checkedId()) {
        case 0:
            return '\r';
        case 1:
            return '\n';
        case 2:
            return 0;  // CR LF
        default: {
            const QString own = m_own[1]->text();
            return own.isEmpty() ? '\n' : own.at(0).toLatin1();
        }
    }
}

char Tfos_form::DecimalSign() const {
    switch (m_groups[2]->checkedId()) {
        case 0:
            return ',';
        case 1:
            return '.';
        default: {
            const QString own = m_own[2]->text();
            return own.isEmpty() ? ',' : own.at(0).toLatin1();
        }
    }
}

// --- TKTX_file_dial ------------------------------------------------------------------------------

TKTX_file_dial::TKTX_file_dial(int mode, int deviceType, const std::string& deviceFile,
                               bool showAfterReading, Notifier& notifier, QWidget* parent)
    : QDialog(parent),
      m_mode(mode),
      m_deviceType(deviceType),
      m_notifier(notifier),
      m_choices(ReadFileDialogChoices(deviceFile, mode)),
      m_options(new Tfos_form(this)),
      m_folder(new QLineEdit(this)),
      m_files(new QListWidget(this)),
      m_filter(new QComboBox(this)),
      m_name(new QLineEdit(this)),
      m_formlab(new QLabel(this)),
      m_sources(new QListWidget(this)),
      m_start(new QLineEdit(QStringLiteral("0"), this)),
      m_stop(new QComboBox(this)),
      m_optionsButton(new QPushButton(QStringLiteral("Optionen"), this)),
      m_show(new QCheckBox(QStringLiteral("Anzeigen"), this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this)) {
    setObjectName(QStringLiteral("KTX_file_dial"));
    setWindowTitle(QString::fromUtf8(Caption(mode)));
    m_request.mode = mode;
    m_formlab->setObjectName(QStringLiteral("formlab"));
    m_start->setObjectName(QStringLiteral("Startedi"));
    m_stop->setObjectName(QStringLiteral("Stopedi"));

    for (const auto& [description, mask] : ParseFilter(Filter(mode))) {
        m_filter->addItem(QString::fromUtf8(description.c_str()), QString::fromStdString(mask));
    }
    for (const std::string& s : m_choices.sources) {
        m_sources->addItem(QString::fromStdString(s));
    }
    if (m_sources->count() > 0) {
        m_sources->setCurrentRow(0);
    }
    m_stop->setEditable(true);
    for (int item : m_choices.memoryItems) {
        m_stop->addItem(QString::number(item));
    }
    m_stop->setEditText(QString::fromStdString(m_choices.memorySize));

    const bool reading = mode != kModeWrite;
    m_start->setVisible(reading);
    m_stop->setVisible(reading);
    m_optionsButton->setVisible(reading);
    m_show->setVisible(reading);
    m_show->setChecked(showAfterReading);
    m_show->setEnabled(mode == kModeReadFile);
    m_formlab->setVisible(!reading);

    auto* browse = new QPushButton(QStringLiteral("…"), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("Verzeichnis"),
                                                              m_folder->text());
        if (!dir.isEmpty()) {
            SetFolder(dir.toStdString());
        }
    });
    connect(m_folder, &QLineEdit::editingFinished, this,
            [this] { SetFolder(m_folder->text().toStdString()); });
    connect(m_filter, &QComboBox::currentIndexChanged, this, [this] { FilterChanged(); });
    connect(m_name, &QLineEdit::textChanged, this, [this] { NameChanged(); });
    connect(m_files, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { m_name->setText(item->text()); });
    connect(m_files, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        m_name->setText(item->text());
        Confirm();
    });
    connect(m_sources, &QListWidget::itemSelectionChanged, this, [this] {
        // An eleventh source is not taken: the newest selection is undone.
        const auto selected = m_sources->selectedItems();
        if (selected.size() > static_cast<int>(kMaxSources)) {
            if (QListWidgetItem* current = m_sources->currentItem();
                current && current->isSelected()) {
                current->setSelected(false);
            }
        }
    });
    connect(m_optionsButton, &QPushButton::clicked, m_options, &QDialog::exec);
    connect(m_ok, &QPushButton::clicked, this, &TKTX_file_dial::Confirm);
    auto* cancel = new QPushButton(QStringLiteral("Abbruch"), this);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_ok->setDefault(true);

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);
    auto* left = new QFormLayout;
    left->addRow(QStringLiteral("Verzeichnis:"), folderRow);
    left->addRow(m_files);
    left->addRow(QStringLiteral("Dateityp:"), m_filter);
    left->addRow(QStringLiteral("Dateiname:"), m_name);
    left->addRow(m_formlab);
    auto* right = new QFormLayout;
    right->addRow(new QLabel(reading ? QStringLiteral("Quelle:") : QStringLiteral("Ziel"), this));
    right->addRow(m_sources);
    if (reading) {
        right->addRow(QStringLiteral("Memory Start:"), m_start);
        right->addRow(QStringLiteral("Memory Stop:"), m_stop);
        right->addRow(m_optionsButton);
        right->addRow(m_show);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 3);
    columns->addLayout(right, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(buttons);

    // Reading starts on the instrument's own ".wfm" format.
    SetFolder(DialogFolder(parent));
    SetFilterIndex(mode == kModeRead ? 1 : 0);
    FilterChanged();
    resize(700, 460);
}

std::string TKTX_file_dial::FilterExtension() const {
    const std::string mask = m_filter->currentData().toString().toStdString();
    return mask.size() > 1 ? mask.substr(1) : std::string();
}

void TKTX_file_dial::SetFolder(const std::string& folder) {
    m_folder->setText(QString::fromStdString(folder));
    m_files->clear();
    const QString ext = QString::fromStdString(FilterExtension()).toLower();
    for (const QString& f : QDir(m_folder->text()).entryList(QDir::Files)) {
        if (f.toLower().endsWith(ext)) {
            m_files->addItem(f);
        }
    }
}

std::string TKTX_file_dial::Folder() const {
    return m_folder->text().toStdString();
}

void TKTX_file_dial::SetFilterIndex(int index) {
    m_filter->setCurrentIndex(index);
}

void TKTX_file_dial::SetFileName(const std::string& name) {
    m_name->setText(QString::fromStdString(name));
}

void TKTX_file_dial::SelectSources(const std::vector<int>& rows) {
    m_sources->clearSelection();
    for (int r : rows) {
        if (QListWidgetItem* item = m_sources->item(r)) {
            m_sources->setCurrentItem(item, QItemSelectionModel::Select);
        }
    }
}

void TKTX_file_dial::SetRange(const std::string& start, const std::string& stop) {
    m_start->setText(QString::fromStdString(start));
    m_stop->setEditText(QString::fromStdString(stop));
}

QString TKTX_file_dial::ModelLabel() const {
    return m_formlab->text();
}
bool TKTX_file_dial::ShowEnabled() const {
    return m_show->isEnabled();
}
bool TKTX_file_dial::RangeEnabled() const {
    return m_start->isEnabled();
}
bool TKTX_file_dial::OkEnabled() const {
    return m_ok->isEnabled();
}

void TKTX_file_dial::FilterChanged() {
    const int format = FormatFromExtension(FilterExtension());
    m_request.format = format < 0 ? kFormatWfm : format;
    m_show->setEnabled(m_mode == kModeReadFile || format == kFormatWfm || format == kFormatKtx);
    m_optionsButton->setEnabled(format == kFormatTxt);
    const bool instrumentStores = format == kFormatWfm && m_deviceType == kInstrumentFilesType;
    m_start->setEnabled(!instrumentStores);
    m_stop->setEnabled(!instrumentStores);
    const bool multiple =
        m_mode != kModeWrite && format != kFormatFms && m_deviceType != kInstrumentFilesType;
    m_sources->setSelectionMode(multiple ? QAbstractItemView::MultiSelection
                                         : QAbstractItemView::SingleSelection);
    SetFolder(m_folder->text().toStdString());
}

void TKTX_file_dial::NameChanged() {
    if (m_mode != kModeWrite) {
        return;
    }
    const std::filesystem::path path =
        std::filesystem::path(m_folder->text().toStdString()) / m_name->text().toStdString();
    const int variant = WfmVariant(path.string());
    m_formlab->setText(QString::fromUtf8(WfmModelLabel(variant)));
    // The type-10 instruments take their own file format only.
    m_ok->setEnabled(m_deviceType != kInstrumentFilesType || variant == 2);
}

void TKTX_file_dial::Confirm() {
    FileDialogInput in;
    in.mode = m_mode;
    in.folder = m_folder->text().toStdString();
    in.typedName = m_name->text().toStdString();
    in.filterExtension = FilterExtension();
    in.selectedSources = static_cast<std::size_t>(m_sources->selectedItems().size());
    in.start = m_start->text().toStdString();
    in.stop = m_stop->currentText().toStdString();
    in.memorySize = m_choices.memorySize;
    std::error_code ec;
    const FileDialogCheck check = CheckFileDialog(
        in, std::filesystem::exists(std::filesystem::path(in.folder) / in.typedName, ec));
    if (check.message == kMsgInvalidName) {
        ShowErrorMsgText(m_notifier, check.message, check.extra, 0);
        return;
    }
    if (check.confirmOverwrite && !ConfirmMsgText(m_notifier, kMsgOverwrite, check.fileName, 0)) {
        return;
    }
    if (check.message != 0) {
        if (check.extra.empty()) {
            ShowErrorMsg(m_notifier, check.message, 0);
        } else {
            ShowErrorMsgText(m_notifier, check.message, check.extra, 0);
        }
        if (check.message == kMsgRangeTooLarge) {
            m_stop->setEditText(QString::fromStdString(m_choices.memorySize));
        }
        return;
    }
    m_request.fileName = check.fileName;
    m_request.sources.clear();
    // In list order, as the instrument names them.
    for (int i = 0; i < m_sources->count(); ++i) {
        if (m_sources->item(i)->isSelected()) {
            m_request.sources.push_back(m_sources->item(i)->text().toStdString());
        }
    }
    if (m_mode == kModeWrite) {
        m_request.destination =
            m_request.sources.empty() ? std::string() : m_request.sources.front();
        m_request.sources.clear();
    }
    m_request.start = in.start;
    m_request.stop = in.stop;
    m_request.requested = check.requested;
    m_request.show = m_show->isChecked();
    RememberDialogFolder(parentWidget(), check.fileName);
    m_request.columnSeparator = m_options->ColumnSeparator();
    m_request.lineSeparator = m_options->LineSeparator();
    m_request.decimalSign = m_options->DecimalSign();
    accept();
}

TKTX_file_dial::~TKTX_file_dial() {
    DetachChildrenFrom(this);
}

}  // namespace ktx

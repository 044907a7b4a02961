// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/save_dialogs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
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
#include "app/save_rules.h"
#include "app/shell.h"
#include "config/notifier.h"
#include "config/program_state.h"

namespace ktx {

namespace {
constexpr int kMsgInvalidName = 42;
constexpr int kMsgOverwrite = 306;

ProgramState* StateOf(const QWidget* widget) {
    auto* shell = widget ? dynamic_cast<Shell*>(widget->window()) : nullptr;
    return shell ? &shell->State() : nullptr;
}
}  // namespace

std::string DialogFolder(const QWidget* widget) {
    std::error_code ec;
    if (const ProgramState* state = StateOf(widget);
        state && std::filesystem::is_directory(state->lastFolder, ec)) {
        return state->lastFolder;
    }
    return QDir::currentPath().toStdString();
}

void RememberDialogFolder(const QWidget* widget, const std::string& fileName) {
    if (ProgramState* state = StateOf(widget)) {
        state->lastFolder = std::filesystem::path(fileName).parent_path().string();
    }
}

TSvas_dlg::TSvas_dlg(Notifier& notifier, QWidget* parent)
    : QDialog(parent),
      m_notifier(notifier),
      m_folder(new QLineEdit(this)),
      m_files(new QListWidget(this)),
      m_type(new QComboBox(this)),
      m_name(new QLineEdit(QStringLiteral("*.*"), this)),
      m_sizeGroup(new QGroupBox(this)),
      m_size(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("Svas_dlg"));
    setWindowTitle(QStringLiteral("Datei speichern unter"));
    m_name->setObjectName(QStringLiteral("Dateiname"));
    m_type->setObjectName(QStringLiteral("Dateityp"));

    auto* browse = new QPushButton(QStringLiteral("…"), this);
    browse->setToolTip(QStringLiteral("Verzeichnis wählen"));
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString dir = QFileDialog::getExistingDirectory(
            this, QStringLiteral("Verzeichnisse:"), m_folder->text());
        if (!dir.isEmpty()) {
            SetFolder(dir.toStdString());
        }
    });
    connect(m_folder, &QLineEdit::editingFinished, this, [this] { FillFileList(); });
    connect(m_type, &QComboBox::currentIndexChanged, this, [this] {
        m_name->setText(QString::fromStdString(CurrentMask()));
        FillFileList();
    });
    connect(m_files, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { m_name->setText(item->text()); });
    connect(m_files, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        m_name->setText(item->text());
        Confirm();
    });

    auto* sizeLayout = new QHBoxLayout(m_sizeGroup);
    m_sizeGroup->setObjectName(QStringLiteral("Size_gr"));
    for (int i = 0; i < 2; ++i) {
        auto* b = new QRadioButton(i == 0 ? QStringLiteral("Komplett") : QStringLiteral("Auswahl"),
                                   m_sizeGroup);
        m_size->addButton(b, i);
        sizeLayout->addWidget(b);
    }
    m_size->button(0)->setChecked(true);
    m_sizeGroup->hide();

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Abbruch"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &TSvas_dlg::Confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Verzeichnisse:"), folderRow);
    form->addRow(m_files);
    form->addRow(QStringLiteral("Dateityp:"), m_type);
    form->addRow(QStringLiteral("Dateiname:"), m_name);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_sizeGroup);
    layout->addWidget(buttons);
    SetFolder(DialogFolder(parent));
    resize(520, 420);
}

void TSvas_dlg::SetFilter(const std::string& filter) {
    m_filter = ParseFilter(filter);
    m_type->blockSignals(true);
    m_type->clear();
    for (const auto& [description, mask] : m_filter) {
        m_type->addItem(QString::fromStdString(description));
    }
    m_type->blockSignals(false);
    m_type->setCurrentIndex(m_filter.empty() ? -1 : 0);
    FillFileList();
}

void TSvas_dlg::SetFolder(const std::string& folder) {
    m_folder->setText(QString::fromStdString(folder));
    FillFileList();
}

std::string TSvas_dlg::Folder() const {
    return m_folder->text().toStdString();
}

void TSvas_dlg::ShowSizeChoice(bool show) {
    m_sizeGroup->setVisible(show);
}

int TSvas_dlg::FilterIndex() const {
    return m_type->currentIndex();
}

int TSvas_dlg::SizeChoice() const {
    return m_size->checkedId();
}

std::string TSvas_dlg::CurrentMask() const {
    const int i = m_type->currentIndex();
    return i >= 0 && i < static_cast<int>(m_filter.size()) ? m_filter[i].second : "*.*";
}

void TSvas_dlg::FillFileList() {
    m_files->clear();
    const QDir dir(m_folder->text());
    // The list follows the mask whatever case the files carry ("*.KTX" lists "a.ktx").
    const QString mask = QString::fromStdString(CurrentMask()).toLower();
    for (const QString& f : dir.entryList(QDir::Files)) {
        if (QDir::match(mask, f.toLower())) {
            m_files->addItem(f);
        }
    }
}

void TSvas_dlg::Confirm() {
    const std::string name = ResolveSaveName(m_folder->text().toStdString(),
                                             m_name->text().toStdString(), CurrentMask());
    switch (CheckSaveName(name)) {
        case SaveCheck::InvalidName:
            ShowErrorMsgText(m_notifier, kMsgInvalidName, name, 0);
            return;
        case SaveCheck::Exists:
            if (!ConfirmMsgText(m_notifier, kMsgOverwrite, name, 0)) {
                return;
            }
            break;
        case SaveCheck::Accept:
            break;
    }
    m_fileName = name;
    RememberDialogFolder(parentWidget(), name);
    accept();
}

Tcseldlg::Tcseldlg(const UnitStrings& units, QWidget* parent)
    : QDialog(parent), m_channels(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("cseldlg"));
    setWindowTitle(QStringLiteral("Kanalauswahl"));
    auto* grid = new QGridLayout;
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(QStringLiteral("Channel %1").arg(i), this);
        const bool present = units[i] != kAbsentUnit;
        b->setEnabled(present);
        m_channels->addButton(b, i);
        grid->addWidget(b, i, 0);
        grid->addWidget(
            new QLabel(present ? QString::fromLatin1(units[i].c_str()) : QString(), this), i, 1);
    }
    if (const int first = FirstPresentChannel(units); first >= 0) {
        m_channels->button(first)->setChecked(true);
    }
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

int Tcseldlg::Channel() const {
    return m_channels->checkedId();
}

bool Tcseldlg::ChannelEnabled(int i) const {
    return m_channels->button(i)->isEnabled();
}

void Tcseldlg::Choose(int i) {
    if (ChannelEnabled(i)) {
        m_channels->button(i)->setChecked(true);
    }
}

TSvas_dlg::~TSvas_dlg() {
    DetachChildrenFrom(this);
}

}  // namespace ktx

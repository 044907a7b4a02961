// SPDX-License-Identifier: GPL-3.0-or-later
#include "installer/setup_dialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <limits>

namespace ktx {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The gauge counts in KiB: a QProgressBar holds an int.
int Kib(std::uint64_t bytes) {
    return static_cast<int>(std::min<std::uint64_t>(bytes / 1024, std::numeric_limits<int>::max()));
}

}  // namespace

InformationDialog::InformationDialog(const QString& text, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Information"));
    auto* memo = new QPlainTextEdit(text);
    memo->setReadOnly(true);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    buttons->addButton(QStringLiteral("Continue"), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(memo);
    layout->addWidget(buttons);
    resize(520, 400);
}

VersionDialog::VersionDialog(QWidget* parent)
    : QDialog(parent), m_languages(new QButtonGroup(this)) {
    setWindowTitle(QStringLiteral("Select Version"));
    auto* box = new QGroupBox(QStringLiteral("Language"));
    auto* boxLayout = new QVBoxLayout(box);
    int id = 0;
    for (const char* name : {"German", "English", "Spanish", "French"}) {
        auto* radio = new QRadioButton(QString::fromLatin1(name));
        m_languages->addButton(radio, id++);
        boxLayout->addWidget(radio);
    }
    m_languages->button(0)->setChecked(true);
    for (const char* name : {"Russian", "Dutch"}) {
        auto* radio = new QRadioButton(QString::fromLatin1(name));
        radio->setEnabled(false);
        boxLayout->addWidget(radio);
    }
    auto* next = new QPushButton(QStringLiteral("Continue >>"));
    next->setDefault(true);
    connect(next, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Welcome to the KTX 4.8 installation program")));
    layout->addWidget(box);
    layout->addWidget(next, 0, Qt::AlignRight);
}

int VersionDialog::Language() const {
    return m_languages->checkedId();
}

CopyDialog::CopyDialog(const QString& medium, int language, QWidget* parent)
    : QDialog(parent),
      m_language(language),
      m_source(new QLineEdit(medium)),
      m_destination(new QLineEdit(QDir::home().filePath(QStringLiteral("ktx4")))),
      m_createDisks(new QCheckBox(QStringLiteral("Create Disks"))),
      m_gauge(new QProgressBar),
      m_file(new QLabel),
      m_needed(new QLabel),
      m_free(new QLabel),
      m_install(new QPushButton(QStringLiteral("Install"))) {
    setWindowTitle(QStringLiteral("KurviTex 4.8 Installation"));
    auto* sourceBrowse = new QPushButton(QStringLiteral("..."));
    auto* destBrowse = new QPushButton(QStringLiteral("..."));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    m_install->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Source Drive")), 0, 0);
    grid->addWidget(m_source, 0, 1);
    grid->addWidget(sourceBrowse, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Destination Drive")), 1, 0);
    grid->addWidget(m_destination, 1, 1);
    grid->addWidget(destBrowse, 1, 2);
    grid->addWidget(m_createDisks, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Bytes needed")), 3, 0);
    grid->addWidget(m_needed, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("Bytes free")), 4, 0);
    grid->addWidget(m_free, 4, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_install);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Setup will copy all necessary Files to your PC")));
    layout->addWidget(new QLabel(QStringLiteral("and will create a Program Group")));
    layout->addLayout(grid);
    layout->addWidget(m_gauge);
    layout->addWidget(m_file);
    layout->addLayout(buttons);

    connect(sourceBrowse, &QPushButton::clicked, this, [this] { ChooseFolder(m_source); });
    connect(destBrowse, &QPushButton::clicked, this, [this] { ChooseFolder(m_destination); });
    connect(m_source, &QLineEdit::editingFinished, this, &CopyDialog::UpdateBytes);
    connect(m_destination, &QLineEdit::editingFinished, this, &CopyDialog::UpdateBytes);
    connect(m_createDisks, &QCheckBox::clicked, this, &CopyDialog::CreateDisksClicked);
    connect(m_install, &QPushButton::clicked, this, &CopyDialog::InstallClicked);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    UpdateBytes();
    resize(560, 0);
}

void CopyDialog::ChooseFolder(QLineEdit* edit) {
    const QString folder = QFileDialog::getExistingDirectory(this, QString(), edit->text());
    if (!folder.isEmpty()) {
        edit->setText(folder);
        UpdateBytes();
    }
}

void CopyDialog::UpdateBytes() {
    m_neededBytes = BytesNeeded(m_source->text().toStdString(), m_language);
    m_needed->setText(QString::number(m_neededBytes));
    m_gauge->setRange(0, std::max(1, Kib(m_neededBytes)));
    const auto free = FreeSpace(m_destination->text().toStdString());
    m_free->setText(free ? QString::number(*free) : QString());
    m_install->setEnabled(true);
}

void CopyDialog::CreateDisksClicked() {
    // The destination stands for the first disk; a folder of its own, not the installation's.
    if (m_createDisks->isChecked()) {
        m_lastInstallFolder = m_destination->text();
        m_destination->setText(QDir::home().filePath(QStringLiteral("ktx4-disk1")));
    } else if (!m_lastInstallFolder.isEmpty()) {
        m_destination->setText(m_lastInstallFolder);
    }
    UpdateBytes();
}

void CopyDialog::InstallClicked() {
    m_install->setEnabled(false);
    const std::string source = m_source->text().toStdString();
    // The edit shows the destination as it is used: without a trailing separator.
    const std::string destination = StripTrailingSeparators(m_destination->text().toStdString());
    m_destination->setText(Q(destination));
    bool ok = false;
    if (m_createDisks->isChecked()) {
        ok = MakeDisks({source, destination, m_language}, *this);
    } else {
        ok = Install({source, destination, m_language, MenuFolders::FromEnvironment()}, *this);
    }
    m_install->setEnabled(true);
    if (ok) {
        accept();
    }
}

void CopyDialog::ShowFile(const std::string& path) {
    m_file->setText(Q(path));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CopyDialog::Progress(std::uint64_t bytesDone) {
    m_gauge->setValue(std::min(Kib(bytesDone), m_gauge->maximum()));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool CopyDialog::AskContinue(const std::string& text) {
    return QMessageBox::warning(this, windowTitle(), Q(text),
                                QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void CopyDialog::Warn(const std::string& text) {
    QMessageBox::warning(this, windowTitle(), Q(text));
}

void CopyDialog::Error(const std::string& text) {
    QMessageBox::critical(this, windowTitle(), Q(text));
}

std::optional<std::string> CopyDialog::NextDisk(const std::string& text) {
    if (QMessageBox::information(this, windowTitle(), Q(text),
                                 QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok) {
        return std::nullopt;
    }
    const QString folder = QFileDialog::getExistingDirectory(this, Q(text), m_destination->text());
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    m_destination->setText(folder);
    return folder.toStdString();
}

}  // namespace ktx

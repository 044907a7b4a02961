// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/tdman.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include "images/image_files.h"

namespace ktx {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

Tdman::Tdman(const std::string& folder, QWidget* parent)
    : QDialog(parent),
      m_drive(new QComboBox(this)),
      m_folders(new QListWidget(this)),
      m_files(new QTreeWidget(this)),
      m_name(new QLineEdit(this)) {
    setObjectName(QStringLiteral("dman"));
    setWindowTitle(QStringLiteral("Dateiauswahl"));
    m_drive->setObjectName(QStringLiteral("DriveComboBox1"));
    m_folders->setObjectName(QStringLiteral("DirectoryListBox1"));
    m_files->setObjectName(QStringLiteral("ListView1"));
    m_name->setObjectName(QStringLiteral("Edit1"));
    // Drives are the file systems' roots here: "/" on Linux.
    for (const QFileInfo& drive : QDir::drives()) {
        m_drive->addItem(drive.absoluteFilePath());
    }
    m_files->setColumnCount(3);
    m_files->setHeaderLabels(
        {QStringLiteral("Name:"), QStringLiteral("Kommentar:"), QStringLiteral("Datum/Zeit:")});
    m_files->setRootIsDecorated(false);
    m_files->setColumnWidth(0, 110);
    m_files->setColumnWidth(1, 280);
    m_files->setColumnWidth(2, 110);
    m_files->setMinimumWidth(110 + 280 + 110 + 24);
    m_files->header()->setStretchLastSection(true);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Abbruch"), QDialogButtonBox::RejectRole);

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("Laufwerk:"), this));
    left->addWidget(m_drive);
    left->addWidget(new QLabel(QStringLiteral("Verzeichnis:"), this));
    left->addWidget(m_folders, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(m_files, 1);
    right->addWidget(new QLabel(QStringLiteral("Dateiname:"), this));
    right->addWidget(m_name);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right, 1);
    auto* all = new QVBoxLayout(this);
    all->addLayout(columns, 1);
    all->addWidget(buttons);
    m_folders->setMinimumWidth(200);

    connect(buttons, &QDialogButtonBox::accepted, this, &Tdman::Confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_drive, &QComboBox::textActivated, this,
            [this](const QString& drive) { SetFolder(drive.toStdString()); });
    connect(m_folders, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        SetFolder(QDir(Q(m_folder)).absoluteFilePath(item->text()).toStdString());
    });
    connect(m_files, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item != nullptr && !item->text(0).isEmpty()) {
            m_name->setText(QDir(Q(m_folder)).absoluteFilePath(item->text(0)));
        }
    });
    connect(m_files, &QTreeWidget::itemDoubleClicked, this, [this] { Confirm(); });
    SetFolder(folder.empty() ? QDir::currentPath().toStdString() : folder);
    resize(860, 420);
}

void Tdman::SetFolder(const std::string& folder) {
    m_folder = QDir(Q(folder)).absolutePath().toStdString();
    FillFolders();
    FillFiles();
}

void Tdman::FillFolders() {
    m_folders->clear();
    const QDir dir(Q(m_folder));
    if (!dir.isRoot()) {
        m_folders->addItem(QStringLiteral(".."));
    }
    for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        m_folders->addItem(sub);
    }
}

void Tdman::FillFiles() {
    m_files->clear();
    for (const PictureFileRow& row : ListPictureFiles(m_folder)) {
        auto* item = new QTreeWidgetItem(m_files);
        item->setText(0, Q(row.name));
        item->setText(1, Q(row.comment));
        item->setText(2, Q(row.time));
        item->setToolTip(0, Q(row.name));  // the column keeps its width: long names show here
        item->setToolTip(1, Q(row.comment));
    }
}

void Tdman::Confirm() {
    if (m_name->text().isEmpty()) {
        return;
    }
    m_fileName = m_name->text().toStdString();
    accept();
}

}  // namespace ktx

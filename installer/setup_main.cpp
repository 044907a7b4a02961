// SPDX-License-Identifier: GPL-3.0-or-later
// kurvitex-setup [MEDIUM]: installs Kurvitex from the installation medium (by default the
// current folder) after showing its install.txt and asking for the language.
#include <QApplication>
#include <QDir>
#include <QFile>

#include "installer/setup_dialogs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kurvitex 4.8 "));
    const QStringList args = QApplication::arguments();
    const QString medium = QDir(args.size() > 1 ? args.at(1) : QDir::currentPath()).absolutePath();

    QFile info(QDir(medium).filePath(QStringLiteral("install.txt")));
    QString text;
    if (info.open(QIODevice::ReadOnly)) {
        text = QString::fromLocal8Bit(info.read(1 << 20));
    }
    ktx::InformationDialog information(text);
    if (information.exec() != QDialog::Accepted) {
        return 0;
    }
    ktx::VersionDialog version;
    if (version.exec() != QDialog::Accepted) {
        return 0;
    }
    ktx::CopyDialog copy(medium, version.Language());
    copy.exec();
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// kurvitex-setup [MEDIUM]: installs Kurvitex from the installation medium (by default the
// current folder) after showing its install.txt and asking for the language.
// kurvitex-setup MEDIUM --install DIR [--language N]: the same without dialogs, for scripts;
// every question is answered with Cancel and every message goes to stderr.
#include <QApplication>
#include <QDir>
#include <QFile>

#include <iostream>

#include "installer/setup_dialogs.h"

namespace {

class ConsoleUi final : public ktx::InstallerUi {
  public:
    void ShowFile(const std::string&) override {}
    void Progress(std::uint64_t) override {}
    bool AskContinue(const std::string& text) override {
        std::cerr << text << '\n';
        return false;
    }
    void Warn(const std::string& text) override { std::cerr << text << '\n'; }
    void Error(const std::string& text) override { std::cerr << text << '\n'; }
    std::optional<std::string> NextDisk(const std::string& text) override {
        std::cerr << text << '\n';
        return std::nullopt;
    }
};

int Unattended(const std::string& medium, const std::string& destination, int language) {
    ConsoleUi ui;
    return ktx::Install({medium, destination, language, ktx::MenuFolders::FromEnvironment()}, ui)
               ? 0
               : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string medium = QDir::currentPath().toStdString();
    std::string destination;
    int language = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--install" && i + 1 < argc) {
            // The menu entries name the programs by absolute paths.
            destination = QDir(QString::fromLocal8Bit(argv[++i])).absolutePath().toStdString();
        } else if (arg == "--language" && i + 1 < argc) {
            language = std::atoi(argv[++i]);
        } else if (arg == "--help") {
            std::cout << "Usage: kurvitex-setup [MEDIUM] [--install DIR [--language 0-3]]\n";
            return 0;
        } else {
            medium = QDir(QString::fromLocal8Bit(argv[i])).absolutePath().toStdString();
        }
    }
    if (!destination.empty()) {
        return Unattended(medium, destination, language);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kurvitex 4.8 "));
    QFile info(QDir(QString::fromStdString(medium)).filePath(QStringLiteral("install.txt")));
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
    ktx::CopyDialog copy(QString::fromStdString(medium), version.Language());
    copy.exec();
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// kurvitex-uninstall [LIST] [--yes]: removes what an installation's uninstal.txt names (by
// default the list beside this program), after asking, and says what it kept.
#include <QApplication>
#include <QMessageBox>

#include <filesystem>
#include <iostream>
#include <string>

#include "installer/install_tables.h"
#include "installer/uninstall.h"

namespace {

std::string DefaultList() {
    std::error_code ec;
    const auto exe = std::filesystem::canonical("/proc/self/exe", ec);
    return (exe.parent_path() / ktx::kUninstallListName).string();
}

}  // namespace

int main(int argc, char** argv) {
    std::string list;
    bool ask = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--yes") {
            ask = false;
        } else if (arg == "--help") {
            std::cout << "Usage: kurvitex-uninstall [uninstal.txt] [--yes]\n";
            return 0;
        } else {
            list = arg;
        }
    }
    if (list.empty()) {
        list = DefaultList();
    }
    if (!std::filesystem::is_regular_file(list)) {
        std::cerr << "File " << list << " not found\n";
        if (ask) {
            QApplication app(argc, argv);
            QMessageBox::critical(
                nullptr, QStringLiteral("uninstal"),
                QStringLiteral("File %1 not found").arg(QString::fromStdString(list)));
        }
        return 1;
    }
    if (ask) {
        QApplication app(argc, argv);
        const auto answer =
            QMessageBox::question(nullptr, QStringLiteral("uninstal"),
                                  QStringLiteral("Remove Kurvitex 4.8 as installed by %1?")
                                      .arg(QString::fromStdString(list)),
                                  QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Ok) {
            return 1;
        }
    }
    const ktx::UninstallReport report = ktx::Uninstall(list);
    for (const std::string& kept : report.kept) {
        std::cout << "kept " << kept << '\n';
    }
    std::cout << report.removed.size() << " removed\n";
    return report.listRead ? 0 : 1;
}

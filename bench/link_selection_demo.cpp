// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the "Schnittstellenauswahl" list offered for an interface mask from a kurvitex.ini into
// a PNG, for screenshots without a display (not a test):
//   QT_QPA_PLATFORM=offscreen kurvitex_link_demo KURVITEX.INI MASK OUT.png
#include <QApplication>
#include <QPixmap>
#include <iostream>

#include "app/shell_logic.h"
#include "config/profile_file.h"
#include "link/link_dialogs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::cerr << "kurvitex_link_demo KURVITEX.INI MASK OUT.png\n";
        return 2;
    }
    const ktx::ProfileFile ini(argv[1]);
    const auto entries = ktx::ReadInterfaceEntries(ini, std::atoi(argv[2]));
    ktx::Tsel_ss dialog(entries, ktx::PreselectedInterface(entries, "ktx_vxi.so"));
    dialog.show();
    app.processEvents();
    return dialog.grab().save(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
}

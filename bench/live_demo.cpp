// SPDX-License-Identifier: GPL-3.0-or-later
// Opens the live display from the main window's tool button against the instrument of HOME's
// kurvitex.ini, runs it on four sources and saves pictures of the live window and of the main
// window for screenshots (not a test):
//   kurvitex_live_demo HOME LIVE.png MAIN.png [SOURCE...]
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <iostream>

#include "app/main_form.h"
#include "config/program_state.h"
#include "view/tlv_frm.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::cerr << "kurvitex_live_demo HOME LIVE.png MAIN.png [SOURCE...]\n";
        return 2;
    }
    std::vector<std::string> sources;
    for (int i = 4; i < args.size(); ++i) {
        sources.push_back(args[i].toStdString());
    }
    if (sources.empty()) {
        sources = {"CH1", "CH2", "CH3", "CH4"};
    }
    ktx::MainFormOptions options;
    options.showSplash = false;
    ktx::TMainForm form(ktx::ReadStartupState(args[1].toStdString()), options);
    form.resize(1100, 800);
    form.show();
    int status = 1;
    QTimer::singleShot(500, &form, [&] {
        // The modal live window runs its own loop: reach it from there.
        QTimer::singleShot(300, &form, [&] {
            ktx::Tlv_frm* live = form.findChild<ktx::Tlv_frm*>();
            if (!live) {
                std::cerr << "no live window\n";
                app.exit(1);
                return;
            }
            live->resize(760, 560);
            live->SetSourceChooser([&] { return ktx::LiveSelection{sources, "0", "2500", 2500}; });
            live->SetFrameObserver([&, live] {
                if (live->Frames() == 8) {
                    live->Button2Click();
                    live->grab().save(args[2]);
                    form.grab().save(args[3]);
                    status = 0;
                    QTimer::singleShot(0, live, [live] { live->close(); });
                }
            });
            live->findChild<QPushButton*>(QStringLiteral("Button1"))->click();
        });
        form.findChild<QAction*>(QStringLiteral("Live_button"))->trigger();
        app.exit(status);
    });
    return app.exec();
}

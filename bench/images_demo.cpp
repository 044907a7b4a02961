// SPDX-License-Identifier: GPL-3.0-or-later
// Shows the main window against the simulated instrument with one of the screen-picture or
// acquisition windows open, for screenshots and manual checks (not a test):
//   kurvitex_images_demo HOME fetch|manager|acquire [--seconds N] [--folder DIR]
//     fetch    control mode on, a picture fetched into the image window, a comment typed
//     manager  the file manager on DIR
//     acquire  the "Acquire" dialog
#include <QApplication>
#include <QTextEdit>
#include <QTimer>
#include <iostream>

#include "app/main_form.h"
#include "config/program_state.h"
#include "images/image_commands.h"
#include "images/tdman.h"
#include "images/tmdichild.h"
#include "tools/acquisition_commands.h"
#include "tools/tacq_dlg.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::cerr << "kurvitex_images_demo HOME fetch|manager|acquire [--seconds N] "
                     "[--folder DIR]\n";
        return 2;
    }
    int seconds = 6;
    QString folder = args[1];
    for (int i = 3; i + 1 < args.size(); ++i) {
        if (args[i] == QStringLiteral("--seconds")) {
            seconds = args[i + 1].toInt();
        } else if (args[i] == QStringLiteral("--folder")) {
            folder = args[i + 1];
        }
    }
    ktx::MainFormOptions options;
    options.showSplash = false;
    ktx::TMainForm form(ktx::ReadStartupState(args[1].toStdString()), options);
    form.show();
    const QString what = args[2];
    QTimer::singleShot(800, &form, [&] {
        if (what == QStringLiteral("fetch")) {
            form.Acquisition().SteuerungClick();
            form.FetchPicture();
            if (ktx::TMDIChild* w = form.Images().ImageWindow()) {
                w->Comment()->setPlainText(QStringLiteral("Netzspannung am Trafo, 1 kHz Test"));
            }
        } else if (what == QStringLiteral("manager")) {
            auto* dialog = new ktx::Tdman(folder.toStdString(), &form);
            dialog->show();
        } else if (what == QStringLiteral("acquire")) {
            auto* dialog = new ktx::TAcq_dlg(form.Transport(), form.Messages(),
                                             form.State().deviceType, &form);
            dialog->show();
        }
    });
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The kurvitex executable.
#include <QApplication>

#include "app/main_form.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KTX 4.8"));
    ktx::TMainForm form;
    form.show();
    return QApplication::exec();
}

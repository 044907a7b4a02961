// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_form.h"

#include <QGuiApplication>
#include <QMdiArea>
#include <QScreen>

namespace ktx {

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), m_mdi(new QMdiArea(this)) {
    setWindowTitle(QStringLiteral("Kurvitex 4.8"));
    setCentralWidget(m_mdi);
    // One sixteenth of the screen from the top left corner, seven eighths of its size.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->availableGeometry();
        setGeometry(s.x() + s.width() / 16, s.y() + s.height() / 16, s.width() * 7 / 8,
                    s.height() * 7 / 8);
    }
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/live_commands.h"

#include <QAction>
#include <QPainter>
#include <QPainterPath>
#include <QToolBar>
#include <QWidget>
#include <cmath>

#include "app/shell.h"
#include "config/program_state.h"
#include "view/tlv_frm.h"

namespace ktx {

namespace {

// A screen with a moving trace, drawn at the sizes the tool bar asks for.
QIcon LiveIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size / 24.0;
        p.setPen(QPen(QColor(40, 40, 40), 1.2 * s));
        p.setBrush(QColor(20, 60, 30));
        p.drawRoundedRect(QRectF(2 * s, 4 * s, 20 * s, 16 * s), 2 * s, 2 * s);
        QPainterPath trace;
        for (int i = 0; i <= 32; ++i) {
            const qreal x = (4 + 16.0 * i / 32) * s;
            const qreal y = (12 - 5 * std::sin(i * 3.14159265 / 8)) * s;
            if (i == 0) {
                trace.moveTo(x, y);
            } else {
                trace.lineTo(x, y);
            }
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 0), 1.6 * s));
        p.drawPath(trace);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

}  // namespace

LiveCommands::LiveCommands(Shell& shell) : m_shell(shell) {
    shell.Claim(QStringLiteral("Live1"), [this] { LiveClick(); });
    if (auto* bar = shell.Window()->findChild<QToolBar*>(QStringLiteral("SpeedPanel"))) {
        m_button = new QAction(LiveIcon(), QStringLiteral("Live"), bar);
        m_button->setObjectName(QStringLiteral("Live_button"));
        m_button->setToolTip(QStringLiteral("Live"));
        bar->addSeparator();
        bar->addAction(m_button);
        QObject::connect(m_button, &QAction::triggered, bar, [this] { LiveClick(); });
    }
}

void LiveCommands::LiveClick() {
    Tlv_frm window(m_shell.Transport(), m_shell.Messages(), m_shell.State().deviceIniFile,
                   m_shell.Window());
    window.exec();
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace ktx {

namespace {

// One design grid of 32 x 32 units for every icon; the painter scales it to the size asked.
const QColor kInk(40, 48, 60);
const QColor kAccent(0, 120, 200);
const QColor kPaper(250, 250, 246);
const QColor kTrace(20, 160, 90);

QPen Ink(qreal w = 2.0) {
    return QPen(kInk, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Sheet(QPainter& p, QRectF r) {
    p.setPen(Ink(1.6));
    p.setBrush(kPaper);
    p.drawRoundedRect(r, 1.5, 1.5);
}

void Screen(QPainter& p, QRectF r) {
    p.setPen(Ink(1.8));
    p.setBrush(QColor(30, 38, 50));
    p.drawRoundedRect(r, 2.5, 2.5);
}

void SineIn(QPainter& p, QRectF r, const QColor& c, qreal cycles = 1.5) {
    QPainterPath path;
    const int n = 40;
    for (int i = 0; i <= n; ++i) {
        const qreal x = r.left() + r.width() * i / n;
        const qreal y = r.center().y() - r.height() / 2 * qSin(2 * M_PI * cycles * i / n);
        i == 0 ? path.moveTo(x, y) : path.lineTo(x, y);
    }
    p.setPen(QPen(c, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void Text(QPainter& p, QRectF r, const QString& t, qreal size, const QColor& c = kInk) {
    QFont f(QStringLiteral("Sans"));
    f.setPixelSize(qRound(size));
    f.setBold(true);
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, Qt::AlignCenter, t);
}

void Draw(QPainter& p, IconKind kind) {
    switch (kind) {
        case IconKind::Open: {
            p.setPen(Ink());
            p.setBrush(QColor(240, 200, 90));
            p.drawRect(QRectF(3, 9, 22, 17));
            QPainterPath lid;
            lid.moveTo(3, 26);
            lid.lineTo(9, 14);
            lid.lineTo(29, 14);
            lid.lineTo(25, 26);
            lid.closeSubpath();
            p.setBrush(QColor(250, 220, 120));
            p.drawPath(lid);
            break;
        }
        case IconKind::Save:
            p.setPen(Ink());
            p.setBrush(kAccent);
            p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
            p.setBrush(kPaper);
            p.drawRect(QRectF(9, 4, 14, 9));
            p.drawRect(QRectF(8, 18, 16, 10));
            break;
        case IconKind::FileManager:
            p.setPen(Ink());
            p.setBrush(QColor(200, 205, 212));
            p.drawRect(QRectF(6, 3, 20, 26));
            p.drawLine(QPointF(6, 16), QPointF(26, 16));
            p.setBrush(kInk);
            p.drawRect(QRectF(13, 8, 6, 2));
            p.drawRect(QRectF(13, 21, 6, 2));
            break;
        case IconKind::Print:
            Sheet(p, QRectF(9, 3, 14, 10));
            p.setPen(Ink());
            p.setBrush(QColor(200, 205, 212));
            p.drawRoundedRect(QRectF(3, 12, 26, 12), 2, 2);
            Sheet(p, QRectF(9, 19, 14, 10));
            break;
        case IconKind::Copy:
            Sheet(p, QRectF(4, 3, 16, 20));
            Sheet(p, QRectF(12, 9, 16, 20));
            break;
        case IconKind::FetchPicture:
            Screen(p, QRectF(3, 5, 26, 20));
            SineIn(p, QRectF(6, 9, 20, 12), kTrace);
            p.setPen(Ink(2));
            p.drawLine(QPointF(16, 25), QPointF(16, 30));
            p.drawLine(QPointF(12, 26), QPointF(16, 30));
            p.drawLine(QPointF(20, 26), QPointF(16, 30));
            break;
        case IconKind::Viewer:
            Sheet(p, QRectF(4, 3, 18, 24));
            SineIn(p, QRectF(6, 9, 14, 8), kTrace);
            p.setPen(Ink(2.4));
            p.setBrush(QColor(255, 255, 255, 180));
            p.drawEllipse(QPointF(20, 19), 6, 6);
            p.drawLine(QPointF(24.5, 23.5), QPointF(29, 28));
            break;
        case IconKind::Measure:
            p.setPen(Ink());
            p.setBrush(QColor(250, 215, 90));
            p.drawRect(QRectF(3, 11, 26, 10));
            for (int x = 7; x <= 25; x += 4) {
                p.drawLine(QPointF(x, 11), QPointF(x, x % 8 == 7 ? 17 : 15));
            }
            break;
        case IconKind::Logger: {
            p.setPen(Ink());
            p.drawLine(QPointF(4, 4), QPointF(4, 28));
            p.drawLine(QPointF(4, 28), QPointF(29, 28));
            QPainterPath path;
            path.moveTo(6, 22);
            path.lineTo(11, 16);
            path.lineTo(16, 19);
            path.lineTo(21, 9);
            path.lineTo(28, 12);
            p.setPen(QPen(kAccent, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPath(path);
            break;
        }
        case IconKind::Scanner:
            for (int i = 2; i >= 0; --i) {
                Screen(p, QRectF(3 + 4 * i, 3 + 4 * i, 18, 14));
            }
            SineIn(p, QRectF(5, 6, 14, 8), kTrace, 1.0);
            break;
        case IconKind::Fft:
            p.setPen(Qt::NoPen);
            p.setBrush(kAccent);
            for (int i = 0; i < 6; ++i) {
                const qreal h = 22.0 / (1 + i * 0.9);
                p.drawRect(QRectF(4 + i * 4.5, 28 - h, 3, h));
            }
            p.setPen(Ink(1.6));
            p.drawLine(QPointF(3, 28.5), QPointF(30, 28.5));
            break;
        case IconKind::Math1:
            Text(p, QRectF(0, 0, 32, 32), QStringLiteral("f'"), 19, kAccent);
            break;
        case IconKind::Math2:
            Text(p, QRectF(0, 0, 32, 32), QStringLiteral("±"), 24, kAccent);
            break;
        case IconKind::ControlOn:
        case IconKind::ControlOff: {
            const QColor c =
                kind == IconKind::ControlOn ? QColor(30, 160, 60) : QColor(150, 150, 150);
            p.setPen(QPen(c, 3.0, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(6, 6, 20, 20), 120 * 16, 300 * 16);
            p.drawLine(QPointF(16, 3), QPointF(16, 15));
            break;
        }
        case IconKind::Single:
            p.setPen(Ink(2.4));
            p.drawLine(QPointF(4, 24), QPointF(13, 24));
            p.drawLine(QPointF(13, 24), QPointF(13, 8));
            p.drawLine(QPointF(13, 8), QPointF(19, 8));
            p.drawLine(QPointF(19, 8), QPointF(19, 24));
            p.drawLine(QPointF(19, 24), QPointF(28, 24));
            break;
        case IconKind::Run: {
            QPainterPath tri;
            tri.moveTo(9, 5);
            tri.lineTo(27, 16);
            tri.lineTo(9, 27);
            tri.closeSubpath();
            p.setPen(Ink(1.6));
            p.setBrush(QColor(30, 160, 60));
            p.drawPath(tri);
            break;
        }
        case IconKind::Continuous:
            SineIn(p, QRectF(3, 8, 26, 16), kAccent, 2.0);
            break;
        case IconKind::Stop:
            p.setPen(Ink(1.6));
            p.setBrush(QColor(200, 40, 40));
            p.drawRoundedRect(QRectF(7, 7, 18, 18), 2, 2);
            break;
        case IconKind::Program:
            Screen(p, QRectF(2, 4, 28, 22));
            SineIn(p, QRectF(5, 8, 22, 14), kTrace);
            p.setPen(Ink(2));
            p.drawLine(QPointF(10, 29), QPointF(22, 29));
            break;
    }
}

}  // namespace

QIcon MakeIcon(IconKind kind) {
    QIcon icon;
    for (int size : {16, 20, 24, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        Draw(p, kind);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QCursor TransferCursor() {
    // An arrow with two opposed arrows beside it: data moves between PC and instrument.
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath arrow;
    arrow.moveTo(1, 1);
    arrow.lineTo(1, 17);
    arrow.lineTo(5, 13);
    arrow.lineTo(8, 20);
    arrow.lineTo(10, 19);
    arrow.lineTo(7, 12);
    arrow.lineTo(12, 12);
    arrow.closeSubpath();
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(Qt::black);
    p.drawPath(arrow);
    p.setPen(QPen(kAccent, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 20), QPointF(29, 20));
    p.drawLine(QPointF(25, 16), QPointF(29, 20));
    p.drawLine(QPointF(16, 26), QPointF(29, 26));
    p.drawLine(QPointF(16, 26), QPointF(20, 30));
    p.end();
    return QCursor(pm, 1, 1);
}

QPixmap SplashPicture() {
    QPixmap pm(420, 240);
    pm.fill(QColor(24, 32, 44));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // A graticule like the instrument's screen.
    p.setPen(QPen(QColor(60, 75, 95), 1, Qt::DotLine));
    for (int x = 20; x <= 400; x += 38) {
        p.drawLine(x, 20, x, 160);
    }
    for (int y = 20; y <= 160; y += 35) {
        p.drawLine(20, y, 400, y);
    }
    SineIn(p, QRectF(20, 40, 380, 100), QColor(80, 220, 140), 2.5);
    QFont f(QStringLiteral("Sans"));
    f.setPixelSize(38);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 165, 420, 44), Qt::AlignCenter, QStringLiteral("Kurvitex 4.8"));
    f.setPixelSize(13);
    f.setBold(false);
    p.setFont(f);
    p.setPen(QColor(170, 185, 205));
    p.drawText(QRectF(0, 208, 420, 22), Qt::AlignCenter,
               QStringLiteral("Kurven, Bilder und Messwerte vom Oszilloskop"));
    p.end();
    return pm;
}

}  // namespace ktx

#include <QGuiApplication>

namespace ktx {

TransferCursorScope::TransferCursorScope() {
    QGuiApplication::setOverrideCursor(TransferCursor());
}
TransferCursorScope::~TransferCursorScope() {
    QGuiApplication::restoreOverrideCursor();
}

}  // namespace ktx

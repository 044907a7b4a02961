// SPDX-License-Identifier: GPL-3.0-or-later
// Printing of one bitmap page.
#include "view/print_page.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <cmath>

namespace ktx {

PrintLayout ComputePrintLayout(int pageWidth, int pageHeight, int bitmapWidth, int bitmapHeight,
                               int lines) {
    PrintLayout l;
    l.unit = std::max(pageWidth, pageHeight) / 50;
    l.margin = 3 * l.unit;
    const int textBlock = lines * l.unit;
    double width = 0;
    double height = 0;
    if (bitmapWidth > 0 && bitmapHeight > 0) {
        if (pageHeight > pageWidth) {
            width = pageWidth - 2.0 * l.margin;
            height = width * bitmapHeight / bitmapWidth;
        } else {
            height = pageHeight - 2.0 * l.margin - textBlock;
            width = height * bitmapWidth / bitmapHeight;
            if (width > pageWidth - 2.0 * l.margin) {
                width = pageWidth - 2.0 * l.margin;
                height = width * bitmapHeight / bitmapWidth;
            }
        }
    }
    l.picture = QRect(l.margin, l.margin + textBlock, static_cast<int>(std::lround(width)),
                      static_cast<int>(std::lround(height)));
    return l;
}

bool PrintBitmapPage(QPrinter& printer, const QImage& bitmap, const QStringList& lines) {
    // The printer gets the picture as an 8-bit indexed bitmap with its own colour table, as
    // palette printers need; the views draw with few colours, so nothing is lost.
    const QImage indexed = bitmap.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    const PrintLayout l = ComputePrintLayout(printer.width(), printer.height(), indexed.width(),
                                             indexed.height(), static_cast<int>(lines.size()));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(std::max(1, l.unit));
    painter.setFont(font);
    painter.setPen(Qt::black);
    // Line k has its top at (k + 1) m; drawn from its baseline so descenders are not clipped.
    const int ascent = painter.fontMetrics().ascent();
    for (int k = 0; k < lines.size(); ++k) {
        painter.drawText(QPoint(l.margin, (k + 1) * l.unit + ascent), lines[k]);
    }
    // Copied unchanged: no smoothing of the plot's one-pixel lines.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(l.picture, indexed);
    return painter.end();
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Printing of one bitmap page.
#include "view/print_page.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>

#include "app/save_dialogs.h"
#include "config/notifier.h"
#include "config/safe_file.h"

namespace ktx {

namespace {

constexpr int kMsgOutputFailed = 31;

PrintOutcome Failed(Notifier& notifier, const std::string& why) {
    ShowErrorMsgText(notifier, kMsgOutputFailed, why, 0);
    return PrintOutcome::Failed;
}

// A printer the print system knows: printing there can start at all.
bool KnownPrinter(const QPrinter& printer) {
    const QString name = printer.printerName();
    return !name.isEmpty() && !QPrinterInfo::printerInfo(name).isNull();
}

// Prints into the PDF file `target` by way of a SafeFile temporary next to it.
PrintOutcome PrintToPdf(QPrinter& pdf, const std::string& target, Notifier& notifier,
                        const std::function<bool(QPrinter&)>& print) {
    SafeFile out(target);
    if (!out.Begin()) {
        return Failed(notifier, out.Error().Text());
    }
    const QString chosen = pdf.outputFileName();
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(QString::fromStdString(out.TempPath()));
    const bool printed = print(pdf);
    pdf.setOutputFileName(chosen);
    if (!printed) {
        out.Fail(EIO);
        return Failed(notifier, out.Error().Text());
    }
    if (!out.Commit()) {
        return Failed(notifier, out.Error().Text());
    }
    return PrintOutcome::Printed;
}

}  // namespace

PrintLayout ComputePrintLayout(int pageWidth, int pageHeight, int bitmapWidth, int bitmapHeight,
                               int lines) {
    PrintLayout l;
    l.unit = std::max(pageWidth, pageHeight) / 50;
    l.margin = 3 * l.unit;
    const int textBlock = lines * l.unit;
    const double roomWidth = pageWidth - 2.0 * l.margin;
    const double roomHeight = pageHeight - 2.0 * l.margin - textBlock;
    double width = 0;
    double height = 0;
    if (bitmapWidth > 0 && bitmapHeight > 0 && roomWidth > 0 && roomHeight > 0) {
        if (pageHeight > pageWidth) {
            width = roomWidth;
            height = width * bitmapHeight / bitmapWidth;
        } else {
            height = roomHeight;
            width = height * bitmapWidth / bitmapHeight;
        }
        // A bitmap taller (or wider) than the room left would run off the page: it is scaled
        // down to fit instead.
        if (height > roomHeight) {
            height = roomHeight;
            width = height * bitmapWidth / bitmapHeight;
        }
        if (width > roomWidth) {
            width = roomWidth;
            height = width * bitmapHeight / bitmapWidth;
        }
    }
    l.picture = QRect(l.margin, l.margin + textBlock, static_cast<int>(std::lround(width)),
                      static_cast<int>(std::lround(height)));
    return l;
}

void DrawBitmapPage(QPainter& painter, const QSize& page, const QImage& bitmap,
                    const QStringList& lines) {
    // The printer gets the picture as an 8-bit indexed bitmap with its own colour table, as
    // palette printers need; the views draw with few colours, so nothing is lost.
    const QImage indexed = bitmap.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    const PrintLayout l = ComputePrintLayout(page.width(), page.height(), indexed.width(),
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
}

bool PrintBitmapPage(QPrinter& printer, const QImage& bitmap, const QStringList& lines) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    DrawBitmapPage(painter, QSize(printer.width(), printer.height()), bitmap, lines);
    return painter.end();
}

PrintOutcome RunPrintJob(QPrinter& printer, Notifier& notifier, QWidget* parent,
                         const std::function<bool(QPrinter&)>& print) {
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
        return PrintToPdf(printer, printer.outputFileName().toStdString(), notifier, print);
    }
    if (KnownPrinter(printer)) {
        if (print(printer)) {
            return PrintOutcome::Printed;
        }
        return Failed(notifier, "Drucker „" + printer.printerName().toStdString() +
                                    "“ nimmt den Auftrag nicht an");
    }
    // No printer to print on: a PDF file instead, on the page set up for the printer.
    TSvas_dlg dialog(notifier, parent);
    dialog.setWindowTitle(QStringLiteral("Kein Drucker eingerichtet: als PDF-Datei speichern"));
    dialog.SetFilter("PDF Dateien (*.pdf)|*.pdf");
    if (dialog.exec() != QDialog::Accepted || dialog.FileName().empty()) {
        return PrintOutcome::Cancelled;
    }
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setPageLayout(printer.pageLayout());
    return PrintToPdf(pdf, dialog.FileName(), notifier, print);
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// One printed page: a few text lines at the top and a bitmap scaled to the page below them.
// Every printout of the program (waveform, FFT and math views, image windows) goes through it,
// and through RunPrintJob, which also serves a computer without a printer. User-interface
// thread only.
#pragma once

#include <QRect>
#include <QStringList>
#include <functional>

class QImage;
class QPainter;
class QPrinter;
class QWidget;

namespace ktx {

class Notifier;

struct PrintLayout {
    int unit = 0;    // m: max(page width, page height) / 50 printer pixels; also the font height
    int margin = 0;  // 3m
    QRect picture;   // where the bitmap goes, in printer pixels
};

// Page geometry for a bitmap of bitmapWidth x bitmapHeight under `lines` text lines on a page
// (printable area) of pageWidth x pageHeight printer pixels. The bitmap keeps its aspect ratio
// and fills the width between the margins, or the height below the text when it is taller than
// that leaves room for: it always lies wholly on the page.
PrintLayout ComputePrintLayout(int pageWidth, int pageHeight, int bitmapWidth, int bitmapHeight,
                               int lines);

// Draws the page onto `painter`, whose device is `page` pixels large (a printer or an image):
// the lines in Arial at the top left, the bitmap, reduced to 8 bits per pixel with its own
// 256-colour table, below them.
void DrawBitmapPage(QPainter& painter, const QSize& page, const QImage& bitmap,
                    const QStringList& lines);

// Prints one page on `printer` (a real printer or a PDF file). False when the printer could not
// start the page.
bool PrintBitmapPage(QPrinter& printer, const QImage& bitmap, const QStringList& lines);

enum class PrintOutcome { Printed, Cancelled, Failed };

// Runs `print` (which draws one job, false when the printer did not start it) on `printer`:
//  - a printer the system knows prints there;
//  - without one (none installed, or the chosen one is gone) the user is asked for a PDF file
//    instead ("Abbruch" cancels), and the page goes there; `printer` itself is left as it was;
//  - a PDF file as output (chosen in the printer set-up) is written through SafeFile.
// A failure is reported as message 31 "Ausgabe fehlgeschlagen" with its cause. After a failure
// `printer` may refuse every further job (Qt keeps it "active"): callers replace it.
PrintOutcome RunPrintJob(QPrinter& printer, Notifier& notifier, QWidget* parent,
                         const std::function<bool(QPrinter&)>& print);

}  // namespace ktx

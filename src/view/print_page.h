// SPDX-License-Identifier: GPL-3.0-or-later
// One printed page: a few text lines at the top and a bitmap scaled to the page below them.
// Every printout of the program (waveform, FFT and math views, image windows) goes through it.
#pragma once

#include <QRect>
#include <QStringList>

class QImage;
class QPrinter;

namespace ktx {

struct PrintLayout {
    int unit = 0;    // m: max(page width, page height) / 50 printer pixels; also the font height
    int margin = 0;  // 3m
    QRect picture;   // where the bitmap goes, in printer pixels
};

// Page geometry for a bitmap of bitmapWidth x bitmapHeight under `lines` text lines on a page
// (printable area) of pageWidth x pageHeight printer pixels; the bitmap keeps its aspect ratio.
PrintLayout ComputePrintLayout(int pageWidth, int pageHeight, int bitmapWidth, int bitmapHeight,
                               int lines);

// Prints one page on `printer` (a real printer or a PDF file): the lines in Arial at the top
// left, the bitmap, reduced to 8 bits per pixel with its own 256-colour table, below them.
// False when the printer could not start the page.
bool PrintBitmapPage(QPrinter& printer, const QImage& bitmap, const QStringList& lines);

}  // namespace ktx

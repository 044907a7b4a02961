// SPDX-License-Identifier: GPL-3.0-or-later
// What the FFT and math views share with each other and with the waveform view's looks: the
// plot font, the source colours, text placed by its top left corner, and saving a picture with
// its ".dat" caption file.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <string>
#include <vector>

class QImage;
class QLabel;
class QPainter;
class QWidget;

namespace ktx {

class Notifier;

// Yellow, aqua, fuchsia, lime: curve, cursor 1, cursor 2, date label.
extern const QColor kViewColours[4];
extern const QColor kViewSilver;

QFont ViewPlotFont();
void ViewTextAt(QPainter& p, int x, int y, const QString& text);
// A readout label in `colour` on black (aqua, fuchsia and lime cannot be read on silver).
QLabel* MakeViewLabel(QWidget* parent, const char* name, const QColor& colour);

// ".bmp" of any case: the picture and a text file of the same name with the extension ".dat"
// holding `caption`. Both go through SafeFile; message 41 on a failed write. False otherwise
// too when the name is no ".bmp".
bool IsBitmapName(const std::string& name);
bool SavePictureWithCaption(const QImage& picture, const std::string& name,
                            const std::string& caption, Notifier& notifier);
// Writes `bytes` to `name` through SafeFile (message 7 or 41 on failure).
bool SaveBytes(const std::vector<std::uint8_t>& bytes, const std::string& name, Notifier& notifier);

// A file's modification date as "d.M.yyyy".
QString FileDateText(const std::string& path);

}  // namespace ktx

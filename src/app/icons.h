// SPDX-License-Identifier: GPL-3.0-or-later
// The program's tool bar icons and cursors, drawn as vectors at every size they are shown in,
// so they stay sharp at 16 and 32 pixels and on high-density screens.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace ktx {

enum class IconKind {
    Open,
    Save,
    FileManager,
    Print,
    Copy,
    FetchPicture,
    Viewer,
    Measure,
    Logger,
    Scanner,
    Fft,
    Math1,
    Math2,
    ControlOn,
    ControlOff,
    Single,
    Run,
    Continuous,
    Stop,
    Program,
};

QIcon MakeIcon(IconKind kind);
// The cursor shown during every exchange with the instrument ("trans").
QCursor TransferCursor();
// The built-in splash picture and the program's picture in the about box.
QPixmap SplashPicture();

}  // namespace ktx

namespace ktx {

// Shows the transfer cursor for the lifetime of the object: wrap every instrument exchange.
class TransferCursorScope {
  public:
    TransferCursorScope();
    ~TransferCursorScope();
    TransferCursorScope(const TransferCursorScope&) = delete;
    TransferCursorScope& operator=(const TransferCursorScope&) = delete;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The screen pictures' side of the main window: "Bild &abholen" (and `Get_button`, the
// multimeter dialogs' request, the acquisition control's fetches), "Einlesen &Bild", "Ö&ffnen"
// and "Datei&manager", and the single image window they share.
// User-interface thread only.
#pragma once

#include <QPointer>

#include <string>
#include "images/tmdichild.h"

class QLabel;

namespace ktx {

class Shell;
class ShellServices;

class ImageCommands final {
  public:
    // Claims the actions; shell and services (the main window) outlive this object.
    ImageCommands(Shell& shell, ShellServices& services);
    ~ImageCommands();

    // `FetchScreenPicture`: the instrument's screen picture into the image window.
    void FetchScreenPicture();
    // `ExportScreenPicture`: one of the instrument's export formats into a file.
    void ExportScreenPicture();
    // "Ö&ffnen": the image window with the caption "noname", then its open dialog.
    void Open();
    // "Datei&manager".
    void FileManager();
    // `OpenImageWindow`: creates or restores the single image window, captioned `caption`.
    TMDIChild* OpenImageWindow(const QString& caption);
    TMDIChild* ImageWindow() const { return m_window; }
    // Message 1033: the image window is closing.
    void ImageWindowClosing() { m_window = nullptr; }

  private:
    void ShowInstructions(bool show);

    Shell& m_shell;
    ShellServices& m_services;
    QPointer<TMDIChild> m_window;
    QLabel* m_memo2 = nullptr;
};

}  // namespace ktx

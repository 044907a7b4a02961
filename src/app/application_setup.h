// SPDX-License-Identifier: GPL-3.0-or-later
// What the program sets on the application object before its first window, shared by the
// kurvitex executable and the widget tests.
#pragma once

class QApplication;

namespace ktx {

// The application title "KTX 4.8" (message boxes carry it) and German for Qt's own dialogs and
// buttons (file, print and colour dialogs, "Abbrechen", "Öffnen"), whatever the system's
// language. Dates and sizes in the file dialog follow the system's locale, as the exports do. No
// display name: on X11 Qt would append it to every caption ("Geräteauswahl — Kurvitex"). Returns
// false when Qt's German translations are not installed; the dialogs then stay in Qt's English.
bool SetUpApplication(QApplication& app);

}  // namespace ktx

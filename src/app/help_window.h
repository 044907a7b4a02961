// SPDX-License-Identifier: GPL-3.0-or-later
// The program's help: HTML pages in the folder "help" of the program folder (index.html, one
// hilfe_<n>.html per help context). They open in the desktop's browser; where none can be
// started (no desktop, no browser installed), in a help window of the program, whose links
// work as in a browser.
//
// User-interface thread only.
#pragma once

#include <QWidget>
#include <string>

class QTextBrowser;

namespace ktx {

class HelpWindow : public QWidget {
    Q_OBJECT
  public:
    // A window of its own, closed and freed with `parent` (a message box's help goes with
    // the box, which blocks every other window while it is up).
    explicit HelpWindow(QWidget* parent);

    void ShowPage(const QString& file);
    QTextBrowser* Browser() const { return m_browser; }

  private:
    QTextBrowser* m_browser;
    QString m_contents;  // index.html beside the first page shown
};

// Shows the help page `file` in the browser, else in the help window of `parent` (made when
// there is none yet, raised when there is). False when the page does not exist.
bool ShowHelpPage(QWidget* parent, const std::string& file);

}  // namespace ktx

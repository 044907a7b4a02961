// SPDX-License-Identifier: GPL-3.0-or-later
// The splash window shown at the first activation: the built-in picture, or the user's own
// picture from kurvitex.cif in the program folder.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <functional>
#include <string>

namespace ktx {

// The picture of kurvitex.cif: a bitmap whose first six bytes are stored rotated left by three
// bits. Decoded through a temporary ".bmp" copy beside it, which is removed again; a null
// pixmap when the file is missing or no picture.
QPixmap LoadCifPicture(const std::string& programDir);

class SplashForm : public QWidget {
    Q_OBJECT
  public:
    explicit SplashForm(const QPixmap& picture, QWidget* parent = nullptr);

    // Called once when the splash closes itself (key, click, deactivation).
    std::function<void()> onClosed;

  protected:
    void keyPressEvent(QKeyEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void changeEvent(QEvent* event) override;

  private:
    void CloseOnce();
    bool m_closed = false;
};

}  // namespace ktx

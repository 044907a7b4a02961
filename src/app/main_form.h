// SPDX-License-Identifier: GPL-3.0-or-later
// The MDI main window of Kurvitex.
#pragma once

#include <QMainWindow>

class QMdiArea;

namespace ktx {

class TMainForm : public QMainWindow {
    Q_OBJECT
  public:
    explicit TMainForm(QWidget* parent = nullptr);

    QMdiArea* MdiArea() const { return m_mdi; }

  private:
    QMdiArea* m_mdi;
};

}  // namespace ktx

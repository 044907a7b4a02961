// SPDX-License-Identifier: GPL-3.0-or-later
// "Hardwareinfo" (the instrument's identification) and "Über Kurvitex".
#pragma once

#include <QDialog>

namespace ktx {

class TInfodlg : public QDialog {
    Q_OBJECT
  public:
    explicit TInfodlg(const QString& identification, QWidget* parent = nullptr);
};

class TAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutDlg(QWidget* parent = nullptr);
};

}  // namespace ktx

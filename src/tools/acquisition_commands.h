// SPDX-License-Identifier: GPL-3.0-or-later
// The acquisition control's side of the main window: "&Steuerung" (and `Steu_button`) with
// the panel `Steu_panel` (Single, RUN, Dauer, Stop) and the timers `get_tim` and `sngl_tim`,
// "&Autosetup", "&Factorysetup", "&DMM"/"&Scope" and "&Acquire".
// User-interface thread only.
#pragma once

#include <QTimer>
#include <memory>

#include "tools/acquisition_control.h"

namespace ktx {

class Shell;
class ShellServices;

// A `ControlTimer` on a QTimer of the window.
class QtControlTimer final : public ControlTimer {
  public:
    QtControlTimer(QObject* parent, const char* name, int ms);
    void Start() override { m_timer->start(); }
    void Stop() override { m_timer->stop(); }
    bool Active() const override { return m_timer->isActive(); }
    QTimer* Timer() const { return m_timer; }

  private:
    QTimer* m_timer;
};

class AcquisitionCommands final {
  public:
    AcquisitionCommands(Shell& shell, ShellServices& services);
    ~AcquisitionCommands();

    void SteuerungClick();
    void SetDisplayModeClick(int mode);
    void AcquireClick();
    AcquisitionControl& Control() { return *m_control; }

  private:
    void ShowButtons();

    Shell& m_shell;
    QtControlTimer m_getTim;
    QtControlTimer m_snglTim;
    std::unique_ptr<AcquisitionControl> m_control;
};

}  // namespace ktx

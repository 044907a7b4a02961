// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog "Acquire" (`TAcq_dlg`): acquisition mode and the numbers of acquisitions for
// averaging and envelope. It only collects choices; reading and sending is
// acquisition_settings.h. User-interface thread only.
#pragma once

#include <QDialog>

#include "tools/acquisition_settings.h"

class QLabel;
class QPushButton;
class QRadioButton;

namespace ktx {

class CommandTransport;
class Notifier;

class TAcq_dlg final : public QDialog {
    Q_OBJECT
  public:
    // Sends "HEADER OFF" and reads the instrument's state.
    TAcq_dlg(CommandTransport& transport, Notifier& notifier, int deviceType,
             QWidget* parent = nullptr);

    // The first checked mode, 1 ... 5; 0 when none is.
    int CheckedMode() const;
    const AcquireDialogState& State() const { return m_state; }
    void transbtnClick();

  private:
    void ShowState();
    void ShowCounts();

    CommandTransport& m_transport;
    Notifier& m_notifier;
    AcquireDialogState m_state;
    QRadioButton* m_modes[kAcquireModes];
    QLabel* m_avelab;
    QLabel* m_envlab;
    QPushButton* m_envpbt;
    QPushButton* m_envmbt;
};

}  // namespace ktx

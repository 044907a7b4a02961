// SPDX-License-Identifier: GPL-3.0-or-later
// The multimeter dialogs: "DMM-Meßbereich" for the type-9 multimeter (`Tmb_dlg`) and for the
// handheld family (`Tmbx_dlg`, with a continuous mode on a TFastTimer), and
// "Messwerterfassung" (`Terf_dlg`). The exchanges are those of tools/multimeter.h; each
// dialog reads the instrument afresh when it opens. "Bild holen"/"Get" runs `fetchPicture`.
// User-interface thread only (Tmbx_dlg's timer ticks run on its worker and hand their results
// back through the event queue).
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <memory>

#include "tools/fast_timer.h"
#include "tools/multimeter.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace ktx {

class CommandTransport;
class Notifier;

class Tmb_dlg final : public QDialog {
    Q_OBJECT
  public:
    Tmb_dlg(CommandTransport& transport, Notifier& notifier, MeterDefinition definition,
            std::function<void()> fetchPicture, QWidget* parent = nullptr);
    ~Tmb_dlg() override;
    DmmRangeControl& Core() { return *m_control; }

  private:
    void ShowState();

    std::unique_ptr<DmmRangeControl> m_control;
    QListWidget* m_funkLb;
    QListWidget* m_uniLb;
    QCheckBox* m_autocheck;
    QListWidget* m_zbLb;
    QPushButton* m_rhBtn;
    QLabel* m_messlab;
};

class Tmbx_dlg final : public QDialog {
    Q_OBJECT
  public:
    Tmbx_dlg(CommandTransport& transport, Notifier& notifier, MeterDefinition definition,
             std::function<void()> fetchPicture, QWidget* parent = nullptr);
    ~Tmbx_dlg() override;

    void messbtnClick();
    void RHbtnClick();
    bool Continuous() const { return m_running; }

  protected:
    void reject() override;

  private:
    struct Mailbox;
    void ShowSelection();
    void ShowReading(const HandheldMeter::Reading& reading);
    void SetContinuous(bool on);
    void TickDone(const HandheldMeter::Reading& reading, bool ok, int firstMessage);

    Notifier& m_notifier;
    std::shared_ptr<HandheldMeter> m_meter;  // shared with a tick still running
    std::shared_ptr<Mailbox> m_mailbox;      // how a tick finds this dialog, if still there
    TFastTimer m_messTime;
    bool m_running = false;
    QListWidget* m_funkLb;
    QListWidget* m_uniLb;
    QPushButton* m_messbtn;
    QPushButton* m_rhBtn;
    QPushButton* m_getbtn;
    QLabel* m_messLab1;
    QLabel* m_messLab2;
};

class Terf_dlg final : public QDialog {
    Q_OBJECT
  public:
    Terf_dlg(CommandTransport& transport, Notifier& notifier, MeterDefinition definition,
             std::function<void()> fetchPicture, QWidget* parent = nullptr);
    ~Terf_dlg() override;

  private:
    void ShowState(const DmmCapture::State& state);
    DmmCapture::State Collect() const;

    std::unique_ptr<DmmCapture> m_capture;
    std::array<QListWidget*, DmmCapture::kMeasurements> m_mbLb{};
    std::array<QCheckBox*, DmmCapture::kMeasurements> m_anzCheck{};
    std::array<QRadioButton*, 3> m_modes{};
};

}  // namespace ktx

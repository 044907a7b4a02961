// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's status line: the instrument (dev_panel, which also holds the progress bar
// Gauge1 and the counter label Prog_lab), the interface (sst_panel) and the acquisition state
// (Time_panel). It is the program's ProgressSink.
#pragma once

#include <QWidget>

#include "config/progress.h"

class QLabel;
class QProgressBar;

namespace ktx {

class StatusLine : public QWidget, public ProgressSink {
    Q_OBJECT
  public:
    explicit StatusLine(QWidget* parent = nullptr);

    void SetDeviceText(const QString& text);
    void SetInterfaceText(const QString& text);
    void SetTimeText(const QString& text);
    // A passing note, e.g. for a command that is not available yet.
    void ShowNote(const QString& text, int ms = 5000);

    QString DeviceText() const;
    QString InterfaceText() const;
    QString TimeText() const;

    void BarStart(std::int64_t maximum) override;
    void BarStep(std::int64_t remaining) override;
    void BarEnd() override;
    void CounterStart() override;
    void CounterUpdate(std::int64_t blocks) override;
    void CounterEnd() override;
    void Note(const std::string& text) override { ShowNote(QString::fromStdString(text)); }

  private:
    QLabel* m_devPanel;
    QProgressBar* m_gauge;  // Gauge1
    QLabel* m_progLab;      // Prog_lab
    QLabel* m_sstPanel;
    QLabel* m_timePanel;
    std::int64_t m_maximum = 0;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement dialog "Messen": one automatic measurement of a source, once ("Messen") or
// repeatedly ("Dauer", on the window timer `D_tim`). The exchanges are Measurement's.
// User-interface thread only.
#pragma once

#include <QDialog>
#include <memory>

#include "tools/measurement.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace ktx {

class CommandTransport;
class Notifier;

class Tmess_dial final : public QDialog {
    Q_OBJECT
  public:
    // `deviceFile` lists the sources and measurements; transport and notifier are borrowed.
    Tmess_dial(CommandTransport& transport, Notifier& notifier, int deviceType,
               const std::string& deviceFile, QWidget* parent = nullptr);
    ~Tmess_dial() override;

    void Mess_buttClick();
    void Dauer_buttClick();
    void Stop_buttClick();
    void D_timTimer();
    const Measurement& Core() const { return *m_measurement; }

  protected:
    void reject() override;

  private:
    std::string Selected(QListWidget* list) const;
    void ShowLabels();
    void SetContinuous(bool on);

    std::unique_ptr<Measurement> m_measurement;
    MeasurementChoices m_choices;
    MeasurementLabels m_labels;
    QListWidget* m_messList;
    QListWidget* m_sourceList;
    QLabel* m_messLab;
    QLabel* m_sourceLab;
    QLabel* m_wertLab;
    QPushButton* m_messButt;
    QPushButton* m_dauerButt;
    QPushButton* m_stopButt;
    QTimer* m_dTim;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog "Datenlogger" (`Tlog_dial`): four logger channels with measurement and source,
// interval, count, file, "Test", trigger mode. It collects choices and drives the DataLogger
// with its timer `log_tim`; everything sent to the instrument is data_logger.h.
// User-interface thread only.
#pragma once

#include <QDialog>
#include <memory>

#include "tools/data_logger.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;

namespace ktx {

class CommandTransport;
class Notifier;
struct ProgramState;

class Tlog_dial final : public QDialog {
    Q_OBJECT
  public:
    // `settings` outlives the dialog; it is cleared here when `state.instrumentChanged` is set
    // (which is then cleared).
    Tlog_dial(CommandTransport& transport, Notifier& notifier, ProgramState& state,
              LoggerSettings& settings, QWidget* parent = nullptr);
    ~Tlog_dial() override;

    // The buttons' actions, public so they can be driven without a mouse.
    void Start_buttClick();
    void Stop_buttClick();
    void Test_buttClick();
    // "Datei" with the file already chosen (what the save dialog would return).
    void ChooseFile(const std::string& fileName);

    DataLogger& Logger() { return *m_logger; }
    bool Logging() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

  private:
    void Dname_buttClick();
    void ShowChannel(int k);
    void ApplyControls();
    void ShowIntervalControls(std::int32_t ms);
    void log_timTimer();
    void EndLoggingUi();
    void SetLoggingUi(bool logging);
    int CheckedChannel() const;

    Notifier& m_notifier;
    ProgramState& m_state;
    LoggerSettings& m_settings;
    LoggerChoices m_choices;
    SteadyLoggerClock m_clock;
    std::unique_ptr<DataLogger> m_logger;
    std::string m_chosenFile;
    bool m_filled = false;

    QListWidget* m_messList;
    QListWidget* m_sourceList;
    QRadioButton* m_channels[kLoggerChannels];
    QLabel* m_values[kLoggerChannels];
    QCheckBox* m_aktCheck;
    QSpinBox* m_stdEdi;
    QSpinBox* m_minEdi;
    QLineEdit* m_sekEdi;
    QSpinBox* m_cntEdi;
    QLabel* m_dnameLab;
    QPushButton* m_testButt;
    QCheckBox* m_trigCheck;
    QCheckBox* m_beepCheck;
    QPushButton* m_startButt;
    QPushButton* m_stopButt;
    QTimer* m_logTim;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog "Scanner" (`Tscandlg`): target folder and base name, sources, point range,
// interval, number of scans, trigger mode. It collects choices and drives the Scanner with its
// timer `Timer1`; everything sent to the instrument is scanner.h. User-interface thread only.
#pragma once

#include <QDialog>
#include <memory>

#include "tools/scanner.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTimer;

namespace ktx {

class CommandTransport;
class Notifier;
struct ProgramState;

class Tscandlg final : public QDialog {
    Q_OBJECT
  public:
    Tscandlg(CommandTransport& transport, Notifier& notifier, ProgramState& state,
             QWidget* parent = nullptr);
    ~Tscandlg() override;

    void SetFolder(const std::string& folder);
    void SetBase(const std::string& text);  // what `Fileedit` takes
    void StartButClick();
    void StopButClick();
    void testbtnClick();
    Scanner& Engine() { return *m_scanner; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

  private:
    ScanRequest Collect() const;
    void ShowCorrections(const ScanRequest& request);
    void Timer1Timer();
    void EndRunUi();
    void SetRunningUi(bool running);
    void FillFileList();
    void TrigCheckClick();

    ProgramState& m_state;
    std::unique_ptr<Scanner> m_scanner;
    QLineEdit* m_folder;
    QListWidget* m_files;
    QLineEdit* m_fileedit;
    QLabel* m_filelab;
    QListWidget* m_sourceList;
    QLineEdit* m_startwert;
    QComboBox* m_stopwert;
    QSpinBox* m_stdspin;
    QSpinBox* m_minspin;
    QSpinBox* m_sekspin;
    QSpinBox* m_scanzahl;
    QCheckBox* m_trigCheck;
    QCheckBox* m_beepCheck;
    QPushButton* m_testbtn;
    QPushButton* m_startBut;
    QPushButton* m_stopBut;
    QTimer* m_timer1;
    int m_wanted = 1;
};

}  // namespace ktx

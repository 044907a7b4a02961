// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform file dialog (TKTX_file_dial) with which the transfer asks for file name, format,
// sources and memory range, and its text format options (Tfos_form).
#pragma once

#include <QDialog>
#include <string>

#include "waveform/file_dialog_rules.h"
#include "waveform/transfer_request.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace ktx {

class Notifier;

// "Formatoptionen": column separator, line separator (0 = CR LF) and decimal sign of ".txt".
class Tfos_form : public QDialog {
    Q_OBJECT
  public:
    explicit Tfos_form(QWidget* parent = nullptr);
    char ColumnSeparator() const;
    char LineSeparator() const;
    char DecimalSign() const;
    // Chooses item `index` of a list (0 column, 1 line, 2 decimal); for "frei definiert" the
    // character typed.
    void Choose(int list, int index, char own = 0);

  private:
    QButtonGroup* m_groups[3];
    QLineEdit* m_own[3];
};

class TKTX_file_dial : public QDialog {
    Q_OBJECT
  public:
    // `mode`: 1 "Einlesen Waveform", 2 "Ausgeben Waveform", 3 "Export Waveform".
    // `showAfterReading`: the "Anzeigen" choice of the last use, which the caller keeps.
    TKTX_file_dial(int mode, int deviceType, const std::string& deviceFile, bool showAfterReading,
                   Notifier& notifier, QWidget* parent = nullptr);
    ~TKTX_file_dial() override;

    // The choices after OK.
    TransferRequest Request() const { return m_request; }

    // For tests and the main window: what the user types and picks. The dialog opens in
    // DialogFolder(parent) and remembers the folder of the file accepted.
    void SetFolder(const std::string& folder);
    std::string Folder() const;
    void SetFilterIndex(int index);
    void SetFileName(const std::string& name);
    void SelectSources(const std::vector<int>& rows);
    void SetRange(const std::string& start, const std::string& stop);
    QListWidget* Sources() const { return m_sources; }
    QString ModelLabel() const;
    bool ShowEnabled() const;
    bool RangeEnabled() const;
    bool OkEnabled() const;
    void Confirm();

  private:
    void FilterChanged();
    void NameChanged();
    std::string FilterExtension() const;

    int m_mode;
    int m_deviceType;
    Notifier& m_notifier;
    FileDialogChoices m_choices;
    TransferRequest m_request;
    Tfos_form* m_options;
    QLineEdit* m_folder;
    QListWidget* m_files;
    QComboBox* m_filter;
    QLineEdit* m_name;
    QLabel* m_formlab;
    QListWidget* m_sources;
    QLineEdit* m_start;
    QComboBox* m_stop;
    QPushButton* m_optionsButton;
    QCheckBox* m_show;
    QPushButton* m_ok;
};

}  // namespace ktx

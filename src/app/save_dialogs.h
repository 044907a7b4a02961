// SPDX-License-Identifier: GPL-3.0-or-later
// The shared save dialog "Datei speichern unter" (TSvas_dlg) and the channel selection
// "Kanalauswahl" (Tcseldlg).
#pragma once

#include <QDialog>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "waveform/wave_file.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;

namespace ktx {

class Notifier;

// Where the program's file dialogs open: the folder of the file last chosen in one of them this
// run, kept in the program-wide state of the main window `widget` lives in; the current folder
// before that, or for a dialog outside the main window.
std::string DialogFolder(const QWidget* widget);
void RememberDialogFolder(const QWidget* widget, const std::string& fileName);

class TSvas_dlg : public QDialog {
    Q_OBJECT
  public:
    // Opens in DialogFolder(parent) and remembers the folder of the name accepted.
    TSvas_dlg(Notifier& notifier, QWidget* parent = nullptr);
    ~TSvas_dlg() override;

    // "Description|*.ext|..." as the caller's file types; the first is chosen.
    void SetFilter(const std::string& filter);
    void SetFolder(const std::string& folder);
    std::string Folder() const;
    // Shows the "Komplett"/"Auswahl" choice (hidden by default).
    void ShowSizeChoice(bool show);

    std::string FileName() const { return m_fileName; }
    int FilterIndex() const;
    int SizeChoice() const;  // 0 Komplett, 1 Auswahl

    // What "OK" does; public so it can be driven without a mouse.
    void Confirm();
    QLineEdit* NameField() const { return m_name; }

  private:
    void FillFileList();
    std::string CurrentMask() const;

    Notifier& m_notifier;
    std::vector<std::pair<std::string, std::string>> m_filter;
    QLineEdit* m_folder;
    QListWidget* m_files;
    QComboBox* m_type;
    QLineEdit* m_name;
    QGroupBox* m_sizeGroup;
    QButtonGroup* m_size;
    std::string m_fileName;
};

class Tcseldlg : public QDialog {
    Q_OBJECT
  public:
    explicit Tcseldlg(const UnitStrings& units, QWidget* parent = nullptr);
    // The chosen channel 0..3, -1 when none was offered.
    int Channel() const;
    bool ChannelEnabled(int i) const;
    void Choose(int i);

  private:
    QButtonGroup* m_channels;
};

}  // namespace ktx

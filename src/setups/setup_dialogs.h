// SPDX-License-Identifier: GPL-3.0-or-later
// The set-up editor (TSet_edi, "Edit Setup") and the telecom library (Ttelc_form, "Telecom").
// Both only collect choices and call setups/setup_transfer.h. User-interface thread only.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "setups/telecom_library.h"

class QLabel;
class QLineEdit;
class QListWidget;

namespace ktx {

class CommandTransport;
class Notifier;
class ProgressSink;

struct SetupDialogContext {
    CommandTransport& transport;
    Notifier& notifier;
    ProgressSink& progress;
    std::string deviceFile;              // [DEVICE] TMO for "Test" and "Transfer"
    std::string scratchFile;             // where "Lesen" receives the set-up (the dialog's own)
    std::function<void()> fetchPicture;  // "Bild holen"
};

class TSet_edi : public QDialog {
    Q_OBJECT
  public:
    // Reads the instrument's set-up at once.
    TSet_edi(SetupDialogContext context, QWidget* parent = nullptr);

    // For tests and the buttons.
    void LesenClick();
    void TestClick();
    void DruckClick();
    QListWidget* SetList() const { return m_setlist; }
    QLineEdit* SetString() const { return m_setstring; }
    const std::vector<std::string>& Entries() const { return m_entries; }

  private:
    SetupDialogContext m_context;
    std::vector<std::string> m_entries;
    QLineEdit* m_setstring;
    QListWidget* m_setlist;
};

class Ttelc_form : public QDialog {
    Q_OBJECT
  public:
    // `folder` is ProgramDir/Telecom.
    Ttelc_form(SetupDialogContext context, const std::string& folder, QWidget* parent = nullptr);

    void Select(int row);
    // Sends the chosen set-up; message 38 on failure.
    bool TransferClick();
    void FactorysetupClick();
    QListWidget* List() const { return m_list; }
    QString FileLabel() const;
    bool HasPicture() const;

  private:
    SetupDialogContext m_context;
    std::vector<TelecomEntry> m_entries;
    QListWidget* m_list;
    QLabel* m_image;
    QLabel* m_fnlab;
    int m_current = -1;
};

}  // namespace ktx

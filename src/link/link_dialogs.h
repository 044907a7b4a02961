// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs of the instrument link: interface selection, the COM port of handheld
// instruments, and the hidden test dialog for typing commands.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "app/shell_logic.h"

class QButtonGroup;
class QLineEdit;
class QListWidget;

namespace ktx {

// "Schnittstellenauswahl": the offered interface libraries; a double click counts as OK.
class Tsel_ss : public QDialog {
    Q_OBJECT
  public:
    Tsel_ss(const std::vector<InterfaceEntry>& entries, int preselected, QWidget* parent = nullptr);
    // The chosen entry, -1 when none is selected.
    int Selected() const;
    QListWidget* List() const { return m_list; }

  private:
    QListWidget* m_list;
};

// "Schnittstelle": COM port 1..4 of a handheld instrument.
class Tcomform : public QDialog {
    Q_OBJECT
  public:
    // `current` is the port now in use (1..4), 0 when none is preselected.
    explicit Tcomform(int current, QWidget* parent = nullptr);
    // The chosen port 1..4, 0 when none was chosen.
    int Port() const;

  private:
    QButtonGroup* m_ports;
};

// "TestSS": sends the typed command as a query and shows the answer.
class TTestSS : public QDialog {
    Q_OBJECT
  public:
    using QueryFunction = std::function<std::string(const std::string&)>;
    explicit TTestSS(QueryFunction query, QWidget* parent = nullptr);

  private:
    QLineEdit* m_edit1;
    QLineEdit* m_edit2;
};

// The port digit that follows the first "COM" of an [RS232] CONFIG value, 0 without one.
int ComPortOf(const std::string& config);

}  // namespace ktx

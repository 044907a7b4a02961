// SPDX-License-Identifier: GPL-3.0-or-later
// The live display's source dialog "Waveform": the sources to show and the memory range,
// offered from the selected instrument definition file. User-interface thread only.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "view/live_display.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace ktx {

class Notifier;

class TKTX_lva_dial final : public QDialog {
    Q_OBJECT
  public:
    // Reads [MEMORY] and [SOURCES] of `deviceFile`; messages go to `notifier` (borrowed).
    TKTX_lva_dial(const std::string& deviceFile, Notifier& notifier, QWidget* parent = nullptr);

    // After OK: the checked choice.
    const std::optional<LiveSelection>& Selection() const { return m_selection; }

  private:
    void SourcelistClick(QListWidgetItem* item);
    void okClick();

    Notifier& m_notifier;
    std::string m_memorySize;
    QListWidget* m_sourcelist;
    QLineEdit* m_startedi;
    QComboBox* m_stopedi;
    std::optional<LiveSelection> m_selection;
};

}  // namespace ktx

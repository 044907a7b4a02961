// SPDX-License-Identifier: GPL-3.0-or-later
// Shows catalogue messages as modal message boxes over the main window.
#pragma once

#include <string>

#include "config/notifier.h"

class QMessageBox;
class QWidget;

namespace ktx {

// A message with a help context gets a "Hilfe" button that opens help/hilfe_<n>.html from the
// program folder (ShowHelpPage: the browser, else a help window that goes with the box).
class QtNotifier final : public Notifier {
  public:
    explicit QtNotifier(QWidget* parent, std::string programDir = {})
        : m_parent(parent), m_programDir(std::move(programDir)) {}
    void Show(Severity severity, const Notice& notice) override;
    bool Confirm(const Notice& notice) override;

  private:
    void AddHelp(QMessageBox& box, int helpContext) const;

    QWidget* m_parent;
    std::string m_programDir;
};

}  // namespace ktx

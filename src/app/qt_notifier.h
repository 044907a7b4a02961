// SPDX-License-Identifier: GPL-3.0-or-later
// Shows catalogue messages as modal message boxes over the main window.
#pragma once

#include "app/notifier.h"

class QWidget;

namespace ktx {

class QtNotifier final : public Notifier {
  public:
    explicit QtNotifier(QWidget* parent) : m_parent(parent) {}
    void Show(Severity severity, const Notice& notice) override;
    bool Confirm(const Notice& notice) override;

  private:
    QWidget* m_parent;
};

}  // namespace ktx

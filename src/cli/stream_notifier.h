// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's Notifier: every message as one line on the error stream. Confirmations
// are declined, since a script cannot answer them.
#pragma once

#include <ostream>

#include "config/notifier.h"

namespace ktx {

class StreamNotifier final : public Notifier {
  public:
    explicit StreamNotifier(std::ostream& err) : m_err(err) {}
    void Show(Severity, const Notice& notice) override { m_err << notice.Text() << '\n'; }
    bool Confirm(const Notice& notice) override {
        m_err << notice.Text() << '\n';
        return false;
    }

  private:
    std::ostream& m_err;
};

}  // namespace ktx

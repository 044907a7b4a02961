// SPDX-License-Identifier: GPL-3.0-or-later
// How UI-free code talks to the user: a numbered message from the catalogue, optional extra text,
// and a help context. The shell shows message boxes; the command line prints to stderr; tests
// record what was said.
#pragma once

#include <string>

namespace ktx {

enum class Severity { Info, Error };

// How the extra text is joined to the catalogue text.
enum class ExtraJoin {
    Blank,   // "message text" + " " + extra (ShowInfoMsgText, ShowErrorMsgText)
    Direct,  // "message text" + extra (ConfirmMsgText, validator messages with an index)
};

struct Notice {
    int stringId = 0;  // string table id: message n is 10000 + n, validator k is 1000 + k
    std::string extra;
    ExtraJoin join = ExtraJoin::Blank;
    int helpContext = 0;

    // The full text as the user reads it.
    std::string Text() const;
};

class Notifier {
  public:
    virtual ~Notifier() = default;
    virtual void Show(Severity severity, const Notice& notice) = 0;
    // Buttons "&Ja" and "Abbrechen"; true when the user chose "&Ja".
    virtual bool Confirm(const Notice& notice) = 0;
};

// Shows nothing and declines every confirmation; for callers that report failures themselves.
class SilentNotifier final : public Notifier {
  public:
    void Show(Severity, const Notice&) override {}
    bool Confirm(const Notice&) override { return false; }
};

// The message routines every subsystem uses, in the shape the shell offers them.
void ShowInfoMsg(Notifier& n, int message, int help);
void ShowErrorMsg(Notifier& n, int message, int help);
void ShowInfoMsgText(Notifier& n, int message, const std::string& text, int help);
void ShowErrorMsgText(Notifier& n, int message, const std::string& text, int help);
bool ConfirmMsg(Notifier& n, int message, int help);
bool ConfirmMsgText(Notifier& n, int message, const std::string& text, int help);
// Validator message k of the instrument definition check; `index` < 0 means none, otherwise its
// decimal text follows the message without a blank.
void ShowValidatorMsg(Notifier& n, int k, int index = -1);

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/notifier.h"

#include "config/message_catalog.h"

namespace ktx {

std::string Notice::Text() const {
    std::string text(MessageCatalog::String(stringId));
    if (!extra.empty()) {
        if (join == ExtraJoin::Blank) {
            text += ' ';
        }
        text += extra;
    }
    return text;
}

namespace {

Notice MessageNotice(int message, std::string extra, ExtraJoin join, int help) {
    return Notice{MessageCatalog::kMessageBase + message, std::move(extra), join, help};
}

}  // namespace

void ShowInfoMsg(Notifier& n, int message, int help) {
    n.Show(Severity::Info, MessageNotice(message, {}, ExtraJoin::Blank, help));
}

void ShowErrorMsg(Notifier& n, int message, int help) {
    n.Show(Severity::Error, MessageNotice(message, {}, ExtraJoin::Blank, help));
}

void ShowInfoMsgText(Notifier& n, int message, const std::string& text, int help) {
    n.Show(Severity::Info, MessageNotice(message, text, ExtraJoin::Blank, help));
}

void ShowErrorMsgText(Notifier& n, int message, const std::string& text, int help) {
    n.Show(Severity::Error, MessageNotice(message, text, ExtraJoin::Blank, help));
}

bool ConfirmMsg(Notifier& n, int message, int help) {
    return n.Confirm(MessageNotice(message, {}, ExtraJoin::Direct, help));
}

bool ConfirmMsgText(Notifier& n, int message, const std::string& text, int help) {
    return n.Confirm(MessageNotice(message, text, ExtraJoin::Direct, help));
}

void ShowValidatorMsg(Notifier& n, int k, int index) {
    Notice notice{MessageCatalog::kValidatorBase + k, {}, ExtraJoin::Direct, 0};
    if (index >= 0) {
        notice.extra = std::to_string(index);
    }
    n.Show(Severity::Error, notice);
}

}  // namespace ktx

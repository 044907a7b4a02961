// SPDX-License-Identifier: GPL-3.0-or-later
// The program's string table: every text a user sees in a message box comes from here.
// Message n is string n + 10000; instrument definition validator message k is string 1000 + k.
#pragma once

#include <string>
#include <string_view>

namespace ktx {

class MessageCatalog {
  public:
    static constexpr int kMessageBase = 10000;
    static constexpr int kValidatorBase = 1000;

    // Text of string `id` (UTF-8), empty when the table has no such string.
    static std::string_view String(int id);

    // Text of message n (string n + 10000).
    static std::string_view Message(int n) { return String(kMessageBase + n); }

    // Text of validator message k (string 1000 + k).
    static std::string_view ValidatorMessage(int k) { return String(kValidatorBase + k); }
};

}  // namespace ktx

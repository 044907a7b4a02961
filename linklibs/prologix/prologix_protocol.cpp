// SPDX-License-Identifier: GPL-3.0-or-later
// Set-up commands and escaping for Prologix-style GPIB controllers.
#include "prologix_protocol.h"

namespace ktx::linklib::prologix {

std::string Escape(std::string_view data) {
    std::string out;
    out.reserve(data.size() + data.size() / 16 + 8);
    for (const char c : data) {
        if (c == '\r' || c == '\n' || c == kEsc || c == '+') {
            out += kEsc;
        }
        out += c;
    }
    return out;
}

std::string SetupLines(int address) {
    // The first line feed ends whatever half line an earlier program left in the adapter.
    return "\n++savecfg 0\n++mode 1\n++addr " + std::to_string(address) +
           "\n++auto 0\n++eoi 1\n++eos 3\n++read_tmo_ms " + std::to_string(kAdapterReadTimeoutMs) +
           "\n";
}

}  // namespace ktx::linklib::prologix

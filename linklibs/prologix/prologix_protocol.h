// SPDX-License-Identifier: GPL-3.0-or-later
// What a host says to a Prologix-style GPIB controller: its set-up commands and the escaping
// of data bytes. Pure functions, no I/O.
#pragma once

#include <string>
#include <string_view>

namespace ktx::linklib::prologix {

// The adapter's escape byte: the byte after it is data, whatever it is.
constexpr char kEsc = 0x1B;

// `data` as the adapter must receive it inside a data line: CR, LF, ESC and "+" each preceded
// by ESC (unescaped, CR and LF end the line, ESC escapes, "++" starts a command).
std::string Escape(std::string_view data);

// The lines that make the adapter a controller talking to the instrument at `address`, each
// ended by a line feed: no saving of the settings in its EEPROM on every change, controller
// mode, the address, no automatic reads (the link asks with "++read eoi" when it waits for
// an answer, so commands without an answer do not make the instrument talk), EOI with the
// last byte and no end-of-string bytes added (the message ends as on a GPIB card: with EOI),
// the longest inter-character time-out the adapter allows for its reads.
std::string SetupLines(int address);

// The adapter's own read time-out ("++read_tmo_ms"): the longest it allows. A read after which
// nothing came for this long has been given up by the adapter and must be asked for again.
constexpr int kAdapterReadTimeoutMs = 3000;

// The line that reads the instrument's response up to its EOI.
constexpr std::string_view kReadLine = "++read eoi\n";
// Selected device clear of the addressed instrument.
constexpr std::string_view kClearLine = "++clr\n";
// The adapter names its firmware: proof that an adapter is there.
constexpr std::string_view kVersionLine = "++ver\n";

}  // namespace ktx::linklib::prologix

// SPDX-License-Identifier: GPL-3.0-or-later
// The [RS232] CONFIG text of the serial interface library: "COM<n>:<baud>,<parity>,<data
// bits>,<stop bits>[,<handshake>]", for example "COM2:9600,N,8,1" or "COM1:19200,E,7,2,HW".
// Parity N, E or O; handshake NONE (default), HW (RTS/CTS) or XON (XON/XOFF). Case does not
// matter, blanks around the parts are ignored. Pure parsing, no I/O.
#pragma once

#include <optional>
#include <string_view>

namespace ktx::linklib {

struct SerialConfig {
    enum class Parity { None, Even, Odd };
    enum class Handshake { None, Hardware, XonXoff };

    int port = 1;  // the n of COMn, 1 ... 99
    int baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;  // 5 ... 8
    int stopBits = 1;  // 1 or 2
    Handshake handshake = Handshake::None;
};

// nullopt when the text does not follow the syntax above or a value is out of range.
std::optional<SerialConfig> ParseSerialConfig(std::string_view text);

}  // namespace ktx::linklib

// SPDX-License-Identifier: GPL-3.0-or-later
// Accessors of the instrument definition file (Driver/kt_*.ini). Each reads the file afresh;
// a missing file yields the defaults.
#pragma once

#include <string>

namespace ktx {

// Interface bits of [INTERFACE] and [SSDLL] T<n>.
constexpr int kInterfaceRs232 = 1;
constexpr int kInterfaceGpib = 2;
constexpr int kInterfaceLan = 4;
constexpr int kInterfaceUsb = 8;

// [DEVICE] TYPE, default 1 (so a missing file is a type-1 instrument).
int ReadDeviceType(const std::string& deviceFile);
// [DEVICE] NAME, default "NONAME", at most 255 characters.
std::string ReadDeviceName(const std::string& deviceFile);
// The interface mask from [INTERFACE] RS232, GPIB, LAN and USB (each 0 or 1, default 0).
int ReadInterfaces(const std::string& deviceFile);
// Puts the digit of `port` right after the first "COM" of [RS232] CONFIG (default "NONE") when
// the value contains "COM" and is longer than 4 characters, and writes the value back (also
// when unchanged). False when the file cannot be written.
bool WriteComPort(const std::string& deviceFile, int port);
// The text of WriteComPort's rewrite, for callers that only need the value.
std::string WithComPort(const std::string& config, int port);

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Opens a serial line as a ByteStream: the RS232 library and the library for GPIB adapters on
// a USB serial port share it.
#pragma once

#include <memory>
#include <string>

#include "byte_stream.h"
#include "link_status.h"
#include "serial_config.h"

namespace ktx::linklib {

// Opens `device` with `config` (the COM number in it is not used), locked against a second
// link on the same line. nullptr with the cause in `failure` and a line naming `library` on
// stderr when that fails.
std::unique_ptr<ByteStream> OpenSerialLine(const std::string& device, const SerialConfig& config,
                                           const char* library, LinkStatus& failure);

}  // namespace ktx::linklib

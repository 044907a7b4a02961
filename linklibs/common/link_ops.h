// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the exported operation table of an interface library from its one transport-specific
// piece: the function that opens a ByteStream from the configuration file.
#pragma once

#include <cstdint>
#include <memory>

#include "byte_stream.h"
#include "ktx_link.h"
#include "link_status.h"

namespace ktx::linklib {

// Opens the transport with the settings in configPath; writes the number for the status line to
// *port. nullptr on failure, with the cause in `failure` (and a line for developers on stderr).
using OpenStreamFunction = std::unique_ptr<ByteStream> (*)(const char* configPath, bool askUser,
                                                           std::int32_t* port, LinkStatus& failure);

// The cause of a failed open from the errno of open()/connect() (ENOENT: not found, EBUSY:
// busy, ECONNREFUSED: refused, ...).
LinkStatus OpenFailureFromErrno(int error);

// The table of this library (each library links its own copy of this code, so each has its
// own handle table). Call from the library's ktx_link_ops() with the same function every time.
const KtxLinkOps* LinkOpsFor(OpenStreamFunction open);

}  // namespace ktx::linklib

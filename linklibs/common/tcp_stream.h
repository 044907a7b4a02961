// SPDX-License-Identifier: GPL-3.0-or-later
// A TCP connection as a ByteStream, and the bounded connect every library on a LAN uses
// (raw socket, VXI-11, a GPIB-Ethernet adapter).
#pragma once

#include <memory>
#include <string>

#include "byte_stream.h"
#include "link_status.h"

namespace ktx::linklib {

// How long a connect may take before it counts as a time-out.
constexpr int kConnectTimeoutMs = 3000;

// Milliseconds left until `deadline`, rounded up (0 once it has passed), at most ten minutes.
int RemainingMs(Clock::time_point deadline);

// Connects to host:port (a name or a numeric address) within timeoutMs, with TCP_NODELAY
// set. Returns a blocking descriptor, or -1 with the cause in `failure` and a line naming
// `library` on stderr.
int ConnectTcp(const std::string& host, int port, int timeoutMs, const char* library,
               LinkStatus& failure);

// The descriptor as a non-blocking byte stream; owns it.
std::unique_ptr<ByteStream> MakeTcpStream(int fd);

}  // namespace ktx::linklib

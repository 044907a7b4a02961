// SPDX-License-Identifier: GPL-3.0-or-later
// What the streams over a plain file descriptor (socket, terminal, USBTMC device) share.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "byte_stream.h"

namespace ktx::linklib {

// Closes `fd` once; a closed descriptor (-1) counts as success.
inline bool CloseFd(int& fd) {
    if (fd < 0) {
        return true;
    }
    const bool ok = ::close(fd) == 0;
    fd = -1;
    return ok;
}

// Appends what has already arrived on `fd` to `out` without waiting (at most kMaxDrainBytes).
// Sockets are read with MSG_DONTWAIT; other descriptors must be non-blocking already.
inline void DrainFd(int fd, std::string& out, bool socket) {
    char buffer[4096];
    for (std::size_t taken = 0; fd >= 0 && taken < kMaxDrainBytes;) {
        const ssize_t n = socket ? ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)
                                 : ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        out.append(buffer, static_cast<std::size_t>(n));
        taken += static_cast<std::size_t>(n);
    }
}

}  // namespace ktx::linklib

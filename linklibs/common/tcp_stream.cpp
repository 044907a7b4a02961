// SPDX-License-Identifier: GPL-3.0-or-later
// TCP connections for the interface libraries.
#include "tcp_stream.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fd_util.h"
#include "link_ops.h"

namespace ktx::linklib {

namespace {

// Waits for `events` on fd until the deadline; true when they came, false on time-out/error.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, RemainingMs(deadline));
        if (r > 0) {
            return true;
        }
        if (r == 0 || errno != EINTR) {
            return false;
        }
    }
}

class TcpStream final : public ByteStream {
  public:
    explicit TcpStream(int fd) : m_fd(fd) {}
    ~TcpStream() override { Close(); }

    std::ptrdiff_t Send(std::string_view bytes, Clock::time_point deadline) override {
        if (m_fd < 0) {
            return -1;
        }
        for (;;) {
            const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                return n;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                return -1;
            }
            if (!WaitFor(m_fd, POLLOUT, deadline)) {
                return Clock::now() >= deadline ? 0 : -1;
            }
        }
    }

    std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) override {
        if (m_fd < 0) {
            return -1;
        }
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, size, MSG_DONTWAIT);
            if (n > 0) {
                return n;
            }
            if (n == 0) {
                return -1;  // the instrument closed the connection
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                return -1;
            }
            if (Clock::now() >= deadline) {
                return 0;
            }
            if (!WaitFor(m_fd, POLLIN, deadline)) {
                return Clock::now() >= deadline ? 0 : -1;
            }
        }
    }

    void Drain(std::string& out) override { DrainFd(m_fd, out, true); }

    bool Close() override { return CloseFd(m_fd); }

  private:
    int m_fd;
};

}  // namespace

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    // Round up so a deadline a fraction of a millisecond away is still waited for.
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left + 1, 600'000));
}

int ConnectTcp(const std::string& host, int port, int timeoutMs, const char* library,
               LinkStatus& failure) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        std::fprintf(stderr, "%s: host %s not found: %s\n", library, host.c_str(),
                     gai_strerror(rc));
        failure = {KTX_LINK_E_NOT_FOUND, 0, 0};
        return -1;
    }
    int fd = -1;
    int lastError = 0;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int err = 0;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                socklen_t len = sizeof err;
                err = WaitFor(fd, POLLOUT, deadline) &&
                              ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0
                          ? err
                          : ETIMEDOUT;
            }
        }
        if (err != 0) {
            lastError = err;
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        std::fprintf(stderr, "%s: no connection to %s:%d: %s\n", library, host.c_str(), port,
                     std::strerror(lastError));
        failure = lastError == ETIMEDOUT
                      ? LinkStatus{KTX_LINK_E_TIMEOUT, static_cast<std::uint32_t>(timeoutMs), 0}
                      : OpenFailureFromErrno(lastError);
        return -1;
    }
    // Commands are short and answered at once; Nagle's delay would slow every query.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Blocking again: the byte stream waits with poll() and reads with MSG_DONTWAIT, and an
    // RPC client expects a blocking descriptor.
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

std::unique_ptr<ByteStream> MakeTcpStream(int fd) {
    return std::make_unique<TcpStream>(fd);
}

}  // namespace ktx::linklib

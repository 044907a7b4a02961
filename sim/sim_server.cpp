// SPDX-License-Identifier: GPL-3.0-or-later
// TCP and pseudo-terminal carrier of the simulated instrument: one poll() loop, non-blocking
// writes so that a 20 MB block never stops the server from reading.
#include "sim_server.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ktx::sim {

namespace {

bool SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

SimServer::SimServer(SimInstrument& instrument)
    : m_instrument(instrument), m_dropSeen(instrument.Faults().dropAfterBytes) {}

SimServer::~SimServer() {
    CloseClient();
    if (m_listenFd >= 0) {
        close(m_listenFd);
    }
    if (m_ptyHold >= 0) {
        close(m_ptyHold);
    }
    if (m_ptyMaster >= 0) {
        close(m_ptyMaster);
    }
    if (!m_ptyLink.empty()) {
        // Remove the link only while it still points at our device.
        char target[4096];
        const ssize_t n = readlink(m_ptyLink.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == m_ptyDevice) {
            unlink(m_ptyLink.c_str());
        }
    }
}

bool SimServer::ListenTcp(const std::string& host, int port, std::string& error) {
    if (port < 0 || port > 65535) {
        error = "invalid port";
        return false;
    }
    const std::string numericHost = host == "localhost" ? "127.0.0.1" : host;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;  // never a name lookup
    addrinfo* info = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(numericHost.c_str(), service.c_str(), &hints, &info) != 0 || info == nullptr) {
        error = "not a numeric address: " + host;
        return false;
    }
    const int fd = socket(info->ai_family, info->ai_socktype | SOCK_CLOEXEC, info->ai_protocol);
    if (fd < 0) {
        freeaddrinfo(info);
        error = ErrnoText("socket");
        return false;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, info->ai_addr, info->ai_addrlen) != 0 || listen(fd, 4) != 0) {
        error = ErrnoText("bind");
        freeaddrinfo(info);
        close(fd);
        return false;
    }
    freeaddrinfo(info);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    m_port = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                         : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    m_host = host;
    m_listenFd = fd;
    SetNonBlocking(fd);
    return true;
}

bool SimServer::OpenPty(const std::string& linkPath, std::string& error) {
    struct stat existing {};
    if (lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            error = linkPath + " exists and is no symbolic link";
            return false;
        }
        unlink(linkPath.c_str());  // a stale link of an earlier run
    }
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        error = ErrnoText("posix_openpt");
        return false;
    }
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        error = ErrnoText("grantpt/unlockpt");
        close(master);
        return false;
    }
    const char* device = ptsname(master);
    if (device == nullptr) {
        error = ErrnoText("ptsname");
        close(master);
        return false;
    }
    m_ptyDevice = device;
    const int hold = open(m_ptyDevice.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (hold < 0) {
        error = ErrnoText("open pty");
        close(master);
        return false;
    }
    // Raw: no echo, no line editing, no CR/LF translation, no signal characters; binary
    // blocks must pass unchanged in both directions.
    termios settings{};
    tcgetattr(hold, &settings);
    cfmakeraw(&settings);
    tcsetattr(hold, TCSANOW, &settings);
    if (symlink(m_ptyDevice.c_str(), linkPath.c_str()) != 0) {
        error = ErrnoText("symlink");
        close(hold);
        close(master);
        return false;
    }
    m_ptyLink = linkPath;
    m_ptyMaster = master;
    m_ptyHold = hold;
    m_clientFd = master;
    SetNonBlocking(master);
    return true;
}

std::string SimServer::Announcement() const {
    if (m_ptyMaster >= 0) {
        return "PTY " + m_ptyLink;
    }
    return "LISTEN " + m_host + ":" + std::to_string(m_port);
}

void SimServer::CloseClient() {
    if (m_clientFd >= 0 && m_clientFd != m_ptyMaster) {
        close(m_clientFd);
        m_clientFd = -1;
    }
    m_pending.clear();
    m_sentOnConnection = 0;
    // The next host starts a message of its own; the instrument keeps its settings.
    m_instrument.DeviceClear();
}

void SimServer::CollectOutput() {
    const std::int64_t drop = m_instrument.Faults().dropAfterBytes;
    if (drop != m_dropSeen) {
        // A new drop switch ("KTXSIM:DROP n") counts its bytes from now on.
        m_dropSeen = drop;
        m_sentOnConnection = 0;
    }
    if (m_instrument.OutputAvailable() == 0) {
        return;
    }
    Chunk chunk;
    chunk.bytes = m_instrument.TakeOutput();
    chunk.readyAt = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(std::max(0, m_instrument.Faults().delayMs));
    if (m_lineDead && m_instrument.Faults().dropAfterBytes < 0) {
        m_lineDead = false;  // "KTXSIM:DROP -1" brings a dead terminal line back
        m_sentOnConnection = 0;
    }
    if (m_lineDead) {
        return;
    }
    m_pending.push_back(std::move(chunk));
}

bool SimServer::ReadClient() {
    char buffer[65536];
    while (true) {
        const ssize_t n = read(m_clientFd, buffer, sizeof buffer);
        if (n > 0) {
            m_instrument.Receive(std::string_view(buffer, static_cast<std::size_t>(n)));
            CollectOutput();
            if (static_cast<std::size_t>(n) < sizeof buffer) {
                return true;
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return true;
        }
        return false;  // end of file or a broken connection
    }
}

bool SimServer::WriteClient() {
    const auto now = std::chrono::steady_clock::now();
    while (!m_pending.empty() && m_pending.front().readyAt <= now) {
        Chunk& chunk = m_pending.front();
        std::size_t want = chunk.bytes.size() - chunk.sent;
        const std::int64_t drop = m_instrument.Faults().dropAfterBytes;
        if (drop >= 0) {
            const std::int64_t allowed = drop - m_sentOnConnection;
            if (allowed <= 0) {
                return false;  // the broken instrument hangs up here
            }
            want = static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(want), allowed));
        }
        const ssize_t n =
            m_clientFd == m_ptyMaster
                ? write(m_clientFd, chunk.bytes.data() + chunk.sent, want)
                : send(m_clientFd, chunk.bytes.data() + chunk.sent, want, MSG_NOSIGNAL);
        if (n < 0) {
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        }
        chunk.sent += static_cast<std::size_t>(n);
        m_sentOnConnection += n;
        if (chunk.sent == chunk.bytes.size()) {
            m_pending.pop_front();
        } else if (static_cast<std::size_t>(n) < want) {
            return true;  // the peer's buffer is full: wait for POLLOUT
        }
    }
    const std::int64_t drop = m_instrument.Faults().dropAfterBytes;
    return drop < 0 || m_sentOnConnection < drop;
}

int SimServer::Run(int stopFd, int stdinFd) {
    while (true) {
        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        const std::size_t stdinIndex = fds.size();
        if (stdinFd >= 0) {
            fds.push_back({stdinFd, POLLIN, 0});
        }
        const std::size_t listenIndex = fds.size();
        if (m_listenFd >= 0 && m_clientFd < 0) {
            fds.push_back({m_listenFd, POLLIN, 0});
        }
        const std::size_t clientIndex = fds.size();
        int timeoutMs = -1;
        if (m_clientFd >= 0) {
            short events = POLLIN;
            if (!m_pending.empty()) {
                const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                    m_pending.front().readyAt - std::chrono::steady_clock::now());
                if (wait.count() <= 0) {
                    events |= POLLOUT;
                } else {
                    timeoutMs = static_cast<int>(wait.count()) + 1;
                }
            }
            fds.push_back({m_clientFd, events, 0});
        }
        const int ready = poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return 1;
        }
        if (fds[0].revents != 0) {
            return 0;
        }
        if (stdinFd >= 0 && fds[stdinIndex].revents != 0) {
            char buffer[256];
            const ssize_t n = read(stdinFd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                return 0;  // whoever started us has gone
            }
        }
        if (m_listenFd >= 0 && m_clientFd < 0 && listenIndex < fds.size() &&
            fds[listenIndex].fd == m_listenFd && fds[listenIndex].revents != 0) {
            const int client = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (client >= 0) {
                CloseClient();
                m_clientFd = client;
            }
            continue;
        }
        if (m_clientFd >= 0 && clientIndex < fds.size() && fds[clientIndex].fd == m_clientFd) {
            const short revents = fds[clientIndex].revents;
            bool keep = true;
            if (revents & (POLLIN | POLLHUP | POLLERR)) {
                // Our own slave descriptor keeps a terminal from ever reporting its end.
                keep = ReadClient() || m_clientFd == m_ptyMaster;
            }
            if (keep) {
                keep = WriteClient();
            }
            if (!keep) {
                if (m_clientFd == m_ptyMaster) {
                    m_lineDead = true;  // a terminal line cannot be hung up from here
                    m_pending.clear();
                } else {
                    CloseClient();
                }
            }
        }
    }
}

}  // namespace ktx::sim

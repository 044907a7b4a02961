// SPDX-License-Identifier: GPL-3.0-or-later
// TCP and pseudo-terminal carrier of the emulated Prologix-style adapter.
#include "prologix_server.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "instrument_state.h"
#include "prologix_adapter.h"

namespace ktx::sim {

namespace {

using Clock = std::chrono::steady_clock;

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
}

}  // namespace

PrologixServer::PrologixServer(SimConfig config, const FaultSwitches& faults, int gpibAddress)
    : m_instrument(std::make_unique<InstrumentState>(std::move(config))),
      m_faults(faults),
      m_gpibAddress(gpibAddress) {}

PrologixServer::~PrologixServer() {
    m_adapter.reset();
    if (m_listenFd >= 0) {
        close(m_listenFd);
        if (m_hostFd >= 0) {
            close(m_hostFd);
        }
    } else if (m_hostFd >= 0) {
        close(m_hostFd);  // the pseudo-terminal's master
    }
    if (m_ptyHold >= 0) {
        close(m_ptyHold);
    }
    if (!m_ptyLink.empty()) {
        char target[4096];
        const ssize_t n = readlink(m_ptyLink.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == m_ptyDevice) {
            unlink(m_ptyLink.c_str());
        }
    }
}

bool PrologixServer::ListenTcp(const std::string& host, int port, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* info = nullptr;
    const std::string service = std::to_string(port);
    if (port < 0 || port > 65535 ||
        getaddrinfo(host.c_str(), service.c_str(), &hints, &info) != 0 || info == nullptr) {
        error = "not a numeric address or port: " + host + ":" + service;
        return false;
    }
    const int fd = socket(info->ai_family, info->ai_socktype | SOCK_CLOEXEC, info->ai_protocol);
    const int one = 1;
    if (fd >= 0) {
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
    if (fd < 0 || bind(fd, info->ai_addr, info->ai_addrlen) != 0 || listen(fd, 4) != 0) {
        error = ErrnoText("bind");
        freeaddrinfo(info);
        if (fd >= 0) {
            close(fd);
        }
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

bool PrologixServer::OpenPty(const std::string& linkPath, std::string& error) {
    struct stat existing {};
    if (lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            error = linkPath + " exists and is no symbolic link";
            return false;
        }
        unlink(linkPath.c_str());
    }
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname(master) == nullptr) {
        error = ErrnoText("pseudo-terminal");
        if (master >= 0) {
            close(master);
        }
        return false;
    }
    m_ptyDevice = ptsname(master);
    const int hold = open(m_ptyDevice.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (hold < 0) {
        error = ErrnoText("open pty");
        close(master);
        return false;
    }
    // Raw, so escaped CR, LF and ESC bytes pass unchanged.
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
    m_ptyHold = hold;
    m_hostFd = master;
    SetNonBlocking(master);
    m_adapter = std::make_unique<PrologixAdapter>(*m_instrument, m_faults, m_gpibAddress);
    return true;
}

std::string PrologixServer::Announcement() const {
    if (m_listenFd < 0) {
        return "PROLOGIX-PTY " + m_ptyLink;
    }
    return "PROLOGIX " + m_host + ":" + std::to_string(m_port);
}

void PrologixServer::DropHost() {
    m_adapter.reset();
    close(m_hostFd);
    m_hostFd = -1;
}

// Reads from and writes to the host; false when the host is to be dropped.
bool PrologixServer::ServeHost(short revents) {
    const Clock::time_point now = Clock::now();
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        char buffer[65536];
        const ssize_t n = read(m_hostFd, buffer, sizeof buffer);
        if (n > 0) {
            m_adapter->FromHost(std::string_view(buffer, static_cast<std::size_t>(n)), now);
            // A dead terminal line swallows everything the adapter says until
            // "KTXSIM:DROP -1" brings it back.
            if (m_lineDead && m_adapter->Faults().dropAfterBytes < 0) {
                m_lineDead = false;
            }
        } else if (m_listenFd >= 0 &&
                   (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))) {
            return false;
        }
    }
    AnswerQueue& out = m_adapter->ToHost();
    for (;;) {
        const std::string_view due = out.Due(now);
        if (due.empty()) {
            break;
        }
        if (m_lineDead) {
            out.Consumed(due.size(), now);
            continue;
        }
        const ssize_t n = m_listenFd >= 0 ? send(m_hostFd, due.data(), due.size(), MSG_NOSIGNAL)
                                          : write(m_hostFd, due.data(), due.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                break;
            }
            return m_listenFd < 0;
        }
        out.Consumed(static_cast<std::size_t>(n), now);
        if (static_cast<std::size_t>(n) < due.size()) {
            break;
        }
    }
    if (out.Dropped()) {
        if (m_listenFd >= 0) {
            return false;  // the adapter hangs up
        }
        m_lineDead = true;
        out.Clear();
    }
    return true;
}

int PrologixServer::Run(int stopFd, int stdinFd) {
    while (true) {
        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        fds.push_back({stdinFd, static_cast<short>(stdinFd >= 0 ? POLLIN : 0), 0});
        fds.push_back({m_listenFd, POLLIN, 0});
        int timeoutMs = -1;
        short hostEvents = POLLIN;
        if (m_adapter) {
            if (const auto due = m_adapter->ToHost().NextDue()) {
                const auto wait =
                    std::chrono::duration_cast<std::chrono::milliseconds>(*due - Clock::now())
                        .count();
                if (wait <= 0) {
                    hostEvents |= POLLOUT;
                } else {
                    timeoutMs = static_cast<int>(wait + 1);
                }
            }
        }
        fds.push_back({m_hostFd, hostEvents, 0});
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
        if (stdinFd >= 0 && fds[1].revents != 0) {
            char buffer[256];
            const ssize_t n = read(stdinFd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                return 0;
            }
        }
        if (m_hostFd >= 0 && m_adapter && !ServeHost(fds[3].revents)) {
            DropHost();
        }
        if (m_listenFd >= 0 && fds[2].revents != 0) {
            const int client = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (client >= 0 && m_hostFd >= 0) {
                close(client);  // the adapter serves one host at a time
            } else if (client >= 0) {
                m_hostFd = client;
                m_adapter =
                    std::make_unique<PrologixAdapter>(*m_instrument, m_faults, m_gpibAddress);
            }
        }
    }
}

}  // namespace ktx::sim

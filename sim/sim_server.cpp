// SPDX-License-Identifier: GPL-3.0-or-later
// TCP and pseudo-terminal carrier of the simulated instrument: one poll() loop over every
// connection, non-blocking writes so that a 20 MB block to one client never stops the server
// from serving the others.
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
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "answer_queue.h"
#include "instrument_state.h"
#include "sim_session.h"

namespace ktx::sim {

namespace {

using Clock = std::chrono::steady_clock;

bool SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

// One host: its socket (or the terminal), its session on the shared instrument, its answers
// on their way and the input read but not yet run.
class SimServer::Connection {
  public:
    Connection(int fd, bool terminal, InstrumentState& instrument, const FaultSwitches& faults)
        : m_fd(fd),
          m_terminal(terminal),
          m_session(instrument, faults),
          m_answers(m_session.Faults()) {}
    ~Connection() {
        if (!m_terminal) {
            close(m_fd);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int Fd() const { return m_fd; }
    bool Terminal() const { return m_terminal; }

    // Reads more only when everything read so far has run and few answers wait.
    bool WantsInput() const { return m_inbox.empty() && m_answers.Held() < kMaxHeldBytes; }

    // One read; false when the peer has gone (a terminal never goes).
    bool ReadInput() {
        char buffer[65536];
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            m_inbox.append(buffer, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return true;
        }
        return m_terminal;
    }

    // Hands the input to the instrument up to one line feed at a time, while the answers
    // waiting stay below the bound.
    void Process(Clock::time_point now) {
        std::size_t used = 0;
        while (used < m_inbox.size() && m_answers.Held() < kMaxHeldBytes) {
            const std::size_t feed = m_inbox.find('\n', used);
            const std::size_t end = feed == std::string::npos ? m_inbox.size() : feed + 1;
            m_session.Receive(std::string_view(m_inbox).substr(used, end - used));
            used = end;
            Collect(now);
        }
        m_inbox.erase(0, used);
    }

    // Sends what is due; false when the connection must close (the peer broke off, or the
    // drop switch says so).
    bool WriteOutput(Clock::time_point now) {
        for (;;) {
            const std::string_view due = m_answers.Due(now);
            if (due.empty()) {
                break;
            }
            const ssize_t n = m_terminal ? write(m_fd, due.data(), due.size())
                                         : send(m_fd, due.data(), due.size(), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                    break;
                }
                return m_terminal;
            }
            m_answers.Consumed(static_cast<std::size_t>(n), now);
            if (static_cast<std::size_t>(n) < due.size()) {
                break;  // the peer's buffer is full: wait for POLLOUT
            }
        }
        if (!m_answers.Dropped()) {
            return true;
        }
        if (m_terminal) {
            m_lineDead = true;  // a terminal line cannot be hung up from here
            m_answers.Clear();
            return true;
        }
        return false;  // the broken instrument hangs up here
    }

    std::optional<Clock::time_point> NextDue() const { return m_answers.NextDue(); }

    // The hard-copy button: the picture goes to a host that is between messages.
    void PressHardcopyButton(Clock::time_point now) {
        if (m_session.AtMessageStart()) {
            m_session.Receive("KTXSIM:BUTTON\n");
            Collect(now);
        }
    }

  private:
    void Collect(Clock::time_point now) {
        std::string output = m_session.TakeOutput();
        if (m_lineDead && m_session.Faults().dropAfterBytes < 0) {
            m_lineDead = false;  // "KTXSIM:DROP -1" brings a dead terminal line back
        }
        m_answers.Push(m_lineDead ? std::string() : std::move(output), now);
        for (auto& [ms, bytes] : m_session.TakeLater()) {
            m_answers.Push(m_lineDead ? std::string() : std::move(bytes),
                           now + std::chrono::milliseconds(ms));
        }
    }

    int m_fd;
    bool m_terminal;
    SimSession m_session;
    AnswerQueue m_answers;
    std::string m_inbox;
    bool m_lineDead = false;
};

SimServer::SimServer(SimConfig config, const FaultSwitches& faults)
    : m_instrument(std::make_unique<InstrumentState>(std::move(config))), m_faults(faults) {}

SimServer::~SimServer() {
    m_connections.clear();
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
    if (bind(fd, info->ai_addr, info->ai_addrlen) != 0 ||
        listen(fd, static_cast<int>(kMaxConnections)) != 0) {
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
    SetNonBlocking(master);
    m_connections.push_back(std::make_unique<Connection>(master, true, *m_instrument, m_faults));
    return true;
}

std::string SimServer::Announcement() const {
    if (m_ptyMaster >= 0) {
        return "PTY " + m_ptyLink;
    }
    return "LISTEN " + m_host + ":" + std::to_string(m_port);
}

void SimServer::Accept() {
    const int client = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) {
        return;
    }
    if (m_connections.size() >= kMaxConnections) {
        close(client);  // full: the host learns at once instead of waiting for its time-out
        return;
    }
    m_connections.push_back(std::make_unique<Connection>(client, false, *m_instrument, m_faults));
}

void SimServer::Serve(Connection& connection, short revents) {
    const Clock::time_point now = Clock::now();
    bool keep = true;
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0 && connection.WantsInput()) {
        keep = connection.ReadInput();
    } else if ((revents & (POLLHUP | POLLERR)) != 0 && !connection.Terminal()) {
        keep = false;  // gone while its input was held back
    }
    if (keep) {
        connection.Process(now);
        keep = connection.WriteOutput(now);
        // What was sent may have made room for input that was held back.
        connection.Process(now);
    }
    if (!keep) {
        const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                     [&](const auto& c) { return c.get() == &connection; });
        m_connections.erase(it);
    }
}

int SimServer::Run(int stopFd, int stdinFd) {
    Clock::time_point nextPress = Clock::now() + std::chrono::milliseconds(m_buttonMs);
    while (true) {
        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        const std::size_t stdinIndex = fds.size();
        if (stdinFd >= 0) {
            fds.push_back({stdinFd, POLLIN, 0});
        }
        const std::size_t listenIndex = fds.size();
        if (m_listenFd >= 0) {
            fds.push_back({m_listenFd, POLLIN, 0});
        }
        const std::size_t firstConnection = fds.size();
        const Clock::time_point now = Clock::now();
        int timeoutMs = -1;
        for (const auto& connection : m_connections) {
            short events = connection->WantsInput() ? POLLIN : 0;
            if (const auto due = connection->NextDue()) {
                if (*due <= now) {
                    events |= POLLOUT;
                } else {
                    const auto wait =
                        std::chrono::duration_cast<std::chrono::milliseconds>(*due - now).count() +
                        1;
                    timeoutMs = timeoutMs < 0 ? static_cast<int>(wait)
                                              : std::min(timeoutMs, static_cast<int>(wait));
                }
            }
            fds.push_back({connection->Fd(), events, 0});
        }
        if (m_buttonMs > 0) {
            if (nextPress <= now) {
                for (const auto& connection : m_connections) {
                    connection->PressHardcopyButton(now);
                }
                nextPress = now + std::chrono::milliseconds(m_buttonMs);
                timeoutMs = 0;  // serve the pictures at once
            } else {
                const auto wait =
                    std::chrono::duration_cast<std::chrono::milliseconds>(nextPress - now).count() +
                    1;
                timeoutMs = timeoutMs < 0 ? static_cast<int>(wait)
                                          : std::min(timeoutMs, static_cast<int>(wait));
            }
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
        // Every connection is served, also those whose held answers have just fallen due.
        // Serving may close a connection, so take the list first.
        std::vector<std::pair<Connection*, short>> polled;
        for (std::size_t i = firstConnection; i < fds.size(); ++i) {
            polled.emplace_back(m_connections[i - firstConnection].get(), fds[i].revents);
        }
        for (const auto& [connection, revents] : polled) {
            Serve(*connection, revents);
        }
        if (m_listenFd >= 0 && fds[listenIndex].revents != 0) {
            Accept();
        }
    }
}

}  // namespace ktx::sim

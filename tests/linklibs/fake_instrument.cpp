// SPDX-License-Identifier: GPL-3.0-or-later
// Fake instrument for the transport tests.
#include "fake_instrument.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>
#include <vector>

namespace ktx::linklib::test {

namespace {

// Waits at most this long for anything; the thread never outlives a hung test by much.
constexpr int kPollMs = 50;

bool WriteAll(int fd, const std::string& bytes, const std::atomic<bool>& stop) {
    std::size_t done = 0;
    while (done < bytes.size() && !stop) {
        // A host that has gone must not kill the test with SIGPIPE.
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) {
            n = ::write(fd, bytes.data() + done, bytes.size() - done);
        }
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, kPollMs);
    }
    return done == bytes.size();
}

// Words of a command line after its header, as numbers.
std::vector<long> Numbers(const std::string& line) {
    std::vector<long> numbers;
    std::istringstream words(line.substr(std::min(line.size(), line.find(' '))));
    long n = 0;
    while (words >> n) {
        numbers.push_back(n);
    }
    return numbers;
}

void Pause(long ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string BlockHeaderFor(long length) {
    const std::string digits = std::to_string(length);
    return "#" + std::to_string(digits.size()) + digits;
}

}  // namespace

bool FakeInstrument::Misbehave(int fd, const std::string& line) {
    const std::vector<long> n = Numbers(line);
    auto arguments = [&](std::size_t count) { return n.size() == count; };
    m_busy = true;
    m_hush = false;
    bool known = true;
    if (line.rfind("DRIP? ", 0) == 0 && arguments(2)) {
        for (long i = 0; i < n[0] && !m_stop && !m_hush; ++i) {
            WriteAll(fd, "x", m_stop);
            Pause(n[1]);
        }
    } else if (line.rfind("LATE? ", 0) == 0 && arguments(1)) {
        Pause(n[0]);
        WriteAll(fd, "LATE\n", m_stop);
    } else if (line.rfind("CUT? ", 0) == 0 && arguments(2)) {
        WriteAll(fd, ":CURVE " + BlockHeaderFor(n[1]) + BlockData(static_cast<std::size_t>(n[0])),
                 m_stop);
        m_stop = m_listening;  // hang up; a terminal line just falls silent
    } else if (line.rfind("FLOOD? ", 0) == 0 && arguments(1)) {
        WriteAll(fd, std::string(static_cast<std::size_t>(n[0]), 'x'), m_stop);
    } else if (line == "HUGE?") {
        WriteAll(fd, ":CURVE #9999999999" + BlockData(64 * 1024), m_stop);
    } else {
        known = false;
    }
    m_busy = false;
    return known;
}

FakeInstrument FakeInstrument::OnTcp() {
    FakeInstrument fake;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return fake;
    }
    fake.m_fd = fd;
    fake.m_listening = true;
    fake.m_port = ntohs(address.sin_port);
    return fake;
}

FakeInstrument FakeInstrument::OnPty() {
    FakeInstrument fake;
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return fake;
    }
    const char* name = ::ptsname(fd);
    fake.m_device = name != nullptr ? name : "";
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    fake.m_fd = fd;
    return fake;
}

FakeInstrument::FakeInstrument(FakeInstrument&& other) noexcept
    : m_fd(other.m_fd),
      m_listening(other.m_listening),
      m_port(other.m_port),
      m_device(std::move(other.m_device)) {
    other.m_fd = -1;
}

FakeInstrument::~FakeInstrument() {
    Stop();
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::string FakeInstrument::BlockData(std::size_t n) {
    std::string data(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return data;
}

void FakeInstrument::Start() {
    m_thread = std::thread([this] { Serve(); });
}

void FakeInstrument::Stop() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void FakeInstrument::Serve() {
    int fd = m_fd;
    if (m_listening) {
        pollfd p{m_fd, POLLIN, 0};
        while (!m_stop && ::poll(&p, 1, kPollMs) == 0) {
        }
        // Non-blocking, so a long answer nobody reads cannot keep Stop() waiting.
        if (m_stop || (fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) < 0) {
            return;
        }
    } else {
        // The master side sees the slave's bytes unchanged only in raw mode.
        termios mode{};
        ::tcgetattr(fd, &mode);
        ::cfmakeraw(&mode);
        ::tcsetattr(fd, TCSANOW, &mode);
    }
    std::string line;
    char buffer[4096];
    while (!m_stop) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) {
            continue;
        }
        if ((p.revents & POLLIN) == 0 && !m_listening) {
            ::poll(nullptr, 0, kPollMs);
            continue;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            if (!m_listening) {
                // The slave is not (yet, or no longer) open; the master then reports a hang-up
                // at once, so sleep instead of polling it.
                ::poll(nullptr, 0, kPollMs);
                continue;
            }
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n') {
                line += buffer[i];
                continue;
            }
            std::string answer;
            if (Misbehave(fd, line)) {
                if (m_stop) {
                    break;
                }
            } else if (line == "*IDN?") {
                answer = std::string(kIdentity) + "\n";
            } else if (line.rfind("BLOCK? ", 0) == 0) {
                const std::size_t size = std::stoul(line.substr(7));
                const std::string digits = std::to_string(size);
                answer =
                    ":CURVE #" + std::to_string(digits.size()) + digits + BlockData(size) + "\n";
            } else if (line == "HANGUP") {
                m_stop = true;
            }
            line.clear();
            if (!answer.empty() && !WriteAll(fd, answer, m_stop)) {
                m_stop = true;
            }
        }
    }
    if (m_listening) {
        ::close(fd);
    }
}

}  // namespace ktx::linklib::test

// SPDX-License-Identifier: GPL-3.0-or-later
// Serial lines for the interface libraries: through libserialport, or through termios for
// terminals libserialport does not list (pseudo-terminals of simulators and bridges).
#include "serial_stream.h"

#include <fcntl.h>
#include <libserialport.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fd_util.h"
#include "link_ops.h"

namespace ktx::linklib {

namespace {

// libserialport takes 0 as "wait forever"; a deadline that has passed must still not block.
unsigned int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0u : static_cast<unsigned int>(std::min<long long>(left + 1, 600'000));
}

class SerialStream final : public ByteStream {
  public:
    explicit SerialStream(sp_port* port) : m_port(port) {}
    ~SerialStream() override { Close(); }

    std::ptrdiff_t Send(std::string_view bytes, Clock::time_point deadline) override {
        if (m_port == nullptr) {
            return -1;
        }
        const unsigned int ms = RemainingMs(deadline);
        const sp_return r = ms == 0 ? sp_nonblocking_write(m_port, bytes.data(), bytes.size())
                                    : sp_blocking_write(m_port, bytes.data(), bytes.size(), ms);
        return r < 0 ? -1 : static_cast<std::ptrdiff_t>(r);
    }

    std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) override {
        if (m_port == nullptr) {
            return -1;
        }
        const unsigned int ms = RemainingMs(deadline);
        const sp_return r = ms == 0 ? sp_nonblocking_read(m_port, buffer, size)
                                    : sp_blocking_read_next(m_port, buffer, size, ms);
        return r < 0 ? -1 : static_cast<std::ptrdiff_t>(r);
    }

    void Drain(std::string& out) override {
        char buffer[4096];
        for (std::size_t taken = 0; m_port != nullptr && taken < kMaxDrainBytes;) {
            const sp_return r = sp_nonblocking_read(m_port, buffer, sizeof buffer);
            if (r <= 0) {
                return;
            }
            out.append(buffer, static_cast<std::size_t>(r));
            taken += static_cast<std::size_t>(r);
        }
    }

    bool Close() override {
        if (m_port == nullptr) {
            return true;
        }
        const bool ok = sp_close(m_port) == SP_OK;
        sp_free_port(m_port);
        m_port = nullptr;
        return ok;
    }

  private:
    sp_port* m_port;
};

int RemainingPollMs(Clock::time_point deadline) {
    return static_cast<int>(RemainingMs(deadline));
}

// A terminal device libserialport does not handle, configured and driven with termios.
class TerminalStream final : public ByteStream {
  public:
    explicit TerminalStream(int fd) : m_fd(fd) {}
    ~TerminalStream() override { Close(); }

    std::ptrdiff_t Send(std::string_view bytes, Clock::time_point deadline) override {
        for (;;) {
            if (m_fd < 0) {
                return -1;
            }
            const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
            if (n > 0) {
                return n;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return -1;
            }
            if (!Wait(POLLOUT, deadline)) {
                return Clock::now() >= deadline ? 0 : -1;
            }
        }
    }

    std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) override {
        for (;;) {
            if (m_fd < 0) {
                return -1;
            }
            const ssize_t n = ::read(m_fd, buffer, size);
            if (n > 0) {
                return n;
            }
            // A pseudo-terminal whose other side has gone reads as EIO (or end of file).
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                return -1;
            }
            if (Clock::now() >= deadline) {
                return 0;
            }
            if (!Wait(POLLIN, deadline)) {
                return Clock::now() >= deadline ? 0 : -1;
            }
        }
    }

    void Drain(std::string& out) override { DrainFd(m_fd, out, false); }

    bool Close() override { return CloseFd(m_fd); }

  private:
    bool Wait(short events, Clock::time_point deadline) {
        pollfd p{m_fd, events, 0};
        const int r = ::poll(&p, 1, RemainingPollMs(deadline));
        // A hang-up with nothing left to read is reported by the next read itself.
        return r > 0 || (r < 0 && errno == EINTR);
    }

    int m_fd;
};

speed_t TerminalSpeed(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

// Two links on one serial line garble each other's answers: the second is refused as busy.
// The lock goes with the descriptor.
bool LockLine(int fd, const std::string& device, const char* library, LinkStatus& failure) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return true;
    }
    const int error = errno;
    std::fprintf(stderr, "%s: %s is in use: %s\n", library, device.c_str(), std::strerror(error));
    failure = OpenFailureFromErrno(error);
    return false;
}

std::unique_ptr<ByteStream> OpenTerminal(const std::string& device, const SerialConfig& config,
                                         const char* library, LinkStatus& failure) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        std::fprintf(stderr, "%s: cannot open %s: %s\n", library, device.c_str(),
                     std::strerror(error));
        failure = OpenFailureFromErrno(error);
        return nullptr;
    }
    if (!LockLine(fd, device, library, failure)) {
        ::close(fd);
        return nullptr;
    }
    termios mode{};
    const speed_t speed = TerminalSpeed(config.baud);
    if (::tcgetattr(fd, &mode) != 0 || speed == B0) {
        std::fprintf(stderr, "%s: %s is no terminal or %d baud is not supported\n", library,
                     device.c_str(), config.baud);
        failure = {KTX_LINK_E_SETTINGS, 0, 0};
        ::close(fd);
        return nullptr;
    }
    ::cfmakeraw(&mode);
    ::cfsetispeed(&mode, speed);
    ::cfsetospeed(&mode, speed);
    mode.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    mode.c_cflag |= CREAD | CLOCAL;
    mode.c_cflag |= config.dataBits == 5   ? CS5
                    : config.dataBits == 6 ? CS6
                    : config.dataBits == 7 ? CS7
                                           : CS8;
    if (config.parity != SerialConfig::Parity::None) {
        mode.c_cflag |= PARENB | (config.parity == SerialConfig::Parity::Odd ? PARODD : 0);
    }
    if (config.stopBits == 2) {
        mode.c_cflag |= CSTOPB;
    }
    if (config.handshake == SerialConfig::Handshake::Hardware) {
        mode.c_cflag |= CRTSCTS;
    } else if (config.handshake == SerialConfig::Handshake::XonXoff) {
        mode.c_iflag |= IXON | IXOFF;
    }
    if (::tcsetattr(fd, TCSANOW, &mode) != 0) {
        std::fprintf(stderr, "%s: cannot configure %s: %s\n", library, device.c_str(),
                     std::strerror(errno));
        failure = {KTX_LINK_E_SETTINGS, 0, 0};
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<TerminalStream>(fd);
}

bool Configure(sp_port* port, const SerialConfig& config) {
    sp_port_config* settings = nullptr;
    if (sp_new_config(&settings) != SP_OK) {
        return false;
    }
    sp_set_config_baudrate(settings, config.baud);
    sp_set_config_bits(settings, config.dataBits);
    sp_set_config_stopbits(settings, config.stopBits);
    sp_set_config_parity(settings, config.parity == SerialConfig::Parity::Even  ? SP_PARITY_EVEN
                                   : config.parity == SerialConfig::Parity::Odd ? SP_PARITY_ODD
                                                                                : SP_PARITY_NONE);
    // Modem lines are only touched for hardware handshake: pseudo-terminals and some USB
    // adapters refuse the ioctls, and plain three-wire cables do not care.
    const bool hardware = config.handshake == SerialConfig::Handshake::Hardware;
    sp_set_config_xon_xoff(settings, config.handshake == SerialConfig::Handshake::XonXoff
                                         ? SP_XONXOFF_INOUT
                                         : SP_XONXOFF_DISABLED);
    sp_set_config_cts(settings, hardware ? SP_CTS_FLOW_CONTROL : SP_CTS_IGNORE);
    sp_set_config_dsr(settings, SP_DSR_IGNORE);
    if (hardware) {
        sp_set_config_rts(settings, SP_RTS_FLOW_CONTROL);
    }
    const bool ok = sp_set_config(port, settings) == SP_OK;
    sp_free_config(settings);
    return ok;
}

}  // namespace

std::unique_ptr<ByteStream> OpenSerialLine(const std::string& device, const SerialConfig& config,
                                           const char* library, LinkStatus& failure) {
    sp_port* port = nullptr;
    if (sp_get_port_by_name(device.c_str(), &port) != SP_OK) {
        return OpenTerminal(device, config, library, failure);
    }
    if (sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
        const int error = sp_last_error_code();
        char* message = sp_last_error_message();
        std::fprintf(stderr, "%s: cannot open %s: %s\n", library, device.c_str(), message);
        sp_free_error_message(message);
        sp_free_port(port);
        failure = OpenFailureFromErrno(error);
        return nullptr;
    }
    int fd = -1;
    if (sp_get_port_handle(port, &fd) == SP_OK && !LockLine(fd, device, library, failure)) {
        sp_close(port);
        sp_free_port(port);
        return nullptr;
    }
    if (!Configure(port, config)) {
        char* message = sp_last_error_message();
        std::fprintf(stderr, "%s: cannot set %d baud on %s: %s\n", library, config.baud,
                     device.c_str(), message);
        sp_free_error_message(message);
        failure = {KTX_LINK_E_SETTINGS, 0, 0};
        sp_close(port);
        sp_free_port(port);
        return nullptr;
    }
    return std::make_unique<SerialStream>(port);
}

}  // namespace ktx::linklib

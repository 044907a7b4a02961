// SPDX-License-Identifier: GPL-3.0-or-later
// ktx_usbtmc.so: an instrument on USB through the Linux USBTMC driver's character device.
// Settings in [USBTMC]: DEVICE (default /dev/usbtmc0). The status line port is the number at
// the end of the device name (0 when there is none).
//
// The driver frames messages itself: one write() is one message (it sets EOM on its last
// transfer), one read() returns (part of) one answer. So the bytes of a message are collected
// and written with one write() when the message ends; raw text sent ahead of a command thus
// reaches the instrument in the same message. Reads block in the driver, so its time-out is
// set to what is left of ours before every read.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#if __has_include(<linux/usb/tmc.h>)
#include <linux/usb/tmc.h>
#endif

#include "fd_util.h"
#include "ktx_link.h"
#include "link_ops.h"
#include "link_settings.h"

namespace ktx::linklib {

namespace {

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left + 1, 600'000));
}

class UsbtmcStream final : public ByteStream {
  public:
    explicit UsbtmcStream(int fd) : m_fd(fd) {}
    ~UsbtmcStream() override { Close(); }

    std::ptrdiff_t Send(std::string_view bytes, Clock::time_point /*deadline*/) override {
        if (m_fd < 0) {
            return -1;
        }
        m_out.append(bytes);
        return static_cast<std::ptrdiff_t>(bytes.size());
    }

    bool EndOfMessage(Clock::time_point deadline) override {
        if (m_fd < 0) {
            return false;
        }
        std::string message;
        message.swap(m_out);
        SetDriverTimeout(deadline);
        std::size_t done = 0;
        while (done < message.size()) {
            const ssize_t n = ::write(m_fd, message.data() + done, message.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n == 0 || errno != EINTR) {
                return false;  // ETIMEDOUT: the instrument took nothing in time
            }
        }
        return true;
    }

    bool ClearDevice(Clock::time_point deadline) override {
#ifdef USBTMC_IOCTL_CLEAR
        if (m_fd < 0) {
            return false;
        }
        m_out.clear();
        SetDriverTimeout(deadline);
        return ::ioctl(m_fd, USBTMC_IOCTL_CLEAR) == 0;
#else
        (void)deadline;
        return false;
#endif
    }

    std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) override {
        if (m_fd < 0) {
            return -1;
        }
        if (RemainingMs(deadline) == 0) {
            return 0;
        }
        SetDriverTimeout(deadline);
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, size);
            if (n > 0) {
                return n;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            // The driver reports an expired time-out as ETIMEDOUT; a zero-length read means
            // the instrument had nothing to say before it.
            if (n == 0 || errno == ETIMEDOUT) {
                return 0;
            }
            return -1;
        }
    }

    // Reads block in the driver; there is no way to look without waiting, so leftovers are
    // only ever dropped by the failed read that meets them.
    void Drain(std::string& /*out*/) override {}

    bool Close() override {
        return CloseFd(m_fd);
    }

  private:
    void SetDriverTimeout(Clock::time_point deadline) {
#ifdef USBTMC_IOCTL_SET_TIMEOUT
        // The driver refuses time-outs below 100 ms.
        __u32 ms = static_cast<__u32>(std::max(RemainingMs(deadline), 100));
        ::ioctl(m_fd, USBTMC_IOCTL_SET_TIMEOUT, &ms);
#else
        (void)deadline;
#endif
    }

    int m_fd;
    std::string m_out;  // the message being collected
};

int TrailingNumber(const std::string& text) {
    std::size_t start = text.size();
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9') {
        --start;
    }
    const std::string digits = text.substr(start, 6);
    return digits.empty() ? 0 : std::stoi(digits);
}

std::unique_ptr<ByteStream> OpenUsbtmc(const char* configPath, bool /*askUser*/, std::int32_t* port,
                                       LinkStatus& failure) {
    const LinkSettings settings(configPath, "USBTMC");
    settings.WriteDefaultsIfMissing({{"DEVICE", "/dev/usbtmc0"}});
    const std::string device = settings.Text("DEVICE", "/dev/usbtmc0");
    const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        std::fprintf(stderr, "ktx_usbtmc: cannot open %s: %s\n", device.c_str(),
                     std::strerror(error));
        failure = OpenFailureFromErrno(error);
        return nullptr;
    }
    *port = TrailingNumber(device);
    return std::make_unique<UsbtmcStream>(fd);
}

}  // namespace

}  // namespace ktx::linklib

extern "C" KTX_LINK_EXPORT const KtxLinkOps* ktx_link_ops(void) {
    return ktx::linklib::LinkOpsFor(&ktx::linklib::OpenUsbtmc);
}

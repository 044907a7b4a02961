// SPDX-License-Identifier: GPL-3.0-or-later
// ktx_gpib.so: GPIB through linux-gpib, loaded at run time (libgpib.so.0) so the library also
// loads on machines without it and then just fails to open, saying why on stderr.
// Settings in [GPIB]: BOARD (board index, default 0) and PAD (primary address 0 ... 30, default
// 1). The status line port is PAD.
//
// Messages end with EOI, not with a line feed: a command is collected and written with one
// ibwrt() when the message is complete. Answers end with EOI too; when the instrument sends no
// line feed with it, one is added, so the link above sees every answer terminated the same way.
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "gpib_timeout.h"
#include "ktx_link.h"
#include "link_ops.h"
#include "link_settings.h"

namespace ktx::linklib {

namespace {

// ibsta bits (the usual GPIB status word).
constexpr int kErr = 0x8000;
constexpr int kTimo = 0x4000;
constexpr int kEnd = 0x2000;

struct GpibApi {
    void* library = nullptr;
    int (*ibdev)(int, int, int, int, int, int) = nullptr;
    int (*ibwrt)(int, const void*, long) = nullptr;
    int (*ibrd)(int, void*, long) = nullptr;
    int (*ibclr)(int) = nullptr;
    int (*ibtmo)(int, int) = nullptr;
    int (*ibonl)(int, int) = nullptr;
    long (*ThreadIbcntl)() = nullptr;

    template <typename F>
    bool Bind(F& function, const char* name) {
        function = reinterpret_cast<F>(::dlsym(library, name));
        return function != nullptr;
    }

    // Reason for the log when linux-gpib is not usable, empty on success.
    std::string Load() {
        library = ::dlopen("libgpib.so.0", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* error = ::dlerror();
            return std::string("linux-gpib (libgpib.so.0) is not installed: ") +
                   (error != nullptr ? error : "");
        }
        if (!Bind(ibdev, "ibdev") || !Bind(ibwrt, "ibwrt") || !Bind(ibrd, "ibrd") ||
            !Bind(ibclr, "ibclr") || !Bind(ibtmo, "ibtmo") || !Bind(ibonl, "ibonl") ||
            !Bind(ThreadIbcntl, "ThreadIbcntl")) {
            Unload();
            return "libgpib.so.0 lacks the functions ibdev/ibwrt/ibrd/ibclr/ibtmo/ibonl";
        }
        return {};
    }
    void Unload() {
        if (library != nullptr) {
            ::dlclose(library);
            library = nullptr;
        }
    }
};

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 600'000));
}

class GpibStream final : public ByteStream {
  public:
    GpibStream(GpibApi api, int device) : m_api(api), m_device(device) {}
    ~GpibStream() override { Close(); }

    std::ptrdiff_t Send(std::string_view bytes, Clock::time_point /*deadline*/) override {
        if (m_device < 0) {
            return -1;
        }
        m_out.append(bytes);
        return static_cast<std::ptrdiff_t>(bytes.size());
    }

    bool EndOfMessage(Clock::time_point deadline) override {
        if (m_device < 0) {
            return false;
        }
        m_api.ibtmo(m_device, GpibTimeoutCode(RemainingMs(deadline)));
        const int status = m_api.ibwrt(m_device, m_out.data(), static_cast<long>(m_out.size()));
        m_out.clear();
        return (status & kErr) == 0;
    }

    bool UsesLineTerminator() const override { return false; }

    // Selected device clear: the instrument drops its output queue and half-read input.
    bool ClearDevice(Clock::time_point deadline) override {
        if (m_device < 0) {
            return false;
        }
        m_out.clear();
        m_lineFeedOwed = false;
        m_api.ibtmo(m_device, GpibTimeoutCode(RemainingMs(deadline)));
        return (m_api.ibclr(m_device) & kErr) == 0;
    }

    std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) override {
        if (m_device < 0 || size == 0) {
            return -1;
        }
        if (m_lineFeedOwed) {
            m_lineFeedOwed = false;
            buffer[0] = '\n';
            return 1;
        }
        const int ms = RemainingMs(deadline);
        if (ms == 0) {
            return 0;
        }
        m_api.ibtmo(m_device, GpibTimeoutCode(ms));
        const int status = m_api.ibrd(m_device, buffer, static_cast<long>(size));
        const long count = std::clamp<long>(m_api.ThreadIbcntl(), 0, static_cast<long>(size));
        if (count > 0) {
            m_lineFeedOwed = (status & kEnd) != 0 && buffer[count - 1] != '\n';
            return count;
        }
        if ((status & kTimo) != 0 || (status & kErr) == 0) {
            return 0;
        }
        return -1;
    }

    void Drain(std::string& /*out*/) override {}

    bool Close() override {
        if (m_device < 0) {
            return true;
        }
        const int status = m_api.ibonl(m_device, 0);
        m_device = -1;
        m_api.Unload();
        return (status & kErr) == 0;
    }

  private:
    GpibApi m_api;
    int m_device;
    std::string m_out;
    bool m_lineFeedOwed = false;
};

std::unique_ptr<ByteStream> OpenGpib(const char* configPath, bool /*askUser*/, std::int32_t* port,
                                     LinkStatus& failure) {
    const LinkSettings settings(configPath, "GPIB");
    settings.WriteDefaultsIfMissing({{"BOARD", "0"}, {"PAD", "1"}});
    const long board = settings.Integer("BOARD", 0);
    const long pad = settings.Integer("PAD", 1);
    if (board < 0 || board > 15 || pad < 0 || pad > 30) {
        std::fprintf(stderr, "ktx_gpib: [GPIB] BOARD %ld / PAD %ld out of range\n", board, pad);
        failure = {KTX_LINK_E_SETTINGS, 0, 0};
        return nullptr;
    }
    GpibApi api;
    const std::string reason = api.Load();
    if (!reason.empty()) {
        std::fprintf(stderr, "ktx_gpib: %s\n", reason.c_str());
        failure = {KTX_LINK_E_DRIVER, 0, 0};
        return nullptr;
    }
    // Time-out T1s until the link sets its own; EOI with the last byte; no end-of-string byte.
    const int device =
        api.ibdev(static_cast<int>(board), static_cast<int>(pad), 0, GpibTimeoutCode(1000), 1, 0);
    if (device < 0) {
        std::fprintf(stderr, "ktx_gpib: no device at board %ld, address %ld\n", board, pad);
        failure = {KTX_LINK_E_NOT_FOUND, 0, 0};
        api.Unload();
        return nullptr;
    }
    // Device clear: the instrument drops half-received commands and unread answers of an
    // earlier session.
    api.ibclr(device);
    *port = static_cast<std::int32_t>(pad);
    return std::make_unique<GpibStream>(api, device);
}

}  // namespace

}  // namespace ktx::linklib

extern "C" KTX_LINK_EXPORT const KtxLinkOps* ktx_link_ops(void) {
    return ktx::linklib::LinkOpsFor(&ktx::linklib::OpenGpib);
}

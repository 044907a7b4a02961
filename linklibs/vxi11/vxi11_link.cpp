// SPDX-License-Identifier: GPL-3.0-or-later
// ktx_vxi.so: a LAN instrument over VXI-11 (ONC RPC over TCP, libtirpc). Settings in
// [VXI11]: HOST (default 127.0.0.1), DEVICE (the instrument's device name, default "inst0")
// and PORT (default 0: ask the port mapper on port 111 of HOST for the core channel; a
// number skips the port mapper, for instruments or simulators whose port mapper is not
// reachable). The status line port is the core channel's TCP port.
//
// VXI-11 frames messages itself: device_write with the END flag ends a host message, and the
// device marks the last byte of its response with END. The bytes of a message are collected
// and written when it ends (larger messages go ahead in pieces of the device's maxRecvSize,
// without END, so the device still sees one message); commands still carry their line feed,
// which IEEE 488.2 devices take as NL^END. A response that ends without a line feed gets one,
// so the link above sees every answer terminated the same way; screen pictures, which arrive
// raw, do not. Every call is bounded: the device's io_timeout is what is left of the link's
// time-out, and the RPC waits at most a little longer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ktx_link.h"
#include "link_ops.h"
#include "link_settings.h"
#include "tcp_stream.h"
#include "vxi11_protocol.h"

namespace ktx::linklib {

namespace {

// How much longer than the device's io_timeout an RPC may take to come back.
constexpr int kRpcMarginMs = 400;
// Calls that do not wait for the instrument (create_link, destroy_link, the port mapper).
constexpr int kControlTimeoutMs = 3000;
// maxRecvSize must be at least this (VXI-11 rule B.6.3); a smaller answer is not trusted.
constexpr std::uint32_t kMinRecvSize = 1024;
// Record size of the RPC stream: a large read needs few system calls.
constexpr u_int kRpcBufferSize = 1 << 20;
// How much one device_read asks for.
constexpr std::size_t kReadAhead = std::size_t{4} << 20;

timeval Timeout(int ms) {
    return timeval{ms / 1000, (ms % 1000) * 1000};
}

// The response's first bytes say whether it is a raw screen picture (BMP, PNG or PCX), which
// must not get a line feed after its last byte.
bool LooksLikePicture(const std::string& start) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(start[i]); };
    if (start.size() >= 2 && start[0] == 'B' && start[1] == 'M') {
        return true;
    }
    if (start.size() >= 4 && at(0) == 0x89 && start.compare(1, 3, "PNG") == 0) {
        return true;
    }
    if (start.size() >= 4 && at(0) == 0x0A) {
        const unsigned version = at(1);
        const unsigned bits = at(3);
        return version <= 5 && version != 1 && at(2) == 1 &&
               (bits == 1 || bits == 2 || bits == 4 || bits == 8);
    }
    return false;
}

// libtirpc writes with write(): an instrument that has hung up would raise SIGPIPE, which ends
// a program that has not chosen to ignore it. The signal is held back for the calling thread
// during a call, and one it caused is taken away before the old mask returns.
class SigpipeGuard {
  public:
    SigpipeGuard() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe, &m_old);
    }
    ~SigpipeGuard() {
        sigset_t pending;
        sigpending(&pending);
        if (!m_wasPending && sigismember(&pending, SIGPIPE) == 1) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec now{0, 0};
            sigtimedwait(&pipe, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

  private:
    sigset_t m_old;
    bool m_wasPending = false;
};

// An RPC client on a connected socket; owns both.
class RpcClient {
  public:
    RpcClient(int fd, std::uint32_t program, std::uint32_t version) : m_fd(fd) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length);
        netbuf address{length, length, &peer};
        m_client = ::clnt_vc_create(fd, &address, program, version, kRpcBufferSize, kRpcBufferSize);
    }
    ~RpcClient() {
        if (m_client != nullptr) {
            clnt_destroy(m_client);
        }
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    RpcClient(const RpcClient&) = delete;
    RpcClient& operator=(const RpcClient&) = delete;

    bool Ok() const { return m_client != nullptr; }

    template <typename Args, typename Result>
    clnt_stat Call(std::uint32_t procedure, bool_t (*encode)(XDR*, Args*), Args& args,
                   bool_t (*decode)(XDR*, Result*), Result& result, int timeoutMs) {
        if (m_client == nullptr) {
            return RPC_CANTSEND;
        }
        const SigpipeGuard guard;
        return clnt_call(m_client, procedure, reinterpret_cast<xdrproc_t>(encode),
                         reinterpret_cast<char*>(&args), reinterpret_cast<xdrproc_t>(decode),
                         reinterpret_cast<char*>(&result), Timeout(timeoutMs));
    }

  private:
    int m_fd;
    CLIENT* m_client = nullptr;
};

class Vxi11Stream final : public ByteStream {
  public:
    Vxi11Stream(std::unique_ptr<RpcClient> client, std::int32_t linkId, std::uint32_t maxRecvSize)
        : m_client(std::move(client)), m_linkId(linkId), m_maxRecvSize(maxRecvSize) {}
    ~Vxi11Stream() override { Close(); }

    std::ptrdiff_t Send(std::string_view bytes, Clock::time_point deadline) override {
        if (m_client == nullptr) {
            return -1;
        }
        m_out.append(bytes);
        // A long message goes ahead in pieces; the last piece is kept for the END flag.
        while (m_out.size() > m_maxRecvSize) {
            const int written =
                WritePiece(std::string_view(m_out).substr(0, m_maxRecvSize), false, deadline);
            if (written <= 0) {
                m_out.clear();
                return written;
            }
            m_out.erase(0, static_cast<std::size_t>(written));
        }
        return static_cast<std::ptrdiff_t>(bytes.size());
    }

    bool EndOfMessage(Clock::time_point deadline) override {
        if (m_client == nullptr) {
            return false;
        }
        m_responseStart.clear();
        m_lineFeedOwed = false;
        std::string message;
        message.swap(m_out);
        std::string_view rest(message);
        do {
            const std::string_view piece = rest.substr(0, m_maxRecvSize);
            const bool last = piece.size() == rest.size();
            const int written = WritePiece(piece, last, deadline);
            if (written <= 0) {
                return false;
            }
            rest.remove_prefix(std::min(rest.size(), static_cast<std::size_t>(written)));
        } while (!rest.empty());
        return true;
    }

    std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) override {
        if (m_client == nullptr || size == 0) {
            return -1;
        }
        if (m_lineFeedOwed) {
            m_lineFeedOwed = false;
            buffer[0] = '\n';
            return 1;
        }
        if (m_inPos == m_in.size()) {
            // Each device_read is a round trip: ask for much at once and hand it out in the
            // caller's pieces (the device never sends past the end of its response).
            const std::ptrdiff_t n =
                size >= kReadAhead ? ReadDevice(buffer, size, deadline) : FillReadAhead(deadline);
            if (n <= 0 || size >= kReadAhead) {
                return n;
            }
        }
        const std::size_t take = std::min(size, m_in.size() - m_inPos);
        std::memcpy(buffer, m_in.data() + m_inPos, take);
        m_inPos += take;
        return static_cast<std::ptrdiff_t>(take);
    }

    // What was read ahead has arrived; asking the device costs a call that it may take as a
    // question with no answer, so what it still holds goes with the next read or a clear.
    void Drain(std::string& out) override {
        out.append(m_in.data() + m_inPos, m_in.size() - m_inPos);
        m_in.clear();
        m_inPos = 0;
        if (m_lineFeedOwed) {
            out += '\n';
            m_lineFeedOwed = false;
        }
    }

    bool ClearDevice(Clock::time_point deadline) override {
        if (m_client == nullptr) {
            return false;
        }
        m_out.clear();
        m_lineFeedOwed = false;
        m_responseStart.clear();
        m_in.clear();
        m_inPos = 0;
        const int ms = std::max(RemainingMs(deadline), 1);
        vxi11::GenericArgs args{m_linkId, 0, 0, static_cast<std::uint32_t>(ms)};
        std::int32_t error = -1;
        return m_client->Call(vxi11::kDeviceClear, &vxi11::XdrGenericArgs, args,
                              &vxi11::XdrDeviceError, error, ms + kRpcMarginMs) == RPC_SUCCESS &&
               error == vxi11::kNoError;
    }

    bool Close() override {
        if (m_client == nullptr) {
            return true;
        }
        std::int32_t linkId = m_linkId;
        std::int32_t error = -1;
        const bool ok =
            m_client->Call(vxi11::kDestroyLink, &vxi11::XdrLinkId, linkId, &vxi11::XdrDeviceError,
                           error, kControlTimeoutMs) == RPC_SUCCESS &&
            error == vxi11::kNoError;
        m_client.reset();
        return ok;
    }

  private:
    // Bytes of the device's response read ahead into m_in; 0 or -1 as Receive.
    std::ptrdiff_t FillReadAhead(Clock::time_point deadline) {
        m_in.resize(kReadAhead + 1);  // room for a line feed after the END byte
        m_inPos = 0;
        const std::ptrdiff_t n = ReadDevice(m_in.data(), kReadAhead, deadline);
        const std::size_t kept = n > 0 ? static_cast<std::size_t>(n) : 0;
        if (m_lineFeedOwed && kept > 0) {
            m_in[kept] = '\n';
            m_lineFeedOwed = false;
            m_in.resize(kept + 1);
        } else {
            m_in.resize(kept);
        }
        return n;
    }

    // One device_read of at most `size` bytes into buffer: how many came, 0 when none came in
    // time, -1 when the link broke. Notes a line feed owed after an END without one.
    std::ptrdiff_t ReadDevice(char* buffer, std::size_t size, Clock::time_point deadline) {
        const int ms = RemainingMs(deadline);
        if (ms == 0) {
            return 0;
        }
        vxi11::ReadArgs args;
        args.linkId = m_linkId;
        args.requestSize = static_cast<std::uint32_t>(std::min<std::size_t>(size, 0x7FFFFFFF));
        args.ioTimeout = static_cast<std::uint32_t>(ms);
        vxi11::ReadResult result;
        result.buffer = buffer;
        result.capacity = args.requestSize;
        const clnt_stat status = m_client->Call(vxi11::kDeviceRead, &vxi11::XdrReadArgs, args,
                                                &vxi11::XdrReadResult, result, ms + kRpcMarginMs);
        if (status == RPC_TIMEDOUT) {
            return 0;  // the device did not even answer the call; a late reply is skipped
        }
        if (status != RPC_SUCCESS) {
            return -1;
        }
        if (result.error == vxi11::kIoTimeout) {
            return 0;
        }
        if (result.error != vxi11::kNoError) {
            std::fprintf(stderr, "ktx_vxi: device_read failed with error %d\n", result.error);
            return -1;
        }
        if (m_responseStart.size() < 8) {
            m_responseStart.append(buffer, std::min<std::size_t>(result.size, 8));
        }
        if ((result.reason & vxi11::kReasonEnd) != 0) {
            const bool terminated = result.size > 0 && buffer[result.size - 1] == '\n';
            const bool picture = LooksLikePicture(m_responseStart);
            m_responseStart.clear();
            if (!terminated && !picture) {
                if (result.size == 0) {
                    buffer[0] = '\n';  // an empty answer
                    return 1;
                }
                m_lineFeedOwed = true;
            }
        }
        // Nothing and no end either: the caller asks again until its deadline.
        return static_cast<std::ptrdiff_t>(result.size);
    }

    // device_write of one piece: bytes the device took, 0 on a time-out, -1 when it failed.
    int WritePiece(std::string_view piece, bool end, Clock::time_point deadline) {
        const int ms = std::max(RemainingMs(deadline), 1);
        vxi11::WriteArgs args;
        args.linkId = m_linkId;
        args.ioTimeout = static_cast<std::uint32_t>(ms);
        args.flags = end ? vxi11::kFlagEnd : 0;
        args.data = piece.data();
        args.size = static_cast<std::uint32_t>(piece.size());
        vxi11::WriteResult result;
        const clnt_stat status = m_client->Call(vxi11::kDeviceWrite, &vxi11::XdrWriteArgs, args,
                                                &vxi11::XdrWriteResult, result, ms + kRpcMarginMs);
        if (status == RPC_TIMEDOUT ||
            (status == RPC_SUCCESS && result.error == vxi11::kIoTimeout)) {
            return 0;
        }
        if (status != RPC_SUCCESS || result.error != vxi11::kNoError) {
            return -1;
        }
        if (piece.empty()) {
            return 1;  // an empty message ended: nothing to take
        }
        // A device that took nothing, or claims more than it was given, is broken.
        if (result.size == 0 || result.size > piece.size()) {
            return -1;
        }
        // Taking part of a piece with END is allowed; the rest follows in the next call, which
        // carries the END flag itself.
        return static_cast<int>(result.size);
    }

    std::unique_ptr<RpcClient> m_client;
    std::int32_t m_linkId;
    std::uint32_t m_maxRecvSize;
    std::string m_out;            // the message being collected
    std::string m_responseStart;  // first bytes of the response being read
    bool m_lineFeedOwed = false;
    std::vector<char> m_in;  // read ahead, handed out from m_inPos
    std::size_t m_inPos = 0;
};

// The core channel's port from the port mapper of `host`; 0 with the cause in `failure`.
int CorePortFromPortMapper(const std::string& host, LinkStatus& failure) {
    const int fd = ConnectTcp(host, vxi11::kPortMapperPort, kConnectTimeoutMs, "ktx_vxi", failure);
    if (fd < 0) {
        return 0;
    }
    RpcClient mapper(fd, vxi11::kPortMapperProgram, vxi11::kPortMapperVersion);
    vxi11::PortMapping mapping{vxi11::kCoreProgram, vxi11::kCoreVersion, vxi11::kIpProtocolTcp, 0};
    std::uint32_t port = 0;
    const clnt_stat status = mapper.Call(vxi11::kPortMapperGetPort, &vxi11::XdrPortMapping, mapping,
                                         &vxi11::XdrUnsigned, port, kControlTimeoutMs);
    if (status != RPC_SUCCESS || port == 0 || port > 65535) {
        std::fprintf(stderr, "ktx_vxi: the port mapper of %s knows no VXI-11 core channel (%s)\n",
                     host.c_str(), ::clnt_sperrno(status));
        failure = status == RPC_TIMEDOUT ? LinkStatus{KTX_LINK_E_TIMEOUT, kControlTimeoutMs, 0}
                                         : LinkStatus{KTX_LINK_E_NOT_FOUND, 0, 0};
        return 0;
    }
    return static_cast<int>(port);
}

std::unique_ptr<ByteStream> OpenVxi11(const char* configPath, bool /*askUser*/, std::int32_t* port,
                                      LinkStatus& failure) {
    const LinkSettings settings(configPath, "VXI11");
    settings.WriteDefaultsIfMissing({{"HOST", "127.0.0.1"}, {"DEVICE", "inst0"}});
    const std::string host = settings.Text("HOST", "127.0.0.1");
    const std::string device = settings.Text("DEVICE", "inst0");
    const long fixedPort = settings.Integer("PORT", 0);
    if (host.empty() || device.empty() || device.size() > 255 || fixedPort < 0 ||
        fixedPort > 65535) {
        std::fprintf(stderr, "ktx_vxi: [VXI11] HOST/DEVICE/PORT invalid: \"%s\" \"%s\" %ld\n",
                     host.c_str(), device.c_str(), fixedPort);
        failure = {KTX_LINK_E_SETTINGS, 0, 0};
        return nullptr;
    }
    const int corePort =
        fixedPort != 0 ? static_cast<int>(fixedPort) : CorePortFromPortMapper(host, failure);
    if (corePort == 0) {
        return nullptr;
    }
    const int fd = ConnectTcp(host, corePort, kConnectTimeoutMs, "ktx_vxi", failure);
    if (fd < 0) {
        return nullptr;
    }
    auto client = std::make_unique<RpcClient>(fd, vxi11::kCoreProgram, vxi11::kCoreVersion);
    if (!client->Ok()) {
        std::fprintf(stderr, "ktx_vxi: no RPC client for %s:%d\n", host.c_str(), corePort);
        failure = {KTX_LINK_E_SYSTEM, 0, 0};
        return nullptr;
    }
    vxi11::CreateLinkArgs args;
    args.clientId = static_cast<std::int32_t>(::getpid());
    args.device = device;
    vxi11::CreateLinkResult result;
    const clnt_stat status = client->Call(vxi11::kCreateLink, &vxi11::XdrCreateLinkArgs, args,
                                          &vxi11::XdrCreateLinkResult, result, kControlTimeoutMs);
    if (status != RPC_SUCCESS) {
        std::fprintf(stderr, "ktx_vxi: create_link at %s:%d failed: %s\n", host.c_str(), corePort,
                     ::clnt_sperrno(status));
        failure = status == RPC_TIMEDOUT ? LinkStatus{KTX_LINK_E_TIMEOUT, kControlTimeoutMs, 0}
                                         : LinkStatus{KTX_LINK_E_PROTOCOL, 0, 0};
        return nullptr;
    }
    if (result.error != vxi11::kNoError) {
        std::fprintf(stderr, "ktx_vxi: %s:%d refuses the device \"%s\" (error %d)\n", host.c_str(),
                     corePort, device.c_str(), result.error);
        failure = {vxi11::OpenFailureForError(result.error), 0, 0};
        return nullptr;
    }
    *port = corePort;
    return std::make_unique<Vxi11Stream>(std::move(client), result.linkId,
                                         std::max(result.maxRecvSize, kMinRecvSize));
}

}  // namespace

}  // namespace ktx::linklib

extern "C" KTX_LINK_EXPORT const KtxLinkOps* ktx_link_ops(void) {
    return ktx::linklib::LinkOpsFor(&ktx::linklib::OpenVxi11);
}

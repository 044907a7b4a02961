// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's VXI-11 core channel and port mapper.
#include "vxi11_server.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>

#include "answer_queue.h"
#include "instrument_state.h"
#include "onc_rpc.h"
#include "sim_session.h"

namespace ktx::sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kCoreProgram = 0x0607AF;
constexpr std::uint32_t kCoreVersion = 1;
constexpr std::uint32_t kPortMapperProgram = 100000;
constexpr std::uint32_t kPortMapperVersion = 2;
constexpr std::uint32_t kIpProtocolTcp = 6;

// Core procedures.
constexpr std::uint32_t kCreateLink = 10;
constexpr std::uint32_t kDeviceWrite = 11;
constexpr std::uint32_t kDeviceRead = 12;
constexpr std::uint32_t kDeviceReadStb = 13;
constexpr std::uint32_t kDeviceClear = 15;
constexpr std::uint32_t kDeviceDoCmd = 22;
constexpr std::uint32_t kDestroyLink = 23;
constexpr std::uint32_t kCreateInterruptChannel = 25;
constexpr std::uint32_t kDestroyInterruptChannel = 26;

constexpr std::int32_t kFlagEnd = 8;
constexpr std::int32_t kFlagTermCharSet = 128;
constexpr std::int32_t kReasonRequestCount = 1;
constexpr std::int32_t kReasonTermChar = 2;
constexpr std::int32_t kReasonEnd = 4;

constexpr std::int32_t kNoError = 0;
constexpr std::int32_t kDeviceNotAccessible = 3;
constexpr std::int32_t kInvalidLinkId = 4;
constexpr std::int32_t kParameterError = 5;
constexpr std::int32_t kOperationNotSupported = 8;
constexpr std::int32_t kOutOfResources = 9;
constexpr std::int32_t kIoTimeout = 15;

// The one device name the simulated instrument answers to (case does not matter).
constexpr std::string_view kDeviceName = "inst0";
constexpr std::size_t kMaxDeviceName = 256;
// A device_read returns at most this much, whatever the client asks for.
constexpr std::uint32_t kMaxReadBytes = std::uint32_t{8} << 20;

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

int ListenOn(const std::string& host, int port, std::string& error, int& boundPort) {
    if (port < 0 || port > 65535) {
        error = "invalid port";
        return -1;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;  // never a name lookup
    addrinfo* info = nullptr;
    const std::string numericHost = host == "localhost" ? "127.0.0.1" : host;
    const std::string service = std::to_string(port);
    if (getaddrinfo(numericHost.c_str(), service.c_str(), &hints, &info) != 0 || info == nullptr) {
        error = "not a numeric address: " + host;
        return -1;
    }
    const int fd = socket(info->ai_family, info->ai_socktype | SOCK_CLOEXEC, info->ai_protocol);
    if (fd < 0) {
        freeaddrinfo(info);
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, info->ai_addr, info->ai_addrlen) != 0 || listen(fd, 16) != 0) {
        error = "bind " + service + ": " + std::strerror(errno);
        freeaddrinfo(info);
        close(fd);
        return -1;
    }
    freeaddrinfo(info);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    boundPort = bound.ss_family == AF_INET6
                    ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                    : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
    return fd;
}

std::string DeviceError(std::int32_t error) {
    rpc::XdrWriter w;
    w.PutInt(error);
    return std::move(w.Bytes());
}

}  // namespace

// One TCP connection: a port mapper client or a core channel with its links.
class Vxi11Server::Connection {
  public:
    struct Link {
        Link(InstrumentState& instrument, const FaultSwitches& faults)
            : session(instrument, faults), answers(session.Faults()) {}
        SimSession session;
        AnswerQueue answers;
    };
    // A device_read waiting for its answer.
    struct PendingRead {
        std::uint32_t xid = 0;
        std::int32_t linkId = 0;
        std::uint32_t requestSize = 0;
        bool termCharSet = false;
        char termChar = '\n';
        Clock::time_point deadline;
    };

    Connection(int fd, bool portMapper, Vxi11Server& server)
        : m_fd(fd), m_portMapper(portMapper), m_server(server), m_records(kMaxRecvSize + 4096) {}
    ~Connection() { close(m_fd); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int Fd() const { return m_fd; }
    bool WantsInput() const { return !m_read && m_outbox.size() - m_sent < kMaxHeldBytes; }
    bool WantsOutput() const { return m_sent < m_outbox.size(); }

    // When this connection must be looked at again without any input: its waiting read's
    // answer falls due, or its io_timeout runs out.
    std::optional<Clock::time_point> NextWake() const {
        if (!m_read) {
            return std::nullopt;
        }
        Clock::time_point wake = m_read->deadline;
        if (const auto it = m_links.find(m_read->linkId); it != m_links.end()) {
            if (const auto due = it->second->answers.NextDue()) {
                wake = std::min(wake, *due);
            }
        }
        return wake;
    }

    // Reads and handles what came; false when the connection is to be closed.
    bool ReadInput(Clock::time_point now) {
        char buffer[65536];
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            return false;
        }
        if (n > 0) {
            m_records.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
        }
        return HandleRecords(now);
    }

    bool HandleRecords(Clock::time_point now) {
        while (!m_read && !m_hangUp) {
            std::optional<std::string> record = m_records.Next();
            if (!record) {
                break;
            }
            const std::optional<rpc::Call> call = rpc::ParseCall(*record);
            if (!call) {
                return false;  // not RPC: nothing sensible can follow on this stream
            }
            if (m_portMapper) {
                HandlePortMapper(*call);
            } else {
                HandleCore(*call, now);
            }
        }
        return !m_records.Broken();
    }

    // Finishes a waiting read whose answer has come or whose time is up.
    void Poll(Clock::time_point now) {
        if (m_read) {
            TryFinishRead(now);
        }
    }

    // Sends what waits; false when the connection is to be closed.
    bool WriteOutput() {
        while (m_sent < m_outbox.size()) {
            const ssize_t n =
                send(m_fd, m_outbox.data() + m_sent, m_outbox.size() - m_sent, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                    return true;
                }
                return false;
            }
            m_sent += static_cast<std::size_t>(n);
        }
        m_outbox.clear();
        m_sent = 0;
        return !m_hangUp;  // the drop switch: hang up once its bytes have gone
    }

  private:
    void Send(std::string reply) {
        if (m_sent == m_outbox.size()) {
            m_outbox.clear();
            m_sent = 0;
        }
        m_outbox += reply;
    }

    void HandlePortMapper(const rpc::Call& call) {
        if (call.program != kPortMapperProgram) {
            Send(rpc::Reply(call.xid, rpc::Accept::ProgramUnavailable));
            return;
        }
        if (call.version != kPortMapperVersion) {
            Send(rpc::Reply(call.xid, rpc::Accept::ProgramMismatch, {}, kPortMapperVersion,
                            kPortMapperVersion));
            return;
        }
        rpc::XdrReader args(call.arguments);
        rpc::XdrWriter result;
        switch (call.procedure) {
            case 0:  // NULL
                break;
            case 1:  // SET and UNSET: nobody else registers here
            case 2:
                result.PutUint(0);
                break;
            case 3: {  // GETPORT
                const auto program = args.Uint();
                const auto version = args.Uint();
                const auto protocol = args.Uint();
                if (!args.Uint()) {
                    Send(rpc::Reply(call.xid, rpc::Accept::GarbageArguments));
                    return;
                }
                const bool core = *program == kCoreProgram && *version == kCoreVersion &&
                                  *protocol == kIpProtocolTcp;
                result.PutUint(core ? static_cast<std::uint32_t>(m_server.m_corePort) : 0);
                break;
            }
            case 4:  // DUMP: the one mapping
                result.PutUint(1);
                result.PutUint(kCoreProgram);
                result.PutUint(kCoreVersion);
                result.PutUint(kIpProtocolTcp);
                result.PutUint(static_cast<std::uint32_t>(m_server.m_corePort));
                result.PutUint(0);
                break;
            default:
                Send(rpc::Reply(call.xid, rpc::Accept::ProcedureUnavailable));
                return;
        }
        Send(rpc::Reply(call.xid, rpc::Accept::Success, result.Bytes()));
    }

    Link* FindLink(std::int32_t id) {
        const auto it = m_links.find(id);
        return it == m_links.end() ? nullptr : it->second.get();
    }

    void HandleCore(const rpc::Call& call, Clock::time_point now) {
        if (call.program != kCoreProgram) {
            Send(rpc::Reply(call.xid, rpc::Accept::ProgramUnavailable));
            return;
        }
        if (call.version != kCoreVersion) {
            Send(
                rpc::Reply(call.xid, rpc::Accept::ProgramMismatch, {}, kCoreVersion, kCoreVersion));
            return;
        }
        rpc::XdrReader args(call.arguments);
        const auto garbage = [&] { Send(rpc::Reply(call.xid, rpc::Accept::GarbageArguments)); };
        const auto reply = [&](const std::string& results) {
            Send(rpc::Reply(call.xid, rpc::Accept::Success, results));
        };
        switch (call.procedure) {
            case kCreateLink: {
                args.Int();   // client id
                args.Int();   // lock device
                args.Uint();  // lock timeout
                const auto device = args.Opaque(kMaxDeviceName);
                if (!device) {
                    return garbage();
                }
                rpc::XdrWriter result;
                std::int32_t error = kNoError;
                std::int32_t id = 0;
                if (!SameText(*device, kDeviceName)) {
                    error = kDeviceNotAccessible;
                } else if (m_links.size() >= kMaxLinksPerConnection) {
                    error = kOutOfResources;
                } else {
                    id = m_server.m_nextLinkId++;
                    m_links[id] = std::make_unique<Link>(*m_server.m_instrument, m_server.m_faults);
                }
                result.PutInt(error);
                result.PutInt(id);
                result.PutUint(0);  // no abort channel
                result.PutUint(kMaxRecvSize);
                return reply(result.Bytes());
            }
            case kDeviceWrite: {
                const auto id = args.Int();
                args.Uint();  // io timeout: the simulator takes everything at once
                args.Uint();  // lock timeout
                const auto flags = args.Int();
                const auto data = args.Opaque(kMaxRecvSize);
                if (!data || !flags) {
                    return garbage();
                }
                Link* link = FindLink(*id);
                rpc::XdrWriter result;
                if (link == nullptr) {
                    result.PutInt(kInvalidLinkId);
                    result.PutUint(0);
                } else {
                    // A new message while a large response waits unread: the response goes, as
                    // an IEEE 488.2 device's output queue does when its query is interrupted,
                    // so a host that never reads cannot make the simulator hold more and more.
                    if (link->answers.Held() > kMaxHeldBytes) {
                        link->answers.Clear();
                    }
                    link->session.Receive(*data);
                    if ((*flags & kFlagEnd) != 0) {
                        link->session.EndOfMessage();
                    }
                    Collect(*link, now);
                    result.PutInt(kNoError);
                    result.PutUint(static_cast<std::uint32_t>(data->size()));
                }
                return reply(result.Bytes());
            }
            case kDeviceRead: {
                const auto id = args.Int();
                const auto size = args.Uint();
                const auto ioTimeout = args.Uint();
                args.Uint();  // lock timeout
                const auto flags = args.Int();
                const auto termChar = args.Int();
                if (!termChar) {
                    return garbage();
                }
                if (FindLink(*id) == nullptr) {
                    rpc::XdrWriter result;
                    result.PutInt(kInvalidLinkId);
                    result.PutInt(0);
                    result.PutOpaque({});
                    return reply(result.Bytes());
                }
                PendingRead read;
                read.xid = call.xid;
                read.linkId = *id;
                read.requestSize = std::min(*size, kMaxReadBytes);
                read.termCharSet = (*flags & kFlagTermCharSet) != 0;
                read.termChar = static_cast<char>(*termChar);
                read.deadline = now + std::chrono::milliseconds(*ioTimeout);
                m_read = read;
                TryFinishRead(now);
                return;
            }
            case kDeviceReadStb: {
                const auto id = args.Int();
                rpc::XdrWriter result;
                result.PutInt(id && FindLink(*id) != nullptr ? kNoError : kInvalidLinkId);
                result.PutUint(0);  // status byte
                return reply(result.Bytes());
            }
            case kDeviceClear: {
                const auto id = args.Int();
                Link* link = id ? FindLink(*id) : nullptr;
                if (link != nullptr) {
                    link->session.DeviceClear();
                    link->answers.Clear();
                }
                return reply(DeviceError(link != nullptr ? kNoError : kInvalidLinkId));
            }
            case kDestroyLink: {
                const auto id = args.Int();
                const bool known = id && m_links.erase(*id) > 0;
                return reply(DeviceError(known ? kNoError : kInvalidLinkId));
            }
            case kDeviceDoCmd: {
                rpc::XdrWriter result;
                result.PutInt(kOperationNotSupported);
                result.PutOpaque({});
                return reply(result.Bytes());
            }
            case kCreateInterruptChannel:
            case kDestroyInterruptChannel:
                return reply(DeviceError(kOperationNotSupported));
            case 14:  // device_trigger, device_remote, device_local, device_lock,
            case 16:  // device_unlock, device_enable_srq: nothing to do for the simulator
            case 17:
            case 18:
            case 19:
            case 20:
                return reply(DeviceError(kNoError));
            default:
                Send(rpc::Reply(call.xid, rpc::Accept::ProcedureUnavailable));
                return;
        }
    }

    void Collect(Link& link, Clock::time_point now) {
        link.answers.Push(link.session.TakeOutput(), now);
        for (auto& [ms, bytes] : link.session.TakeLater()) {
            link.answers.Push(std::move(bytes), now + std::chrono::milliseconds(ms));
        }
    }

    void TryFinishRead(Clock::time_point now) {
        PendingRead& read = *m_read;
        Link* link = FindLink(read.linkId);
        std::string data;
        std::int32_t reason = 0;
        while (link != nullptr && data.size() < read.requestSize) {
            const std::string_view due = link->answers.Due(now);
            if (due.empty()) {
                break;
            }
            std::size_t take = std::min<std::size_t>(due.size(), read.requestSize - data.size());
            if (read.termCharSet) {
                const std::size_t at = due.substr(0, take).find(read.termChar);
                if (at != std::string_view::npos) {
                    take = at + 1;
                    reason |= kReasonTermChar;
                }
            }
            data.append(due.substr(0, take));
            link->answers.Consumed(take, now);
            if (link->answers.Dropped()) {
                m_hangUp = true;  // the broken instrument hangs up after these bytes
                break;
            }
            if ((reason & kReasonTermChar) != 0) {
                break;
            }
        }
        if (data.empty() && !m_hangUp && now < read.deadline && link != nullptr) {
            return;  // keeps waiting
        }
        rpc::XdrWriter result;
        if (link == nullptr) {
            result.PutInt(kInvalidLinkId);
        } else if (data.empty() && !m_hangUp) {
            result.PutInt(kIoTimeout);
        } else {
            result.PutInt(kNoError);
            if (data.size() == read.requestSize) {
                reason |= kReasonRequestCount;
            }
            if (link->answers.Empty()) {
                reason |= kReasonEnd;  // everything the instrument had to say has gone
            }
        }
        result.PutInt(reason);
        result.PutOpaque(data);
        Send(rpc::Reply(read.xid, rpc::Accept::Success, result.Bytes()));
        m_read.reset();
    }

    int m_fd;
    bool m_portMapper;
    Vxi11Server& m_server;
    rpc::RecordAssembler m_records;
    std::string m_outbox;
    std::size_t m_sent = 0;
    std::map<std::int32_t, std::unique_ptr<Link>> m_links;
    std::optional<PendingRead> m_read;
    bool m_hangUp = false;
};

Vxi11Server::Vxi11Server(SimConfig config, const FaultSwitches& faults)
    : m_instrument(std::make_unique<InstrumentState>(std::move(config))), m_faults(faults) {}

Vxi11Server::~Vxi11Server() {
    m_connections.clear();
    for (const int fd : {m_coreFd, m_mapperFd}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool Vxi11Server::ListenCore(const std::string& host, int port, std::string& error) {
    m_coreFd = ListenOn(host, port, error, m_corePort);
    m_host = host;
    return m_coreFd >= 0;
}

bool Vxi11Server::ListenPortMapper(const std::string& host, int port, std::string& error) {
    m_mapperFd = ListenOn(host, port, error, m_mapperPort);
    return m_mapperFd >= 0;
}

std::string Vxi11Server::Announcement() const {
    return "VXI11 " + m_host + ":" + std::to_string(m_corePort) + " PORTMAPPER " +
           (m_mapperFd >= 0 ? std::to_string(m_mapperPort) : "-");
}

void Vxi11Server::Accept(int listenFd, bool portMapper) {
    const int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) {
        return;
    }
    if (m_connections.size() >= kMaxConnections) {
        close(client);
        return;
    }
    m_connections.push_back(std::make_unique<Connection>(client, portMapper, *this));
}

int Vxi11Server::Run(int stopFd, int stdinFd) {
    while (true) {
        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        fds.push_back({stdinFd, static_cast<short>(stdinFd >= 0 ? POLLIN : 0), 0});
        fds.push_back({m_coreFd, POLLIN, 0});
        fds.push_back({m_mapperFd, POLLIN, 0});
        constexpr std::size_t kFirstConnection = 4;
        const Clock::time_point now = Clock::now();
        int timeoutMs = -1;
        for (const auto& connection : m_connections) {
            short events = connection->WantsInput() ? POLLIN : 0;
            if (connection->WantsOutput()) {
                events |= POLLOUT;
            }
            if (const auto wake = connection->NextWake()) {
                const auto wait = std::max<long long>(
                    0,
                    std::chrono::duration_cast<std::chrono::milliseconds>(*wake - now).count() + 1);
                timeoutMs = timeoutMs < 0 ? static_cast<int>(wait)
                                          : std::min(timeoutMs, static_cast<int>(wait));
            }
            fds.push_back({connection->Fd(), events, 0});
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
        if (stdinFd >= 0 && fds[1].revents != 0) {
            char buffer[256];
            const ssize_t n = read(stdinFd, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                return 0;
            }
        }
        const Clock::time_point later = Clock::now();
        std::vector<Connection*> closing;
        for (std::size_t i = kFirstConnection; i < fds.size(); ++i) {
            Connection& connection = *m_connections[i - kFirstConnection];
            bool keep = true;
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && connection.WantsInput()) {
                keep = connection.ReadInput(later);
            } else if ((fds[i].revents & (POLLHUP | POLLERR)) != 0) {
                keep = false;
            }
            if (keep) {
                connection.Poll(later);
                keep = connection.HandleRecords(later) && connection.WriteOutput();
            }
            if (!keep) {
                closing.push_back(&connection);
            }
        }
        for (Connection* connection : closing) {
            m_connections.erase(std::find_if(m_connections.begin(), m_connections.end(),
                                             [&](const auto& c) { return c.get() == connection; }));
        }
        if (m_coreFd >= 0 && fds[2].revents != 0) {
            Accept(m_coreFd, false);
        }
        if (m_mapperFd >= 0 && fds[3].revents != 0) {
            Accept(m_mapperFd, true);
        }
    }
}

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// Carries one simulated instrument over VXI-11, as a LAN instrument without a raw socket port
// does: the core channel (create_link, device_write, device_read, device_clear, destroy_link
// and the other core calls answered harmlessly) on a TCP port of its own, and a port mapper
// that names that port, when the port mapper's port (111) can be had.
//
// Each link has its own SimSession and AnswerQueue, like a connection of the TCP server:
// settings, waveforms and files are shared, fault switches and answers are the link's. A
// device_read waits for the link's answer up to its io_timeout (answers held back by the delay
// switch fall due while it waits) and marks the response's last byte with END: the answer
// ends when everything the instrument produced has gone. The drop switch hangs up the
// connection after its bytes. Records are bounded by the maxRecvSize the links announce.
//
// Single-threaded: Run() serves every connection from one poll() loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim_instrument.h"

namespace ktx::sim {

struct InstrumentState;

class Vxi11Server {
  public:
    static constexpr std::size_t kMaxConnections = 16;
    static constexpr std::size_t kMaxLinksPerConnection = 16;
    // What create_link announces as maxRecvSize: the largest device_write the server takes.
    static constexpr std::uint32_t kMaxRecvSize = std::uint32_t{1} << 20;
    // A connection is not read from while more than this waits to go out to it, and a link's
    // answers that wait unread beyond it are dropped when its next message comes.
    static constexpr std::size_t kMaxHeldBytes = std::size_t{4} << 20;

    Vxi11Server(SimConfig config, const FaultSwitches& faults);
    ~Vxi11Server();
    Vxi11Server(const Vxi11Server&) = delete;
    Vxi11Server& operator=(const Vxi11Server&) = delete;

    // The core channel on host:port (numeric address; port 0 = any free port).
    bool ListenCore(const std::string& host, int port, std::string& error);
    // The port mapper on host:port (111 for real clients). False when the port is taken.
    bool ListenPortMapper(const std::string& host, int port, std::string& error);

    // "VXI11 127.0.0.1:<core port> PORTMAPPER <port>" ("PORTMAPPER -" without one).
    std::string Announcement() const;

    // Serves until `stopFd` becomes readable or, with `stdinFd` >= 0, that descriptor reports
    // end of file. Returns 0, or 1 on a fatal error.
    int Run(int stopFd, int stdinFd);

  private:
    class Connection;
    void Accept(int listenFd, bool portMapper);

    std::unique_ptr<InstrumentState> m_instrument;
    FaultSwitches m_faults;
    std::vector<std::unique_ptr<Connection>> m_connections;
    int m_coreFd = -1;
    int m_mapperFd = -1;
    std::string m_host;
    int m_corePort = 0;
    int m_mapperPort = 0;
    std::int32_t m_nextLinkId = 1;
};

}  // namespace ktx::sim

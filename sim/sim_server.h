// SPDX-License-Identifier: GPL-3.0-or-later
// Carries one simulated instrument over a TCP socket or a pseudo-terminal (POSIX). It also
// applies the carrier faults of FaultSwitches: each answer held back delayMs, the connection
// closed after dropAfterBytes answer bytes, counted from the start of the connection or from
// the moment the switch changed (on a pseudo-terminal, which cannot be closed from this side,
// the line goes dead instead).
//
// Single-threaded: Run() blocks until told to stop.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "sim_instrument.h"

namespace ktx::sim {

class SimServer {
  public:
    // The instrument is borrowed and must outlive the server.
    explicit SimServer(SimInstrument& instrument);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Listens on host:port (numeric address; port 0 = any free port). Clients are served one
    // after another; each new connection starts with a fresh parse state.
    bool ListenTcp(const std::string& host, int port, std::string& error);
    // Creates a pseudo-terminal in raw mode and makes `linkPath` a symbolic link to its
    // device; the link is removed again when the server ends. An existing file that is not
    // a symbolic link is left alone (error).
    bool OpenPty(const std::string& linkPath, std::string& error);

    // The line announced on start: "LISTEN 127.0.0.1:5025" or "PTY /tmp/ktx-sim".
    std::string Announcement() const;

    // Serves until `stopFd` becomes readable (a signal's self-pipe) or, with `stdinFd` >= 0,
    // until that descriptor reports end of file. Returns 0, or 1 on a fatal error.
    int Run(int stopFd, int stdinFd);

  private:
    struct Chunk {
        std::string bytes;
        std::size_t sent = 0;
        std::chrono::steady_clock::time_point readyAt;
    };
    void CollectOutput();
    bool ReadClient();   // false: the peer has gone
    bool WriteClient();  // false: the connection must be closed
    void CloseClient();

    SimInstrument& m_instrument;
    int m_listenFd = -1;
    int m_clientFd = -1;
    int m_ptyMaster = -1;
    int m_ptyHold = -1;  // our own slave descriptor: the master never sees a hang-up
    std::string m_host;
    int m_port = 0;
    std::string m_ptyLink;
    std::string m_ptyDevice;
    std::deque<Chunk> m_pending;
    std::int64_t m_sentOnConnection = 0;  // answer bytes since the connection or drop switch
    std::int64_t m_dropSeen = -1;         // dropAfterBytes when last looked at
    bool m_lineDead = false;
};

}  // namespace ktx::sim

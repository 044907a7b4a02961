// SPDX-License-Identifier: GPL-3.0-or-later
// Carries one simulated instrument over TCP or a pseudo-terminal (POSIX), as a lab instrument
// on a LAN: up to kMaxConnections TCP clients at once against one instrument state. Each
// connection has its own SimSession (framing, ";" path, answers, fault switches) and its own
// AnswerQueue (delay, drip, drop counted per connection); settings, waveforms and files are
// shared. A message of one connection runs whole, never interleaved with another's commands.
//
// Memory a slow reader can make the server hold is bounded: a connection's next message is not
// read while more than kMaxHeldBytes of its answers wait (the host's own socket buffer then
// fills and it blocks, as with a real instrument), and one message's answers are refused above
// InstrumentState::kMaxAnswerBytes. A client beyond the limit is accepted and closed at once,
// so it fails fast instead of waiting.
//
// On a pseudo-terminal, which cannot be closed from this side, the dropped line goes dead
// instead (until "KTXSIM:DROP -1" arrives).
//
// Single-threaded: Run() serves every connection from one poll() loop until told to stop.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "sim_instrument.h"

namespace ktx::sim {

struct InstrumentState;

class SimServer {
  public:
    static constexpr std::size_t kMaxConnections = 16;
    static constexpr std::size_t kMaxHeldBytes = std::size_t{4} << 20;

    // The instrument all connections share, and the fault switches each one starts with.
    SimServer(SimConfig config, const FaultSwitches& faults);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Listens on host:port (numeric address; port 0 = any free port).
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
    // The type-19 family starts its hard copies itself: the user presses the hard-copy button
    // every `ms` milliseconds (0: never), and each connection that is between messages gets
    // the picture unasked.
    void PressHardcopyButtonEvery(int ms) { m_buttonMs = ms; }

  private:
    class Connection;
    int m_buttonMs = 0;
    void Accept();
    void Serve(Connection& connection, short revents);

    std::unique_ptr<InstrumentState> m_instrument;
    FaultSwitches m_faults;
    std::vector<std::unique_ptr<Connection>> m_connections;
    int m_listenFd = -1;
    int m_ptyMaster = -1;
    int m_ptyHold = -1;  // our own slave descriptor: the master never sees a hang-up
    std::string m_host;
    int m_port = 0;
    std::string m_ptyLink;
    std::string m_ptyDevice;
};

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// Carries the emulated Prologix-style adapter (and the simulated instrument behind it) over TCP,
// as a GPIB-ETHERNET controller does (one host at a time; a further one is closed at once), or
// over a pseudo-terminal, as a GPIB-USB controller's serial port. The instrument's state lives
// as long as the server; each TCP connection meets a freshly powered adapter.
//
// Single-threaded: Run() serves from one poll() loop.
#pragma once

#include <memory>
#include <string>

#include "sim_instrument.h"

namespace ktx::sim {

struct InstrumentState;
class PrologixAdapter;

class PrologixServer {
  public:
    PrologixServer(SimConfig config, const FaultSwitches& faults, int gpibAddress);
    ~PrologixServer();
    PrologixServer(const PrologixServer&) = delete;
    PrologixServer& operator=(const PrologixServer&) = delete;

    bool ListenTcp(const std::string& host, int port, std::string& error);
    // Makes `linkPath` a symbolic link to a new raw pseudo-terminal (removed at the end).
    bool OpenPty(const std::string& linkPath, std::string& error);
    // "PROLOGIX 127.0.0.1:<port>" or "PROLOGIX-PTY <path>".
    std::string Announcement() const;
    int Run(int stopFd, int stdinFd);

  private:
    bool ServeHost(short revents);
    void DropHost();

    std::unique_ptr<InstrumentState> m_instrument;
    FaultSwitches m_faults;
    int m_gpibAddress;
    std::unique_ptr<PrologixAdapter> m_adapter;
    int m_listenFd = -1;
    int m_hostFd = -1;
    int m_ptyHold = -1;
    bool m_lineDead = false;  // the pseudo-terminal's line after the drop switch
    std::string m_host;
    int m_port = 0;
    std::string m_ptyLink;
    std::string m_ptyDevice;
};

}  // namespace ktx::sim

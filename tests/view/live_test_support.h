// SPDX-License-Identifier: GPL-3.0-or-later
// The live display's tests talk to the simulated instrument in-process (ktx_sim.so) or to a
// ktx-sim server over TCP (ktx_tcp.so), through the program's own transport.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "link/command_transport.h"
#include "test_files.h"

namespace ktx::test {

// ktx-sim listening on a free port of 127.0.0.1; it ends when the object goes.
class SimProcess {
  public:
    explicit SimProcess(const std::string& options);
    ~SimProcess();
    int Port() const { return m_port; }

  private:
    FILE* m_pipe = nullptr;
    int m_port = 0;
};

enum class SimCarrier { InProcess, Tcp };

// An open link to a simulated instrument of `type`.
class LiveLink {
  public:
    LiveLink(const TempDir& dir, SimCarrier carrier, int type = 1,
             CommandTransport::WaitFunction wait = {}, int linkType = 4);
    CommandTransport& Transport() { return m_transport; }
    RecordingNotifier& Notes() { return m_notes; }
    // The commands the instrument received since the last call, "|" between them.
    std::string Log();

  private:
    const TempDir& m_dir;
    std::unique_ptr<SimProcess> m_server;
    RecordingNotifier m_notes;
    CommandTransport m_transport;
};

}  // namespace ktx::test

// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument in-process for the logger and scanner tests, with its command log.
#pragma once

#include <string>

#include "link/command_transport.h"
#include "test_files.h"

namespace ktx::test {

class ToolsSimLink {
  public:
    ToolsSimLink(const TempDir& dir, int type) : m_dir(dir), m_transport(m_notes) {
        const std::string ini = dir.Path("sim.ini");
        WriteFile(ini, "[SIM]\nTYPE=" + std::to_string(type) + "\n");
        m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_sim.so", 4, type}, false, ini);
        m_transport.LinkSetTimeout(300);
        m_transport.SendCommand("KTXSIM:LOG CLEAR");
    }
    CommandTransport& Transport() { return m_transport; }
    // The commands since the last call, "|" between them.
    std::string Log() {
        const std::string file = m_dir.Path("simlog.tmp");
        if (!m_transport.ReceiveToFile(file, "KTXSIM:LOG?", 0)) {
            return "<no log>";
        }
        m_transport.SendCommand("KTXSIM:LOG CLEAR");
        const Bytes bytes = ReadFile(file);
        std::string text(bytes.begin() + 2 + (bytes[1] - '0'), bytes.end());
        for (char& c : text) {
            c = c == '\n' ? '|' : c;
        }
        return text.empty() ? text : text.substr(0, text.size() - 1);
    }

  private:
    const TempDir& m_dir;
    RecordingNotifier m_notes;
    CommandTransport m_transport;
};

}  // namespace ktx::test

// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument in-process through the real interface library, with its command
// log, for the measurement and multimeter tests.
#pragma once

#include <string>
#include <vector>

#include "link/command_transport.h"
#include "test_files.h"

namespace ktx::test {

class SimLink {
  public:
    SimLink(const TempDir& dir, int type);
    CommandTransport& Transport() { return m_transport; }
    RecordingNotifier& Notes() { return m_notes; }
    // The commands since the last call (simulator commands aside), "|" between them.
    std::string Log();
    // Message numbers shown so far (10000 + n as n), then forgotten.
    std::vector<int> Messages();

  private:
    const TempDir& m_dir;
    RecordingNotifier m_notes;
    CommandTransport m_transport;
};

std::string DriverFile(const std::string& name);

}  // namespace ktx::test

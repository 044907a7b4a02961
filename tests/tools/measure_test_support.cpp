// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/measure_test_support.h"

namespace ktx::test {

SimLink::SimLink(const TempDir& dir, int type) : m_dir(dir), m_transport(m_notes) {
    const std::string ini = dir.Path("sim.ini");
    WriteFile(ini, "[SIM]\nTYPE=" + std::to_string(type) + "\n");
    m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_sim.so", 4, type}, false, ini);
    m_transport.LinkSetTimeout(300);
    m_transport.SendCommand("KTXSIM:LOG CLEAR");
}

std::string SimLink::Log() {
    const std::string file = m_dir.Path("log.tmp");
    if (!m_transport.ReceiveToFile(file, "KTXSIM:LOG?", 0)) {
        return "<no log>";
    }
    m_transport.SendCommand("KTXSIM:LOG CLEAR");
    const Bytes bytes = ReadFile(file);
    std::string text(bytes.begin() + 2 + (bytes[1] - '0'), bytes.end());
    std::string joined;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        if (line.rfind("KTXSIM", 0) != 0) {
            joined += (joined.empty() ? "" : "|") + line;
        }
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return joined;
}

std::vector<int> SimLink::Messages() {
    std::vector<int> numbers;
    for (const auto& shown : m_notes.shown) {
        numbers.push_back(shown.stringId - 10000);
    }
    m_notes.shown.clear();
    return numbers;
}

std::string DriverFile(const std::string& name) {
    return std::string(KTX_DRIVER_DIR) + "/" + name;
}

}  // namespace ktx::test

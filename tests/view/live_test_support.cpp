// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/live_test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace ktx::test {

SimProcess::SimProcess(const std::string& options) {
#ifdef KTX_SIM_EXE
    const std::string out = std::filesystem::temp_directory_path() /
                            ("ktx-live-sim-" + std::to_string(::getpid()) + "-" +
                             std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".out");
    std::filesystem::remove(out);
    const std::string cmd = std::string(KTX_SIM_EXE) + " --tcp 127.0.0.1:0 --exit-on-stdin-eof " +
                            options + " > " + out;
    m_pipe = ::popen(cmd.c_str(), "w");
    for (int i = 0; i < 500 && m_port == 0; ++i) {
        std::ifstream in(out);
        std::string word, address;
        if (in >> word >> address && word == "LISTEN") {
            m_port = std::stoi(address.substr(address.rfind(':') + 1));
        } else {
            ::usleep(10'000);
        }
    }
    std::filesystem::remove(out);
#else
    (void)options;
#endif
}

SimProcess::~SimProcess() {
    if (m_pipe) {
        ::pclose(m_pipe);  // closing its standard input ends it
    }
}

LiveLink::LiveLink(const TempDir& dir, SimCarrier carrier, int type,
                   CommandTransport::WaitFunction wait, int linkType)
    : m_dir(dir), m_transport(m_notes, std::move(wait)) {
    const std::string ini = dir.Path("live.ini");
    if (carrier == SimCarrier::Tcp) {
        m_server = std::make_unique<SimProcess>("--type " + std::to_string(type));
        WriteFile(ini, "[TCP]\nHOST=127.0.0.1\nPORT=" + std::to_string(m_server->Port()) + "\n");
        m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_tcp.so", linkType, type}, false, ini);
    } else {
        WriteFile(ini, "[SIM]\nTYPE=" + std::to_string(type) + "\n");
        m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_sim.so", linkType, type}, false, ini);
    }
    m_transport.LinkSetTimeout(500);
    m_transport.SendCommand("KTXSIM:LOG CLEAR");
}

std::string LiveLink::Log() {
    const std::string file = m_dir.Path("log.tmp");
    if (!m_transport.ReceiveToFile(file, "KTXSIM:LOG?", 0)) {
        return "<no log>";
    }
    m_transport.SendCommand("KTXSIM:LOG CLEAR");
    const Bytes bytes = ReadFile(file);
    if (bytes.size() < 2) {
        return "<no log>";
    }
    std::string text(bytes.begin() + 2 + (bytes[1] - '0'), bytes.end());
    for (char& c : text) {
        c = c == '\n' ? '|' : c;
    }
    return text.empty() ? text : text.substr(0, text.size() - 1);
}

}  // namespace ktx::test

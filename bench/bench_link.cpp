// SPDX-License-Identifier: GPL-3.0-or-later
// Receiving a 10 M-point two-byte curve (20 MB block) from ktx-sim over TCP loopback into a
// file: through the command transport and the TCP interface library, against a plain socket
// copy of the same bytes into a file in the same run. Guards the normal path of the link:
// bounded reads, resynchronisation after failures and the size bound must cost it nothing.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/notifier.h"
#include "link/command_transport.h"

namespace {

constexpr long kPoints = 10'000'000;

// One ktx-sim server for the whole run, stopped when its stdin closes.
struct SimServer {
    FILE* pipe = nullptr;
    int port = 0;
    std::filesystem::path dir;

    SimServer() {
        dir = std::filesystem::temp_directory_path() / "ktx-bench-link";
        std::filesystem::create_directories(dir);
        const std::string fifoOut = (dir / "sim.out").string();
        std::filesystem::remove(fifoOut);  // a run that was killed left its server's line
        const std::string cmd = std::string(KTX_SIM_EXE) +
                                " --tcp 127.0.0.1:0 --exit-on-stdin-eof --record-length " +
                                std::to_string(kPoints) + " > " + fifoOut;
        pipe = popen(cmd.c_str(), "w");
        for (int i = 0; i < 500 && port == 0; ++i) {
            std::ifstream in(fifoOut);
            std::string word, address;
            if (in >> word >> address && word == "LISTEN") {
                port = std::stoi(address.substr(address.rfind(':') + 1));
            } else {
                usleep(10'000);
            }
        }
        if (port == 0) {
            std::fprintf(stderr, "ktx-sim did not start\n");
            std::abort();
        }
    }
    ~SimServer() {
        pclose(pipe);
        std::filesystem::remove_all(dir);
    }
};

SimServer& Server() {
    static SimServer server;
    return server;
}

const char* const kSetup[] = {"ACQ:STATE STOP", "HEADER ON",  "VERBOSE ON",   "DATA:SOURCE CH1",
                              "DATA:ENC RIB",   "DATA:WID 2", "DATA:START 1", "DATA:STOP 10000000"};

// The reference: a socket, the same commands, and read()/write() of whatever arrives into a
// file until the block is complete.
void PlainSocketCopy(int port, const std::string& target, std::vector<char>& buf) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::abort();
    }
    std::string commands;
    for (const char* c : kSetup) {
        commands += std::string(c) + "\n";
    }
    commands += "CURV?\n";
    if (write(fd, commands.data(), commands.size()) != static_cast<ssize_t>(commands.size())) {
        std::abort();
    }
    FILE* out = std::fopen(target.c_str(), "wb");
    const long expected = 7 + 2 + 8 + 2 * kPoints + 1;  // ":CURVE #820000000...\n"
    long total = 0;
    while (total < expected) {
        const ssize_t n = read(fd, buf.data(), buf.size());
        if (n <= 0) {
            std::abort();
        }
        std::fwrite(buf.data(), 1, static_cast<size_t>(n), out);
        total += n;
    }
    std::fclose(out);
    close(fd);
}

// The program's way: the command transport over the TCP interface library, with its time-out
// bookkeeping, resynchronisation check, size bound and the temporary file it renames.
class TransportReceiver {
  public:
    TransportReceiver() : m_transport(m_notifier) {
        SimServer& sim = Server();
        const std::string config = (sim.dir / "kurvitex.ini").string();
        {
            std::ofstream ini(config);
            ini << "[TCP]\nHOST=127.0.0.1\nPORT=" << sim.port << "\n";
        }
        m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_tcp.so", 4, 1}, false, config);
        if (m_transport.LinkHandle() == 0) {
            std::abort();
        }
        m_transport.LinkSetTimeout(5000);
        for (const char* c : kSetup) {
            m_transport.SendCommand(c);
        }
    }
    void Receive(const std::string& target) {
        if (!m_transport.ReceiveToFile(target, "CURV?", 0)) {
            std::abort();
        }
    }

  private:
    ktx::SilentNotifier m_notifier;
    ktx::CommandTransport m_transport;
};

void BM_PlainSocketCopy(benchmark::State& state) {
    SimServer& sim = Server();
    const std::string target = (sim.dir / "plain.bin").string();
    std::vector<char> buf(1 << 20);
    for (auto _ : state) {
        PlainSocketCopy(sim.port, target, buf);
    }
    state.SetBytesProcessed(state.iterations() * 2 * kPoints);
}
BENCHMARK(BM_PlainSocketCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_ReceiveToFile(benchmark::State& state) {
    SimServer& sim = Server();
    const std::string target = (sim.dir / "transport.bin").string();
    TransportReceiver receiver;
    for (auto _ : state) {
        receiver.Receive(target);
    }
    if (std::filesystem::file_size(target) < 2 * kPoints) {
        std::abort();
    }
    state.SetBytesProcessed(state.iterations() * 2 * kPoints);
}
BENCHMARK(BM_ReceiveToFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// Both in turn within each iteration, so a machine whose load changes during the run treats
// them alike; "ratio" is the transport's time over the plain copy's (the goal: at most 1.2).
// Each connects, sets the curve up and receives it. The simulator serves one client at a time
// and is still tidying up after the previous one when the next connects, which slows whoever
// comes second: the order alternates.
void BM_TransportOverPlain(benchmark::State& state) {
    SimServer& sim = Server();
    const std::string plainTarget = (sim.dir / "plain.bin").string();
    const std::string target = (sim.dir / "transport.bin").string();
    std::vector<char> buf(1 << 20);
    std::chrono::duration<double> plain{0};
    std::chrono::duration<double> transport{0};
    bool plainFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto t0 = std::chrono::steady_clock::now();
            if ((turn == 0) == plainFirst) {
                PlainSocketCopy(sim.port, plainTarget, buf);
                plain += std::chrono::steady_clock::now() - t0;
            } else {
                TransportReceiver().Receive(target);
                transport += std::chrono::steady_clock::now() - t0;
            }
        }
        plainFirst = !plainFirst;
    }
    state.counters["plain_ms"] = 1000 * plain.count() / static_cast<double>(state.iterations());
    state.counters["transport_ms"] =
        1000 * transport.count() / static_cast<double>(state.iterations());
    state.counters["ratio"] = transport.count() / plain.count();
}
BENCHMARK(BM_TransportOverPlain)->Unit(benchmark::kMillisecond)->MinTime(4.0)->UseRealTime();

}  // namespace

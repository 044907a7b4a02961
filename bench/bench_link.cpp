// SPDX-License-Identifier: GPL-3.0-or-later
// Receiving a 10 M-point two-byte curve (20 MB block) from ktx-sim over TCP loopback into a
// file: through the command transport and the TCP interface library, against a plain socket
// copy of the same bytes into a file in the same run.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

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
void BM_PlainSocketCopy(benchmark::State& state) {
    SimServer& sim = Server();
    const std::string target = (sim.dir / "plain.bin").string();
    std::vector<char> buf(1 << 20);
    for (auto _ : state) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(sim.port));
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
    state.SetBytesProcessed(state.iterations() * 2 * kPoints);
}
BENCHMARK(BM_PlainSocketCopy)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_ReceiveToFile(benchmark::State& state) {
    SimServer& sim = Server();
    const std::string config = (sim.dir / "kurvitex.ini").string();
    {
        std::ofstream ini(config);
        ini << "[TCP]\nHOST=127.0.0.1\nPORT=" << sim.port << "\n";
    }
    const std::string target = (sim.dir / "transport.bin").string();
    ktx::SilentNotifier notifier;
    ktx::CommandTransport transport(notifier);
    transport.OpenLink({KTX_PROGRAM_DIR, "ktx_tcp.so", 4, 1}, false, config);
    if (transport.LinkHandle() == 0) {
        std::abort();
    }
    transport.LinkSetTimeout(5000);
    for (const char* c : kSetup) {
        transport.SendCommand(c);
    }
    for (auto _ : state) {
        if (!transport.ReceiveToFile(target, "CURV?", 0)) {
            std::abort();
        }
    }
    if (std::filesystem::file_size(target) < 2 * kPoints) {
        std::abort();
    }
    state.SetBytesProcessed(state.iterations() * 2 * kPoints);
}
BENCHMARK(BM_ReceiveToFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// A 10 M-point two-byte curve (20 MB block) received into a file through the command
// transport over VXI-11 (ktx_vxi.so against ktx-sim --vxi11), against the same through the
// raw-socket library (ktx_tcp.so against ktx-sim --tcp), in turns within one run. The goal:
// "ratio" (VXI-11 time over raw-socket time) at most 1.5.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/notifier.h"
#include "link/command_transport.h"

namespace {

constexpr long kPoints = 10'000'000;

// One ktx-sim server for the whole run, stopped when its stdin closes.
struct SimServer {
    FILE* pipe = nullptr;
    int port = 0;
    std::filesystem::path dir;

    SimServer(const std::string& name, const std::string& carrier) {
        dir = std::filesystem::temp_directory_path() / ("ktx-bench-" + name);
        std::filesystem::create_directories(dir);
        const std::string out = (dir / "sim.out").string();
        std::filesystem::remove(out);
        const std::string cmd = std::string(KTX_SIM_EXE) + " " + carrier +
                                " --exit-on-stdin-eof --record-length " + std::to_string(kPoints) +
                                " > " + out;
        pipe = popen(cmd.c_str(), "w");
        for (int i = 0; i < 500 && port == 0; ++i) {
            std::ifstream in(out);
            std::string word, address;
            if (in >> word >> address && (word == "LISTEN" || word == "VXI11")) {
                port = std::stoi(address.substr(address.rfind(':') + 1));
            } else {
                usleep(10'000);
            }
        }
        if (port == 0) {
            std::fprintf(stderr, "ktx-sim %s did not start\n", carrier.c_str());
            std::abort();
        }
    }
    ~SimServer() {
        pclose(pipe);
        std::filesystem::remove_all(dir);
    }
};

SimServer& TcpServer() {
    static SimServer server("tcp", "--tcp 127.0.0.1:0");
    return server;
}

SimServer& Vxi11Server() {
    static SimServer server("vxi11", "--vxi11 127.0.0.1:0 --no-portmapper");
    return server;
}

const char* const kSetup[] = {"ACQ:STATE STOP", "HEADER ON",  "VERBOSE ON",   "DATA:SOURCE CH1",
                              "DATA:ENC RIB",   "DATA:WID 2", "DATA:START 1", "DATA:STOP 10000000"};

// The program's way over one interface library: open, set the curve up, receive it.
void ReceiveOnce(const std::string& library, const std::string& section, SimServer& sim) {
    ktx::SilentNotifier notifier;
    ktx::CommandTransport transport(notifier);
    const std::string config = (sim.dir / "kurvitex.ini").string();
    {
        std::ofstream ini(config);
        ini << "[" << section << "]\nHOST=127.0.0.1\nPORT=" << sim.port << "\n";
    }
    transport.OpenLink({KTX_PROGRAM_DIR, library, 4, 1}, false, config);
    if (transport.LinkHandle() == 0) {
        std::abort();
    }
    transport.LinkSetTimeout(5000);
    for (const char* c : kSetup) {
        transport.SendCommand(c);
    }
    const std::string target = (sim.dir / "curve.bin").string();
    if (!transport.ReceiveToFile(target, "CURV?", 0) ||
        std::filesystem::file_size(target) < 2 * kPoints) {
        std::abort();
    }
    transport.CloseLink();
}

void BM_RawSocketLibrary(benchmark::State& state) {
    for (auto _ : state) {
        ReceiveOnce("ktx_tcp.so", "TCP", TcpServer());
    }
    state.SetBytesProcessed(state.iterations() * 2 * kPoints);
}
BENCHMARK(BM_RawSocketLibrary)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_Vxi11Library(benchmark::State& state) {
    for (auto _ : state) {
        ReceiveOnce("ktx_vxi.so", "VXI11", Vxi11Server());
    }
    state.SetBytesProcessed(state.iterations() * 2 * kPoints);
}
BENCHMARK(BM_Vxi11Library)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// Both in turn within each iteration, the order alternating, so a machine whose load changes
// during the run treats them alike.
void BM_Vxi11OverRawSocket(benchmark::State& state) {
    std::chrono::duration<double> raw{0};
    std::chrono::duration<double> vxi11{0};
    bool rawFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto t0 = std::chrono::steady_clock::now();
            if ((turn == 0) == rawFirst) {
                ReceiveOnce("ktx_tcp.so", "TCP", TcpServer());
                raw += std::chrono::steady_clock::now() - t0;
            } else {
                ReceiveOnce("ktx_vxi.so", "VXI11", Vxi11Server());
                vxi11 += std::chrono::steady_clock::now() - t0;
            }
        }
        rawFirst = !rawFirst;
    }
    state.counters["raw_ms"] = 1000 * raw.count() / static_cast<double>(state.iterations());
    state.counters["vxi11_ms"] = 1000 * vxi11.count() / static_cast<double>(state.iterations());
    state.counters["ratio"] = vxi11.count() / raw.count();
}
BENCHMARK(BM_Vxi11OverRawSocket)->Unit(benchmark::kMillisecond)->MinTime(4.0)->UseRealTime();

}  // namespace

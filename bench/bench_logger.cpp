// SPDX-License-Identifier: GPL-3.0-or-later
// The data logger's shortest interval for one oscilloscope measurement against the bare
// queries it needs, both against ktx-sim over TCP loopback in the same run:
//   - "Test minimale Meßrate": one sample with its record written (what "Test" times), against
//     one bare "MEASU:MEAS1:VAL?" through the transport;
//   - a logging tick (sample, record to the log file's writer thread), against the same query.
// "ratio" is the logger's time over the bare query's (the goal: at most 1.2).
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
#include "tools/data_logger.h"

namespace {

// One ktx-sim server for the whole run, stopped when its stdin closes.
struct SimServer {
    FILE* pipe = nullptr;
    int port = 0;
    std::filesystem::path dir;

    SimServer() {
        dir = std::filesystem::temp_directory_path() /
              ("ktx-bench-logger-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        const std::string out = (dir / "sim.out").string();
        const std::string cmd =
            std::string(KTX_SIM_EXE) + " --tcp 127.0.0.1:0 --exit-on-stdin-eof > " + out;
        pipe = popen(cmd.c_str(), "w");
        for (int i = 0; i < 500 && port == 0; ++i) {
            std::ifstream in(out);
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

class FixedClock final : public ktx::LoggerClock {
  public:
    std::int64_t NowMs() override { return ++m_now; }

  private:
    std::int64_t m_now = 0;
};

// A transport on the simulator and a logger with one scope channel, prepared.
struct Rig {
    ktx::SilentNotifier notifier;
    ktx::CommandTransport transport{notifier};
    ktx::LoggerSettings settings;
    FixedClock clock;
    std::unique_ptr<ktx::DataLogger> logger;

    Rig() {
        SimServer& sim = Server();
        const std::string config = (sim.dir / "kurvitex.ini").string();
        {
            std::ofstream ini(config);
            ini << "[TCP]\nHOST=127.0.0.1\nPORT=" << sim.port << "\n";
        }
        transport.OpenLink({KTX_PROGRAM_DIR, "ktx_tcp.so", 4, 1}, false, config);
        if (transport.LinkHandle() == 0) {
            std::abort();
        }
        transport.LinkSetTimeout(5000);
        ktx::LoggerChoices choices;
        choices.deviceType = 12;
        settings.active[0] = true;
        settings.measurement[0] = "FREQ";
        settings.source[0] = "CH1";
        settings.interval = 100;
        settings.fileName = (sim.dir / "log.ktx").string();
        logger = std::make_unique<ktx::DataLogger>(transport, notifier, settings, choices, clock,
                                                   ktx::LoggerHooks{},
                                                   (sim.dir / "ktx_tmp.tmp").string());
        logger->Open();
        if (!logger->PrepareLogger()) {
            std::abort();
        }
    }
    void BareQuery() {
        if (transport.Query("MEASU:MEAS1:VAL?").empty()) {
            std::abort();
        }
    }
};

using Clock = std::chrono::steady_clock;

// Both in turn within each iteration, the order alternating, so a machine whose load changes
// during the run treats them alike.
template <typename Logger>
void Compare(benchmark::State& state, Rig& rig, Logger&& logger) {
    std::chrono::duration<double> bare{0};
    std::chrono::duration<double> logged{0};
    bool bareFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto t0 = Clock::now();
            if ((turn == 0) == bareFirst) {
                rig.BareQuery();
                bare += Clock::now() - t0;
            } else {
                logger();
                logged += Clock::now() - t0;
            }
        }
        bareFirst = !bareFirst;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["bare_us"] = 1e6 * bare.count() / n;
    state.counters["logger_us"] = 1e6 * logged.count() / n;
    state.counters["ratio"] = logged.count() / bare.count();
}

void BM_TestSampleOverBareQuery(benchmark::State& state) {
    Rig rig;
    Compare(state, rig, [&rig] { rig.logger->TimedSample(); });
}
BENCHMARK(BM_TestSampleOverBareQuery)->Unit(benchmark::kMicrosecond)->MinTime(3.0)->UseRealTime();

void BM_LoggingTickOverBareQuery(benchmark::State& state) {
    Rig rig;
    if (!rig.logger->Start(1'000'000'000)) {
        std::abort();
    }
    Compare(state, rig, [&rig] {
        if (rig.logger->Tick() != ktx::TickResult::Sampled) {
            std::abort();
        }
    });
    rig.logger->Stop();
}
BENCHMARK(BM_LoggingTickOverBareQuery)->Unit(benchmark::kMicrosecond)->MinTime(3.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

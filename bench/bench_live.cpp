// SPDX-License-Identifier: GPL-3.0-or-later
// The live display's frame from ktx-sim over TCP loopback: four 2 500-point sources fetched
// and scaled by the live display, against the same commands and reads done by a bare loop over
// the TCP interface library's operation table, in alternating turns of the same run. And one
// source's whole frame (fetch, scaling, drawing on a 500 x 400 picture) as frames per second.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/notifier.h"
#include "ktx_link.h"
#include "link/command_transport.h"
#include "view/live_display.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPoints = 2500;
const char* const kFour[] = {"CH1", "CH2", "MATH", "CH1"};

std::filesystem::path Dir() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() /
                 ("ktx-bench-live-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

struct SimServer {
    FILE* pipe = nullptr;
    int port = 0;
    SimServer() {
        const std::string out = (Dir() / "sim.out").string();
        const std::string cmd =
            std::string(KTX_SIM_EXE) + " --tcp 127.0.0.1:0 --exit-on-stdin-eof --type 1 > " + out;
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
            std::abort();
        }
    }
    ~SimServer() {
        pclose(pipe);
        std::filesystem::remove_all(Dir());
    }
};

SimServer& Server() {
    static SimServer server;
    return server;
}

std::string Config(int port) {
    const std::string config = (Dir() / "kurvitex.ini").string();
    std::ofstream(config) << "[TCP]\nHOST=127.0.0.1\nPORT=" << port << "\n";
    return config;
}

// The reference: the operation table of ktx_tcp.so called directly, the same commands as a
// frame, answers read with strtod, the curves into plain buffers.
class BareLoop {
  public:
    explicit BareLoop(int port) {
        m_lib = dlopen((std::string(KTX_PROGRAM_DIR) + "/ktx_tcp.so").c_str(), RTLD_NOW);
        auto fn = m_lib ? reinterpret_cast<KtxLinkOpsFunction>(dlsym(m_lib, KTX_LINK_OPS_SYMBOL))
                        : nullptr;
        m_ops = fn ? fn() : nullptr;
        int32_t p = 0;
        m_handle = m_ops ? m_ops->LinkOpen(Config(port).c_str(), 0, &p) : 0;
        if (m_handle == 0) {
            std::abort();
        }
        m_ops->LinkSetTimeout(m_handle, 1000);
        for (const char* c : {"DATA INIT", "DATA:ENC RIB", "DATA:WID 1", "DATA:START 0",
                              "DATA:STOP 2500", "HEADER OFF", "VERB ON"}) {
            m_ops->LinkWrite(m_handle, c);
        }
        m_buffer.resize(2 * kPoints);
    }
    ~BareLoop() {
        m_ops->LinkClose(m_handle);
        dlclose(m_lib);
    }
    double Number(const char* query) {
        m_ops->LinkWrite(m_handle, query);
        m_ops->LinkRead(m_handle, m_answer);
        return std::strtod(m_answer, nullptr);
    }
    void Frame(int sources) {
        double sum = 0;
        for (int i = 0; i < sources; ++i) {
            m_ops->LinkWrite(m_handle, (std::string("DATA:SOURCE ") + kFour[i]).c_str());
            if (i == 0) {
                sum += Number("WFMPRE:XINCR?") * Number("HOR:RECO?");
            }
            sum += Number("WFMPRE:YMULT?");
            m_ops->LinkWrite(m_handle, "WFMPRE:YUNIT?");
            m_ops->LinkRead(m_handle, m_answer);
            m_ops->LinkWrite(m_handle, "curv?");
            m_ops->LinkClear(m_handle);
            if (!m_ops->LinkReadData(m_handle, m_buffer.data(),
                                     static_cast<uint32_t>(m_buffer.size()))) {
                std::abort();
            }
        }
        benchmark::DoNotOptimize(sum);
    }

  private:
    void* m_lib = nullptr;
    const KtxLinkOps* m_ops = nullptr;
    uint16_t m_handle = 0;
    char m_answer[KTX_LINK_READ_BUFFER] = {};
    std::vector<std::uint8_t> m_buffer;
};

// The program's way: the command transport and the live display.
class LiveFrames {
  public:
    LiveFrames(int port, int sources) : m_transport(m_notifier), m_live(m_transport, m_notifier) {
        m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_tcp.so", 4, 1}, false, Config(port));
        ktx::LiveSelection s{{}, "0", "2500", kPoints};
        s.sources.assign(kFour, kFour + sources);
        if (!m_live.Setup(s)) {
            std::abort();
        }
    }
    void Frame(QImage* picture = nullptr) {
        if (!m_live.Fetch()) {
            std::abort();
        }
        for (std::size_t i = 0; i < m_live.Sources().size(); ++i) {
            const auto points = m_live.Curve(i, 500, 400);
            if (points.size() < 2) {
                std::abort();
            }
            if (picture) {
                QPainter p(picture);
                p.fillRect(picture->rect(), Qt::white);
                QPolygon line(static_cast<int>(points.size()));
                for (std::size_t k = 0; k < points.size(); ++k) {
                    line.setPoint(static_cast<int>(k), points[k].x, points[k].y);
                }
                p.setPen(QColor(0xFF, 0xFF, 0x00));
                p.drawPolyline(line);
            }
        }
    }

  private:
    ktx::SilentNotifier m_notifier;
    ktx::CommandTransport m_transport;
    ktx::LiveDisplay m_live;
};

void BM_LiveFourSourcesOverBareLoop(benchmark::State& state) {
    SimServer& sim = Server();
    BareLoop bare(sim.port);
    LiveFrames live(sim.port, 4);
    std::chrono::duration<double> bareTime{0}, liveTime{0};
    bool bareFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto t0 = Clock::now();
            if ((turn == 0) == bareFirst) {
                bare.Frame(4);
                bareTime += Clock::now() - t0;
            } else {
                live.Frame();
                liveTime += Clock::now() - t0;
            }
        }
        bareFirst = !bareFirst;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["bare_ms"] = 1000 * bareTime.count() / n;
    state.counters["live_ms"] = 1000 * liveTime.count() / n;
    state.counters["ratio"] = liveTime.count() / bareTime.count();
}
BENCHMARK(BM_LiveFourSourcesOverBareLoop)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();

void BM_LiveOneSourceFramesPerSecond(benchmark::State& state) {
    SimServer& sim = Server();
    LiveFrames live(sim.port, 1);
    QImage picture(501, 401, QImage::Format_RGB32);
    const auto t0 = Clock::now();
    for (auto _ : state) {
        live.Frame(&picture);
    }
    const std::chrono::duration<double> t = Clock::now() - t0;
    state.counters["frames_per_s"] = static_cast<double>(state.iterations()) / t.count();
}
BENCHMARK(BM_LiveOneSourceFramesPerSecond)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

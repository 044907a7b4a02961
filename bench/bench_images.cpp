// SPDX-License-Identifier: GPL-3.0-or-later
// Screen pictures, each against a reference in the same run ("ratio" = ours / reference):
//  - PCX decoding of a 4096 x 4096 16-colour screen picture (read the file, decode, write the
//    BMP) against reading the file's bytes once and writing as many bytes as the BMP has once
//    (goal: ratio at most 4);
//  - decoding the same picture as 256-colour PCX against libpng decoding it as PNG (goal:
//    ratio at most 0.25);
//  - fetching a 640 x 480 BMP hard copy from ktx-sim over TCP through the command transport
//    against a plain socket copy of the same bytes (goal: ratio at most 1.2).
// Runs alternate which side goes first, so a change of machine load treats both alike.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <png.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/notifier.h"
#include "images/pcx_decoder.h"
#include "images/picture_codec.h"
#include "link/command_transport.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSide = 4096;

std::filesystem::path Dir() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "ktx-bench-images";
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

// A screen: black, a dotted graticule every 256 pixels, four sine traces, colour indices 0..15.
std::vector<std::uint8_t> ScreenIndices() {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(kSide) * kSide, 0);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            if ((x % 256 == 0 || y % 256 == 0) && (x + y) % 4 == 0) {
                px[static_cast<std::size_t>(y) * kSide + x] = 10;
            }
        }
    }
    for (int c = 0; c < 4; ++c) {
        for (int x = 0; x < kSide; ++x) {
            const int y = kSide / 2 + static_cast<int>((kSide / 3) * std::sin(x * (c + 1) / 300.0));
            for (int t = 0; t < 3; ++t) {
                px[static_cast<std::size_t>(y + t) * kSide + x] = static_cast<std::uint8_t>(2 + c);
            }
        }
    }
    return px;
}

void Rle(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
    for (std::size_t i = 0; i < size;) {
        std::size_t run = 1;
        while (i + run < size && run < 63 && data[i + run] == data[i]) {
            ++run;
        }
        if (run > 1 || data[i] >= 0xC0) {
            out.push_back(static_cast<std::uint8_t>(0xC0 | run));
        }
        out.push_back(data[i]);
        i += run;
    }
}

std::vector<std::uint8_t> EncodePcx(const std::vector<std::uint8_t>& px, bool planes) {
    const int bits = planes ? 1 : 8;
    const int bpl = planes ? kSide / 8 : kSide;
    std::vector<std::uint8_t> out(128, 0);
    out[0] = 10;
    out[1] = 5;
    out[2] = 1;
    out[3] = static_cast<std::uint8_t>(bits);
    out[8] = (kSide - 1) & 0xFF;
    out[9] = (kSide - 1) >> 8;
    out[10] = (kSide - 1) & 0xFF;
    out[11] = (kSide - 1) >> 8;
    out[65] = planes ? 4 : 1;
    out[66] = bpl & 0xFF;
    out[67] = bpl >> 8;
    std::vector<std::uint8_t> line(static_cast<std::size_t>(bpl) * (planes ? 4 : 1));
    for (int y = 0; y < kSide; ++y) {
        const std::uint8_t* row = &px[static_cast<std::size_t>(y) * kSide];
        if (planes) {
            std::fill(line.begin(), line.end(), 0);
            for (int x = 0; x < kSide; ++x) {
                for (int p = 0; p < 4; ++p) {
                    if ((row[x] >> p) & 1) {
                        line[p * bpl + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                    }
                }
            }
        } else {
            std::memcpy(line.data(), row, kSide);
        }
        Rle(line.data(), line.size(), out);
    }
    if (!planes) {
        out.push_back(12);
        for (int i = 0; i < 256; ++i) {
            out.insert(out.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 3),
                                   static_cast<std::uint8_t>(i * 7)});
        }
    }
    return out;
}

std::vector<std::uint8_t> EncodePalettePng(const std::vector<std::uint8_t>& px) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = kSide;
    png.height = kSide;
    png.format = PNG_FORMAT_RGB_COLORMAP;
    png.colormap_entries = 256;
    std::vector<std::uint8_t> map(256 * 3);
    for (int i = 0; i < 256; ++i) {
        map[3 * i] = static_cast<std::uint8_t>(i);
        map[3 * i + 1] = static_cast<std::uint8_t>(i * 3);
        map[3 * i + 2] = static_cast<std::uint8_t>(i * 7);
    }
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&png, nullptr, &size, 0, px.data(), 0, map.data());
    std::vector<std::uint8_t> out(size);
    png_image_write_to_memory(&png, out.data(), &size, 0, px.data(), 0, map.data());
    out.resize(size);
    return out;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::vector<std::uint8_t> bytes(std::filesystem::file_size(path));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr || std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::abort();
    }
    std::fclose(f);
    return bytes;
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::abort();
    }
    std::fclose(f);
}

struct Pictures {
    std::string pcx16, pcx256, png;
    std::size_t bmp16Size = 0;
    Pictures() {
        const std::vector<std::uint8_t> px = ScreenIndices();
        pcx16 = (Dir() / "screen16.pcx").string();
        pcx256 = (Dir() / "screen256.pcx").string();
        png = (Dir() / "screen256.png").string();
        WriteAll(pcx16, EncodePcx(px, true));
        WriteAll(pcx256, EncodePcx(px, false));
        WriteAll(png, EncodePalettePng(px));
        bmp16Size = ktx::DecodePcxToBmp(ReadAll(pcx16)).size();
    }
};

Pictures& Files() {
    static Pictures pictures;
    return pictures;
}

void BM_Pcx16OverReadWrite(benchmark::State& state) {
    Pictures& p = Files();
    const std::string out = (Dir() / "out.bmp").string();
    std::chrono::duration<double> ours{0}, reference{0};
    bool oursFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto t0 = Clock::now();
            if ((turn == 0) == oursFirst) {
                WriteAll(out, ktx::DecodePcxToBmp(ReadAll(p.pcx16)));
                ours += Clock::now() - t0;
            } else {
                const std::vector<std::uint8_t> bytes = ReadAll(p.pcx16);
                std::vector<std::uint8_t> output(p.bmp16Size, bytes[bytes.size() / 2]);
                WriteAll(out, output);
                reference += Clock::now() - t0;
            }
        }
        oursFirst = !oursFirst;
    }
    state.counters["decode_ms"] = 1000 * ours.count() / static_cast<double>(state.iterations());
    state.counters["readwrite_ms"] =
        1000 * reference.count() / static_cast<double>(state.iterations());
    state.counters["ratio"] = ours.count() / reference.count();
}
BENCHMARK(BM_Pcx16OverReadWrite)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

void BM_Pcx256OverLibpng(benchmark::State& state) {
    Pictures& p = Files();
    const std::vector<std::uint8_t> pcx = ReadAll(p.pcx256);
    const std::vector<std::uint8_t> png = ReadAll(p.png);
    std::chrono::duration<double> ours{0}, reference{0};
    bool oursFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto t0 = Clock::now();
            if ((turn == 0) == oursFirst) {
                benchmark::DoNotOptimize(ktx::DecodePcxToBmp(pcx));
                ours += Clock::now() - t0;
            } else {
                // libpng's own decoding into the palette indices, nothing more.
                png_image image;
                std::memset(&image, 0, sizeof image);
                image.version = PNG_IMAGE_VERSION;
                png_image_begin_read_from_memory(&image, png.data(), png.size());
                image.format = PNG_FORMAT_RGB_COLORMAP;
                std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
                std::vector<std::uint8_t> map(PNG_IMAGE_COLORMAP_SIZE(image));
                if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, map.data())) {
                    std::abort();
                }
                benchmark::DoNotOptimize(pixels.data());
                reference += Clock::now() - t0;
            }
        }
        oursFirst = !oursFirst;
    }
    state.counters["pcx_ms"] = 1000 * ours.count() / static_cast<double>(state.iterations());
    state.counters["libpng_ms"] =
        1000 * reference.count() / static_cast<double>(state.iterations());
    state.counters["ratio"] = ours.count() / reference.count();
}
BENCHMARK(BM_Pcx256OverLibpng)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// ktx-sim of the type-12 family, whose colour BMP is 640 x 480 with 8 bits a pixel.
struct SimServer {
    FILE* pipe = nullptr;
    int port = 0;
    SimServer() {
        const std::string out = (Dir() / "sim.out").string();
        std::filesystem::remove(out);
        const std::string cmd =
            std::string(KTX_SIM_EXE) + " --tcp 127.0.0.1:0 --exit-on-stdin-eof --type 12 > " + out;
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
    ~SimServer() { pclose(pipe); }
};

SimServer& Server() {
    static SimServer server;
    return server;
}

// The reference: a connected socket, the two commands, read()/write() into a file until the
// size the BMP's header states.
class PlainSocket {
  public:
    explicit PlainSocket(int port) : m_fd(socket(AF_INET, SOCK_STREAM, 0)), m_buf(1 << 20) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            std::abort();
        }
    }
    ~PlainSocket() { close(m_fd); }
    void Fetch(const std::string& target) {
        const std::string commands = "HARDC:FORM BMPcolor\nHARDC START\n";
        if (write(m_fd, commands.data(), commands.size()) !=
            static_cast<ssize_t>(commands.size())) {
            std::abort();
        }
        FILE* out = std::fopen(target.c_str(), "wb");
        std::uint32_t expected = 6;
        std::uint32_t total = 0;
        while (total < expected) {
            const ssize_t n = read(m_fd, m_buf.data(), m_buf.size());
            if (n <= 0) {
                std::abort();
            }
            if (total == 0 && n >= 6) {
                std::memcpy(&expected, m_buf.data() + 2, 4);  // little-endian machine
            }
            std::fwrite(m_buf.data(), 1, static_cast<size_t>(n), out);
            total += static_cast<std::uint32_t>(n);
        }
        std::fclose(out);
    }

  private:
    int m_fd;
    std::vector<char> m_buf;
};

// The program's way: its open link, the format command, then ReceiveToFile (into a temporary
// file renamed into place).
class TransportFetcher {
  public:
    explicit TransportFetcher(int port) : m_transport(m_notifier) {
        const std::string config = (Dir() / "kurvitex.ini").string();
        {
            std::ofstream ini(config);
            ini << "[TCP]\nHOST=127.0.0.1\nPORT=" << port << "\n";
        }
        m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_tcp.so", 4, 12}, false, config);
    }
    void Fetch(const std::string& target) {
        if (!m_transport.SendCommand("HARDC:FORM BMPcolor") ||
            !m_transport.ReceiveToFile(target, "HARDC START", 0)) {
            std::abort();
        }
    }

  private:
    ktx::SilentNotifier m_notifier;
    ktx::CommandTransport m_transport;
};

void BM_BmpFetchOverPlainSocket(benchmark::State& state) {
    SimServer& sim = Server();
    const std::string plainTarget = (Dir() / "plain.bmp").string();
    const std::string target = (Dir() / "fetched.bmp").string();
    PlainSocket plainLink(sim.port);
    TransportFetcher transportLink(sim.port);
    std::chrono::duration<double> plain{0}, transport{0};
    bool plainFirst = true;
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const auto t0 = Clock::now();
            if ((turn == 0) == plainFirst) {
                plainLink.Fetch(plainTarget);
                plain += Clock::now() - t0;
            } else {
                transportLink.Fetch(target);
                transport += Clock::now() - t0;
            }
        }
        plainFirst = !plainFirst;
    }
    if (std::filesystem::file_size(target) != std::filesystem::file_size(plainTarget)) {
        std::abort();
    }
    state.counters["plain_ms"] = 1000 * plain.count() / static_cast<double>(state.iterations());
    state.counters["transport_ms"] =
        1000 * transport.count() / static_cast<double>(state.iterations());
    state.counters["ratio"] = transport.count() / plain.count();
}
BENCHMARK(BM_BmpFetchOverPlainSocket)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

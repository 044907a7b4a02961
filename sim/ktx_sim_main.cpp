// SPDX-License-Identifier: GPL-3.0-or-later
// ktx-sim: a simulated instrument served over TCP or a pseudo-terminal, so that the real
// TCP and serial interface libraries can be tested without hardware.
//
//   ktx-sim --tcp [HOST:]PORT | --pty PATH  [--type N] [--model TEXT] [--seed N]
//           [--record-length N] [--silent] [--garbage] [--truncate-block] [--drop-after N]
//           [--delay MS] [--exit-on-stdin-eof]
//
// On start it prints one line, "LISTEN 127.0.0.1:<port>" or "PTY <path>", and flushes, so a
// script can wait for it. SIGTERM and SIGINT end it cleanly (the PTY link is removed), and
// with --exit-on-stdin-eof so does the end of standard input (no server outlives its test).
// Only numeric addresses are taken (no name lookups); PORT 0 picks a free port.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "number_format.h"
#include "sim_instrument.h"
#include "sim_server.h"

namespace {

int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    const ssize_t ignored = write(g_stopPipe[1], &byte, 1);
    (void)ignored;
}

int Usage(const char* message) {
    std::fprintf(stderr,
                 "ktx-sim: %s\n"
                 "usage: ktx-sim --tcp [HOST:]PORT | --pty PATH [--type N] [--model TEXT]\n"
                 "       [--seed N] [--record-length N] [--silent] [--garbage]\n"
                 "       [--truncate-block] [--drop-after N] [--delay MS] "
                 "[--exit-on-stdin-eof]\n",
                 message);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    ktx::sim::SimConfig config;
    ktx::sim::FaultSwitches faults;
    std::string tcp;
    std::string pty;
    bool exitOnStdinEof = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) {
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        auto number = [&]() -> std::optional<std::int64_t> {
            const auto text = value();
            return text ? ktx::sim::ParseInteger(*text) : std::nullopt;
        };
        if (option == "--tcp" || option == "--pty" || option == "--model") {
            const auto text = value();
            if (!text) {
                return Usage(("missing value for " + option).c_str());
            }
            (option == "--tcp" ? tcp : option == "--pty" ? pty : config.model) = *text;
        } else if (option == "--type" || option == "--seed" || option == "--record-length" ||
                   option == "--drop-after" || option == "--delay") {
            const auto n = number();
            if (!n) {
                return Usage(("missing or invalid number for " + option).c_str());
            }
            if (option == "--type") {
                config.deviceType = static_cast<int>(*n);
            } else if (option == "--seed") {
                config.seed = static_cast<std::uint64_t>(*n);
            } else if (option == "--record-length") {
                if (*n < 1 || *n > 10'000'000) {
                    return Usage("record length must be 1 ... 10000000");
                }
                config.recordLength = *n;
            } else if (option == "--drop-after") {
                faults.dropAfterBytes = *n < 0 ? -1 : *n;
            } else {
                faults.delayMs = static_cast<int>(
                    std::max<std::int64_t>(0, std::min<std::int64_t>(*n, 600'000)));
            }
        } else if (option == "--silent") {
            faults.silent = true;
        } else if (option == "--garbage") {
            faults.garbage = true;
        } else if (option == "--truncate-block") {
            faults.truncateBlock = true;
        } else if (option == "--exit-on-stdin-eof") {
            exitOnStdinEof = true;
        } else {
            return Usage(("unknown option " + option).c_str());
        }
    }
    if (tcp.empty() == pty.empty()) {
        return Usage("give exactly one of --tcp and --pty");
    }

    ktx::sim::SimInstrument instrument(config);
    instrument.Faults() = faults;
    ktx::sim::SimServer server(instrument);
    std::string error;
    if (!tcp.empty()) {
        // "PORT" alone listens on 127.0.0.1.
        const std::size_t colon = tcp.rfind(':');
        std::string host = colon == std::string::npos ? "" : tcp.substr(0, colon);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);  // [::1]:5025
        }
        const auto port =
            ktx::sim::ParseInteger(colon == std::string::npos ? tcp : tcp.substr(colon + 1));
        if (!port ||
            !server.ListenTcp(host.empty() ? "127.0.0.1" : host, static_cast<int>(*port), error)) {
            std::fprintf(stderr, "ktx-sim: %s\n", error.empty() ? "invalid port" : error.c_str());
            return 1;
        }
    } else if (!server.OpenPty(pty, error)) {
        std::fprintf(stderr, "ktx-sim: %s\n", error.c_str());
        return 1;
    }

    if (pipe2(g_stopPipe, O_CLOEXEC) != 0) {
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::printf("%s\n", server.Announcement().c_str());
    std::fflush(stdout);
    return server.Run(g_stopPipe[0], exitOnStdinEof ? STDIN_FILENO : -1);
}

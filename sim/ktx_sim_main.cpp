// SPDX-License-Identifier: GPL-3.0-or-later
// ktx-sim: a simulated instrument served over TCP or a pseudo-terminal, so that the real
// TCP and serial interface libraries (and any other client, PyVISA for one) can be tested
// without hardware. Usage: ktx-sim --help.
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

#include "fault_switches.h"
#include "number_format.h"
#include "prologix_server.h"
#include "sim_instrument.h"
#include "sim_server.h"
#include "vxi11_server.h"

namespace {

int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    const ssize_t ignored = write(g_stopPipe[1], &byte, 1);
    (void)ignored;
}

void PrintUsage(std::FILE* out) {
    std::fprintf(
        out,
        "usage: ktx-sim --tcp [HOST:]PORT | --pty PATH | --vxi11 [HOST:]PORT |\n"
        "               --prologix-tcp [HOST:]PORT | --prologix-pty PATH [options]\n"
        "\n"
        "A simulated instrument for Kurvitex and other clients. Over TCP it serves up "
        "to %zu\n"
        "connections at once against one instrument (settings and waveforms are "
        "shared, each\n"
        "connection has its own message parsing, answers and fault switches).\n"
        "\n"
        "  --tcp [HOST:]PORT     listen on a numeric address (default 127.0.0.1; "
        "PORT 0: any free port)\n"
        "  --pty PATH            make PATH a link to a new pseudo-terminal\n"
        "  --vxi11 [HOST:]PORT   serve VXI-11 (device \"inst0\"): the core channel on PORT "
        "(0: any free\n"
        "                        port) and a port mapper on HOST:111 when that port is free\n"
        "  --no-portmapper       with --vxi11: leave port 111 alone (clients name the core "
        "port)\n"
        "  --prologix-tcp [HOST:]PORT  a Prologix-style GPIB-ETHERNET adapter in front of the\n"
        "                        instrument (real ones use port 1234)\n"
        "  --prologix-pty PATH   a Prologix-style GPIB-USB adapter on a pseudo-terminal\n"
        "  --gpib-address N      the instrument's GPIB address behind the adapter (default 1)\n"
        "  --type N              device family: 1, 2, 9, 10, 12, 14, 19, 20 or 30 "
        "(default 1)\n"
        "  --model TEXT          model in the identification (default: the "
        "family's)\n"
        "  --seed N              noise seed (default 1)\n"
        "  --record-length N     points per channel, 1 ... 10000000 (default 2500)\n"
        "  --hardcopy-button MS  type 19: the user presses the hard-copy button every MS ms\n"
        "                        (the picture goes to every connection between messages)\n"
        "  --exit-on-stdin-eof   end when standard input closes\n"
        "  --help                this text\n"
        "\n"
        "Fault switches (each connection starts with them; KTXSIM:FAULT, KTXSIM:DELAY, "
        "KTXSIM:DROP,\n"
        "KTXSIM:DRIP and KTXSIM:PICTURE change them for the connection that sends the "
        "command):\n",
        ktx::sim::SimServer::kMaxConnections);
    for (const ktx::sim::FaultSwitchName& name : ktx::sim::FaultSwitchNames()) {
        const std::string option = std::string(name.option) +
                                   (*name.argument != '\0' ? std::string(" ") + name.argument : "");
        std::fprintf(out, "  %-20s  %s\n", option.c_str(), name.help);
    }
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "ktx-sim: %s\n", message.c_str());
    PrintUsage(stderr);
    return 2;
}

const ktx::sim::FaultSwitchName* FaultOption(const std::string& option) {
    for (const ktx::sim::FaultSwitchName& name : ktx::sim::FaultSwitchNames()) {
        if (option == name.option) {
            return &name;
        }
    }
    return nullptr;
}

bool InstallStopSignals() {
    if (pipe2(g_stopPipe, O_CLOEXEC) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

// "[HOST:]PORT" with a numeric host (default 127.0.0.1, [::1] allowed).
bool SplitAddress(const std::string& text, std::string& host, int& port) {
    const std::size_t colon = text.rfind(':');
    host = colon == std::string::npos ? "" : text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host.empty()) {
        host = "127.0.0.1";
    }
    const auto number =
        ktx::sim::ParseInteger(colon == std::string::npos ? text : text.substr(colon + 1));
    port = number ? static_cast<int>(*number) : -1;
    return number.has_value();
}

int ServeVxi11(const ktx::sim::SimConfig& config, const ktx::sim::FaultSwitches& faults,
               const std::string& address, bool portMapper, bool exitOnStdinEof) {
    ktx::sim::Vxi11Server server(config, faults);
    std::string host;
    int port = 0;
    std::string error;
    if (!SplitAddress(address, host, port) || !server.ListenCore(host, port, error)) {
        std::fprintf(stderr, "ktx-sim: %s\n", error.empty() ? "invalid port" : error.c_str());
        return 1;
    }
    // Port 111 is the system's (rpcbind) or another simulator's when it is taken; the core
    // channel still works for clients that are told its port.
    if (portMapper && !server.ListenPortMapper(host, 111, error)) {
        std::fprintf(stderr, "ktx-sim: no port mapper: %s\n", error.c_str());
    }
    if (!InstallStopSignals()) {
        return 1;
    }
    std::printf("%s\n", server.Announcement().c_str());
    std::fflush(stdout);
    return server.Run(g_stopPipe[0], exitOnStdinEof ? STDIN_FILENO : -1);
}

int ServePrologix(const ktx::sim::SimConfig& config, const ktx::sim::FaultSwitches& faults,
                  int gpibAddress, const std::string& tcp, const std::string& pty,
                  bool exitOnStdinEof) {
    ktx::sim::PrologixServer server(config, faults, gpibAddress);
    std::string error;
    if (!tcp.empty()) {
        std::string host;
        int port = 0;
        if (!SplitAddress(tcp, host, port) || !server.ListenTcp(host, port, error)) {
            std::fprintf(stderr, "ktx-sim: %s\n", error.empty() ? "invalid port" : error.c_str());
            return 1;
        }
    } else if (!server.OpenPty(pty, error)) {
        std::fprintf(stderr, "ktx-sim: %s\n", error.c_str());
        return 1;
    }
    if (!InstallStopSignals()) {
        return 1;
    }
    std::printf("%s\n", server.Announcement().c_str());
    std::fflush(stdout);
    return server.Run(g_stopPipe[0], exitOnStdinEof ? STDIN_FILENO : -1);
}

}  // namespace

int main(int argc, char** argv) {
    ktx::sim::SimConfig config;
    ktx::sim::FaultSwitches faults;
    std::string tcp;
    std::string pty;
    std::string vxi11;
    std::string prologixTcp;
    std::string prologixPty;
    int gpibAddress = 1;
    bool portMapper = true;
    bool exitOnStdinEof = false;
    int buttonMs = 0;
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
        if (option == "--help") {
            PrintUsage(stdout);
            return 0;
        }
        if (const ktx::sim::FaultSwitchName* fault = FaultOption(option)) {
            std::optional<std::int64_t> n = 1;
            if (*fault->argument != '\0') {
                n = number();
            }
            if (!n) {
                return Usage("missing or invalid number for " + option);
            }
            ktx::sim::SetFaultSwitch(faults, fault->which, *n);
        } else if (option == "--tcp" || option == "--pty" || option == "--model" ||
                   option == "--vxi11" || option == "--prologix-tcp" ||
                   option == "--prologix-pty") {
            const auto text = value();
            if (!text) {
                return Usage("missing value for " + option);
            }
            (option == "--tcp"            ? tcp
             : option == "--pty"          ? pty
             : option == "--vxi11"        ? vxi11
             : option == "--prologix-tcp" ? prologixTcp
             : option == "--prologix-pty" ? prologixPty
                                          : config.model) = *text;
        } else if (option == "--gpib-address") {
            const auto n = number();
            if (!n || *n < 0 || *n > 30) {
                return Usage("GPIB address must be 0 ... 30");
            }
            gpibAddress = static_cast<int>(*n);
        } else if (option == "--no-portmapper") {
            portMapper = false;
        } else if (option == "--type" || option == "--seed" || option == "--record-length") {
            const auto n = number();
            if (!n) {
                return Usage("missing or invalid number for " + option);
            }
            if (option == "--type") {
                config.deviceType = static_cast<int>(*n);
            } else if (option == "--seed") {
                config.seed = static_cast<std::uint64_t>(*n);
            } else {
                if (*n < 1 || *n > 10'000'000) {
                    return Usage("record length must be 1 ... 10000000");
                }
                config.recordLength = *n;
            }
        } else if (option == "--hardcopy-button") {
            const auto n = number();
            if (!n || *n < 1 || *n > 600'000) {
                return Usage("hard-copy button interval must be 1 ... 600000 ms");
            }
            buttonMs = static_cast<int>(*n);
        } else if (option == "--exit-on-stdin-eof") {
            exitOnStdinEof = true;
        } else {
            return Usage("unknown option " + option);
        }
    }
    if (int(!tcp.empty()) + int(!pty.empty()) + int(!vxi11.empty()) + int(!prologixTcp.empty()) +
            int(!prologixPty.empty()) !=
        1) {
        return Usage(
            "give exactly one of --tcp, --pty, --vxi11, --prologix-tcp and --prologix-pty");
    }
    if (!vxi11.empty()) {
        return ServeVxi11(config, faults, vxi11, portMapper, exitOnStdinEof);
    }
    if (!prologixTcp.empty() || !prologixPty.empty()) {
        return ServePrologix(config, faults, gpibAddress, prologixTcp, prologixPty, exitOnStdinEof);
    }

    ktx::sim::SimServer server(config, faults);
    server.PressHardcopyButtonEvery(buttonMs);
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

    if (!InstallStopSignals()) {
        return 1;
    }
    std::printf("%s\n", server.Announcement().c_str());
    std::fflush(stdout);
    return server.Run(g_stopPipe[0], exitOnStdinEof ? STDIN_FILENO : -1);
}

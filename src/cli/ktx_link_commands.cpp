// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ktx_link_commands.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <system_error>

#include "cli/ktx_commands.h"
#include "cli/stream_notifier.h"
#include "config/device_file.h"
#include "config/profile_file.h"
#include "config/program_state.h"
#include "link/command_transport.h"

namespace ktx {

namespace {

constexpr int kMsgCheckInterface = 300;
constexpr int kMsgNotConnected = 301;
constexpr int kLinkLan = 4;
constexpr int kLinkUsb = 8;
constexpr int kHandheldType = 20;
constexpr int kLineFeedType = 30;

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const auto at = s.find(sep, from);
        parts.push_back(s.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) {
            return parts;
        }
        from = at + 1;
    }
}

bool IsNumber(const std::string& s) {
    int v;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size() && v >= 0;
}

// A configuration file of its own for a link named on the command line, removed afterwards,
// so kurvitex.ini is never touched by a script.
class TempConfig {
  public:
    explicit TempConfig(const LinkChoice& choice) {
        std::random_device rd;
        m_path =
            (std::filesystem::temp_directory_path() / ("ktx-link-" + std::to_string(rd()) + ".ini"))
                .string();
        std::ofstream out(m_path);
        for (const auto& [section, keys] : choice.sections) {
            out << '[' << section << "]\n";
            for (const auto& [key, value] : keys) {
                out << key << '=' << value << '\n';
            }
        }
    }
    ~TempConfig() {
        std::error_code ec;
        std::filesystem::remove(m_path, ec);
    }
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

// The link as kurvitex.ini in the program folder describes it.
bool ChoiceFromProgramDir(const std::string& programDir, LinkChoice& choice, Notifier& notifier) {
    const std::string iniPath = (std::filesystem::path(programDir) / "kurvitex.ini").string();
    const ProfileFile ini(iniPath);
    choice.linkType = ini.ReadInt("TRANSFER", "SS_TYPE", 0);
    choice.library = ini.ReadString("TRANSFER", "DLL_NAME", "");
    // Relative names are taken from the program folder, as the program itself does.
    const std::string deviceFile =
        ResolveDeviceFile(programDir, ini.ReadString("DEVICE", "INIFILE", "NONE"));
    choice.deviceFile = deviceFile;
    choice.deviceType = ReadDeviceType(deviceFile);
    // Handheld instruments keep their serial settings in their own definition file.
    choice.configPath = choice.deviceType == kHandheldType ? deviceFile : iniPath;
    if (choice.linkType <= 0) {
        ShowErrorMsg(notifier, kMsgCheckInterface, 0);
        return false;
    }
    return true;
}

std::string IdentificationQuery(int deviceType) {
    if (deviceType == kHandheldType) {
        return "!V?";
    }
    if (deviceType == kLineFeedType) {
        return "COMU?";
    }
    return "*IDN?";
}

}  // namespace

bool ParseLinkOption(const std::string& option, LinkChoice& choice) {
    const auto colon = option.find(':');
    const std::string kind = option.substr(0, colon);
    const std::string rest = colon == std::string::npos ? "" : option.substr(colon + 1);
    if (kind == "tcp") {
        const auto at = rest.rfind(':');
        if (at == std::string::npos || at == 0 || !IsNumber(rest.substr(at + 1))) {
            return false;
        }
        choice.library = "ktx_tcp.so";
        choice.linkType = kLinkLan;
        choice.sections["TCP"] = {{"HOST", rest.substr(0, at)}, {"PORT", rest.substr(at + 1)}};
        return true;
    }
    if (kind == "serial") {
        if (rest.empty()) {
            return false;
        }
        // serial:/dev/ttyUSB0 or serial:/dev/ttyUSB0:COM1:19200,N,8,1
        const auto com = rest.find(":COM");
        const std::string device = rest.substr(0, com);
        const std::string config =
            com == std::string::npos ? "COM1:9600,N,8,1" : rest.substr(com + 1);
        choice.library = "ktx_serial.so";
        choice.linkType = kLinkRs232;
        choice.sections["SERIAL"] = {{"DEVICE", device}};
        choice.sections["RS232"] = {{"CONFIG", config}};
        return true;
    }
    if (kind == "sim") {
        choice.library = "ktx_sim.so";
        choice.linkType = kLinkLan;
        if (!rest.empty()) {
            choice.sections["SIM"]["MODEL"] = rest;
        }
        return true;
    }
    if (kind == "usbtmc") {
        if (rest.empty()) {
            return false;
        }
        choice.library = "ktx_usbtmc.so";
        choice.linkType = kLinkUsb;
        choice.sections["USBTMC"] = {{"DEVICE", rest}};
        return true;
    }
    if (kind == "vxi11") {
        // vxi11:HOST[:DEVICE][:PORT]; a trailing number is the core port (no port mapper).
        auto parts = Split(rest, ':');
        if (parts.empty() || parts.size() > 3 || parts[0].empty()) {
            return false;
        }
        std::map<std::string, std::string> keys{{"HOST", parts[0]}, {"DEVICE", "inst0"}};
        if (parts.size() > 1 && IsNumber(parts.back())) {
            keys["PORT"] = parts.back();
            parts.pop_back();
        }
        if (parts.size() == 2 && !parts[1].empty() && !IsNumber(parts[1])) {
            keys["DEVICE"] = parts[1];
        } else if (parts.size() != 1) {
            return false;
        }
        choice.library = "ktx_vxi.so";
        choice.linkType = kLinkLan;
        choice.sections["VXI11"] = keys;
        return true;
    }
    if (kind == "prologix") {
        // prologix:/dev/ttyUSB0:ADDRESS (GPIB-USB) or prologix:HOST[:PORT]:ADDRESS (LAN).
        const auto at = rest.rfind(':');
        if (at == std::string::npos || at == 0 || !IsNumber(rest.substr(at + 1))) {
            return false;
        }
        const std::string where = rest.substr(0, at);
        std::map<std::string, std::string> keys{{"ADDRESS", rest.substr(at + 1)}};
        if (where.front() == '/') {
            keys["DEVICE"] = where;
            keys["HOST"] = "";
        } else {
            const auto parts = Split(where, ':');
            if (parts.size() > 2 || parts[0].empty() ||
                (parts.size() == 2 && !IsNumber(parts[1]))) {
                return false;
            }
            keys["HOST"] = parts[0];
            keys["PORT"] = parts.size() == 2 ? parts[1] : "1234";
        }
        choice.library = "ktx_prologix.so";
        choice.linkType = kLinkGpib;
        choice.sections["PROLOGIX"] = keys;
        return true;
    }
    if (kind == "gpib") {
        const auto parts = Split(rest, ':');
        if (parts.empty() || parts.size() > 2 || !IsNumber(parts.back()) ||
            (parts.size() == 2 && !IsNumber(parts[0]))) {
            return false;
        }
        choice.library = "ktx_gpib.so";
        choice.linkType = kLinkGpib;
        choice.sections["GPIB"] = {{"BOARD", parts.size() == 2 ? parts[0] : "0"},
                                   {"PAD", parts.back()}};
        return true;
    }
    return false;
}

struct LinkSession::Impl {
    explicit Impl(Notifier& n) : notifier(n), transport(n) {
        transport.SetCauseInMessages(true);  // stderr is all a script's user sees
        transport.SetFailureCallback([this](const LinkFailure& f) { latestFailure = f; });
    }
    Notifier& notifier;
    LinkChoice choice;
    std::unique_ptr<TempConfig> temp;
    LinkFailure latestFailure;
    CommandTransport transport;
};

LinkSession::LinkSession(Notifier& notifier) : m_impl(std::make_unique<Impl>(notifier)) {}

LinkSession::~LinkSession() {
    m_impl->transport.CloseLink();
}

CommandTransport& LinkSession::Transport() {
    return m_impl->transport;
}

const LinkChoice& LinkSession::Choice() const {
    return m_impl->choice;
}

LinkFailure LinkSession::LatestFailure() const {
    return m_impl->latestFailure;
}

int LinkSession::Open(const std::map<std::string, std::string>& options, const KtxEnvironment& env,
                      std::ostream& err) {
    LinkChoice& choice = m_impl->choice;
    if (const auto link = options.find("--link"); link != options.end()) {
        if (!ParseLinkOption(link->second, choice)) {
            err << "Unbekannte Verbindung: " << link->second << '\n';
            return kExitUsage;
        }
        if (const auto device = options.find("--device"); device != options.end()) {
            choice.deviceFile = device->second;
            choice.deviceType = ReadDeviceType(device->second);
            if (choice.library == "ktx_sim.so") {
                choice.sections["SIM"]["TYPE"] = std::to_string(choice.deviceType);
            }
        }
        m_impl->temp = std::make_unique<TempConfig>(choice);
        choice.configPath = m_impl->temp->Path();
    } else if (!ChoiceFromProgramDir(env.programDir, choice, m_impl->notifier)) {
        return kExitFailure;
    }
    if (const auto type = options.find("--type"); type != options.end()) {
        if (!IsNumber(type->second)) {
            err << "--type erwartet eine Zahl\n";
            return kExitUsage;
        }
        choice.deviceType = std::stoi(type->second);
        if (m_impl->temp && choice.library == "ktx_sim.so") {
            // The simulated instrument takes its family from its own section.
            ProfileFile(m_impl->temp->Path()).WriteString("SIM", "TYPE", type->second);
        }
    }
    int timeout = -1;
    if (const auto t = options.find("--timeout"); t != options.end()) {
        if (!IsNumber(t->second) || std::stoi(t->second) > 65535) {
            err << "--timeout erwartet Millisekunden (0 bis 65535)\n";
            return kExitUsage;
        }
        timeout = std::stoi(t->second);
    }

    CommandTransport& transport = m_impl->transport;
    transport.OpenLink({env.programDir, choice.library, choice.linkType, choice.deviceType}, false,
                       choice.configPath);
    if (transport.LinkHandle() == 0) {
        return kExitFailure;  // messages 5/6 are out
    }
    if (timeout >= 0) {
        transport.LinkSetTimeout(static_cast<std::uint16_t>(timeout));
    }
    return kExitOk;
}

int RunLinkCommand(const std::string& command, const std::vector<std::string>& positional,
                   const std::map<std::string, std::string>& options, const KtxEnvironment& env,
                   std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    const std::size_t wanted = command == "idn" ? 0 : command == "receive" ? 2 : 1;
    if (positional.size() != wanted) {
        err << "Falsche Anzahl von Argumenten für ktx " << command << '\n';
        return kExitUsage;
    }

    LinkSession session(notifier);
    if (const int code = session.Open(options, env, err); code != kExitOk) {
        return code;
    }
    CommandTransport& transport = session.Transport();
    bool ok = false;
    if (command == "idn" || command == "query") {
        const std::string answer = transport.Query(
            command == "idn" ? IdentificationQuery(session.Choice().deviceType) : positional[0]);
        ok = !answer.empty();
        if (ok) {
            out << answer << '\n';
        }
    } else if (command == "send") {
        ok = transport.SendCommand(positional[0]);
    } else {
        ok = transport.ReceiveToFile(positional[1], positional[0], 0);
        if (ok) {
            std::error_code ec;
            out << std::filesystem::file_size(positional[1], ec) << " Bytes\n";
        }
    }
    if (!ok) {
        ShowLinkFailure(notifier, kMsgNotConnected, transport.LastFailure());
        return kExitFailure;
    }
    return kExitOk;
}

void ShowLinkFailure(Notifier& notifier, int message, const LinkFailure& failure) {
    if (failure.Known()) {
        ShowErrorMsgText(notifier, message, "(" + failure.text + ")", 0);
    } else {
        ShowErrorMsg(notifier, message, 0);
    }
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ktx_logger_commands.h"

#include <pthread.h>
#include <signal.h>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <random>
#include <system_error>
#include <thread>

#include "cli/ktx_commands.h"
#include "cli/ktx_link_commands.h"
#include "cli/scratch_folder.h"
#include "config/device_file.h"
#include "config/notifier.h"
#include "config/program_state.h"
#include "config/progress.h"
#include "link/command_transport.h"
#include "tools/data_logger.h"
#include "tools/format_with_prefix.h"
#include "tools/scanner.h"
#include "waveform/text_number.h"

namespace ktx {

namespace {

constexpr const char* kLoggerUsage =
    "Aufruf:\n"
    "  ktx log ZIEL.ktx --channel TYP:QUELLE... [--interval S] [--count N] [--trigger] "
    "[VERBINDUNG]\n"
    "  ktx scan ORDNER BASIS --source QUELLE... [--start A --stop B] [--interval S] [--count N]\n"
    "           [--trigger] [VERBINDUNG]\n";

std::atomic<bool> g_stopRequested{false};

// Ctrl+C (and SIGTERM) ends the run between two exchanges. The signals are taken by a thread
// of their own, so no exchange with the instrument and no write is cut short by them: the run
// only sees the flag when it next looks.
class InterruptScope {
  public:
    InterruptScope() {
        g_stopRequested.store(false);
        sigemptyset(&m_set);
        sigaddset(&m_set, SIGINT);
        sigaddset(&m_set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
        m_waiter = std::thread([this] {
            const timespec slice{0, 100'000'000};
            while (!m_done.load()) {
                if (sigtimedwait(&m_set, nullptr, &slice) > 0) {
                    g_stopRequested.store(true);
                }
            }
        });
    }
    ~InterruptScope() {
        m_done.store(true);
        m_waiter.join();
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

  private:
    sigset_t m_set{};
    sigset_t m_old{};
    std::atomic<bool> m_done{false};
    std::thread m_waiter;
};

// Says everything on the error stream and remembers whether an error was among it.
class CountingNotifier final : public Notifier {
  public:
    explicit CountingNotifier(std::ostream& err) : m_err(err) {}
    void Show(Severity severity, const Notice& notice) override {
        m_err << notice.Text() << '\n';
        errors += severity == Severity::Error ? 1 : 0;
    }
    bool Confirm(const Notice& notice) override {
        m_err << notice.Text() << '\n';
        return false;  // a script cannot answer
    }
    int errors = 0;

  private:
    std::ostream& m_err;
};

struct Parsed {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    std::vector<std::string> channels;  // --channel / --source values
    bool trigger = false;
};

// "--channel A B --channel C" and the like: a list option takes every following word up to the
// next option.
std::optional<Parsed> Parse(const std::vector<std::string>& args, const char* listOption,
                            std::ostream& err) {
    Parsed p;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == listOption) {
            const std::size_t before = p.channels.size();
            while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
                p.channels.push_back(args[++i]);
            }
            if (p.channels.size() == before) {
                err << "Option " << a << " braucht einen Wert\n" << kLoggerUsage;
                return std::nullopt;
            }
        } else if (a == "--trigger") {
            p.trigger = true;
        } else if (a.size() > 2 && a.rfind("--", 0) == 0) {
            if (i + 1 >= args.size()) {
                err << "Option " << a << " braucht einen Wert\n" << kLoggerUsage;
                return std::nullopt;
            }
            p.options[a] = args[++i];
        } else {
            p.positional.push_back(a);
        }
    }
    return p;
}

std::optional<long long> Count(const Parsed& p, long long defaultValue) {
    const auto it = p.options.find("--count");
    if (it == p.options.end()) {
        return defaultValue;
    }
    long long v = 0;
    if (!ParseInteger(it->second, v) || v < 1) {
        return std::nullopt;
    }
    return v;
}

std::optional<double> Seconds(const Parsed& p, double defaultValue) {
    const auto it = p.options.find("--interval");
    if (it == p.options.end()) {
        return defaultValue;
    }
    double v = 0;
    if (!ParseReal(it->second, v) || v < 0 || v >= 86'400.0) {
        return std::nullopt;
    }
    return v;
}

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

int IndexOf(const std::vector<std::string>& list, const std::string& item) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (Upper(list[i]) == Upper(item)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Sleeps until `deadlineMs` of `clock`, in short slices so Ctrl+C ends the wait at once.
void SleepUntil(LoggerClock& clock, std::int64_t deadlineMs) {
    while (!g_stopRequested.load()) {
        const std::int64_t left = deadlineMs - clock.NowMs();
        if (left <= 0) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<std::int64_t>(left, 50)));
    }
}

// Fills the logger's channels from "TYP:QUELLE" words; false after saying what is wrong.
bool SetChannels(const std::vector<std::string>& words, const LoggerChoices& choices,
                 LoggerSettings& settings, Notifier& notifier, std::ostream& err) {
    if (choices.Exclamation()) {
        // One function: its code ("01") or its name; the main and the secondary reading.
        const std::string type = words[0].substr(0, words[0].find(':'));
        int j = IndexOf(choices.functionCodes, type);
        if (j < 0) {
            const int shown = IndexOf(choices.measures, type);
            j = shown >= choices.scopeMeasures ? shown - choices.scopeMeasures : -1;
        }
        if (j < 0 || words.size() > 1) {
            err << "--channel erwartet eine Multimeterfunktion des Geräts (z. B. 01)\n";
            return false;
        }
        ApplyChannelChoice(settings, 0, {choices.scopeMeasures + j, 0, true}, choices, notifier);
        return true;
    }
    if (words.size() > static_cast<std::size_t>(kLoggerChannels)) {
        err << "höchstens " << kLoggerChannels << " Kanäle\n";
        return false;
    }
    for (std::size_t k = 0; k < words.size(); ++k) {
        const std::size_t colon = words[k].rfind(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == words[k].size()) {
            err << "--channel erwartet TYP:QUELLE, nicht " << words[k] << '\n';
            return false;
        }
        const std::string type = words[k].substr(0, colon);
        const std::string source = words[k].substr(colon + 1);
        const int ki = static_cast<int>(k);
        if (choices.measures.empty() || choices.sources.empty()) {
            // No instrument definition file: taken as written.
            settings.active[k] = true;
            settings.measurement[k] = Upper(type);
            settings.source[k] = Upper(source);
            continue;
        }
        const ChannelChoice asked{IndexOf(choices.measures, type), IndexOf(choices.sources, source),
                                  true};
        if (asked.measure < 0 || asked.source < 0) {
            err << "unbekannte Messung oder Quelle: " << words[k] << '\n';
            return false;
        }
        const ChannelChoice got = ApplyChannelChoice(settings, ki, asked, choices, notifier);
        if (got.measure != asked.measure || got.source != asked.source) {
            return false;  // message 18 or 19 said why
        }
    }
    return true;
}

std::string ValuesText(const DataLogger& logger, const LoggerSettings& settings) {
    std::string text;
    for (int i = 0; i < kLoggerChannels; ++i) {
        if (settings.active[i]) {
            text += "  " + FormatWithPrefix(logger.Values()[i], settings.units[i]);
        }
    }
    return text;
}

int Log(const Parsed& p, const KtxEnvironment& env, std::ostream& err) {
    const auto count = Count(p, 100);
    const auto seconds = Seconds(p, 0.0);
    if (p.positional.size() != 1 || p.channels.empty() || !count || !seconds) {
        err << kLoggerUsage;
        return kExitUsage;
    }
    // Before the link opens, so that no thread of it takes the signal.
    InterruptScope interrupt;
    CountingNotifier notifier(err);
    LinkSession session(notifier);
    if (const int rc = session.Open(p.options, env, err); rc != kExitOk) {
        return rc;
    }
    const LinkChoice& choice = session.Choice();
    LoggerSettings settings;
    const LoggerChoices choices = ReadLoggerChoices(choice.deviceFile, choice.deviceType);
    if (!SetChannels(p.channels, choices, settings, notifier, err)) {
        return kExitUsage;
    }
    settings.fileName = p.positional[0];
    settings.triggered = p.trigger;
    settings.interval = ShownInterval(static_cast<std::int32_t>(std::lround(*seconds * 1000.0)));
    ScratchFolder scratch("ktx-log-");
    SteadyLoggerClock clock;
    DataLogger logger(
        session.Transport(), notifier, settings, choices, clock,
        LoggerHooks{
            [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }, {}, {}},
        scratch.File("ktx_tmp.tmp"));
    logger.Open();
    if (!logger.Start(*count)) {
        return kExitFailure;
    }
    err << "Aufzeichnung in " << settings.fileName << ", alle " << settings.interval / 1000.0
        << " s, " << *count << " Messungen (Strg+C beendet)\n";
    long long taken = 0;
    std::int64_t next = clock.NowMs();
    bool stopped = false;
    while (!g_stopRequested.load()) {
        const std::int64_t before = logger.Remaining();
        const TickResult r = logger.Tick();
        if (logger.Remaining() < before) {  // a record was taken (also the last one)
            ++taken;
            err << "Messung " << taken << " von " << *count << ':' << ValuesText(logger, settings)
                << '\n';
        }
        if (r == TickResult::Stopped) {
            stopped = true;
            break;
        }
        if (r == TickResult::Waiting) {
            SleepUntil(clock, clock.NowMs() + 20);
            continue;
        }
        next = std::max(next + logger.TimerInterval(), clock.NowMs());
        SleepUntil(clock, next);
    }
    if (!stopped) {
        err << "abgebrochen\n";
    }
    logger.Stop();
    const std::int64_t records = std::max<std::int64_t>(CountWaveFile(settings.fileName) - 1, 0);
    err << records << " Datensätze in " << settings.fileName << '\n';
    return notifier.errors == 0 ? kExitOk : kExitFailure;
}

int Scan(const Parsed& p, const KtxEnvironment& env, std::ostream& err) {
    const auto count = Count(p, 1);
    const auto seconds = Seconds(p, 2.0);
    if (p.positional.size() != 2 || p.channels.empty() || !count || !seconds || *count > 999'999) {
        err << kLoggerUsage;
        return kExitUsage;
    }
    // Before the link opens, so that no thread of it takes the signal.
    InterruptScope interrupt;
    CountingNotifier notifier(err);
    LinkSession session(notifier);
    if (const int rc = session.Open(p.options, env, err); rc != kExitOk) {
        return rc;
    }
    const LinkChoice& choice = session.Choice();
    ScanRequest request;
    request.folder = p.positional[0];
    request.base = ScanBaseName(p.positional[1] + ".");
    request.sources = p.channels;
    for (std::string& s : request.sources) {
        s = Upper(s);
    }
    const MemorySizes memory = ReadMemory(choice.deviceFile);
    request.startText = p.options.count("--start") ? p.options.at("--start") : "0";
    request.stopText = p.options.count("--stop") ? p.options.at("--stop") : memory.size;
    request.wanted = static_cast<int>(*count);
    request.intervalSeconds = static_cast<int>(*seconds);
    request.triggered = p.trigger;
    request.beep = false;
    std::error_code ec;
    if (!std::filesystem::is_directory(request.folder, ec)) {
        err << "kein Ordner: " << request.folder << '\n';
        return kExitUsage;
    }
    ScratchFolder scratch("ktx-log-");
    SteadyLoggerClock clock;
    Scanner scanner(session.Transport(), notifier, NoProgress(), choice.deviceType, memory.size,
                    scratch.File("ktx_tmp.tmp"), scratch.File("ktx_tmp1.tmp"),
                    ScannerHooks{[&clock] { return clock.NowMs(); }, {}});
    if (!scanner.Start(request)) {
        return kExitFailure;
    }
    err << "Scan nach " << request.folder << ", "
        << (request.triggered ? std::string("nach jedem Trigger")
                              : "alle " + std::to_string(request.intervalSeconds) + " s")
        << ", " << request.wanted << " Scans (Strg+C beendet)\n";
    std::int64_t next = clock.NowMs();
    while (!g_stopRequested.load() && scanner.Running()) {
        const std::string file = scanner.NextFile();
        const ScanTick t = scanner.Tick();
        if (t != ScanTick::Waiting) {
            err << "Scan " << scanner.Done() << " von " << request.wanted << ": " << file << '\n';
        }
        next = std::max(next + scanner.TimerMs(), clock.NowMs());
        if (scanner.Running()) {
            SleepUntil(clock, next);
        }
    }
    if (scanner.Running()) {
        err << "abgebrochen nach " << scanner.Done() << " Scans\n";
        scanner.Stop();
    }
    return notifier.errors == 0 ? kExitOk : kExitFailure;
}

}  // namespace

bool IsLoggerCommand(const std::string& command) {
    return command == "log" || command == "scan";
}

void RequestLoggerStop() {
    g_stopRequested.store(true);
}

int RunLoggerCommand(const std::string& command, const std::vector<std::string>& args,
                     const KtxEnvironment& environment, std::ostream& out, std::ostream& err) {
    (void)out;
    const auto p = Parse(args, command == "log" ? "--channel" : "--source", err);
    if (!p) {
        return kExitUsage;
    }
    KtxEnvironment env = environment;
    if (const auto home = p->options.find("--home"); home != p->options.end()) {
        env.programDir = home->second;
    }
    return command == "log" ? Log(*p, env, err) : Scan(*p, env, err);
}

}  // namespace ktx

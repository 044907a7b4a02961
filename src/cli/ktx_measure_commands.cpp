// SPDX-License-Identifier: GPL-3.0-or-later
// ktx measure and ktx dmm.
#include "cli/ktx_measure_commands.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <ostream>
#include <thread>

#include "cli/ktx_commands.h"
#include "cli/ktx_link_commands.h"
#include "cli/stream_notifier.h"
#include "link/command_transport.h"
#include "tools/format_with_prefix.h"
#include "tools/measurement.h"
#include "tools/multimeter.h"

namespace ktx {

namespace {

constexpr int kMsgNotConnected = 301;
constexpr int kMsgNoValidChoice = 14;
constexpr int kMsgNoMeasurement = 17;
constexpr int kMsgRangeNotWritten = 28;
constexpr int kFirstHandheldType = 20;
constexpr long kMaxCount = 1'000'000'000;

std::atomic<bool> g_interrupted{false};

extern "C" void OnMeasureInterrupt(int) {
    g_interrupted.store(true);
}

// Ctrl+C ends the series cleanly while this lives; the previous handler comes back after.
class InterruptScope {
  public:
    InterruptScope() {
        g_interrupted.store(false);
        m_previous = std::signal(SIGINT, OnMeasureInterrupt);
    }
    ~InterruptScope() { std::signal(SIGINT, m_previous == SIG_ERR ? SIG_DFL : m_previous); }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;
    static bool Interrupted() { return g_interrupted.load(); }

  private:
    void (*m_previous)(int) = SIG_DFL;
};

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

int Measure(const std::vector<std::string>& positional,
            const std::map<std::string, std::string>& options, const KtxEnvironment& env,
            std::ostream& out, std::ostream& err) {
    if (positional.size() != 2) {
        err << "Aufruf: ktx measure TYP QUELLE [--count N] [VERBINDUNG]\n";
        return kExitUsage;
    }
    long count = 1;
    if (const auto c = options.find("--count"); c != options.end()) {
        char* end = nullptr;
        count = std::strtol(c->second.c_str(), &end, 10);
        if (c->second.empty() || *end != '\0' || count < 1 || count > kMaxCount) {
            err << "--count erwartet eine Zahl ab 1\n";
            return kExitUsage;
        }
    }
    StreamNotifier notifier(err);
    LinkSession session(notifier);
    if (const int code = session.Open(options, env, err); code != kExitOk) {
        return code;
    }
    Measurement measurement(session.Transport(), notifier, session.Choice().deviceType, Sleep);
    measurement.Open();
    const InterruptScope interrupt;
    MeasurementLabels labels;
    if (!measurement.Measure(Upper(positional[0]), Upper(positional[1]), labels)) {
        if (session.LatestFailure().Known()) {
            ShowLinkFailure(notifier, kMsgNotConnected, session.LatestFailure());
        }
        return kExitFailure;
    }
    out << labels.value << '\n' << std::flush;
    long done = 1;
    while (done < count && !InterruptScope::Interrupted()) {
        err << "Messung " << done + 1 << " von " << count << '\r' << std::flush;
        if (!measurement.ReadValue(labels)) {
            err << '\n';
            ShowErrorMsg(notifier, kMsgNoMeasurement, 0);
            if (session.LatestFailure().Known()) {
                ShowLinkFailure(notifier, kMsgNotConnected, session.LatestFailure());
            }
            return kExitFailure;
        }
        out << labels.value << '\n' << std::flush;
        ++done;
    }
    if (count > 1) {
        err << '\n'
            << done << " von " << count << " Messungen"
            << (InterruptScope::Interrupted() ? " (abgebrochen)" : "") << '\n';
    }
    return kExitOk;
}

// The type-9 multimeter: "DMM:FUNC", "DMM:RANGE", "DMM:VAL?".
int DmmTextCommands(CommandTransport& transport, Notifier& notifier,
                    const MeterDefinition& definition,
                    const std::map<std::string, std::string>& options, std::ostream& out) {
    std::string function;
    if (const auto f = options.find("--function"); f != options.end()) {
        function = Upper(f->second);
        if (!transport.SendCommand("DMM:FUNC " + function)) {
            ShowErrorMsg(notifier, kMsgRangeNotWritten, 0);
            return kExitFailure;
        }
    } else {
        function = transport.Query("DMM:FUNC?");
    }
    // The definition file's code for what the instrument measures: the last that occurs.
    const MeterFunction* known = nullptr;
    for (const MeterFunction& f : definition.functions) {
        if (!f.code.empty() && Upper(function).find(f.code) != std::string::npos) {
            known = &f;
        }
    }
    const std::string code = known ? known->code : Upper(function);
    bool ok = true;
    if (options.count("--auto") != 0) {
        ok = transport.SendCommand("DMM:RANGE:AUTO ON");
    } else if (const auto r = options.find("--range"); r != options.end()) {
        ok = transport.SendCommand("DMM:RANGE:AUTO OFF") &&
             transport.SendCommand("DMM:RANGE:" + code + " " + Upper(r->second));
    }
    if (!ok) {
        ShowErrorMsg(notifier, kMsgRangeNotWritten, 0);
        return kExitFailure;
    }
    double value = 0.0;
    bool converted = ParseInstrumentNumber(transport.Query("DMM:VAL?"), value);
    if (converted && value > Measurement::kNoValidResult) {
        Sleep(DmmRangeControl::kRetryPauseMs);
        converted = ParseInstrumentNumber(transport.Query("DMM:VAL?"), value);
    }
    if (!converted) {
        ShowErrorMsg(notifier, kMsgNoMeasurement, 0);
        return kExitFailure;
    }
    out << (value >= Measurement::kNoValidResult
                ? std::string("over Range")
                : FormatWithPrefix(value, known ? known->unit : std::string()))
        << '\n';
    return kExitOk;
}

// The handheld family: "!T<function>,<range>", then the range dialog's "Mess".
int HandheldCommands(CommandTransport& transport, Notifier& notifier,
                     const MeterDefinition& definition,
                     const std::map<std::string, std::string>& options, std::ostream& out) {
    HandheldMeter meter(transport, definition);
    meter.Open(notifier);
    const auto f = options.find("--function");
    const auto r = options.find("--range");
    if (f != options.end() || r != options.end() || options.count("--auto") != 0) {
        int index = meter.Current().function;
        if (f != options.end()) {
            // The function's number ("05") or its name as the definition file shows it.
            index = -1;
            for (std::size_t i = 0; i < definition.functions.size(); ++i) {
                if (definition.functions[i].code == Upper(f->second) ||
                    Upper(definition.functions[i].name) == Upper(f->second)) {
                    index = static_cast<int>(i);
                }
            }
        }
        if (index < 0) {
            ShowErrorMsg(notifier, kMsgNoValidChoice, 0);
            return kExitUsage;
        }
        const std::string range = r != options.end() ? Upper(r->second) : "A";
        const std::string answer =
            transport.Query("!T" + definition.functions[index].code + "," + range);
        if (answer.find("T0") == std::string::npos) {
            // The meter refuses a range its table does not have ("T1").
            ShowErrorMsg(notifier, kMsgRangeNotWritten, 0);
            return kExitFailure;
        }
    }
    HandheldMeter::Reading reading;
    if (!meter.Measure(reading, notifier)) {
        return kExitFailure;
    }
    out << reading.main;
    if (!reading.secondary.empty()) {
        out << '\t' << reading.secondary;
    }
    out << '\n';
    return kExitOk;
}

int Dmm(const std::vector<std::string>& positional,
        const std::map<std::string, std::string>& options, const KtxEnvironment& env,
        std::ostream& out, std::ostream& err) {
    if (!positional.empty() || (options.count("--range") != 0 && options.count("--auto") != 0)) {
        err << "Aufruf: ktx dmm [--function F] [--range R|--auto] [VERBINDUNG]\n";
        return kExitUsage;
    }
    StreamNotifier notifier(err);
    LinkSession session(notifier);
    if (const int code = session.Open(options, env, err); code != kExitOk) {
        return code;
    }
    const MeterDefinition definition = ReadMeterDefinition(session.Choice().deviceFile);
    const int code = session.Choice().deviceType >= kFirstHandheldType
                         ? HandheldCommands(session.Transport(), notifier, definition, options, out)
                         : DmmTextCommands(session.Transport(), notifier, definition, options, out);
    if (code == kExitFailure && session.LatestFailure().Known()) {
        ShowLinkFailure(notifier, kMsgNotConnected, session.LatestFailure());
    }
    return code;
}

}  // namespace

bool IsMeasureCommand(const std::string& command) {
    return command == "measure" || command == "dmm";
}

int RunMeasureCommand(const std::string& command, const std::vector<std::string>& positional,
                      const std::map<std::string, std::string>& options, const KtxEnvironment& env,
                      std::ostream& out, std::ostream& err) {
    return command == "measure" ? Measure(positional, options, env, out, err)
                                : Dmm(positional, options, env, out, err);
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// `ktx fft`, `ktx math` and `ktx math2`.
#include "cli/ktx_analysis_commands.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>

#include "analysis/analysis_source.h"
#include "analysis/channel_math.h"
#include "analysis/fft_computation.h"
#include "analysis/result_files.h"
#include "analysis/two_channel_math.h"
#include "cli/ktx_commands.h"
#include "cli/stream_notifier.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "tools/format_with_prefix.h"

namespace ktx {
namespace {

constexpr int kMsgBadFormat = 12;
constexpr int kMsgNoValidSelection = 14;
constexpr int kMsgInvalidName = 42;

constexpr const char* kAnalysisUsage =
    "Aufruf:\n"
    "  ktx fft QUELLE ZIEL.fft [--harmonics K] [--window rect|hann|hamm|bh] [--start A --stop B]\n"
    "          [--column C] [--phase-limit DB]\n"
    "  ktx math diff|int|inv|smooth|hist QUELLE ZIEL [--factor F] [--start A --stop B] "
    "[--column C]\n"
    "  ktx math2 add|sub|mul|div QUELLE1 QUELLE2 ZIEL.ktx [--column1 C] [--column2 C]\n";

int Usage(std::ostream& err) {
    err << kAnalysisUsage;
    return kExitUsage;
}

struct Parsed {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
};

std::optional<Parsed> Parse(const std::vector<std::string>& args, std::ostream& err) {
    Parsed p;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // "--phase-limit -40": a value may itself start with a minus sign.
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            if (i + 1 >= args.size()) {
                err << "Option " << a << " braucht einen Wert\n";
                return std::nullopt;
            }
            p.options[a] = args[++i];
        } else {
            p.positional.push_back(a);
        }
    }
    return p;
}

std::optional<std::int64_t> ParseInteger(const std::string& s) {
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return v;
}

// Checks that only `allowed` options were given and reads the integer ones.
class Options {
  public:
    Options(const Parsed& p, std::ostream& err) : m_p(p), m_err(err) {}

    bool OnlyThese(std::initializer_list<const char*> allowed) {
        for (const auto& [name, value] : m_p.options) {
            bool known = false;
            for (const char* a : allowed) {
                known = known || name == a;
            }
            if (!known) {
                m_err << "Unbekannte Option: " << name << '\n';
                return false;
            }
        }
        return true;
    }
    bool Has(const char* name) const { return m_p.options.count(name) > 0; }
    // The value, or `fallback` when absent; nothing (after a message) when it is no whole number
    // within min..max.
    std::optional<std::int64_t> Int(const char* name, std::int64_t fallback, std::int64_t min,
                                    std::int64_t max) {
        const auto it = m_p.options.find(name);
        if (it == m_p.options.end()) {
            return fallback;
        }
        const auto v = ParseInteger(it->second);
        if (!v || *v < min || *v > max) {
            m_err << name << " erwartet eine ganze Zahl von " << min << " bis " << max << '\n';
            return std::nullopt;
        }
        return v;
    }
    std::string Text(const char* name, const std::string& fallback) const {
        const auto it = m_p.options.find(name);
        return it == m_p.options.end() ? fallback : it->second;
    }

  private:
    const Parsed& m_p;
    std::ostream& m_err;
};

// A source as the dialogs take it: converted when foreign, its layout recognised, its column
// chosen (the one present, else --column, else the first present one).
struct OpenedSource {
    PreparedSource prepared;
    SourceLayout layout;
    int column = 0;
};

std::optional<OpenedSource> OpenSource(const std::string& path, std::optional<std::int64_t> column,
                                       Notifier& notifier, std::ostream& err) {
    OpenedSource s;
    auto prepared = PrepareSource(path, notifier, NoProgress());
    if (!prepared) {
        return std::nullopt;
    }
    s.prepared = std::move(*prepared);
    const auto layout = DetectSource(s.prepared.effective);
    if (!layout) {
        ShowErrorMsgText(notifier, kMsgBadFormat, path, 0);
        return std::nullopt;
    }
    s.layout = *layout;
    const std::vector<int> present = s.layout.PresentColumns();
    if (column) {
        if (std::find(present.begin(), present.end(), static_cast<int>(*column)) == present.end()) {
            err << path << ": Spalte " << *column << " ist nicht vorhanden\n";
            return std::nullopt;
        }
        s.column = static_cast<int>(*column);
    } else if (!present.empty()) {
        s.column = present.front();
    } else {
        err << path << ": keine Spalte vorhanden\n";
        return std::nullopt;
    }
    return s;
}

// --start/--stop, or the whole file; nothing (after a message) for an invalid period.
std::optional<Period> PeriodFrom(Options& o, const SourceLayout& layout, Notifier& notifier) {
    const std::int64_t records = layout.DataRecords();
    const auto start = o.Int("--start", 0, 0, records);
    const auto stop = o.Int("--stop", records, 0, records);
    if (!start || !stop) {
        return std::nullopt;
    }
    const Period period = ValidatePeriod(*start, *stop);
    if (!period.valid) {
        ShowErrorMsgText(notifier, kMsgNoValidSelection,
                         "(Start " + std::to_string(*start) + ", Stop " + std::to_string(*stop) +
                             ": weniger als 2 Werte)",
                         0);
        return std::nullopt;
    }
    return period;
}

std::string Fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

int Fft(const Parsed& p, const std::string& programDir, std::ostream& out, std::ostream& err) {
    Options o(p, err);
    if (p.positional.size() != 2 || !o.OnlyThese({"--harmonics", "--window", "--start", "--stop",
                                                  "--column", "--phase-limit"})) {
        return Usage(err);
    }
    const auto harmonics = o.Int("--harmonics", kDefaultHarmonics, kMinHarmonics, kMaxHarmonics);
    const auto phaseLimit = o.Int("--phase-limit", kDefaultPhaseLimit, -100, 0);
    const auto column =
        o.Has("--column") ? o.Int("--column", 0, 0, 3) : std::optional<std::int64_t>(std::nullopt);
    if (!harmonics || !phaseLimit || (o.Has("--column") && !column)) {
        return kExitUsage;
    }
    static const std::map<std::string, FftWindow> kWindows = {{"rect", FftWindow::Rectangular},
                                                              {"hann", FftWindow::Hanning},
                                                              {"hamm", FftWindow::Hamming},
                                                              {"bh", FftWindow::BlackmanHarris}};
    const auto window = kWindows.find(o.Text("--window", "rect"));
    if (window == kWindows.end()) {
        err << "--window erwartet rect, hann, hamm oder bh\n";
        return kExitUsage;
    }
    StreamNotifier notifier(err);
    const std::string& source = p.positional[0];
    const std::string& target = p.positional[1];
    if (UpperExtension(target) != ".FFT") {
        ShowErrorMsgText(notifier, kMsgInvalidName, target, 0);
        return kExitFailure;
    }
    const auto s = OpenSource(source, column, notifier, err);
    if (!s) {
        return kExitFailure;
    }
    const auto period = PeriodFrom(o, s->layout, notifier);
    if (!period) {
        return kExitFailure;
    }
    FftRequest r;
    r.source = s->prepared.effective;
    r.layout = s->layout;
    r.column = s->column;
    r.period = *period;
    r.harmonics = ClampHarmonics(static_cast<int>(*harmonics), period->n);
    r.window = window->second;
    r.phaseLimitDb = static_cast<double>(*phaseLimit);
    r.unitFrequency = s->prepared.sampleAxis;
    r.target = target;
    r.protectedFiles = {source, s->prepared.effective};
    r.memoryBudget = FftMemoryBudget((std::filesystem::path(programDir) / "kurvitex.ini").string());
    const FftOutcome outcome = RunFft(r, notifier, NoProgress());
    if (!outcome.ok) {
        return kExitFailure;
    }
    // What the FFT view shows of the file just written.
    const FileBytes bytes = ReadWholeFile(target, 1ull << 26);
    const ResultTable table =
        ParseResultFile(bytes.bytes.data(), bytes.bytes.size(), WaveLayout::Spectrum);
    if (!bytes.ok || table.fault != ResultFault::None || table.rows.empty()) {
        ShowErrorMsgText(notifier, kMsgBadFormat, target, 0);
        return kExitFailure;
    }
    const Distortion d = ComputeDistortion(table);
    out << "Harmonische:\t" << r.harmonics << '\n';
    out << "Grundfrequenz:\t" << FormatWithPrefix(outcome.periodFrequency, "Hz") << '\n';
    out << "Mittelwert:\t" << FormatWithPrefix(table.rows[0][1], table.units[1]) << '\n';
    out << "K:\t" << Fixed(d.kPercent, 5) << " %\n";
    out << "THD:\t" << (d.thd ? Fixed(*d.thd, 6) : std::string("---")) << '\n';
    return kExitOk;
}

int Math(const Parsed& p, const std::string& programDir, std::ostream& out, std::ostream& err) {
    Options o(p, err);
    if (p.positional.size() != 3 || !o.OnlyThese({"--factor", "--start", "--stop", "--column"})) {
        return Usage(err);
    }
    static const std::map<std::string, MathFunction> kFunctions = {
        {"diff", MathFunction::Differentiate},
        {"int", MathFunction::Integrate},
        {"inv", MathFunction::Invert},
        {"smooth", MathFunction::Smooth},
        {"hist", MathFunction::Distribution}};
    const auto function = kFunctions.find(p.positional[0]);
    if (function == kFunctions.end()) {
        err << "Unbekannte Funktion: " << p.positional[0] << '\n';
        return Usage(err);
    }
    const auto factor = o.Int("--factor", kDefaultSmoothing, kMinSmoothing, kMaxSmoothing);
    const auto column =
        o.Has("--column") ? o.Int("--column", 0, 0, 3) : std::optional<std::int64_t>(std::nullopt);
    if (!factor || (o.Has("--column") && !column)) {
        return kExitUsage;
    }
    StreamNotifier notifier(err);
    const std::string& source = p.positional[1];
    const std::string& target = p.positional[2];
    if (target.find_first_of("*?") != std::string::npos || TargetInsideSource(target, {source})) {
        ShowErrorMsgText(notifier, kMsgInvalidName, target, 0);
        return kExitFailure;
    }
    const auto s = OpenSource(source, column, notifier, err);
    if (!s) {
        return kExitFailure;
    }
    const auto period = PeriodFrom(o, s->layout, notifier);
    if (!period) {
        return kExitFailure;
    }
    MathRequest r;
    r.source = s->prepared.effective;
    r.layout = s->layout;
    r.column = s->column;
    r.period = *period;
    r.function = function->second;
    r.smoothing = ClampSmoothing(static_cast<int>(*factor));
    r.target = target;
    r.protectedFiles = {source, s->prepared.effective};
    // The distribution keeps its values in memory within the same budget as the FFT.
    r.memoryBudget = FftMemoryBudget((std::filesystem::path(programDir) / "kurvitex.ini").string());
    const MathOutcome outcome = RunMath(r, notifier, NoProgress());
    if (!outcome.ok) {
        return kExitFailure;
    }
    out << outcome.records << " Punkte\n";
    return kExitOk;
}

int Math2(const Parsed& p, std::ostream& out, std::ostream& err) {
    Options o(p, err);
    if (p.positional.size() != 4 || !o.OnlyThese({"--column1", "--column2"})) {
        return Usage(err);
    }
    static const std::map<std::string, Math2Function> kFunctions = {
        {"add", Math2Function::Add},
        {"sub", Math2Function::Subtract},
        {"mul", Math2Function::Multiply},
        {"div", Math2Function::Divide}};
    const auto function = kFunctions.find(p.positional[0]);
    if (function == kFunctions.end()) {
        err << "Unbekannte Funktion: " << p.positional[0] << '\n';
        return Usage(err);
    }
    std::optional<std::int64_t> columns[2];
    for (int i = 0; i < 2; ++i) {
        const char* name = i == 0 ? "--column1" : "--column2";
        if (o.Has(name)) {
            columns[i] = o.Int(name, 0, 0, 3);
            if (!columns[i]) {
                return kExitUsage;
            }
        }
    }
    StreamNotifier notifier(err);
    const std::string& source1 = p.positional[1];
    const std::string& source2 = p.positional[2];
    const std::string& target = p.positional[3];
    if (target.find_first_of("*?") != std::string::npos || UpperExtension(target) != ".KTX" ||
        TargetInsideSource(target, {source1, source2})) {
        ShowErrorMsgText(notifier, kMsgInvalidName, target, 0);
        return kExitFailure;
    }
    const auto s1 = OpenSource(source1, columns[0], notifier, err);
    if (!s1) {
        return kExitFailure;
    }
    const auto s2 = OpenSource(source2, columns[1], notifier, err);
    if (!s2) {
        return kExitFailure;
    }
    Math2Request r;
    r.source1 = {s1->prepared.effective, s1->layout, s1->column};
    r.source2 = {s2->prepared.effective, s2->layout, s2->column};
    r.function = function->second;
    r.target = target;
    r.protectedFiles = {source1, source2, s1->prepared.effective, s2->prepared.effective};
    const Math2Outcome outcome = RunMath2(r, notifier, NoProgress());
    if (!outcome.ok) {
        return kExitFailure;
    }
    out << outcome.records << " Punkte\n";
    return kExitOk;
}

}  // namespace

bool IsAnalysisCommand(const std::string& command) {
    return command == "fft" || command == "math" || command == "math2";
}

int RunAnalysisCommand(const std::string& command, const std::vector<std::string>& args,
                       const std::string& programDir, std::ostream& out, std::ostream& err) {
    const auto p = Parse(args, err);
    if (!p) {
        return Usage(err);
    }
    if (command == "fft") {
        return Fft(*p, programDir, out, err);
    }
    if (command == "math") {
        return Math(*p, programDir, out, err);
    }
    return Math2(*p, out, err);
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ktx_commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <system_error>

#include "cli/ktx_analysis_commands.h"
#include "cli/ktx_file_commands.h"
#include "cli/ktx_link_commands.h"
#include "cli/ktx_measure_commands.h"
#include "cli/ktx_logger_commands.h"
#include "cli/ktx_picture_commands.h"
#include "cli/ktx_setup_commands.h"
#include "cli/ktx_transfer_commands.h"
#include "cli/ktx_view_commands.h"
#include "cli/stream_notifier.h"
#include "config/device_validator.h"
#include "config/message_catalog.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/block_file.h"
#include "waveform/curve_converter.h"
#include "waveform/wave_stream.h"
#include "waveform/waveform_record.h"

namespace ktx {

namespace {

constexpr int kMsgConversionFailed = 4;
constexpr int kMsgBadFormat = 12;
constexpr int kMsgFileNotFound = 22;

constexpr const char* kUsage =
    "Aufruf:\n"
    "  ktx info DATEI [--column N]\n"
    "  ktx dump DATEI [--column N]\n"
    "  ktx curve ROH ZIEL --xincr X --pt-off P --yoff Y --ymult M [--flags HEX | --ascii | "
    "--raw]\n"
    "  ktx validate DATEI...\n"
    "  ktx import DATEI ZIEL.ktx [--frame N | --all]\n"
    "  ktx export DATEI.ktx ZIEL --format xls|fms|txt|npy [--sep ZEICHEN] [--dec ZEICHEN] "
    "[--eol lf|crlf|cr]\n"
    "  ktx idn [VERBINDUNG]\n"
    "  ktx query BEFEHL [VERBINDUNG]\n"
    "  ktx send BEFEHL [VERBINDUNG]\n"
    "  ktx receive BEFEHL DATEI [VERBINDUNG]\n"
    "  ktx read QUELLE... ZIEL [--format ktx|wfm|xls|fms|txt|npy] [--start N] [--stop N]\n"
    "           [--sep ZEICHEN] [--dec ZEICHEN] [--eol lf|crlf|cr] [VERBINDUNG]\n"
    "  ktx write DATEI.wfm ZIEL [VERBINDUNG]\n"
    "  ktx compress DATEI ZIEL --sample|--peak\n"
    "  ktx cut DATEI ZIEL --from A --count N\n"
    "  ktx fft QUELLE ZIEL.fft [--harmonics K] [--window rect|hann|hamm|bh] [--start A --stop B]\n"
    "          [--column C] [--phase-limit DB]\n"
    "  ktx math diff|int|inv|smooth|hist QUELLE ZIEL [--factor F] [--start A --stop B] "
    "[--column C]\n"
    "  ktx math2 add|sub|mul|div QUELLE1 QUELLE2 ZIEL.ktx [--column1 C] [--column2 C]\n"
    "  ktx hardcopy ZIEL [--format pcx|bmp|png] [--colour] [VERBINDUNG]\n"
    "  ktx picture QUELLE ZIEL.bmp|ZIEL.png\n"
    "  ktx setup read ZIEL.set [VERBINDUNG]\n"
    "  ktx setup write QUELLE.set [VERBINDUNG]\n"
    "  ktx convert --to ktx|txt|xls|fms [--from isf|wfm|csv|txt|ktx|fft] QUELLE... "
    "[--dir ZIELORDNER]\n"
    "  ktx measure TYP QUELLE [--count N] [VERBINDUNG]\n"
    "  ktx dmm [--function F] [--range R|--auto] [VERBINDUNG]\n"
    "  ktx log ZIEL.ktx --channel TYP:QUELLE... [--interval S] [--count N] [--trigger] "
    "[VERBINDUNG]\n"
    "  ktx scan ORDNER BASIS --source QUELLE... [--start A --stop B] [--interval S] [--count N]\n"
    "           [--trigger] [VERBINDUNG]\n"
    "  ktx --help\n"
    "VERBINDUNG: --link tcp:HOST:PORT | serial:GERÄT[:COMn:BAUD,P,D,S] | sim[:MODELL] | "
    "usbtmc:GERÄT | gpib:[BOARD:]ADRESSE | vxi11:HOST[:GERÄTENAME][:PORT] |\n"
    "            prologix:GERÄT:ADRESSE | prologix:HOST[:PORT]:ADRESSE\n"
    "            [--type GERÄTETYP] [--device GERÄTEDATEI] [--timeout MS]; ohne --link gilt "
    "kurvitex.ini im "
    "Programmordner (--home ORDNER)\n";

// Positional arguments and "--name value" / "--flag" options.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
};

bool TakesValue(const std::string& name) {
    return name != "--ascii" && name != "--raw" && name != "--all" && name != "--colour" &&
           name != "--auto";
}

std::optional<Args> SplitArgs(const std::vector<std::string>& args, std::size_t from,
                              std::ostream& err) {
    Args a;
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::string& s = args[i];
        if (s.size() > 2 && s.compare(0, 2, "--") == 0) {
            if (!TakesValue(s)) {
                a.options[s] = "";
            } else if (i + 1 < args.size()) {
                a.options[s] = args[++i];
            } else {
                err << "Option " << s << " braucht einen Wert\n" << kUsage;
                return std::nullopt;
            }
        } else {
            a.positional.push_back(s);
        }
    }
    return a;
}

std::optional<double> ParseDouble(const std::string& s) {
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

std::optional<int> ParseInt(const std::string& s, int base = 10) {
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return v;
}

std::string Number(double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    return std::string(buf, r.ptr);
}

// The version is a single; its shortest text is the one written into the file ("12.345").
std::string VersionText(float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

const char* LayoutName(WaveLayout layout) {
    switch (layout) {
        case WaveLayout::OneColumn:
            return "einspaltig";
        case WaveLayout::FourColumn:
            return "vierspaltig";
        case WaveLayout::Spectrum:
            return "Spektrum";
        case WaveLayout::Math:
            break;
    }
    return "Mathematik";
}

// The column --column names (0..3), or nothing; false after saying what is wrong.
bool ColumnOption(const Args& a, std::optional<int>& column, std::ostream& err) {
    if (auto it = a.options.find("--column"); it != a.options.end()) {
        column = ParseInt(it->second);
        if (!column || *column < 0 || *column > 3) {
            err << "--column erwartet 0 bis 3\n";
            return false;
        }
    }
    return true;
}

// A waveform file for info and dump, read as it is written: a file of any size takes the same
// memory. The column shown is the view's: the one present column, else --column, else the
// first present one.
struct ToolFile {
    WaveStream& in;
    int column = 0;
};

std::optional<ToolFile> OpenForTool(const Args& a, WaveStream& in, Notifier& notifier,
                                    std::ostream& err) {
    std::optional<int> column;
    if (!ColumnOption(a, column, err)) {
        return std::nullopt;
    }
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return std::nullopt;
    }
    if (column && in.Layout() == WaveLayout::OneColumn && *column != 0) {
        err << "--column: eine einspaltige Datei hat nur Spalte 0\n";
        return std::nullopt;
    }
    return ToolFile{in, PresentColumn(in.Units(), column)};
}

void PrintUnits(std::ostream& out, const UnitStrings& units) {
    out << "Einheiten:\t" << units[0] << ' ' << units[1] << ' ' << units[2] << ' ' << units[3]
        << '\n';
}

TimeField XOf(const std::uint8_t* record) {
    TimeField x;
    std::memcpy(x.bytes.data(), record, sizeof x);
    return x;
}

int Info(const Args& a, std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    if (a.positional.size() != 1) {
        err << kUsage;
        return kExitUsage;
    }
    const std::string& path = a.positional[0];
    // Spectrum and math result files are recognised by their tag; their records are read by the
    // views that own them, so only the header facts are shown.
    BlockReader probe(path);
    std::uint8_t header[kHeaderProbeSize];
    WaveLayout layout;
    UnitStrings units;
    if (probe.IsOpen() && probe.Size() >= 2 * kFourColumnRecord &&
        probe.Read(header, sizeof header) == sizeof header && DetectLayout(header, layout, units) &&
        (layout == WaveLayout::Spectrum || layout == WaveLayout::Math)) {
        out << "Format:\t" << LayoutName(layout) << '\n';
        out << "Version:\t" << VersionText(HeaderVersion(header)) << '\n';
        PrintUnits(out, units);
        out << "Punkte:\t" << probe.Size() / kFourColumnRecord - 1 << '\n';
        out.flush();
        return kExitOk;
    }

    WaveStream in(path);
    const auto file = OpenForTool(a, in, notifier, err);
    if (!file) {
        return kExitFailure;
    }
    // The view's figures, gathered in one pass: y range from 0, first and last x.
    double yMin = 0.0;
    double yMax = 0.0;
    TimeField first;
    TimeField last;
    std::int64_t points = 0;
    while (const std::uint8_t* r = in.Next()) {
        const double y = RecordY(r, file->column);
        yMin = std::min(yMin, y);
        yMax = std::max(yMax, y);
        if (points++ == 0) {
            first = XOf(r);
        }
        last = XOf(r);
    }
    if (!in.Ok()) {
        in.ShowFailure(notifier);  // the file shrank while it was read
        return kExitFailure;
    }
    const float version = in.Version();
    out << "Format:\t" << LayoutName(in.Layout()) << '\n';
    out << "Version:\t" << VersionText(version) << '\n';
    PrintUnits(out, in.Units());
    out << "Punkte:\t" << points << '\n';
    out << "Spalte:\t" << file->column << '\n';
    if (points > 0) {
        out << "Erstes x:\t" << Number(TimeFieldToSeconds(first)) << " s\n";
        out << "Letztes x:\t" << Number(TimeFieldToSeconds(last)) << " s\n";
    }
    out << "yMin:\t" << Number(yMin) << '\n';
    out << "yMax:\t" << Number(yMax) << '\n';
    out << "Zeitskala:\t" << Number(points > 0 ? TimeScaleFor(first, last) : 1.0) << '\n';
    out << "Abtastachse:\t" << (version > kWaveVersion ? "ja" : "nein") << '\n';
    out.flush();
    return kExitOk;
}

int Dump(const Args& a, std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    if (a.positional.size() != 1) {
        err << kUsage;
        return kExitUsage;
    }
    WaveStream in(a.positional[0]);
    const auto file = OpenForTool(a, in, notifier, err);
    if (!file) {
        return kExitFailure;
    }
    // Formatted into one buffer and written in large pieces: a dump of 10 M points is common.
    std::string buf;
    buf.reserve(1 << 20);
    char line[64];
    while (const std::uint8_t* r = in.Next()) {
        char* p = line;
        p = std::to_chars(p, line + 30, TimeFieldToSeconds(XOf(r)), std::chars_format::general, 17)
                .ptr;
        *p++ = '\t';
        p = std::to_chars(p, p + 30, RecordY(r, file->column), std::chars_format::general, 17).ptr;
        *p++ = '\n';
        buf.append(line, p);
        if (buf.size() > (1 << 20) - 64) {
            out.write(buf.data(), static_cast<std::streamsize>(buf.size()));
            buf.clear();
            if (!out) {
                break;
            }
        }
    }
    out.write(buf.data(), static_cast<std::streamsize>(buf.size()));
    out.flush();
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return kExitFailure;
    }
    if (!out) {
        err << MessageCatalog::Message(41) << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

const char* CurveErrorDetail(CurveError e) {
    switch (e) {
        case CurveError::NoCurveHeader:
            return "(beginnt nicht mit :CURVE)";
        case CurveError::BadCount:
            return "(Blocklänge ist keine Dezimalzahl)";
        case CurveError::Truncated:
            return "(Datei endet vor dem Ende des Blocks)";
        case CurveError::BadValue:
            return "(Wert ist keine ganze Zahl)";
        case CurveError::ValueTooLong:
            return "(10 Zeichen ohne Trennzeichen)";
        default:
            return "";
    }
}

int Curve(const Args& a, std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    if (a.positional.size() != 2) {
        err << kUsage;
        return kExitUsage;
    }
    CurvePreamble p;
    struct Field {
        const char* option;
        Real6* target;
    };
    const Field fields[] = {{"--xincr", &p.XINCR},
                            {"--pt-off", &p.PT_OFF},
                            {"--yoff", &p.YOFF[0]},
                            {"--ymult", &p.YMULT[0]}};
    for (const Field& f : fields) {
        const auto it = a.options.find(f.option);
        if (it == a.options.end()) {
            err << "Option " << f.option << " fehlt\n" << kUsage;
            return kExitUsage;
        }
        const auto v = ParseDouble(it->second);
        if (!v) {
            err << MessageCatalog::Message(kMsgConversionFailed) << ' ' << f.option << ' '
                << it->second << '\n';
            return kExitUsage;
        }
        *f.target = Real6::FromDouble(*v);
    }
    const bool ascii = a.options.count("--ascii") > 0;
    const bool raw = a.options.count("--raw") > 0;
    const auto flagsIt = a.options.find("--flags");
    if (ascii + raw + (flagsIt != a.options.end()) > 1) {
        err << "--flags, --ascii und --raw schließen einander aus\n" << kUsage;
        return kExitUsage;
    }
    std::uint8_t flags = kCurveFlagsRib2;
    if (flagsIt != a.options.end()) {
        std::string hex = flagsIt->second;
        if (hex.size() > 2 && (hex.compare(0, 2, "0x") == 0 || hex.compare(0, 2, "0X") == 0)) {
            hex = hex.substr(2);
        }
        const auto v = ParseInt(hex, 16);
        if (!v || *v < 0 || *v > 0xFF) {
            err << "--flags erwartet einen Hexwert 00 bis FF\n";
            return kExitUsage;
        }
        flags = static_cast<std::uint8_t>(*v);
    }

    const std::string& source = a.positional[0];
    const std::string& target = a.positional[1];
    if (!UsableSource(source, notifier)) {
        return kExitFailure;
    }
    CurveResult r;
    if (raw) {
        r = ConvertRawCurve(source, target, notifier, NoProgress());
    } else if (ascii) {
        r = ConvertAsciiCurve(source, target, p, notifier, NoProgress());
    } else {
        r = ConvertBinaryCurve(source, target, p, flags, notifier, NoProgress());
    }
    switch (r.error) {
        case CurveError::None:
            out << r.points << " Punkte\n";
            return kExitOk;
        case CurveError::SourceOpen:
            // Readable a moment ago: the file went away or a read failed.
            if (!UsableSource(source, notifier)) {
                break;
            }
            [[fallthrough]];
        case CurveError::NoCurveHeader:
        case CurveError::BadCount:
        case CurveError::Truncated:
            ShowErrorMsgText(notifier, kMsgBadFormat, source + " " + CurveErrorDetail(r.error), 0);
            break;
        case CurveError::BadValue:
        case CurveError::ValueTooLong:
            ShowErrorMsgText(notifier, kMsgConversionFailed,
                             source + " " + CurveErrorDetail(r.error), 0);
            break;
        case CurveError::SourceTooShort:
        case CurveError::TargetCreate:
        case CurveError::Write:
            break;  // the converter has said it
    }
    return kExitFailure;
}

// Checks instrument definition files as "Geräteauswahl" would and names the first fault of each.
int Validate(const Args& a, std::ostream& out, std::ostream& err) {
    if (a.positional.empty() || !a.options.empty()) {
        err << kUsage;
        return kExitUsage;
    }
    int code = kExitOk;
    for (const std::string& path : a.positional) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            // The selection dialog only offers files that exist; on the command line a typing
            // error is likelier than a file without a name.
            out << path << ": " << MessageCatalog::Message(kMsgFileNotFound) << '\n';
            code = kExitFailure;
            continue;
        }
        const auto fault = FindDeviceFileFault(path);
        out << path << ": " << (fault ? DeviceFileFaultText(*fault) : std::string("ok")) << '\n';
        if (fault) {
            code = kExitFailure;
        }
    }
    out.flush();
    return code;
}

}  // namespace

int RunKtx(const std::vector<std::string>& args, const KtxEnvironment& environment,
           std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return kExitUsage;
    }
    // Asked for help, anywhere on the line ("ktx query --help"): the usage, and success.
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        out << kUsage;
        return kExitOk;
    }
    if (IsViewCommand(args[0])) {
        return RunViewCommand(args[0], std::vector<std::string>(args.begin() + 1, args.end()), out,
                              err);
    }
    if (IsAnalysisCommand(args[0])) {
        return RunAnalysisCommand(args[0], std::vector<std::string>(args.begin() + 1, args.end()),
                                  environment.programDir, out, err);
    }
    if (IsLoggerCommand(args[0])) {
        return RunLoggerCommand(args[0], std::vector<std::string>(args.begin() + 1, args.end()),
                                environment, out, err);
    }
    const auto a = SplitArgs(args, 1, err);
    if (!a) {
        return kExitUsage;
    }
    const std::string& command = args[0];
    if (command == "info") {
        return Info(*a, out, err);
    }
    if (command == "dump") {
        return Dump(*a, out, err);
    }
    if (command == "curve") {
        return Curve(*a, out, err);
    }
    if (command == "validate") {
        return Validate(*a, out, err);
    }
    if (command == "import" || command == "export") {
        return RunFileCommand(command, a->positional, a->options, out, err);
    }
    if (IsSetupCommand(command)) {
        KtxEnvironment env = environment;
        if (const auto home = a->options.find("--home"); home != a->options.end()) {
            env.programDir = home->second;
        }
        return RunSetupCommand(command, a->positional, a->options, env, out, err);
    }
    if (IsPictureCommand(command)) {
        KtxEnvironment env = environment;
        if (const auto home = a->options.find("--home"); home != a->options.end()) {
            env.programDir = home->second;
        }
        return RunPictureCommand(command, a->positional, a->options, env, out, err);
    }
    if (IsMeasureCommand(command)) {
        KtxEnvironment env = environment;
        if (const auto home = a->options.find("--home"); home != a->options.end()) {
            env.programDir = home->second;
        }
        return RunMeasureCommand(command, a->positional, a->options, env, out, err);
    }
    const bool link =
        command == "idn" || command == "query" || command == "send" || command == "receive";
    const bool transfer = command == "read" || command == "write";
    if (link || transfer) {
        KtxEnvironment env = environment;
        if (const auto home = a->options.find("--home"); home != a->options.end()) {
            env.programDir = home->second;
        }
        return link ? RunLinkCommand(command, a->positional, a->options, env, out, err)
                    : RunTransferCommand(command, a->positional, a->options, env, out, err);
    }
    err << "Unbekannter Befehl: " << command << '\n' << kUsage;
    return kExitUsage;
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ktx_file_commands.h"

#include <QLocale>
#include <charconv>
#include <filesystem>
#include <ostream>

#include "cli/ktx_commands.h"
#include "cli/stream_notifier.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/curve_writers.h"
#include "waveform/npy_writer.h"
#include "waveform/wave_file.h"
#include "waveform/wave_stream.h"
#include "waveform/wave_target.h"
#include "waveform/waveform_import.h"

namespace ktx {

namespace {

constexpr int kMsgBadFormat = 12;

constexpr const char* kFileUsage =
    "Aufruf:\n"
    "  ktx import DATEI ZIEL.ktx [--frame N | --all]\n"
    "  ktx export DATEI.ktx ZIEL --format xls|fms|txt|npy [--sep ZEICHEN] [--dec ZEICHEN] "
    "[--eol lf|crlf|cr]\n";

// The target of frame `frame` (from 0) with --all: "x.ktx" gives "x_1.ktx", "x_2.ktx", ...
std::string FrameTarget(const std::string& target, std::int64_t frame) {
    const std::filesystem::path path(target);
    return (path.parent_path() /
            (path.stem().string() + "_" + std::to_string(frame + 1) + path.extension().string()))
        .string();
}

void PrintImported(std::ostream& out, const ImportOutcome& o, bool all) {
    out << o.points << " Punkte" << (o.sampleAxis ? " (Abtastachse)" : "");
    if (o.frames > 1) {
        out << " (" << FrameText(o.frame, o.frames);
        if (!all) {
            out << "; die übrigen mit --frame N oder --all";
        }
        out << ')';
    }
    out << '\n';
}

int Import(const std::vector<std::string>& positional,
           const std::map<std::string, std::string>& options, std::ostream& out,
           std::ostream& err) {
    StreamNotifier notifier(err);
    const auto frameOption = options.find("--frame");
    const bool all = options.count("--all") > 0;
    std::int64_t frame = 0;
    if (frameOption != options.end()) {
        const std::string& v = frameOption->second;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), frame);
        if (all || ec != std::errc() || end != v.data() + v.size() || frame < 1) {
            err << "--frame erwartet eine Zahl ab 1 und schließt --all aus\n" << kFileUsage;
            return kExitUsage;
        }
        --frame;
    }
    if (positional.size() != 2) {
        err << kFileUsage;
        return kExitUsage;
    }
    const std::string& source = positional[0];
    const std::string& target = positional[1];
    const ImportOutcome o = ImportWaveformFile(source, all ? FrameTarget(target, 0) : target,
                                               notifier, NoProgress(), frame);
    switch (o.kind) {
        case ImportKind::Converted:
            if (all) {
                out << FrameTarget(target, 0) << '\n';
            }
            PrintImported(out, o, all);
            for (std::int64_t k = 1; all && k < o.frames; ++k) {
                const ImportOutcome next =
                    ImportWaveformFile(source, FrameTarget(target, k), notifier, NoProgress(), k);
                if (next.kind != ImportKind::Converted) {
                    return kExitFailure;
                }
                out << FrameTarget(target, k) << '\n';
                PrintImported(out, next, all);
            }
            return kExitOk;
        case ImportKind::Waveform:
            // Already a waveform file: checked and copied.
            if (frame != 0) {
                ImportResult single;
                FrameExists(frame, single, notifier);
                return kExitFailure;
            }
            if (!CopyWaveFile(source, all ? FrameTarget(target, 0) : target, notifier)) {
                return kExitFailure;
            }
            out << CountWaveFile(source) - 1 << " Punkte\n";
            return kExitOk;
        case ImportKind::Failed:
            return kExitFailure;
        case ImportKind::OtherView:
        case ImportKind::Ignored:
            break;
    }
    ShowErrorMsgText(notifier, kMsgBadFormat, source, 0);
    return kExitFailure;
}

// A one-character option; "tab" and "\t" name the tab character.
bool CharOption(const std::map<std::string, std::string>& options, const char* name, char& c) {
    const auto it = options.find(name);
    if (it == options.end()) {
        return true;
    }
    const std::string& v = it->second;
    if (v == "tab" || v == "\\t") {
        c = '\t';
        return true;
    }
    if (v.size() != 1) {
        return false;
    }
    c = v[0];
    return true;
}

char SystemDecimal() {
    const QString d = QLocale::system().decimalPoint();
    return d.size() == 1 && d[0].unicode() < 0x80 ? static_cast<char>(d[0].unicode()) : '.';
}

int Export(const std::vector<std::string>& positional,
           const std::map<std::string, std::string>& options, std::ostream& out,
           std::ostream& err) {
    StreamNotifier notifier(err);
    const auto format = options.find("--format");
    if (positional.size() != 2 || format == options.end()) {
        err << kFileUsage;
        return kExitUsage;
    }
    const std::string& source = positional[0];
    const std::string& target = positional[1];
    if (format->second == "npy") {
        // Every present channel with its time, as numpy.load reads it.
        WaveStream in(source);
        if (!in.Ok()) {
            in.ShowFailure(notifier);
            return kExitFailure;
        }
        if (!WriteWaveFileNpy(source, target, notifier)) {
            return kExitFailure;
        }
        out << in.Records() - 1 << " Punkte\n";
        return kExitOk;
    }
    TextSeparators seps;
    if (format->second == "xls") {
        seps = {'\t', 0, SystemDecimal()};
    } else if (format->second != "txt" && format->second != "fms") {
        err << "--format erwartet xls, fms, txt oder npy\n" << kFileUsage;
        return kExitUsage;
    }
    if (!CharOption(options, "--sep", seps.column) || !CharOption(options, "--dec", seps.decimal)) {
        err << "--sep und --dec erwarten ein Zeichen\n";
        return kExitUsage;
    }
    if (const auto eol = options.find("--eol"); eol != options.end()) {
        if (eol->second == "lf") {
            seps.line = '\n';
        } else if (eol->second == "crlf") {
            seps.line = 0;
        } else if (eol->second == "cr") {
            seps.line = '\r';
        } else {
            err << "--eol erwartet lf, crlf oder cr\n";
            return kExitUsage;
        }
    }
    // The first present column of a four-column file; the file is read as it is written.
    WaveStream in(source);
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return kExitFailure;
    }
    const int column = PresentColumn(in.Units(), std::nullopt);
    const std::int64_t points = in.Records() - 1;
    const bool ok = format->second == "fms"
                        ? WriteWaveFilePairList(source, column, target, notifier)
                        : WriteWaveFileColumns(source, column, target, seps, notifier);
    if (!ok) {
        return kExitFailure;
    }
    out << points << " Punkte\n";
    return kExitOk;
}

}  // namespace

int RunFileCommand(const std::string& command, const std::vector<std::string>& positional,
                   const std::map<std::string, std::string>& options, std::ostream& out,
                   std::ostream& err) {
    if (command == "import") {
        return Import(positional, options, out, err);
    }
    return Export(positional, options, out, err);
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ktx_file_commands.h"

#include <QLocale>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "cli/ktx_commands.h"
#include "cli/stream_notifier.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/curve_writers.h"
#include "waveform/wave_file.h"
#include "waveform/waveform_import.h"
#include "waveform/waveform_record.h"

namespace ktx {

namespace {

constexpr int kMsgBadFormat = 12;
constexpr int kMsgFileNotFound = 22;
constexpr int kMsgWriteError = 41;

constexpr const char* kFileUsage =
    "Aufruf:\n"
    "  ktx import DATEI ZIEL.ktx\n"
    "  ktx export DATEI.ktx ZIEL --format xls|fms|txt [--sep ZEICHEN] [--dec ZEICHEN] "
    "[--eol lf|crlf|cr]\n";

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

int Import(const std::vector<std::string>& positional, std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    if (positional.size() != 2) {
        err << kFileUsage;
        return kExitUsage;
    }
    const std::string& source = positional[0];
    const std::string& target = positional[1];
    if (!Exists(source)) {
        ShowErrorMsgText(notifier, kMsgFileNotFound, source, 0);
        return kExitFailure;
    }
    const ImportOutcome o = ImportWaveformFile(source, target, notifier, NoProgress());
    switch (o.kind) {
        case ImportKind::Converted:
            out << o.points << " Punkte" << (o.sampleAxis ? " (Abtastachse)" : "") << '\n';
            return kExitOk;
        case ImportKind::Waveform: {
            // Already a waveform file: checked and copied.
            if (CountWaveFile(source) == 0) {
                ShowErrorMsgText(notifier, kMsgBadFormat, source, 0);
                return kExitFailure;
            }
            std::error_code ec;
            std::filesystem::copy_file(source, target,
                                       std::filesystem::copy_options::overwrite_existing, ec);
            if (ec) {
                ShowErrorMsgText(notifier, kMsgWriteError, target, 0);
                return kExitFailure;
            }
            out << CountWaveFile(target) - 1 << " Punkte\n";
            return kExitOk;
        }
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
    TextSeparators seps;
    if (format->second == "xls") {
        seps = {'\t', 0, SystemDecimal()};
    } else if (format->second != "txt" && format->second != "fms") {
        err << "--format erwartet xls, fms oder txt\n" << kFileUsage;
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
    if (!Exists(source)) {
        ShowErrorMsgText(notifier, kMsgFileNotFound, source, 0);
        return kExitFailure;
    }
    // The first present column of a four-column file.
    const auto rec = LoadWaveform(
        source, false,
        [](const UnitStrings& units) -> std::optional<int> {
            for (int i = 0; i < 4; ++i) {
                if (units[i] != kAbsentUnit) {
                    return i;
                }
            }
            return 0;
        },
        notifier);
    if (!rec) {
        return kExitFailure;
    }
    const bool ok = format->second == "fms" ? WriteRecordPairList(target, *rec, notifier)
                                            : WriteRecordColumns(target, *rec, seps, notifier);
    if (!ok) {
        return kExitFailure;
    }
    out << rec->pointCount << " Punkte\n";
    return kExitOk;
}

}  // namespace

int RunFileCommand(const std::string& command, const std::vector<std::string>& positional,
                   const std::map<std::string, std::string>& options, std::ostream& out,
                   std::ostream& err) {
    if (command == "import") {
        return Import(positional, out, err);
    }
    return Export(positional, options, out, err);
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ktx_setup_commands.h"

#include <filesystem>
#include <optional>
#include <ostream>

#include "cli/ktx_commands.h"
#include "cli/ktx_link_commands.h"
#include "cli/stream_notifier.h"
#include "config/message_catalog.h"
#include "config/progress.h"
#include "convert/batch_converter.h"
#include "link/command_transport.h"
#include "setups/setup_transfer.h"
#include "waveform/waveform_transfer.h"

namespace ktx {

namespace {

constexpr int kMsgSetupRead = 37;
constexpr int kMsgSetupWrite = 38;

constexpr const char* kSetupUsage =
    "Aufruf:\n"
    "  ktx setup read ZIEL.set [VERBINDUNG]\n"
    "  ktx setup write QUELLE.set [VERBINDUNG]\n"
    "  ktx convert --to ktx|txt|xls|fms [--from isf|wfm|csv|txt|ktx|fft] QUELLE... "
    "[--dir ZIELORDNER]\n"
    "              [--sep ZEICHEN] [--dec ZEICHEN] [--eol lf|crlf|cr]\n";

// The set-up messages with the link's cause of the failure, where the link knows it.
class SetupCauseNotifier final : public Notifier {
  public:
    SetupCauseNotifier(Notifier& inner, const LinkSession& session)
        : m_inner(inner), m_session(session) {}
    void Show(Severity severity, const Notice& notice) override {
        const int message = notice.stringId - MessageCatalog::kMessageBase;
        const LinkFailure failure = m_session.LatestFailure();
        if ((message == kMsgSetupRead || message == kMsgSetupWrite) && failure.Known()) {
            if (notice.extra.empty()) {
                ShowLinkFailure(m_inner, message, failure);
                return;
            }
            m_inner.Show(severity, notice);
            ShowLinkFailure(m_inner, message, failure);
            return;
        }
        m_inner.Show(severity, notice);
    }
    bool Confirm(const Notice& notice) override { return m_inner.Confirm(notice); }

  private:
    Notifier& m_inner;
    const LinkSession& m_session;
};

int Setup(const std::vector<std::string>& positional,
          const std::map<std::string, std::string>& options, const KtxEnvironment& env,
          std::ostream& out, std::ostream& err) {
    if (positional.size() != 2 || (positional[0] != "read" && positional[0] != "write")) {
        err << kSetupUsage;
        return kExitUsage;
    }
    StreamNotifier plain(err);
    LinkSession session(plain);
    if (const int code = session.Open(options, env, err); code != kExitOk) {
        return code;
    }
    SetupCauseNotifier notifier(plain, session);
    const std::string& file = positional[1];
    if (positional[0] == "read") {
        if (!ReadSetup(session.Transport(), file, notifier)) {
            return kExitFailure;
        }
        std::error_code ec;
        out << std::filesystem::file_size(file, ec) << " Bytes\n";
        return kExitOk;
    }
    const LinkChoice& choice = session.Choice();
    if (!WriteSetup(session.Transport(), file, choice.deviceType, choice.deviceFile, notifier,
                    NoProgress())) {
        return kExitFailure;
    }
    return kExitOk;
}

std::optional<ConvertSource> SourceOption(const std::string& name) {
    if (name == "ktx") {
        return ConvertSource::Ktx;
    }
    if (name == "fft") {
        return ConvertSource::Fft;
    }
    if (name == "isf") {
        return ConvertSource::Isf;
    }
    if (name == "wfm") {
        return ConvertSource::WfmTds6;  // the file's content tells which ".wfm" it is
    }
    if (name == "csv") {
        return ConvertSource::Csv;
    }
    if (name == "txt") {
        return ConvertSource::Txt;
    }
    return std::nullopt;
}

bool CharValue(const std::map<std::string, std::string>& options, const char* name, char& c) {
    const auto it = options.find(name);
    if (it == options.end()) {
        return true;
    }
    if (it->second == "tab" || it->second == "\\t") {
        c = '\t';
        return true;
    }
    if (it->second.size() != 1) {
        return false;
    }
    c = it->second[0];
    return true;
}

int Convert(const std::vector<std::string>& positional,
            const std::map<std::string, std::string>& options, std::ostream& out,
            std::ostream& err) {
    const auto to = options.find("--to");
    if (to == options.end() || positional.empty()) {
        err << kSetupUsage;
        return kExitUsage;
    }
    const bool toKtx = to->second == "ktx";
    ConvertOptions o;
    if (to->second == "xls") {
        o.text = ConvertText::Xls;
    } else if (to->second == "fms") {
        o.text = ConvertText::Fms;
    } else if (to->second == "txt") {
        o.text = ConvertText::Txt;
    } else if (!toKtx) {
        err << "--to erwartet ktx, txt, xls oder fms\n" << kSetupUsage;
        return kExitUsage;
    }
    std::optional<ConvertSource> from;
    if (const auto f = options.find("--from"); f != options.end()) {
        from = SourceOption(f->second);
        if (!from) {
            err << "--from erwartet isf, wfm, csv, txt, ktx oder fft\n" << kSetupUsage;
            return kExitUsage;
        }
        if (IsTextExport(*from) == toKtx) {
            err << "--from " << f->second << " und --to " << to->second
                << " passen nicht zusammen\n";
            return kExitUsage;
        }
    }
    if (!CharValue(options, "--sep", o.separators.column) ||
        !CharValue(options, "--dec", o.separators.decimal)) {
        err << "--sep und --dec erwarten ein Zeichen\n";
        return kExitUsage;
    }
    if (const auto eol = options.find("--eol"); eol != options.end()) {
        if (eol->second == "lf" || eol->second == "crlf" || eol->second == "cr") {
            o.separators.line = eol->second == "lf" ? '\n' : eol->second == "cr" ? '\r' : 0;
        } else {
            err << "--eol erwartet lf, crlf oder cr\n";
            return kExitUsage;
        }
    }
    if (const auto dir = options.find("--dir"); dir != options.end()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(dir->second, ec)) {
            err << "--dir: kein Ordner: " << dir->second << '\n';
            return kExitUsage;
        }
        o.targetDir = dir->second;
    }
    o.systemDecimal = SystemDecimalSign();

    // Folders give their files of the source format (every format that fits --to without
    // --from), whatever the case of their extension.
    std::vector<std::pair<std::string, std::optional<ConvertSource>>> files;
    for (const std::string& source : positional) {
        std::error_code ec;
        if (!std::filesystem::is_directory(source, ec)) {
            files.emplace_back(source, from ? from : SourceOfName(source));
            continue;
        }
        std::vector<ConvertSource> kinds;
        if (from) {
            kinds = {*from};
        } else if (toKtx) {
            kinds = {ConvertSource::Isf, ConvertSource::WfmTds6, ConvertSource::Csv,
                     ConvertSource::Txt};
        } else {
            kinds = {ConvertSource::Ktx, ConvertSource::Fft};
        }
        for (ConvertSource kind : kinds) {
            for (const std::string& file : MatchingFiles(source, kind)) {
                files.emplace_back(file, kind);
            }
        }
    }
    StreamNotifier notifier(err);
    ConvertSummary summary;
    for (const auto& [file, kind] : files) {
        if (!kind || IsTextExport(*kind) == toKtx) {
            ShowErrorMsgText(notifier, 12, file, 0);  // nothing --to can make of it
            ++summary.failed;
            continue;
        }
        std::string target;
        if (ConvertFile(file, *kind, o, notifier, NoProgress(), &target) ==
            ConvertOutcome::Written) {
            ++summary.written;
            out << target << '\n';
        } else {
            ++summary.failed;
        }
    }
    out << SummaryText(summary) << '\n';
    return summary.failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace

bool IsSetupCommand(const std::string& command) {
    return command == "setup" || command == "convert";
}

int RunSetupCommand(const std::string& command, const std::vector<std::string>& positional,
                    const std::map<std::string, std::string>& options, const KtxEnvironment& env,
                    std::ostream& out, std::ostream& err) {
    if (command == "setup") {
        return Setup(positional, options, env, out, err);
    }
    return Convert(positional, options, out, err);
}

}  // namespace ktx

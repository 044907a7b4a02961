// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ktx_transfer_commands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <optional>
#include <ostream>
#include <random>
#include <system_error>

#include "cli/ktx_commands.h"
#include "cli/ktx_link_commands.h"
#include "cli/scratch_folder.h"
#include "cli/stream_notifier.h"
#include "config/device_file.h"
#include "config/message_catalog.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/waveform_transfer.h"

namespace ktx {

namespace {

constexpr int kMsgBadSource = 13;
constexpr int kMsgNoSelection = 14;
constexpr int kMsgRangeTooLarge = 15;
constexpr int kMsgBadFileName = 42;
constexpr int kMsgBadStart = 43;
constexpr int kMsgBadStop = 44;
constexpr int kMsgCause = 262;
constexpr std::size_t kMaxSources = 10;

constexpr const char* kTransferUsage =
    "Aufruf:\n"
    "  ktx read QUELLE... ZIEL [--format ktx|wfm|xls|fms|txt|npy] [--start N] [--stop N]\n"
    "           [--sep ZEICHEN] [--dec ZEICHEN] [--eol lf|crlf|cr] [VERBINDUNG]\n"
    "  ktx write DATEI.wfm ZIEL [VERBINDUNG]\n";

struct FormatName {
    const char* name;
    int format;
};
constexpr FormatName kFormats[] = {{"xls", kFormatXls}, {"fms", kFormatFms}, {"txt", kFormatTxt},
                                   {"ktx", kFormatKtx}, {"wfm", kFormatWfm}, {"npy", kFormatNpy}};

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::optional<int> FormatOf(const std::string& name) {
    for (const FormatName& f : kFormats) {
        if (name == f.name) {
            return f.format;
        }
    }
    return std::nullopt;
}

std::string Extension(const std::string& fileName) {
    const std::string ext = std::filesystem::path(fileName).extension().string();
    return ext.empty() ? ext : Lower(ext.substr(1));
}

std::optional<int> Integer(const std::string& s) {
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return v;
}

// A one-character option; "tab" and "\t" name the tab character.
bool CharOption(const std::map<std::string, std::string>& options, const char* name, char& c) {
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

// The read request as the dialog would build it; nullopt after saying what is wrong.
std::optional<TransferRequest> ReadRequest(const std::vector<std::string>& positional,
                                           const std::map<std::string, std::string>& options,
                                           Notifier& notifier, std::ostream& err) {
    TransferRequest request;
    request.mode = kModeRead;
    request.fileName = positional.back();
    request.sources.assign(positional.begin(), positional.end() - 1);
    if (request.sources.size() > kMaxSources) {
        ShowErrorMsg(notifier, kMsgNoSelection, 0);
        return std::nullopt;
    }

    const std::string ext = Extension(request.fileName);
    const auto format = options.find("--format");
    const auto chosen = FormatOf(format != options.end() ? format->second : ext);
    if (!chosen) {
        err << "--format erwartet ktx, wfm, xls, fms, txt oder npy\n" << kTransferUsage;
        return std::nullopt;
    }
    request.format = *chosen;
    // As in the file dialog: the name carries the extension of its format.
    if (ext != kFormats[request.format].name || request.fileName.find('*') != std::string::npos) {
        ShowErrorMsgText(notifier, kMsgBadFileName, request.fileName, 0);
        return std::nullopt;
    }

    if (!CharOption(options, "--sep", request.columnSeparator) ||
        !CharOption(options, "--dec", request.decimalSign)) {
        err << "--sep und --dec erwarten ein Zeichen\n";
        return std::nullopt;
    }
    if (const auto eol = options.find("--eol"); eol != options.end()) {
        if (eol->second == "lf") {
            request.lineSeparator = '\n';
        } else if (eol->second == "crlf") {
            request.lineSeparator = 0;
        } else if (eol->second == "cr") {
            request.lineSeparator = '\r';
        } else {
            err << "--eol erwartet lf, crlf oder cr\n";
            return std::nullopt;
        }
    }
    return request;
}

// Start and stop as the dialog checks them: integers, stop not beyond the instrument's memory
// (known only when an instrument definition file names it).
bool SetRange(TransferRequest& request, const std::map<std::string, std::string>& options,
              const std::string& deviceFile, Notifier& notifier) {
    const MemorySizes memory = ReadMemory(deviceFile);
    const auto startIt = options.find("--start");
    const auto stopIt = options.find("--stop");
    request.start = startIt != options.end() ? startIt->second : "0";
    request.stop = stopIt != options.end() ? stopIt->second : memory.size;
    const auto start = Integer(request.start);
    if (!start) {
        ShowErrorMsgText(notifier, kMsgBadStart, request.start, 0);
        return false;
    }
    const auto stop = Integer(request.stop);
    if (!stop) {
        ShowErrorMsgText(notifier, kMsgBadStop, request.stop, 0);
        return false;
    }
    std::error_code ec;
    const auto size = Integer(memory.size);
    if (std::filesystem::is_regular_file(deviceFile, ec) && size && *stop > *size) {
        ShowErrorMsg(notifier, kMsgRangeTooLarge, 0);
        return false;
    }
    request.requested = *stop - *start;
    return true;
}

}  // namespace

int RunTransferCommand(const std::string& command, const std::vector<std::string>& positional,
                       const std::map<std::string, std::string>& options, const KtxEnvironment& env,
                       std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    const bool read = command == "read";
    if (read ? positional.size() < 2 : positional.size() != 2) {
        err << kTransferUsage;
        return kExitUsage;
    }

    std::optional<TransferRequest> request;
    if (read) {
        request = ReadRequest(positional, options, notifier, err);
        if (!request) {
            return kExitUsage;
        }
    } else {
        request = TransferRequest{};
        request->mode = kModeWrite;
        request->fileName = positional[0];
        request->destination = positional[1];
        std::error_code ec;
        if (Extension(request->fileName) != "wfm" ||
            !std::filesystem::is_regular_file(request->fileName, ec)) {
            ShowErrorMsgText(notifier, kMsgBadFileName, request->fileName, 0);
            return kExitFailure;
        }
        if (request->destination.empty()) {
            ShowErrorMsg(notifier, kMsgBadSource, 0);
            return kExitUsage;
        }
    }

    LinkSession session(notifier);
    if (const int code = session.Open(options, env, err); code != kExitOk) {
        return code;
    }
    const LinkChoice& choice = session.Choice();
    if (read && !SetRange(*request, options, choice.deviceFile, notifier)) {
        return kExitUsage;
    }
    ScratchFolder scratch("ktx-transfer-");
    if (!scratch.Ok()) {
        err << "Kein Arbeitsordner für die Übertragung\n";
        return kExitFailure;
    }
    TransferContext context;
    context.deviceType = choice.deviceType;
    context.conversionFile = scratch.File("ktx_tmp.tmp");
    context.deviceIniFile = choice.deviceFile;
    context.systemDecimal = SystemDecimalSign();

    const TransferOutcome outcome =
        read ? ReadWaveforms(*request, session.Transport(), context, notifier, NoProgress())
             : WriteWaveform(*request, session.Transport(), context, notifier, NoProgress());
    if (read) {
        for (const std::string& file : outcome.files) {
            out << file << '\n';
        }
        if (outcome.pointsRead) {
            out << *outcome.pointsRead << " Punkte\n";
        }
    }
    if (!outcome.ok) {
        // The transfer has said what failed; the link says why.
        if (const LinkFailure failure = session.LatestFailure(); failure.Known()) {
            err << MessageCatalog::Message(kMsgCause) << ' ' << failure.text << '\n';
        }
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace ktx

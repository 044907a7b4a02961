// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/waveform_transfer.h"

#include <QLocale>
#include <algorithm>
#include <climits>
#include <filesystem>
#include <string_view>
#include <system_error>

#include <unistd.h>

#include "config/device_file.h"
#include "config/notifier.h"
#include "config/program_state.h"
#include "config/progress.h"
#include "link/command_transport.h"
#include "waveform/block_file.h"
#include "waveform/curve_converter.h"
#include "waveform/curve_writers.h"
#include "waveform/npy_writer.h"
#include "waveform/text_number.h"

namespace ktx {

namespace {

constexpr int kMsgBadSource = 13;
constexpr int kMsgNoSelection = 14;
constexpr int kMsgNoData = 33;
constexpr int kMsgFailed = 34;
constexpr int kMsgWriteError = 41;
constexpr int kMsgPointsRead = 307;
constexpr int kHelpRead = 4;
constexpr int kHelpNoData = 22;
constexpr int kHelpWrite = 22;

// Families that store a waveform in their own file system (type 10) and that answer the
// preamble for the current data source (types 10 and 14).
constexpr int kTypeFileSystem = 10;
constexpr int kTypeWfmInput = 14;
constexpr int kTypeNoPointQuery = 2;
constexpr int kTypeFixedPoints = 12;
// Above this type the families show channel 1 before its waveform can be saved to a reference.
constexpr int kTypeSelectsChannel = 3;

// Only this much of a preamble answer is read as the number.
constexpr std::size_t kMaxNumberText = 80;

// Shows "Transfer" in the status line for the lifetime of the object.
class StatusScope {
  public:
    explicit StatusScope(const TransferContext& context) : m_context(context) { Set("Transfer"); }
    ~StatusScope() { Set(""); }
    StatusScope(const StatusScope&) = delete;
    StatusScope& operator=(const StatusScope&) = delete;

  private:
    void Set(const std::string& text) const {
        if (m_context.status) {
            m_context.status(text);
        }
    }
    const TransferContext& m_context;
};

// Runs the command sequences: each step only while all before it succeeded.
class Sequence {
  public:
    explicit Sequence(CommandTransport& transport) : m_transport(transport) {}

    bool Ok() const { return m_ok; }
    // `reported`: the failure has shown its own message (a file that could not be written), so
    // the summary messages are not added.
    void Fail(bool reported = false) {
        m_ok = false;
        m_reported = m_reported || reported;
    }
    bool Reported() const { return m_reported; }

    void Send(const std::string& command) {
        if (m_ok) {
            m_ok = m_transport.SendCommand(command);
            if (m_ok && command.rfind("HEADER ", 0) == 0) {
                m_headersOn = command == "HEADER ON";
            }
        }
    }
    // Headers switched on for a curve and left on by a failure would put a header before every
    // later answer the program parses as a number: switch them off again whatever happened.
    void RestoreHeaders() {
        if (m_headersOn) {
            m_transport.SendCommand("HEADER OFF");
            m_headersOn = false;
        }
    }
    void Receive(const std::string& fileName, const std::string& command) {
        if (m_ok) {
            m_ok = m_transport.ReceiveToFile(fileName, command, 0);
        }
    }
    // Receives into a file beside the user's `target`, which it replaces only when the whole
    // answer arrived: a failed or cut-off transfer leaves the old file.
    void ReceiveFile(const std::string& target, const std::string& command, Notifier& notifier) {
        if (!m_ok) {
            return;
        }
        SafeFile file(target);
        if (!file.Begin()) {
            ShowFileError(notifier, file.Error());
            Fail(true);
            return;
        }
        m_ok = m_transport.ReceiveToFile(file.TempPath(), command, 0);
        if (m_ok && !file.Commit()) {
            ShowFileError(notifier, file.Error());
            Fail(true);
        }
    }
    void SendFile(const std::string& fileName, const std::string& command) {
        if (m_ok) {
            m_ok = m_transport.SendFileToDevice(fileName, command);
        }
    }
    // A preamble value as a real; an answer that is no number fails the sequence.
    std::optional<double> Real(const std::string& query) {
        if (!m_ok) {
            return std::nullopt;
        }
        double v = 0;
        if (!ParseReal(Answer(query), v)) {
            m_ok = false;
            return std::nullopt;
        }
        return v;
    }
    std::optional<std::int32_t> Integer(const std::string& query) {
        if (!m_ok) {
            return std::nullopt;
        }
        long long v = 0;
        if (!ParseInteger(Answer(query), v) || v < INT32_MIN || v > INT32_MAX) {
            m_ok = false;
            return std::nullopt;
        }
        return static_cast<std::int32_t>(v);
    }

  private:
    std::string Answer(const std::string& query) {
        std::string answer = m_transport.Query(query);
        if (answer.size() > kMaxNumberText) {
            answer.resize(kMaxNumberText);
        }
        return answer;
    }

    CommandTransport& m_transport;
    bool m_ok = true;
    bool m_reported = false;
    bool m_headersOn = false;
};

// Passes messages on and counts them, so a step can tell whether a callee has said why it
// failed.
class CountingNotifier final : public Notifier {
  public:
    explicit CountingNotifier(Notifier& inner) : m_inner(inner) {}
    void Show(Severity severity, const Notice& notice) override {
        ++m_count;
        m_inner.Show(severity, notice);
    }
    bool Confirm(const Notice& notice) override {
        ++m_count;
        return m_inner.Confirm(notice);
    }
    int Count() const { return m_count; }

  private:
    Notifier& m_inner;
    int m_count = 0;
};

// Every file the transfer will write must be writable before the instrument is touched: a
// target that is a FIFO, a device or write-protected gives its one message and nothing is sent.
bool TargetsWritable(const std::vector<std::string>& targets, Notifier& notifier) {
    for (const std::string& target : targets) {
        SafeFile probe(target);
        if (!probe.Begin()) {
            ShowFileError(notifier, probe.Error());
            return false;
        }
    }
    return true;
}

void Open(const TransferContext& context, const std::string& fileName) {
    if (context.openInView) {
        context.openInView(fileName);
    }
}

// Points the instrument delivered: the requested count for the family that cannot be asked.
std::optional<std::int32_t> PointCount(Sequence& seq, const TransferRequest& request,
                                       const TransferContext& context, const std::string& source) {
    if (context.deviceType == kTypeNoPointQuery) {
        return seq.Ok() ? std::optional<std::int32_t>(request.requested) : std::nullopt;
    }
    return seq.Integer(PreambleQuery(context.deviceType, source, "NR_PT"));
}

void QueryScaling(Sequence& seq, const TransferContext& context, const std::string& source,
                  CurvePreamble& preamble, std::size_t slot) {
    if (const auto v = seq.Real(PreambleQuery(context.deviceType, source, "YOFF"))) {
        preamble.YOFF[slot] = Real6::FromDouble(*v);
    }
    if (const auto v = seq.Real(PreambleQuery(context.deviceType, source, "YMULT"))) {
        preamble.YMULT[slot] = Real6::FromDouble(*v);
    }
}

void QueryTimebase(Sequence& seq, const TransferContext& context, const std::string& source,
                   CurvePreamble& preamble) {
    if (const auto v = seq.Real(PreambleQuery(context.deviceType, source, "XINCR"))) {
        preamble.XINCR = Real6::FromDouble(*v);
    }
    if (const auto v = seq.Real(PreambleQuery(context.deviceType, source, "PT_OFF"))) {
        preamble.PT_OFF = Real6::FromDouble(*v);
    }
}

void SelectSource(Sequence& seq, const std::string& source) {
    seq.Send("DATA:SOURCE " + source);
    // The curve is stored with its header (":CURVE "), which the converters look for.
    seq.Send("HEADER ON");
    seq.Send("VERB ON");
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The type-10 family writes the waveform into its own file and prints that file to the link.
TransferOutcome ReadInstrumentFile(const TransferRequest& request, CommandTransport& transport,
                                   const TransferContext& context, Notifier& notifier) {
    TransferOutcome outcome;
    Sequence seq(transport);
    {
        StatusScope status(context);
        seq.Send("SAV:WAVE:FILEF INTERN");
        seq.Send("SAV:WAVE " + request.sources.front() + "," + Quoted(kInstrumentScratchFile));
        seq.ReceiveFile(request.fileName, "FILES:PRI " + Quoted("c:\\KTX.TMP") + ", GPIB",
                        notifier);
    }
    outcome.ok = seq.Ok();
    if (!outcome.ok && !seq.Reported()) {
        // Without this the user would be left with a missing or empty file and no word why.
        ShowErrorMsg(notifier, kMsgFailed, kHelpRead);
        return outcome;
    }
    outcome.files.push_back(request.fileName);
    if (request.show) {
        Open(context, request.fileName);
    }
    return outcome;
}

// Format 4: each source's curve into its own file, unchanged.
void ReadRawCurves(Sequence& seq, const TransferRequest& request, const TransferContext& context,
                   Notifier& notifier, TransferOutcome& outcome) {
    const bool several = request.sources.size() > 1;
    std::string last;
    for (const std::string& source : request.sources) {
        SelectSource(seq, source);
        const std::string target = SourceTarget(request.fileName, source, several);
        seq.ReceiveFile(target, "CURV?", notifier);
        if (seq.Ok()) {
            outcome.files.push_back(target);
            last = target;
        }
        seq.Send("HEADER OFF");
        const auto n = PointCount(seq, request, context, source);
        if (n) {
            outcome.pointsRead = n;
            if (*n != request.requested) {
                ShowInfoMsgText(notifier, kMsgPointsRead, std::to_string(*n), kHelpRead);
            }
            if (*n == 0) {
                seq.Fail();
            }
        }
    }
    if (seq.Ok()) {
        if (request.show && !last.empty()) {
            Open(context, last);
        }
    } else if (!seq.Reported()) {
        ShowErrorMsg(notifier, kMsgNoData, kHelpNoData);
    }
}

// Formats 1 and 3: each curve through the conversion file into a pair list or a waveform file.
// A ".npy" target: the binary curve becomes a waveform file of this process's own in the scratch
// folder first (nobody else writes it), which is then written out with its time column.
bool ConvertToNpy(const TransferContext& context, const std::string& target,
                  const CurvePreamble& preamble, Notifier& notifier, ProgressSink& progress) {
    const std::string own = (std::filesystem::path(context.conversionFile).parent_path() /
                             ("ktx_npy_" + std::to_string(getpid()) + ".tmp"))
                                .string();
    bool ok = ConvertBinaryCurve(context.conversionFile, own, preamble, kCurveFlagsRib2, notifier,
                                 progress)
                  .Ok() &&
              WriteWaveFileNpy(own, target, notifier);
    std::error_code ec;
    std::filesystem::remove(own, ec);
    return ok;
}

void ReadConvertedCurves(Sequence& seq, const TransferRequest& request,
                         const TransferContext& context, CurvePreamble& preamble,
                         CountingNotifier& notifier, ProgressSink& progress,
                         TransferOutcome& outcome) {
    const bool several = request.sources.size() > 1;
    for (const std::string& source : request.sources) {
        SelectSource(seq, source);
        seq.Receive(context.conversionFile, "CURV?");
        if (!seq.Ok() && !seq.Reported()) {
            ShowErrorMsg(notifier, kMsgNoData, kHelpNoData);
        }
        seq.Send("HEADER OFF");
        if (const auto n = PointCount(seq, request, context, source)) {
            preamble.NR_PT = *n;
            outcome.pointsRead = n;
        }
        QueryScaling(seq, context, source, preamble, 0);
        QueryTimebase(seq, context, source, preamble);
        if (!seq.Ok()) {
            continue;
        }
        const std::string target = SourceTarget(request.fileName, source, several);
        const int shown = notifier.Count();
        bool converted = false;
        if (request.format == kFormatFms) {
            converted = WritePairList(context.conversionFile, target, preamble, notifier, progress);
        } else if (request.format == kFormatNpy) {
            converted = ConvertToNpy(context, target, preamble, notifier, progress);
        } else {
            converted = ConvertBinaryCurve(context.conversionFile, target, preamble,
                                           kCurveFlagsRib2, notifier, progress)
                            .Ok();
        }
        if (!converted) {
            // A curve that does not convert is a failed transfer; the target keeps what it held.
            seq.Fail(notifier.Count() > shown);
            continue;
        }
        outcome.files.push_back(target);
        if (request.show && request.format != kFormatNpy) {
            Open(context, target);
        }
    }
}

// Formats 0 and 2: all sources as columns of one text table.
void ReadColumns(Sequence& seq, const TransferRequest& request, const TransferContext& context,
                 CurvePreamble& preamble, Notifier& notifier, ProgressSink& progress,
                 TransferOutcome& outcome) {
    TextSeparators separators;
    if (request.format == kFormatTxt) {
        separators = {request.columnSeparator, request.lineSeparator, request.decimalSign};
    } else {
        separators = {'\t', 0, context.systemDecimal};
    }
    const std::int64_t wanted = std::max(request.requested, 0);
    std::vector<std::vector<std::int32_t>> columns(request.sources.size());
    for (std::size_t i = 0; i < request.sources.size(); ++i) {
        const std::string& source = request.sources[i];
        SelectSource(seq, source);
        seq.Receive(context.conversionFile, "CURV?");
        if (seq.Ok()) {
            columns[i].reserve(static_cast<std::size_t>(wanted));
            if (ParseCurve(context.conversionFile, columns[i], wanted) < 0) {
                seq.Fail();  // a curve that is no ASCII curve would fill the table with nothing
            }
        } else {
            ShowErrorMsg(notifier, kMsgNoData, kHelpNoData);
        }
        seq.Send("HEADER OFF");
        QueryScaling(seq, context, source, preamble, i);
    }
    const std::string& last = request.sources.back();
    if (const auto n = PointCount(seq, request, context, last)) {
        preamble.NR_PT = *n;
        outcome.pointsRead = n;
    }
    QueryTimebase(seq, context, last, preamble);
    if (!seq.Ok()) {
        return;
    }
    if (!WriteColumns(request.fileName, columns, preamble, separators, notifier, progress)) {
        seq.Fail(true);  // WriteColumns has said why
        return;
    }
    outcome.files.push_back(request.fileName);
}

// The block a ".wfm" ASCII curve becomes for a binary encoding; false when it does not convert.
bool ConvertForEncoding(int encoding, const std::string& fileName, const std::string& block,
                        Notifier& notifier) {
    return encoding == kEncodingByte ? CurveToBlock1(fileName, block, notifier)
                                     : CurveToBlock2(fileName, block, notifier);
}

}  // namespace

char SystemDecimalSign() {
    const QString d = QLocale::system().decimalPoint();
    return d.size() == 1 && d[0].unicode() < 0x80 ? static_cast<char>(d[0].unicode()) : '.';
}

TransferContext MakeTransferContext(const ProgramState& state) {
    TransferContext context;
    context.deviceType = state.deviceType;
    context.conversionFile = state.conversionFile;
    context.deviceIniFile = state.deviceIniFile;
    context.systemDecimal = SystemDecimalSign();
    return context;
}

std::string PreambleQuery(int deviceType, const std::string& source, const std::string& key) {
    if (deviceType == kTypeFileSystem || deviceType == kTypeWfmInput) {
        return "WFMO:" + key + "?";
    }
    return "WFMPRE:" + source + ":" + key + "?";
}

std::string SourceTarget(const std::string& fileName, const std::string& source, bool several) {
    if (!several) {
        return fileName;
    }
    // Only the file part is cut at its first ".": a folder may hold dots of its own.
    const std::filesystem::path path(fileName);
    const std::string name = path.filename().string();
    const auto dot = name.find('.');
    const std::string base = dot == std::string::npos ? std::string() : name.substr(0, dot);
    const auto lastDot = name.rfind('.');
    const std::string ext = lastDot == std::string::npos ? std::string() : name.substr(lastDot);
    return (path.parent_path() / (base + "_" + source + ext)).string();
}

TransferOutcome ReadWaveforms(const TransferRequest& request, CommandTransport& transport,
                              const TransferContext& context, Notifier& notifier,
                              ProgressSink& progress) {
    // The dialog hands over 1 to 10 sources; the preamble has a slot for each, no more.
    if (request.sources.empty() || request.sources.size() > CurvePreamble{}.YOFF.size()) {
        ShowErrorMsg(notifier, kMsgNoSelection, 0);
        return {};
    }
    std::vector<std::string> targets;
    if (request.format == kFormatXls || request.format == kFormatTxt ||
        (request.format == kFormatWfm && context.deviceType == kTypeFileSystem)) {
        targets.push_back(request.fileName);
    } else {
        for (const std::string& source : request.sources) {
            targets.push_back(SourceTarget(request.fileName, source, request.sources.size() > 1));
        }
    }
    if (!TargetsWritable(targets, notifier)) {
        return {};
    }
    if (request.format == kFormatWfm && context.deviceType == kTypeFileSystem) {
        return ReadInstrumentFile(request, transport, context, notifier);
    }

    TransferOutcome outcome;
    CurvePreamble preamble;
    Sequence seq(transport);
    CountingNotifier counting(notifier);
    {
        StatusScope status(context);
        // An empty answer says nothing about the state: a stopped instrument must not be
        // started at the end, that would throw away the acquisition the user wants to read.
        const std::string state = transport.Query("ACQ:STATE?");
        const bool running = !state.empty() && state.find('0') == std::string::npos;
        if (running) {
            seq.Send("ACQ:STATE STOP");
        }

        seq.Send("DATA INIT");
        if (request.format == kFormatKtx || request.format == kFormatNpy) {
            seq.Send("DATA:ENC RIB");
            seq.Send(context.deviceType == kTypeFileSystem || context.deviceType == kTypeWfmInput
                         ? "WFMO:BYT_N 2"
                         : "DATA:WID 2");
        } else {
            seq.Send("DATA:ENC ASCI");
        }
        seq.Send("DATA:START " + request.start);
        seq.Send("DATA:STOP " + request.stop);

        switch (request.format) {
            case kFormatWfm:
                ReadRawCurves(seq, request, context, notifier, outcome);
                break;
            case kFormatFms:
            case kFormatKtx:
            case kFormatNpy:
                ReadConvertedCurves(seq, request, context, preamble, counting, progress, outcome);
                break;
            default:
                ReadColumns(seq, request, context, preamble, notifier, progress, outcome);
                break;
        }

        seq.RestoreHeaders();
        if (running) {
            transport.SendCommand("ACQ:STATE RUN");  // also after a failure
        }
        outcome.ok = seq.Ok();
        if (!outcome.ok && !seq.Reported()) {
            ShowErrorMsg(notifier, kMsgFailed, kHelpRead);
        }
        // The ".wfm" path has named every deviating count already, source by source.
        if (request.format != kFormatWfm && outcome.pointsRead &&
            *outcome.pointsRead != request.requested) {
            ShowInfoMsgText(notifier, kMsgPointsRead, std::to_string(*outcome.pointsRead),
                            kHelpRead);
        }
    }
    return outcome;
}

bool WriteInstrumentFile(const std::string& localFile, const std::string& instrumentName,
                         const std::string& scratchDir, CommandTransport& transport,
                         Notifier& notifier) {
    const std::string scratch = (std::filesystem::path(scratchDir) / "ktx_tmp").string();
    BlockReader in(localFile);
    if (!in.IsOpen()) {
        return false;
    }
    {
        BlockWriter out(scratch);
        const std::string head = "FILES:WRITEF " + Quoted(instrumentName) + ",";
        out.Write(head.data(), head.size());
        std::vector<char> buffer(BlockReader::kBlockSize);
        std::size_t n = 0;
        while ((n = in.Read(buffer.data(), buffer.size())) > 0) {
            out.Write(buffer.data(), n);
        }
        if (!out.Close() || in.Failed()) {
            ShowErrorMsgText(notifier, kMsgWriteError, scratch, 0);
            std::error_code ec;
            std::filesystem::remove(scratch, ec);
            return false;
        }
    }
    const bool ok = transport.SendFileToDevice(scratch, "");
    std::error_code ec;
    std::filesystem::remove(scratch, ec);
    return ok;
}

TransferOutcome WriteWaveform(const TransferRequest& request, CommandTransport& transport,
                              const TransferContext& context, Notifier& notifier,
                              ProgressSink& /*progress*/) {
    if (request.destination.empty()) {
        ShowErrorMsg(notifier, kMsgBadSource, 0);
        return {};
    }
    TransferOutcome outcome;
    Sequence seq(transport);
    const std::string& destination = request.destination;
    const std::string toDestination = "DATA:DESTINATION " + destination;
    {
        StatusScope status(context);
        if (context.deviceType == kTypeFileSystem) {
            const std::string scratchDir =
                std::filesystem::path(context.conversionFile).parent_path().string();
            if (!WriteInstrumentFile(request.fileName, kInstrumentScratchFile, scratchDir,
                                     transport, notifier)) {
                seq.Fail();
            }
            seq.Send("RECA:WAVE " + Quoted(kInstrumentScratchFile) + "," + destination);
        } else {
            const int encoding = ReadEncoding(context.deviceIniFile);
            if (context.deviceType == kTypeWfmInput) {
                const std::string length = transport.Query("HOR:ACQLENGTH?");
                if (!length.empty()) {
                    seq.Send("WFMI:NR_PT " + length);
                }
                seq.Send("WFMI:ENC ASCII");
                if (encoding == kEncodingAscii) {
                    seq.Send("DATA:START 0");
                } else {
                    // As for the other families: the two-byte block carries the less
                    // significant byte first, which is SRI.
                    seq.Send(encoding == kEncodingByte ? "WFMI:ENC RIB" : "WFMI:ENC SRI");
                    seq.Send(encoding == kEncodingByte ? "WFMI:BYT_NR 1" : "WFMW:BYT_NR 2");
                    if (seq.Ok()) {
                        if (ConvertForEncoding(encoding, request.fileName, context.conversionFile,
                                               notifier)) {
                            seq.SendFile(context.conversionFile, toDestination);
                        } else {
                            seq.Fail();  // nothing was sent: not a success
                        }
                    }
                }
                seq.SendFile(request.fileName, toDestination);
            } else {
                bool channelSwitchedOn = false;
                if (context.deviceType > kTypeSelectsChannel) {
                    if (transport.Query("SEL:CH1?").find('0') != std::string::npos) {
                        seq.Send("SEL:CH1 ON");
                        channelSwitchedOn = true;
                    }
                    seq.Send("SAV:WAVEFORM CH1," + destination);
                }
                if (context.deviceType == kTypeFixedPoints) {
                    seq.Send("WFMPRE:NR_Pt 10000");
                }
                seq.Send("DATA INIT");
                seq.Send("DATA:ENC ASCII");
                if (encoding == kEncodingAscii) {
                    seq.SendFile(request.fileName, toDestination);
                } else {
                    // The two-byte block carries the less significant byte first, which is
                    // SRI; announced as RIB the reference would receive byte-swapped levels.
                    seq.Send(encoding == kEncodingByte ? "DATA:ENC RIB" : "DATA:ENC SRI");
                    seq.Send(encoding == kEncodingByte ? "DATA:WID 1" : "DATA:WID 2");
                    if (seq.Ok()) {
                        if (ConvertForEncoding(encoding, request.fileName, context.conversionFile,
                                               notifier)) {
                            seq.SendFile(context.conversionFile, toDestination);
                        } else {
                            seq.Fail();
                        }
                    }
                }
                if (channelSwitchedOn) {
                    seq.Send("SEL:CH1 OFF");
                }
            }
            seq.Send("SEL:" + destination + " ON");
        }
    }
    outcome.ok = seq.Ok();
    if (outcome.ok) {
        outcome.files.push_back(request.fileName);
    } else {
        ShowErrorMsg(notifier, kMsgFailed, kHelpWrite);
    }
    return outcome;
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "convert/batch_converter.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "config/message_catalog.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/block_file.h"
#include "waveform/text_number.h"
#include "waveform/time_field.h"
#include "waveform/wave_file.h"
#include "waveform/wave_stream.h"
#include "waveform/waveform_import.h"

namespace ktx {

namespace {

constexpr int kMsgAccessDenied = 7;
constexpr int kMsgColumnWriteError = 8;
constexpr int kMsgBadFormat = 12;
constexpr int kMsgNotFound = 22;
constexpr int kMsgWriteError = 41;
constexpr int kMsgOverwrite = 306;
constexpr int kHelpNotFound = 12;
constexpr int kHelpBadFormat = 13;
constexpr int kStrSummary = 10730;
constexpr int kStrWritten = 10731;
constexpr int kStrFailed = 10732;
constexpr int kStrSkipped = 10733;
// The bar moves after this many records (spectra: every record).
constexpr std::int64_t kProgressStep = 100;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Passes every message on, naming the file where the message itself does not, and remembers
// the last message number so the batch can tell a bad file from a failed write.
class FileNotifier final : public Notifier {
  public:
    FileNotifier(Notifier& inner, std::string file) : m_inner(inner), m_file(std::move(file)) {}
    void Show(Severity severity, const Notice& notice) override {
        m_last = notice.stringId - MessageCatalog::kMessageBase;
        Notice named = notice;
        if (named.extra.empty()) {
            named.extra = m_file;
        }
        m_inner.Show(severity, named);
    }
    bool Confirm(const Notice& notice) override { return m_inner.Confirm(notice); }
    int Last() const { return m_last; }

  private:
    Notifier& m_inner;
    std::string m_file;
    int m_last = 0;
};

ConvertOutcome OutcomeOfMessage(int message) {
    switch (message) {
        case kMsgNotFound:
            return ConvertOutcome::Missing;
        case kMsgAccessDenied:
        case kMsgColumnWriteError:
        case kMsgWriteError:
            return ConvertOutcome::WriteFailed;
        default:
            return ConvertOutcome::BadFormat;
    }
}

// --- text export ------------------------------------------------------------------------------

// A 23-character number with `decimal` in place of its point.
char* Number(char* p, double v, char decimal) {
    return FormatSci23(p, v, decimal);
}

char* Text(char* p, const std::string& s) {
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
}

// The time text with its first "." replaced by `decimal`.
char* TimeText(char* p, const TimeField& t, char decimal) {
    std::string text = FormatTimeHMS(t);
    if (const std::size_t dot = text.find('.'); dot != std::string::npos) {
        text[dot] = decimal;
    }
    return Text(p, text);
}

// x of FAMOS and text lines: the time text once hours or minutes count, else the seconds.
char* XValue(char* p, const TimeField& t, char decimal) {
    if (t.Hours() != 0 || t.Minutes() != 0) {
        return TimeText(p, t, decimal);
    }
    return Number(p, t.Seconds(), decimal);
}

char* LineEnd(char* p, char line) {
    if (line == 0) {
        *p++ = '\r';
        *p++ = '\n';
    } else {
        *p++ = line;
    }
    return p;
}

std::string LineEndText(char line) {
    return line == 0 ? std::string("\r\n") : std::string(1, line);
}

struct Layout {
    ConvertText target;
    char column;  // between values
    char decimal;
    char line;  // 0: CR LF
};

Layout LayoutOf(const ConvertOptions& o) {
    switch (o.text) {
        case ConvertText::Xls:
            return {o.text, '\t', ',', 0};
        case ConvertText::Fms:
            return {o.text, ',', '.', ' '};
        case ConvertText::Txt:
            break;
    }
    return {o.text, o.separators.column, o.separators.decimal, o.separators.line};
}

// "Time"/"Freq" and the present columns' units.
std::string HeaderLine(const char* first, const std::vector<std::string>& units, const Layout& l) {
    std::string text = first;
    for (const std::string& unit : units) {
        text += l.column;
        text += unit;
    }
    return text + (l.target == ConvertText::Fms ? std::string(" ") : LineEndText(l.line));
}

// Writes the text file `target` of `source` through a SafeWriter; `rows` writes every data
// line and returns false when the source could not be read to its end.
template <typename Rows>
ConvertOutcome WriteText(const std::string& source, const std::string& target,
                         const std::string& header, Rows&& rows, Notifier& notifier) {
    SafeWriter out(target);
    if (!out.Begin({source})) {
        ShowFileError(notifier, out.Error(), kMsgWriteError);
        return ConvertOutcome::WriteFailed;
    }
    out.Write(header.data(), header.size());
    if (!rows(out)) {
        out.Discard();
        ShowErrorMsgText(notifier, kMsgBadFormat, source, kHelpBadFormat);
        return ConvertOutcome::BadFormat;
    }
    if (!out.Commit()) {
        ShowFileError(notifier, out.Error(), kMsgWriteError);
        return ConvertOutcome::WriteFailed;
    }
    return ConvertOutcome::Written;
}

// Lines are gathered and written in blocks.
class LineBuffer {
  public:
    explicit LineBuffer(SafeWriter& out) : m_out(out) { m_buf.resize(kSize); }
    ~LineBuffer() { Flush(); }
    // Room for one line of at most `n` characters.
    char* Room(std::size_t n) {
        if (m_used + n > m_buf.size()) {
            Flush();
            if (n > m_buf.size()) {
                m_buf.resize(n);
            }
        }
        return m_buf.data() + m_used;
    }
    void Done(char* end) { m_used = static_cast<std::size_t>(end - m_buf.data()); }
    void Flush() {
        m_out.Write(m_buf.data(), m_used);
        m_used = 0;
    }

  private:
    static constexpr std::size_t kSize = 256 * 1024;
    SafeWriter& m_out;
    std::vector<char> m_buf;
    std::size_t m_used = 0;
};

constexpr std::size_t kMaxLine = 5 * (kSci23Width + 2) + 8;

ConvertOutcome ExportWaveFile(const std::string& path, const std::string& target,
                              const ConvertOptions& options, Notifier& notifier,
                              ProgressSink& progress) {
    WaveStream in(path);
    if (!in.Ok()) {
        if (in.OpenError()) {
            ShowFileError(notifier, in.OpenError());
            return OutcomeOfMessage(in.OpenError().Message());
        }
        ShowErrorMsgText(notifier, kMsgBadFormat, path, kHelpBadFormat);
        return ConvertOutcome::BadFormat;
    }
    const Layout l = LayoutOf(options);
    const bool oneColumn = in.Layout() == WaveLayout::OneColumn;
    std::vector<int> columns;
    std::vector<std::string> units;
    for (int c = 0; c < in.Columns(); ++c) {
        if (in.Units()[static_cast<std::size_t>(c)] != kAbsentUnit) {
            columns.push_back(c);
            units.push_back(in.Units()[static_cast<std::size_t>(c)]);
        }
    }
    const std::int64_t total = in.Remaining();
    progress.BarStart(total);
    auto rows = [&](SafeWriter& out) {
        LineBuffer lines(out);
        std::int64_t done = 0;
        std::int64_t got = 0;
        while (out.Ok()) {
            const std::uint8_t* run = in.NextRun(4096, got);
            if (got == 0) {
                break;
            }
            for (std::int64_t k = 0; k < got; ++k) {
                const std::uint8_t* r = run + static_cast<std::size_t>(k) * in.RecordBytes();
                TimeField t;
                std::memcpy(t.bytes.data(), r, sizeof t);
                char* p = lines.Room(kMaxLine);
                if (oneColumn) {
                    const double y = RecordY(r, 0);
                    switch (l.target) {
                        case ConvertText::Xls:
                            p = Number(p, t.Seconds(), options.systemDecimal);
                            *p++ = '\t';
                            p = Number(p, y, options.systemDecimal);
                            break;
                        case ConvertText::Fms:
                            p = XValue(p, t, '.');
                            *p++ = ',';
                            p = Number(p, y, '.');
                            break;
                        case ConvertText::Txt:
                            p = XValue(p, t, l.decimal);
                            *p++ = l.column;
                            p = Number(p, y, l.decimal);
                            break;
                    }
                } else {
                    p = l.target == ConvertText::Xls ? TimeText(p, t, ',')
                                                     : XValue(p, t, l.decimal);
                    for (int c : columns) {
                        *p++ = l.column;
                        p = Number(p, RecordY(r, c), l.decimal);
                    }
                }
                p = LineEnd(p, l.line);
                lines.Done(p);
                if (++done % kProgressStep == 0) {
                    progress.BarStep(total - done);
                }
            }
        }
        lines.Flush();
        return in.Ok();
    };
    const ConvertOutcome r = WriteText(path, target, HeaderLine("Time", units, l), rows, notifier);
    progress.BarEnd();
    return r;
}

// Spectrum files: 30-byte records, slot 0 unused, slots 1..4 frequency, amplitude, level and
// phase; unit slots 1..3 name amplitude, level and phase.
ConvertOutcome ExportSpectrum(const std::string& path, const std::string& target,
                              const ConvertOptions& options, Notifier& notifier,
                              ProgressSink& progress) {
    BlockReader in(path);
    if (!in.IsOpen()) {
        ShowFileError(notifier, in.OpenError());
        return OutcomeOfMessage(in.OpenError().Message());
    }
    std::uint8_t header[kFourColumnRecord];
    UnitStrings units;
    if (in.Read(header, sizeof header) != sizeof header ||
        !ReadWaveHeader(header, ReferenceHeader(WaveLayout::Spectrum), units)) {
        ShowErrorMsgText(notifier, kMsgBadFormat, path, kHelpBadFormat);
        return ConvertOutcome::BadFormat;
    }
    const Layout l = LayoutOf(options);
    std::vector<int> slots{1};
    std::vector<std::string> present;
    for (int c = 1; c <= 3; ++c) {
        if (units[static_cast<std::size_t>(c)] != kAbsentUnit) {
            slots.push_back(c + 1);
            present.push_back(units[static_cast<std::size_t>(c)]);
        }
    }
    const std::int64_t total =
        static_cast<std::int64_t>(in.Size() / kFourColumnRecord) - 1;  // without the header
    progress.BarStart(total);
    auto rows = [&](SafeWriter& out) {
        LineBuffer lines(out);
        std::uint8_t r[kFourColumnRecord];
        for (std::int64_t done = 0; out.Ok() && done < total; ++done) {
            if (in.Read(r, sizeof r) != sizeof r) {
                return false;
            }
            char* p = lines.Room(kMaxLine);
            for (int slot : slots) {
                p = Number(p, Real6::Decode(r + 6 * static_cast<std::size_t>(slot)), l.decimal);
                *p++ = l.column;
            }
            p = LineEnd(p, l.line);
            lines.Done(p);
            progress.BarStep(total - done - 1);
        }
        lines.Flush();
        return !in.Failed();
    };
    const ConvertOutcome r =
        WriteText(path, target, HeaderLine("Freq", present, l), rows, notifier);
    progress.BarEnd();
    return r;
}

}  // namespace

bool IsTextExport(ConvertSource source) {
    return source == ConvertSource::Ktx || source == ConvertSource::Fft;
}

const char* SourceExtension(ConvertSource source) {
    switch (source) {
        case ConvertSource::Ktx:
            return ".ktx";
        case ConvertSource::Fft:
            return ".fft";
        case ConvertSource::Isf:
            return ".isf";
        case ConvertSource::Csv:
            return ".csv";
        case ConvertSource::Txt:
            return ".txt";
        case ConvertSource::WfmTds6:
        case ConvertSource::WfmTds5:
        case ConvertSource::WfmAfg:
            break;
    }
    return ".wfm";
}

const char* TargetExtension(ConvertText target) {
    switch (target) {
        case ConvertText::Xls:
            return ".xls";
        case ConvertText::Fms:
            return ".fms";
        case ConvertText::Txt:
            break;
    }
    return ".txt";
}

std::optional<ConvertSource> SourceOfName(const std::string& path) {
    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    for (ConvertSource s : {ConvertSource::Ktx, ConvertSource::Fft, ConvertSource::Isf,
                            ConvertSource::WfmTds6, ConvertSource::Csv, ConvertSource::Txt}) {
        if (ext == SourceExtension(s)) {
            return s;
        }
    }
    return std::nullopt;
}

std::vector<std::string> MatchingFiles(const std::string& folder, ConvertSource source) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fileEc;
        if (it->is_regular_file(fileEc) &&
            Lower(it->path().extension().string()) == SourceExtension(source)) {
            files.push_back(it->path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string TargetPath(const std::string& source, const std::string& extension,
                       const std::string& targetDir) {
    std::filesystem::path p(source);
    if (!targetDir.empty()) {
        p = std::filesystem::path(targetDir) / p.filename();
    }
    p.replace_extension(extension);
    return p.string();
}

ConvertOutcome ConvertFile(const std::string& path, ConvertSource source,
                           const ConvertOptions& options, Notifier& notifier,
                           ProgressSink& progress, std::string* target) {
    FileNotifier named(notifier, path);
    const std::string out = TargetPath(
        path, IsTextExport(source) ? TargetExtension(options.text) : ".ktx", options.targetDir);
    if (target) {
        *target = out;
    }
    if (path.find('*') != std::string::npos || CheckSource(path).fault == FileFault::Missing) {
        ShowErrorMsgText(notifier, kMsgNotFound, path, kHelpNotFound);
        return ConvertOutcome::Missing;
    }
    if (!IsTextExport(source)) {
        // The reader writes the target itself, beside it first; the old target stays until
        // the new one is complete.
        const ImportOutcome r = ImportWaveformFile(path, out, named, progress);
        if (r.kind == ImportKind::Converted) {
            return ConvertOutcome::Written;
        }
        if (r.kind != ImportKind::Failed) {  // a ".ktx" or another extension under a mask
            ShowErrorMsgText(notifier, kMsgBadFormat, path, kHelpBadFormat);
            return ConvertOutcome::BadFormat;
        }
        return OutcomeOfMessage(named.Last());
    }
    std::error_code ec;
    if (options.askOverwrite && std::filesystem::exists(out, ec) &&
        !ConfirmMsgText(notifier, kMsgOverwrite, out, 0)) {
        return ConvertOutcome::Declined;
    }
    return source == ConvertSource::Fft ? ExportSpectrum(path, out, options, named, progress)
                                        : ExportWaveFile(path, out, options, named, progress);
}

ConvertSummary ConvertFiles(const std::vector<std::string>& paths, ConvertSource source,
                            const ConvertOptions& options, Notifier& notifier,
                            ProgressSink& progress,
                            const std::function<void(const std::string&)>& onFile) {
    ConvertSummary summary;
    for (const std::string& path : paths) {
        if (onFile) {
            onFile(path);
        }
        std::string target;
        switch (ConvertFile(path, source, options, notifier, progress, &target)) {
            case ConvertOutcome::Written:
                ++summary.written;
                summary.targets.push_back(target);
                break;
            case ConvertOutcome::Declined:
                ++summary.declined;
                break;
            default:
                ++summary.failed;
                break;
        }
    }
    return summary;
}

std::string SummaryCounts(const ConvertSummary& s) {
    auto text = [](int id) { return std::string(MessageCatalog::String(id)); };
    return std::to_string(s.written) + " " + text(kStrWritten) + ", " + std::to_string(s.failed) +
           " " + text(kStrFailed) + ", " + std::to_string(s.declined) + " " + text(kStrSkipped);
}

std::string SummaryText(const ConvertSummary& s) {
    return std::string(MessageCatalog::String(kStrSummary)) + " " + SummaryCounts(s);
}

}  // namespace ktx

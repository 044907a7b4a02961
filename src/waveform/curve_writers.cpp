// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/curve_writers.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/block_file.h"
#include "waveform/text_number.h"
#include "waveform/time_field.h"
#include "waveform/wave_stream.h"
#include "waveform/waveform_record.h"

namespace ktx {

namespace {

constexpr int kMsgAccessDenied = 7;
constexpr int kMsgColumnWriteError = 8;
constexpr int kMsgBadFormat = 12;
constexpr int kMsgWriteError = 41;
constexpr std::int64_t kPointsPerBlock = 1024;

bool HasCurveHeader(BlockReader& in) {
    char head[7];
    const std::size_t n = in.Read(head, sizeof head);
    return std::string_view(head, n).find(":CURVE") != std::string_view::npos;
}

enum class Level { Value, End, Bad };

// Reads the next level of an ASCII curve. Values end at "," or a line end; a line end or the
// end of the file ends the curve after its value. `maxChars` bounds a value.
class LevelReader {
  public:
    LevelReader(BlockReader& in, std::size_t maxChars) : m_in(in), m_maxChars(maxChars) {}

    Level Next(std::int64_t& v) {
        if (m_done) {
            return Level::End;
        }
        char text[16];
        std::size_t len = 0;
        std::uint8_t b;
        for (;;) {
            const bool more = m_in.ReadByte(b);
            const bool lineEnd = !more || b == '\r' || b == '\n';
            if (lineEnd || b == ',') {
                m_done = lineEnd;
                if (len == 0 && lineEnd) {
                    return m_in.Failed() ? Level::Bad : Level::End;
                }
                long long parsed = 0;
                if (!ParseInteger(std::string_view(text, len), parsed)) {
                    return Level::Bad;
                }
                v = parsed;
                return Level::Value;
            }
            if (len == m_maxChars) {
                return Level::Bad;
            }
            text[len++] = static_cast<char>(b);
        }
    }

  private:
    BlockReader& m_in;
    std::size_t m_maxChars;
    bool m_done = false;
};

// Text output in large writes, into a file beside the target that replaces it only when
// complete; the first failure sticks.
class TextOut {
  public:
    explicit TextOut(const std::string& path) : m_out(path) {}
    // Shows the cause with `openMsg` in place of 41 when the target cannot be written.
    bool Begin(const std::vector<std::string>& sources, Notifier& notifier, int openMsg) {
        if (!m_out.Begin(sources)) {
            ShowFileError(notifier, m_out.Error(), openMsg);
            return false;
        }
        return true;
    }
    void Put(const char* p, std::size_t n) { m_out.Write(p, n); }
    bool Ok() const { return m_out.Ok(); }
    // Shows the cause with `writeMsg` in place of 41 when the file could not be completed.
    bool Commit(Notifier& notifier, int writeMsg) {
        if (!m_out.Commit()) {
            ShowFileError(notifier, m_out.Error(), writeMsg);
            return false;
        }
        return true;
    }
    void Discard() { m_out.Discard(); }

  private:
    SafeWriter m_out;
};

char* PutLineEnd(char* p, char line) {
    if (line == 0) {
        *p++ = '\r';
        *p++ = '\n';
    } else {
        *p++ = line;
    }
    return p;
}

// Writes x and y of every row `next` gives (false at the end) as a two-column text table, or
// with `pairList` as "x,y " pairs on one line. `readOk` tells at the end whether the rows were
// all read; if not, the target keeps what it held and `readOk` has said why.
template <typename Next, typename ReadOk>
bool WriteRows(const std::string& target, const std::vector<std::string>& sources, Next&& next,
               ReadOk&& readOk, bool pairList, const TextSeparators& seps, Notifier& notifier,
               int openMsg, int writeMsg) {
    TextOut out(target);
    if (!out.Begin(sources, notifier, openMsg)) {
        return false;
    }
    char line[2 * kSci23Width + 4];
    double x = 0;
    double y = 0;
    while (out.Ok() && next(x, y)) {
        char* p;
        if (pairList) {
            p = FormatSci23(line, x);
            *p++ = ',';
            p = FormatSci23(p, y);
            *p++ = ' ';
        } else {
            p = FormatSci23(line, x, seps.decimal);
            *p++ = seps.column;
            p = FormatSci23(p, y, seps.decimal);
            p = PutLineEnd(p, seps.line);
        }
        out.Put(line, static_cast<std::size_t>(p - line));
    }
    // A failed write stopped the rows: Commit refuses the file and names the cause.
    if (out.Ok() && !readOk()) {
        out.Discard();
        return false;
    }
    return out.Commit(notifier, writeMsg);
}

// The rows of a waveform record.
auto RecordRows(const WaveformRecord& record) {
    return [&record, i = std::size_t{0}](double& x, double& y) mutable {
        if (i >= static_cast<std::size_t>(std::max(record.pointCount, 0))) {
            return false;
        }
        x = TimeFieldToSeconds(record.xValues[i]);
        y = record.yValues[i].ToDouble();
        ++i;
        return true;
    };
}

// The rows of a waveform file, read as they are written.
bool WriteWaveFileRows(const std::string& source, int column, const std::string& target,
                       bool pairList, const TextSeparators& seps, Notifier& notifier, int openMsg,
                       int writeMsg) {
    WaveStream in(source);
    if (!in.Ok()) {
        in.ShowFailure(notifier);
        return false;
    }
    column = std::clamp(column, 0, in.Columns() - 1);
    auto next = [&in, column](double& x, double& y) {
        const std::uint8_t* r = in.Next();
        if (r == nullptr) {
            return false;
        }
        TimeField t;
        std::memcpy(t.bytes.data(), r, sizeof t);
        x = TimeFieldToSeconds(t);
        y = RecordY(r, column);
        return true;
    };
    // A source that shrank while it was read leaves the old target.
    auto readOk = [&in, &notifier] {
        if (!in.Ok()) {
            in.ShowFailure(notifier);
            return false;
        }
        return true;
    };
    return WriteRows(target, {source}, next, readOk, pairList, seps, notifier, openMsg, writeMsg);
}

bool CurveToBlock(const std::string& source, const std::string& target, int width,
                  Notifier& notifier) {
    BlockReader in(source);
    if (!in.IsOpen()) {
        return false;
    }
    if (in.Size() <= 8) {
        ShowErrorMsgText(notifier, kMsgBadFormat, source, 0);
        return false;
    }
    char head[7];
    if (in.Read(head, 7) != 7 ||
        std::string_view(head, 7).find(":CURVE") == std::string_view::npos) {
        return false;
    }
    // First pass: count (and check) the values, so the block's length is known before it is
    // written. Values have fewer than 10 characters.
    std::int64_t count = 0;
    {
        LevelReader levels(in, 9);
        std::int64_t v;
        for (Level l; (l = levels.Next(v)) != Level::End;) {
            if (l == Level::Bad) {
                return false;
            }
            ++count;
        }
    }
    if (!in.Seek(7)) {
        return false;
    }
    const std::int64_t bytes = count * width;
    char countText[24];
    const auto r = std::to_chars(countText, countText + sizeof countText, bytes);
    const auto digits = static_cast<std::size_t>(r.ptr - countText);
    TextOut out(target);
    if (!out.Begin({source}, notifier, kMsgWriteError)) {
        return false;
    }
    out.Put(head, 7);
    const char prefix[2] = {'#', static_cast<char>('0' + digits)};
    out.Put(prefix, 2);
    out.Put(countText, digits);
    LevelReader levels(in, 9);
    std::int64_t v;
    std::vector<char> buf;
    buf.reserve(64 * 1024);
    for (Level l; (l = levels.Next(v)) == Level::Value;) {
        buf.push_back(static_cast<char>(v));
        if (width == 2) {
            buf.push_back(static_cast<char>(v >> 8));
        }
        if (buf.size() >= 64 * 1024 - 2) {
            out.Put(buf.data(), buf.size());
            buf.clear();
        }
    }
    out.Put(buf.data(), buf.size());
    return out.Commit(notifier, kMsgWriteError);
}

}  // namespace

bool WritePairList(const std::string& source, const std::string& target,
                   const CurvePreamble& preamble, Notifier& notifier, ProgressSink& progress) {
    BlockReader in(source);
    if (!in.IsOpen() || !HasCurveHeader(in)) {
        return false;
    }
    const double ptOff = preamble.PT_OFF.ToDouble();
    const double xIncr = preamble.XINCR.ToDouble();
    const double yOff = preamble.YOFF[0].ToDouble();
    const double yMult = preamble.YMULT[0].ToDouble();
    LevelReader levels(in, 10);
    std::int64_t i = 0;
    bool ended = false;  // the curve ended as a curve ends, not at a value that is no integer
    auto next = [&](double& x, double& y) {
        std::int64_t v = 0;
        const Level l = levels.Next(v);
        if (l != Level::Value) {
            ended = l == Level::End;
            return false;
        }
        ++i;
        x = (static_cast<double>(i) - ptOff) * xIncr;
        y = (static_cast<double>(v) - yOff) * yMult;
        if (i % kPointsPerBlock == 0) {
            progress.CounterUpdate(i / kPointsPerBlock);
        }
        return true;
    };
    progress.CounterStart();
    const bool ok = WriteRows(
        target, {source}, next, [&ended] { return ended; }, true, {}, notifier, kMsgWriteError,
        kMsgWriteError);
    progress.CounterEnd();
    return ok;
}

std::int64_t ParseCurve(const std::string& source, std::vector<std::int32_t>& values,
                        std::int64_t maxCount) {
    values.clear();
    BlockReader in(source);
    if (!in.IsOpen() || !HasCurveHeader(in)) {
        return -1;
    }
    LevelReader levels(in, 11);
    std::int64_t v = 0;
    while (static_cast<std::int64_t>(values.size()) < maxCount) {
        const Level l = levels.Next(v);
        if (l == Level::End) {
            break;
        }
        if (l == Level::Bad || v < INT32_MIN || v > INT32_MAX) {
            return -1;
        }
        values.push_back(static_cast<std::int32_t>(v));
    }
    return static_cast<std::int64_t>(values.size());
}

bool WriteColumns(const std::string& target, const std::vector<std::vector<std::int32_t>>& columns,
                  const CurvePreamble& preamble, const TextSeparators& separators,
                  Notifier& notifier, ProgressSink& progress) {
    TextOut out(target);
    if (!out.Begin({}, notifier, kMsgAccessDenied)) {
        return false;
    }
    std::int64_t rows = std::max<std::int32_t>(preamble.NR_PT, 0);
    for (const auto& c : columns) {
        rows = std::min<std::int64_t>(rows, static_cast<std::int64_t>(c.size()));
    }
    const std::size_t sources = std::min<std::size_t>(columns.size(), preamble.YOFF.size());
    double yOff[10];
    double yMult[10];
    for (std::size_t k = 0; k < sources; ++k) {
        yOff[k] = preamble.YOFF[k].ToDouble();
        yMult[k] = preamble.YMULT[k].ToDouble();
    }
    const double ptOff = preamble.PT_OFF.ToDouble();
    const double xIncr = preamble.XINCR.ToDouble();
    std::vector<char> line((sources + 1) * (kSci23Width + 1) + 2);
    progress.CounterStart();
    for (std::int64_t i = 0; i < rows && out.Ok(); ++i) {
        char* p =
            FormatSci23(line.data(), (static_cast<double>(i) - ptOff) * xIncr, separators.decimal);
        for (std::size_t k = 0; k < sources; ++k) {
            *p++ = separators.column;
            p = FormatSci23(p, (columns[k][static_cast<std::size_t>(i)] - yOff[k]) * yMult[k],
                            separators.decimal);
        }
        p = PutLineEnd(p, separators.line);
        out.Put(line.data(), static_cast<std::size_t>(p - line.data()));
        if ((i + 1) % kPointsPerBlock == 0) {
            progress.CounterUpdate((i + 1) / kPointsPerBlock);
        }
    }
    const bool ok = out.Commit(notifier, kMsgColumnWriteError);
    progress.CounterEnd();
    return ok;
}

bool WriteRecordColumns(const std::string& target, const WaveformRecord& record,
                        const TextSeparators& separators, Notifier& notifier) {
    return WriteRows(
        target, {record.fileName}, RecordRows(record), [] { return true; }, false, separators,
        notifier, kMsgAccessDenied, kMsgColumnWriteError);
}

bool WriteRecordPairList(const std::string& target, const WaveformRecord& record,
                         Notifier& notifier) {
    return WriteRows(
        target, {record.fileName}, RecordRows(record), [] { return true; }, true, {}, notifier,
        kMsgWriteError, kMsgWriteError);
}

bool WriteWaveFileColumns(const std::string& source, int column, const std::string& target,
                          const TextSeparators& separators, Notifier& notifier) {
    return WriteWaveFileRows(source, column, target, false, separators, notifier, kMsgAccessDenied,
                             kMsgColumnWriteError);
}

bool WriteWaveFilePairList(const std::string& source, int column, const std::string& target,
                           Notifier& notifier) {
    return WriteWaveFileRows(source, column, target, true, {}, notifier, kMsgWriteError,
                             kMsgWriteError);
}

bool CurveToBlock1(const std::string& source, const std::string& target, Notifier& notifier) {
    return CurveToBlock(source, target, 1, notifier);
}

bool CurveToBlock2(const std::string& source, const std::string& target, Notifier& notifier) {
    return CurveToBlock(source, target, 2, notifier);
}

}  // namespace ktx

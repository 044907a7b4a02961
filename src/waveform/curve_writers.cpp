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

// Text output in large writes; the first failure sticks.
class TextOut {
  public:
    explicit TextOut(const std::string& path) : m_out(path) {}
    bool IsOpen() const { return m_out.IsOpen(); }
    void Put(const char* p, std::size_t n) { m_out.Write(p, n); }
    bool Ok() const { return m_out.Ok(); }
    bool Close() { return m_out.Close(); }

  private:
    BlockWriter m_out;
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

// Writes a two-column text table or pair list from any row source.
template <typename XY>
bool WriteTable(const std::string& target, std::int64_t rows, XY&& xy, const TextSeparators& seps,
                Notifier& notifier, int openMsg, int writeMsg) {
    TextOut out(target);
    if (!out.IsOpen()) {
        ShowErrorMsgText(notifier, openMsg, target, 0);
        return false;
    }
    char line[2 * kSci23Width + 4];
    for (std::int64_t i = 0; i < rows && out.Ok(); ++i) {
        double x = 0;
        double y = 0;
        xy(i, x, y);
        char* p = FormatSci23(line, x, seps.decimal);
        *p++ = seps.column;
        p = FormatSci23(p, y, seps.decimal);
        p = PutLineEnd(p, seps.line);
        out.Put(line, static_cast<std::size_t>(p - line));
    }
    if (!out.Close()) {
        ShowErrorMsgText(notifier, writeMsg, target, 0);
        return false;
    }
    return true;
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
    BlockWriter out(target);
    if (!out.IsOpen()) {
        ShowErrorMsgText(notifier, kMsgWriteError, target, 0);
        return false;
    }
    out.Write(head, 7);
    const char prefix[2] = {'#', static_cast<char>('0' + digits)};
    out.Write(prefix, 2);
    out.Write(countText, digits);
    LevelReader levels(in, 9);
    std::int64_t v;
    std::vector<std::uint8_t> buf;
    buf.reserve(64 * 1024);
    for (Level l; (l = levels.Next(v)) == Level::Value;) {
        buf.push_back(static_cast<std::uint8_t>(v));
        if (width == 2) {
            buf.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        if (buf.size() >= 64 * 1024 - 2) {
            out.Write(buf.data(), buf.size());
            buf.clear();
        }
    }
    out.Write(buf.data(), buf.size());
    if (!out.Close()) {
        ShowErrorMsgText(notifier, kMsgWriteError, target, 0);
        return false;
    }
    return true;
}

}  // namespace

bool WritePairList(const std::string& source, const std::string& target,
                   const CurvePreamble& preamble, Notifier& notifier, ProgressSink& progress) {
    BlockReader in(source);
    if (!in.IsOpen() || !HasCurveHeader(in)) {
        return false;
    }
    TextOut out(target);
    if (!out.IsOpen()) {
        ShowErrorMsgText(notifier, kMsgWriteError, target, 0);
        return false;
    }
    const double ptOff = preamble.PT_OFF.ToDouble();
    const double xIncr = preamble.XINCR.ToDouble();
    const double yOff = preamble.YOFF[0].ToDouble();
    const double yMult = preamble.YMULT[0].ToDouble();
    progress.CounterStart();
    LevelReader levels(in, 10);
    std::int64_t v = 0;
    std::int64_t i = 0;
    bool ok = true;
    char text[2 * kSci23Width + 2];
    for (;;) {
        const Level l = levels.Next(v);
        if (l != Level::Value) {
            ok = l == Level::End;
            break;
        }
        ++i;
        char* p = FormatSci23(text, (static_cast<double>(i) - ptOff) * xIncr);
        *p++ = ',';
        p = FormatSci23(p, (static_cast<double>(v) - yOff) * yMult);
        *p++ = ' ';
        out.Put(text, static_cast<std::size_t>(p - text));
        if (i % kPointsPerBlock == 0) {
            progress.CounterUpdate(i / kPointsPerBlock);
            if (!out.Ok()) {
                break;
            }
        }
    }
    const bool closed = out.Close();
    progress.CounterEnd();
    if (!closed) {
        ShowErrorMsgText(notifier, kMsgWriteError, target, 0);
        return false;
    }
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
    if (!out.IsOpen()) {
        ShowErrorMsgText(notifier, kMsgAccessDenied, target, 0);
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
    const bool closed = out.Close();
    progress.CounterEnd();
    if (!closed) {
        ShowErrorMsgText(notifier, kMsgColumnWriteError, target, 0);
        return false;
    }
    return true;
}

bool WriteRecordColumns(const std::string& target, const WaveformRecord& record,
                        const TextSeparators& separators, Notifier& notifier) {
    return WriteTable(
        target, record.pointCount,
        [&](std::int64_t i, double& x, double& y) {
            const auto k = static_cast<std::size_t>(i);
            x = TimeFieldToSeconds(record.xValues[k]);
            y = record.yValues[k].ToDouble();
        },
        separators, notifier, kMsgAccessDenied, kMsgColumnWriteError);
}

bool WriteRecordPairList(const std::string& target, const WaveformRecord& record,
                         Notifier& notifier) {
    TextOut out(target);
    if (!out.IsOpen()) {
        ShowErrorMsgText(notifier, kMsgWriteError, target, 0);
        return false;
    }
    char text[2 * kSci23Width + 2];
    for (std::int32_t i = 0; i < record.pointCount && out.Ok(); ++i) {
        const auto k = static_cast<std::size_t>(i);
        char* p = FormatSci23(text, TimeFieldToSeconds(record.xValues[k]));
        *p++ = ',';
        p = FormatSci23(p, record.yValues[k].ToDouble());
        *p++ = ' ';
        out.Put(text, static_cast<std::size_t>(p - text));
    }
    if (!out.Close()) {
        ShowErrorMsgText(notifier, kMsgWriteError, target, 0);
        return false;
    }
    return true;
}

bool CurveToBlock1(const std::string& source, const std::string& target, Notifier& notifier) {
    return CurveToBlock(source, target, 1, notifier);
}

bool CurveToBlock2(const std::string& source, const std::string& target, Notifier& notifier) {
    return CurveToBlock(source, target, 2, notifier);
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/curve_converter.h"

#include <array>
#include <charconv>
#include <cstring>
#include <string_view>

#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/block_file.h"
#include "waveform/time_field.h"
#include "waveform/wave_file.h"

namespace ktx {

namespace {

constexpr int kBadFormatMessage = 12;
constexpr std::int64_t kPointsPerBlock = 1024;
// A value longer than this without a separator cannot be a digitizer level.
constexpr std::size_t kMaxValueChars = 10;

// Collects 12-byte records and writes them a block at a time; reports progress per block.
class RecordBatch {
  public:
    RecordBatch(SafeWriter& out, ProgressSink& progress) : m_out(out), m_progress(progress) {}

    // False once a write failed.
    bool Add(const TimeField& x, const Real6& y) {
        std::uint8_t* rec = m_buffer.data() + m_count * kOneColumnRecord;
        std::memcpy(rec, x.bytes.data(), 6);
        std::memcpy(rec + 6, y.bytes.data(), 6);
        ++m_points;
        if (++m_count == kPointsPerBlock) {
            return Flush();
        }
        return true;
    }

    bool Flush() {
        if (m_count > 0) {
            m_out.Write(m_buffer.data(), m_count * kOneColumnRecord);
            if (m_count == kPointsPerBlock) {
                m_progress.CounterUpdate(m_points / kPointsPerBlock);
            }
            m_count = 0;
        }
        return m_out.Ok();
    }

    std::int64_t Points() const { return m_points; }

  private:
    SafeWriter& m_out;
    ProgressSink& m_progress;
    std::array<std::uint8_t, kPointsPerBlock * kOneColumnRecord> m_buffer{};
    std::int64_t m_count = 0;
    std::int64_t m_points = 0;
};

struct Scaling {
    double ptOff;
    double xIncr;
    double yOff;
    double yMult;

    explicit Scaling(const CurvePreamble& p)
        : ptOff(p.PT_OFF.ToDouble()),
          xIncr(p.XINCR.ToDouble()),
          yOff(p.YOFF[0].ToDouble()),
          yMult(p.YMULT[0].ToDouble()) {}

    TimeField X(std::int64_t i) const {
        return SecondsToTimeField((static_cast<double>(i) - ptOff) * xIncr);
    }
    Real6 Y(std::int64_t v) const {
        return Real6::FromDouble((static_cast<double>(v) - yOff) * yMult);
    }
};

bool Contains(std::string_view text, std::string_view what) {
    return text.find(what) != std::string_view::npos;
}

// Reads the first `n` bytes (fewer at the end of the file).
std::string ReadPrefix(BlockReader& in, std::size_t n) {
    std::string s(n, '\0');
    s.resize(in.Read(s.data(), n));
    return s;
}

// Parses a decimal integer with optional sign, allowing blanks around it.
bool ParseLevel(std::string_view text, std::int64_t& v) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return ec == std::errc() && end == text.data() + text.size();
}

// Reads comma-separated decimal levels up to a line end or the end of the file and hands each
// to `emit`, which returns false to stop (a write error). A trailing separator before the end
// is tolerated; an empty value between two commas is not.
template <typename Emit>
CurveError ParseAsciiLevels(BlockReader& in, Emit&& emit) {
    char value[kMaxValueChars];
    std::size_t len = 0;
    std::uint8_t b;
    for (;;) {
        const bool more = in.ReadByte(b);
        if (!more && in.Failed()) {
            return CurveError::SourceOpen;
        }
        // Instruments end the answer with a line feed, older ones with a carriage return.
        const bool lineEnd = !more || b == '\r' || b == '\n';
        if (lineEnd || b == ',') {
            std::int64_t v;
            if (len == 0 && lineEnd) {
                return CurveError::None;
            }
            if (!ParseLevel(std::string_view(value, len), v)) {
                return CurveError::BadValue;
            }
            if (!emit(v)) {
                return CurveError::Write;
            }
            if (lineEnd) {
                return CurveError::None;
            }
            len = 0;
            continue;
        }
        if (len == kMaxValueChars) {
            return CurveError::ValueTooLong;
        }
        value[len++] = static_cast<char>(b);
    }
}

// Opens the target beside itself, writes `header`, and runs `body` on the batch; the target is
// replaced only when everything went well. Keeps the progress protocol and the file messages in
// one place for all three converters.
template <typename Header, typename Body>
CurveResult WriteCurveFile(const std::string& source, const std::string& target,
                           const Header& header, Notifier& notifier, ProgressSink& progress,
                           Body&& body) {
    CurveResult result;
    SafeWriter out(target);
    if (!out.Begin({source})) {
        ShowFileError(notifier, out.Error());
        result.error = CurveError::TargetCreate;
        return result;
    }
    out.Write(header.data(), header.size());
    progress.CounterStart();
    RecordBatch batch(out, progress);
    result.error = body(batch);
    if (result.error == CurveError::None && !batch.Flush()) {
        result.error = CurveError::Write;
    }
    if (result.error == CurveError::None || result.error == CurveError::Write) {
        // A failed write sticks, so Commit refuses the file and names the cause.
        if (out.Commit()) {
            result.points = batch.Points();
        } else {
            ShowFileError(notifier, out.Error());
            result.error = CurveError::Write;
        }
    } else {
        out.Discard();  // nothing of a failed conversion reaches the target
    }
    progress.CounterEnd();
    return result;
}

const UnitStrings kVoltUnits = {"V", kAbsentUnit, kAbsentUnit, kAbsentUnit};
const UnitStrings kSampleUnits = {"Px", kAbsentUnit, kAbsentUnit, kAbsentUnit};

// Binary block header: up to 9 bytes until "#" (with ":CUR" before it), then the digit d and d
// digits giving the byte count.
CurveError ReadBlockHeader(BlockReader& in, std::uint64_t& byteCount) {
    std::string before;
    std::uint8_t b = 0;
    bool hash = false;
    for (int n = 0; n < 9 && in.ReadByte(b); ++n) {
        if (b == '#') {
            hash = true;
            break;
        }
        before.push_back(static_cast<char>(b));
    }
    if (!hash || !Contains(before, ":CUR")) {
        return CurveError::NoCurveHeader;
    }
    if (!in.ReadByte(b) || b < '1' || b > '9') {
        return CurveError::BadCount;
    }
    const int digits = b - '0';
    std::uint64_t count = 0;
    for (int n = 0; n < digits; ++n) {
        if (!in.ReadByte(b) || b < '0' || b > '9') {
            return CurveError::BadCount;
        }
        count = count * 10 + static_cast<std::uint64_t>(b - '0');
    }
    byteCount = count;
    return CurveError::None;
}

}  // namespace

CurveResult ConvertAsciiCurve(const std::string& source, const std::string& target,
                              const CurvePreamble& preamble, Notifier& notifier,
                              ProgressSink& progress) {
    BlockReader in(source);
    if (!in.IsOpen()) {
        return {CurveError::SourceOpen, 0};
    }
    // The source is checked before the target is created, so a bad answer never empties a file
    // the user already has under that name.
    if (!Contains(ReadPrefix(in, 7), ":CURVE")) {
        return {CurveError::NoCurveHeader, 0};
    }
    const Scaling s(preamble);
    return WriteCurveFile(source, target,
                          MakeHeader1(ReferenceHeader(WaveLayout::OneColumn), kVoltUnits), notifier,
                          progress, [&](RecordBatch& batch) {
                              std::int64_t i = 0;
                              return ParseAsciiLevels(in, [&](std::int64_t v) {
                                  ++i;
                                  return batch.Add(s.X(i), s.Y(v));
                              });
                          });
}

CurveResult ConvertBinaryCurve(const std::string& source, const std::string& target,
                               const CurvePreamble& preamble, std::uint8_t flags,
                               Notifier& notifier, ProgressSink& progress) {
    BlockReader in(source);
    if (!in.IsOpen()) {
        return {CurveError::SourceOpen, 0};
    }
    std::uint64_t byteCount = 0;
    if (const CurveError e = ReadBlockHeader(in, byteCount); e != CurveError::None) {
        return {e, 0};
    }
    const bool oneByte = (flags & kCurveWidthMask) == 1;
    const bool msbFirst = (flags & kCurveMsbFirst) != 0;
    const bool signedByte = (flags & kCurveSignedByte) != 0;
    const std::size_t width = oneByte ? 1 : 2;
    // An odd count of two-byte samples leaves its last byte without a partner; it is not a point.
    const std::uint64_t pointCount = byteCount / width;
    const Scaling s(preamble);

    return WriteCurveFile(
        source, target, MakeHeader1(ReferenceHeader(WaveLayout::OneColumn), kVoltUnits), notifier,
        progress, [&](RecordBatch& batch) {
            std::array<std::uint8_t, kPointsPerBlock * 2> raw;
            std::uint64_t done = 0;
            while (done < pointCount) {
                const std::size_t want = static_cast<std::size_t>(
                    std::min<std::uint64_t>(kPointsPerBlock, pointCount - done));
                const std::size_t got = in.Read(raw.data(), want * width) / width;
                for (std::size_t k = 0; k < got; ++k) {
                    std::int64_t v;
                    if (oneByte) {
                        const std::uint8_t b = raw[k];
                        v = signedByte ? static_cast<std::int8_t>(b) : b;
                    } else {
                        const std::uint8_t b1 = raw[2 * k];
                        const std::uint8_t b2 = raw[2 * k + 1];
                        const auto word =
                            static_cast<std::uint16_t>(msbFirst ? (b1 << 8) | b2 : (b2 << 8) | b1);
                        v = static_cast<std::int16_t>(word);
                    }
                    ++done;
                    if (!batch.Add(s.X(static_cast<std::int64_t>(done)), s.Y(v))) {
                        return CurveError::Write;
                    }
                }
                if (got < want) {
                    return in.Failed() ? CurveError::SourceOpen : CurveError::Truncated;
                }
            }
            return CurveError::None;
        });
}

CurveResult ConvertRawCurve(const std::string& source, const std::string& target,
                            Notifier& notifier, ProgressSink& progress) {
    BlockReader in(source);
    if (!in.IsOpen()) {
        return {CurveError::SourceOpen, 0};
    }
    if (in.Size() <= 8) {
        ShowErrorMsgText(notifier, kBadFormatMessage, source, 0);
        return {CurveError::SourceTooShort, 0};
    }
    if (!Contains(ReadPrefix(in, 7), ":CURVE")) {
        return {CurveError::NoCurveHeader, 0};
    }
    WaveFileHeader ref = ReferenceHeader(WaveLayout::OneColumn);
    ref.version = kSampleIndexVersion;
    return WriteCurveFile(source, target, MakeHeader1(ref, kSampleUnits), notifier, progress,
                          [&](RecordBatch& batch) {
                              std::int32_t i = 0;
                              return ParseAsciiLevels(in, [&](std::int64_t v) {
                                  ++i;
                                  return batch.Add(MillisecondsToTimeField(i),
                                                   Real6::FromDouble(static_cast<double>(v)));
                              });
                          });
}

}  // namespace ktx

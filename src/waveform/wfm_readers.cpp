// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/wfm_readers.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/block_file.h"
#include "waveform/curve_converter.h"
#include "waveform/text_number.h"
#include "waveform/wave_target.h"

namespace ktx {

namespace {

constexpr int kMsgBadFormat = 12;
constexpr std::size_t kProbeSize = 13;
constexpr std::size_t kChunkBytes = 256 * 1024;

bool Contains(std::string_view text, std::string_view what) {
    return text.find(what) != std::string_view::npos;
}

std::string ReadPrefix(BlockReader& in, std::size_t n) {
    std::string s(n, '\0');
    s.resize(in.Read(s.data(), n));
    return s;
}

// Multi-byte fields of a header held in memory, in the file's byte order. Every offset is
// checked against the header's size by the caller before it reads.
class Fields {
  public:
    Fields(const std::vector<std::uint8_t>& bytes, bool bigEndian)
        : m_bytes(bytes), m_big(bigEndian) {}

    std::uint64_t Unsigned(std::size_t at, std::size_t size) const {
        std::uint64_t v = 0;
        for (std::size_t k = 0; k < size; ++k) {
            const std::uint8_t b = m_bytes[m_big ? at + k : at + size - 1 - k];
            v = v << 8 | b;
        }
        return v;
    }
    std::uint32_t U32(std::size_t at) const { return static_cast<std::uint32_t>(Unsigned(at, 4)); }
    std::int32_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
    double F64(std::size_t at) const { return std::bit_cast<double>(Unsigned(at, 8)); }
    float F32(std::size_t at) const { return std::bit_cast<float>(U32(at)); }

  private:
    const std::vector<std::uint8_t>& m_bytes;
    bool m_big;
};

// Decodes one sample of a reference waveform file by its format code.
double Sample(const std::uint8_t* p, int format, bool big) {
    std::uint64_t v = 0;
    const std::size_t size = format == 0 ? 2 : format == 3 || format == 5 ? 8 : format >= 6 ? 1 : 4;
    for (std::size_t k = 0; k < size; ++k) {
        v = v << 8 | p[big ? k : size - 1 - k];
    }
    switch (format) {
        case 0:
            return static_cast<std::int16_t>(v);
        case 1:
            return static_cast<std::int32_t>(v);
        case 2:
            return static_cast<std::uint32_t>(v);
        case 3:
            // Only the low 32 bits carry the level.
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        case 4:
            return std::bit_cast<float>(static_cast<std::uint32_t>(v));
        case 5:
            return std::bit_cast<double>(v);
        case 6:
            return static_cast<std::uint8_t>(v);
        default:
            return static_cast<std::int8_t>(v);
    }
}

std::size_t SampleSize(int format) {
    switch (format) {
        case 0:
            return 2;
        case 1:
        case 2:
        case 4:
            return 4;
        case 3:
        case 5:
            return 8;
        case 6:
        case 7:
            return 1;
        default:
            return 0;
    }
}

void ShowBadFormat(Notifier& notifier, const std::string& path) {
    ShowErrorMsgText(notifier, kMsgBadFormat, path, 0);
}

// A reader's file must be open and longer than `minimum` bytes; a shorter one shows message 12
// with its name (and the result says so, so the opener adds nothing).
bool OpenLongerThan(const BlockReader& in, std::uint64_t minimum, const std::string& path,
                    Notifier& notifier, ImportResult& result) {
    if (!in.IsOpen()) {
        return false;
    }
    if (in.Size() <= minimum) {
        ShowBadFormat(notifier, path);
        result.reported = true;
        return false;
    }
    return true;
}

// Where the fields of a reference waveform file lie. Version 1 lacks the two-byte summary frame
// type at 154 that versions 2 and 3 have, so everything after it sits two bytes earlier; version
// 3 stores the point density of each dimension in 8 bytes instead of 4, which moves everything
// after the first explicit dimension again (the maker's reference waveform file format; the
// version-3 offsets agree with the instruments' files).
struct WfmLayout {
    std::size_t headerSize;       // the extra frames' records follow here
    std::size_t explicitDim;      // explicit dimension 1: scale, +8 offset, +72 format code
    std::size_t implicitDim;      // implicit dimension 1: scale, +8 offset
    std::size_t triggerFraction;  // the time of the first point within a sample interval
    std::size_t curveInfo;        // +14 data start, +18 postcharge start, +26 end of the buffer
};
constexpr WfmLayout kWfmV1 = {820, 166, 478, 770, 790};
constexpr WfmLayout kWfmV2 = {822, 168, 480, 772, 792};
constexpr WfmLayout kWfmV3 = {838, 168, 488, 788, 808};
// Frames - 1 of a FastFrame file (the same place in every version).
constexpr std::size_t kWfmFramesMinusOne = 72;
// Each frame after the first has a 24-byte update record (its trigger fraction at +4) after the
// header, followed by a 30-byte curve record.
constexpr std::size_t kWfmUpdateRecord = 24;
constexpr std::size_t kWfmUpdateFraction = 4;

const WfmLayout& LayoutOf(std::string_view version) {
    if (Contains(version, "#001")) {
        return kWfmV1;
    }
    return Contains(version, "#003") ? kWfmV3 : kWfmV2;
}

}  // namespace

int WfmVariant(const std::string& path) {
    if (path.find('*') != std::string::npos) {
        return 0;
    }
    BlockReader in(path);
    if (!in.IsOpen()) {
        return 0;
    }
    const std::string probe = ReadPrefix(in, kProbeSize);
    if (Contains(probe, "CURVE")) {
        return 1;
    }
    if (Contains(probe, ":WFM")) {
        return 2;
    }
    if (Contains(probe, "LLWFM")) {
        return 3;
    }
    if (Contains(probe, "MAGIC 1000")) {
        return 4;
    }
    return 0;
}

const char* WfmModelLabel(int variant) {
    switch (variant) {
        case 1:
            return "TDS 300..";
        case 2:
            return "TDS 5000..8000";
        case 3:
            return "TDS 500..800";
        case 4:
            return "AFG/AWG";
        default:
            return "unknown";
    }
}

ImportResult ReadWfmAscii(const std::string& path, const std::string& target, Notifier& notifier,
                          ProgressSink& progress) {
    ImportResult result;
    result.sampleAxis = true;
    const CurveResult r = ConvertRawCurve(path, target, notifier, progress);
    result.points = r.points;
    result.ok = r.Ok();
    result.reported = r.error == CurveError::SourceTooShort ||
                      r.error == CurveError::TargetCreate || r.error == CurveError::Write;
    return result;
}

ImportResult ReadWfmTds5000(const std::string& path, const std::string& target, Notifier& notifier,
                            ProgressSink& progress, std::int64_t frame) {
    ImportResult result;
    BlockReader in(path);
    if (!OpenLongerThan(in, 830, path, notifier, result)) {
        return result;
    }
    std::vector<std::uint8_t> header(kWfmV3.headerSize, 0);
    const std::size_t got = in.Read(header.data(), header.size());
    const std::string_view version(reinterpret_cast<const char*>(header.data()) + 2, 8);
    if (!Contains(version, ":WFM#")) {
        return result;
    }
    // Byte-order mark 0F0F: little-endian (PC instruments); F0F0: big-endian (PowerPC ones).
    const bool big = header[0] == 0xF0 && header[1] == 0xF0;
    const WfmLayout& layout = LayoutOf(version);
    if (got < layout.headerSize) {
        ShowBadFormat(notifier, path);
        result.reported = true;
        return result;
    }
    const Fields f(header, big);
    const std::size_t bytesPerPoint = header[15];
    const int format = f.I32(layout.explicitDim + 72);
    // 122: the data must be a vector (a curve).
    if (f.I32(122) != 2 || SampleSize(format) == 0 || SampleSize(format) != bytesPerPoint) {
        return result;
    }
    const double vScale = f.F64(layout.explicitDim);
    const double vOffset = f.F64(layout.explicitDim + 8);
    const double hScale = f.F64(layout.implicitDim);
    const double hOffset = f.F64(layout.implicitDim + 8);
    if (!std::isfinite(vScale) || !std::isfinite(vOffset) || !std::isfinite(hScale) ||
        !std::isfinite(hOffset)) {
        return result;
    }
    // The curve buffer starts where the file says (after the records of the extra frames of a
    // FastFrame file), but never inside the header.
    std::uint64_t base = f.U32(16);
    if (base < layout.headerSize || base > in.Size()) {
        base = layout.headerSize;
    }
    const std::uint64_t start = f.U32(layout.curveInfo + 14);
    const std::uint64_t end = f.U32(layout.curveInfo + 18);
    if (start > end || base + end > in.Size()) {
        return result;
    }
    // FastFrame: the frames follow each other in the curve buffer, each as long as the first
    // one's buffer and laid out like it. Frames the file is too short for do not count.
    const std::uint64_t stride = f.U32(layout.curveInfo + 26);
    const std::uint64_t declared = std::uint64_t{f.U32(kWfmFramesMinusOne)} + 1;
    result.frames = 1;
    if (declared > 1 && stride > 0 && stride >= end) {
        result.frames = static_cast<std::int64_t>(
            std::min<std::uint64_t>(declared, (in.Size() - base - end) / stride + 1));
    }
    if (!FrameExists(frame, result, notifier)) {
        return result;
    }
    double fraction = f.F64(layout.triggerFraction);
    if (frame > 0) {
        std::uint8_t bytes[8];
        const std::uint64_t at = layout.headerSize +
                                 static_cast<std::uint64_t>(frame - 1) * kWfmUpdateRecord +
                                 kWfmUpdateFraction;
        if (!in.Seek(at) || in.Read(bytes, 8) != 8) {
            return result;
        }
        const std::vector<std::uint8_t> record(bytes, bytes + 8);
        fraction = Fields(record, big).F64(0);
    }
    if (!std::isfinite(fraction) || std::fabs(fraction) > 1.0) {
        fraction = 0.0;
    }
    const std::uint64_t first = base + static_cast<std::uint64_t>(frame) * stride + start;
    if (!in.Seek(first)) {
        return result;
    }
    const std::uint64_t points = (end - start) / bytesPerPoint;

    WaveTarget out(target, path, notifier, progress);
    if (!out.OpenOneColumn("V")) {
        result.reported = true;
        return result;
    }
    // x of point k (from 0) = offset + (k + fraction) * scale: the instrument's own CSV of the
    // same capture starts at the offset moved by the trigger's fraction of a sample.
    std::vector<std::uint8_t> raw(kChunkBytes);
    const std::size_t perChunk = kChunkBytes / bytesPerPoint;
    std::uint64_t done = 0;
    while (done < points) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(perChunk, points - done));
        if (in.Read(raw.data(), want * bytesPerPoint) != want * bytesPerPoint) {
            return result;
        }
        for (std::size_t k = 0; k < want; ++k) {
            const double v = Sample(raw.data() + k * bytesPerPoint, format, big);
            const double x = hOffset + (static_cast<double>(done + k) + fraction) * hScale;
            if (!out.Add(SecondsToTimeField(x), Real6::FromDouble(v * vScale + vOffset))) {
                done = points;
                break;
            }
        }
        done += want;
    }
    FinishImport(out, true, result);
    return result;
}

namespace {

const char* LlwfmUnit(int code) {
    switch (code) {
        case 0:
            return "#";
        case 609:
            return "V";
        case 610:
            return "s";
        case 626:
            return "vald";
        case 627:
            return "invl";
        case 631:
            return "#";
        case 632:
            return "VV";
        case 736:
            return "Hz";
        case 740:
            return "dB";
        case 766:
            return "Vs";
        case 767:
            return "VVs";
        case 768:
            return "V/s";
        case 920:
            return "V/v";
        default:
            return "s";
    }
}

// Reads "#" already consumed: the digit d and d digits; false when they are not digits.
bool ReadCount(BlockReader& in, std::uint64_t& count, int& digits) {
    std::uint8_t b;
    if (!in.ReadByte(b) || b < '1' || b > '9') {
        return false;
    }
    digits = b - '0';
    count = 0;
    for (int n = 0; n < digits; ++n) {
        if (!in.ReadByte(b) || b < '0' || b > '9') {
            return false;
        }
        count = count * 10 + static_cast<std::uint64_t>(b - '0');
    }
    return true;
}

}  // namespace

ImportResult ReadWfmLlwfm(const std::string& path, const std::string& target, Notifier& notifier,
                          ProgressSink& progress) {
    ImportResult result;
    BlockReader in(path);
    if (!OpenLongerThan(in, 208, path, notifier, result)) {
        return result;
    }
    if (!Contains(ReadPrefix(in, 7), "LLWFM #")) {
        return result;
    }
    std::uint64_t blockLength = 0;
    int digits = 0;
    if (!ReadCount(in, blockLength, digits)) {
        return result;
    }
    std::vector<std::uint8_t> head(4 + 4 + 124 + 32);
    if (in.Read(head.data(), head.size()) != head.size()) {
        return result;
    }
    // Multi-byte fields of this family are big-endian.
    const Fields f(head, true);
    const std::uint32_t n = f.U32(4);
    if (n < 158) {
        return result;
    }
    const std::uint64_t curveBytes = n - 158;
    constexpr std::size_t kPre = 8;  // the preamble follows the skipped word and the length
    const double secondsPerPoint = f.F64(kPre + 48);
    const int unitCode = static_cast<int>(f.Unsigned(kPre + 56, 2));
    const double zero = f.F64(kPre + 58);
    const double position = f.F64(kPre + 66) * 25.0;
    const double voltsPerLevel = f.F64(kPre + 74) * 0.04 / 256.0;
    if (!std::isfinite(secondsPerPoint) || !std::isfinite(zero) || !std::isfinite(position) ||
        !std::isfinite(voltsPerLevel)) {
        return result;
    }
    WaveTarget out(target, path, notifier, progress);
    if (!out.OpenOneColumn(LlwfmUnit(unitCode))) {
        result.reported = true;
        return result;
    }
    // The curve ends at its byte count or at the end of the file, whichever comes first.
    const std::uint64_t points = curveBytes / 2;
    std::vector<std::uint8_t> raw(kChunkBytes);
    std::uint64_t i = 0;
    while (i < points) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes / 2, points - i));
        const std::size_t have = in.Read(raw.data(), want * 2) / 2;
        for (std::size_t k = 0; k < have; ++k) {
            const auto v = static_cast<std::int16_t>(raw[2 * k] << 8 | raw[2 * k + 1]);
            ++i;
            const double x = static_cast<double>(i) * secondsPerPoint;
            if (!out.Add(SecondsToTimeField(x),
                         Real6::FromDouble((v - position) * voltsPerLevel + zero))) {
                i = points;
                break;
            }
        }
        if (have < want) {
            break;
        }
    }
    if (in.Failed() || out.Points() == 0) {
        return result;
    }
    FinishImport(out, true, result);
    return result;
}

ImportResult ReadWfmMagic(const std::string& path, const std::string& target, Notifier& notifier,
                          ProgressSink& progress) {
    ImportResult result;
    BlockReader in(path);
    if (!OpenLongerThan(in, 16, path, notifier, result)) {
        return result;
    }
    // "MAGIC 1000", a line end and "#" (three bytes), then the data length as "#dL".
    if (!Contains(ReadPrefix(in, 10), "MAGIC 1000") || ReadPrefix(in, 3).size() != 3) {
        return result;
    }
    std::uint64_t length = 0;
    int digits = 0;
    if (!ReadCount(in, length, digits)) {
        return result;
    }
    const std::uint64_t dataAt = 14 + static_cast<std::uint64_t>(digits);
    // The CLOCK record follows the data; a length that points past the file is not believed.
    if (length > in.Size() || !in.Seek(dataAt + length)) {
        return result;
    }
    const std::string clockRecord = ReadPrefix(in, 6 + 17);
    if (!Contains(std::string_view(clockRecord).substr(0, 6), "CLOCK")) {
        return result;
    }
    double clock = 0;
    std::string_view clockText =
        std::string_view(clockRecord).substr(std::min<std::size_t>(6, clockRecord.size()));
    while (!clockText.empty() &&
           (clockText.back() == '\n' || clockText.back() == '\r' || clockText.back() == ' ')) {
        clockText.remove_suffix(1);
    }
    if (!ParseReal(clockText, clock) || !(clock > 0.0)) {
        return result;
    }
    if (!in.Seek(dataAt)) {
        return result;
    }
    WaveTarget out(target, path, notifier, progress);
    if (!out.OpenOneColumn("V")) {
        result.reported = true;
        return result;
    }
    // Five bytes a point: a little-endian single and a marker byte.
    const std::uint64_t points = length / 5;
    constexpr std::size_t kPerChunk = 50 * 1024;
    std::vector<std::uint8_t> raw(kPerChunk * 5);
    std::uint64_t i = 0;
    while (i < points) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPerChunk, points - i));
        if (in.Read(raw.data(), want * 5) != want * 5) {
            return result;
        }
        for (std::size_t k = 0; k < want; ++k) {
            const std::uint8_t* p = raw.data() + 5 * k;
            const std::uint32_t bits = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                       std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
            const double y = std::bit_cast<float>(bits);
            if (!out.Add(SecondsToTimeField(static_cast<double>(i + k) / clock),
                         Real6::FromDouble(y))) {
                i = points;
                break;
            }
        }
        i += want;
    }
    FinishImport(out, true, result);
    return result;
}

}  // namespace ktx

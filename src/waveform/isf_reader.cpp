// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/isf_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/block_file.h"
#include "waveform/curve_converter.h"
#include "waveform/text_number.h"
#include "waveform/wave_target.h"

namespace ktx {

namespace {

constexpr int kMsgOperationFailed = 34;
// Real preambles are a few hundred characters; a file without "CUR" in this many is no ISF.
constexpr std::size_t kMaxPreamble = 64 * 1024;
constexpr std::size_t kMinPreamble = 6;
constexpr std::uint8_t kCurveLsbFirst = 0x40;
constexpr std::uint8_t kCurveUnsigned = 0x10;

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

bool ContainsNoCase(std::string_view text, std::string_view what) {
    if (what.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i + what.size() <= text.size(); ++i) {
        if (EqualNoCase(text.substr(i, what.size()), what)) {
            return true;
        }
    }
    return false;
}

struct Item {
    std::string_view key;
    std::string_view value;
};

// Splits "KEY value;KEY value;..." into items; ";" inside a quoted string (the WFID text)
// does not end an item. A key may carry its header path (":WFMPRE:NR_PT"): the last part is
// the key.
std::vector<Item> SplitItems(std::string_view text) {
    std::vector<Item> items;
    std::size_t start = 0;
    bool quoted = false;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] == '"') {
            quoted = !quoted;
        }
        if (i < text.size() && (quoted || text[i] != ';')) {
            continue;
        }
        std::string_view item = text.substr(start, i - start);
        start = i + 1;
        while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front()))) {
            item.remove_prefix(1);
        }
        const std::size_t blank = item.find(' ');
        std::string_view key = item.substr(0, blank);
        const std::string_view value =
            blank == std::string_view::npos ? std::string_view() : item.substr(blank + 1);
        if (const std::size_t colon = key.rfind(':'); colon != std::string_view::npos) {
            key.remove_prefix(colon + 1);
        }
        items.push_back({key, value});
    }
    return items;
}

// The value of the first item whose key is one of `names` (abbreviated and long form).
const Item* Find(const std::vector<Item>& items, std::initializer_list<std::string_view> names) {
    for (const Item& item : items) {
        for (std::string_view n : names) {
            if (EqualNoCase(item.key, n)) {
                return &item;
            }
        }
    }
    return nullptr;
}

bool RealOf(const std::vector<Item>& items, std::initializer_list<std::string_view> names,
            double& v) {
    const Item* item = Find(items, names);
    return item != nullptr && ParseReal(item->value, v);
}

// The volts of every raw code. A sample has at most 65 536 codes, so a long record computes
// each once instead of once per point; a short one computes them as they come.
class LevelTable {
  public:
    LevelTable(const IsfPreamble& p, std::size_t width, bool isSigned, std::uint64_t points)
        : m_p(p), m_width(width), m_signed(isSigned) {
        const std::size_t codes = std::size_t{1} << (8 * width);
        if (points >= codes) {
            m_table.resize(codes);
            for (std::size_t c = 0; c < codes; ++c) {
                m_table[c] = Compute(static_cast<std::uint32_t>(c));
            }
        }
    }
    Real6 Value(std::uint32_t code) const {
        return m_table.empty() ? Compute(code) : m_table[code];
    }

  private:
    Real6 Compute(std::uint32_t code) const {
        double v;
        if (m_width == 1) {
            v = m_signed ? static_cast<std::int8_t>(code) : static_cast<int>(code);
        } else {
            v = m_signed ? static_cast<std::int16_t>(code) : static_cast<int>(code);
        }
        return Real6::FromDouble((v - m_p.yOff) * m_p.yMult + m_p.yZero);
    }

    const IsfPreamble& m_p;
    std::size_t m_width;
    bool m_signed;
    std::vector<Real6> m_table;
};

}  // namespace

bool ParseIsfPreamble(std::string_view text, IsfPreamble& out) {
    const std::vector<Item> items = SplitItems(text);
    IsfPreamble p;
    long long nrPt = 0;
    const Item* nr = Find(items, {"NR_P", "NR_PT"});
    if (nr == nullptr || !ParseInteger(nr->value, nrPt) || nrPt < 0 || nrPt > INT32_MAX) {
        return false;
    }
    if (!RealOf(items, {"XIN", "XINCR"}, p.xIncr) || !RealOf(items, {"PT_O", "PT_OFF"}, p.ptOff) ||
        !RealOf(items, {"YOF", "YOFF"}, p.yOff) || !RealOf(items, {"YMU", "YMULT"}, p.yMult)) {
        return false;
    }
    long long bytes = 0;
    const Item* bn = Find(items, {"BYT_N", "BYT_NR"});
    if (bn == nullptr || !ParseInteger(bn->value, bytes) || bytes < 1 || bytes > 2) {
        return false;
    }
    std::uint8_t flags = static_cast<std::uint8_t>(bytes);
    const Item* bo = Find(items, {"BYT_O", "BYT_OR"});
    if (bo != nullptr && ContainsNoCase(bo->value, "MSB")) {
        flags |= kCurveMsbFirst;
    } else if (bo != nullptr && ContainsNoCase(bo->value, "LSB")) {
        flags |= kCurveLsbFirst;
    } else {
        return false;
    }
    const Item* bf = Find(items, {"BN_F", "BN_FMT"});
    if (bf != nullptr && ContainsNoCase(bf->value, "RI")) {
        flags |= kCurveSignedByte;
    } else if (bf != nullptr && ContainsNoCase(bf->value, "RP")) {
        flags |= kCurveUnsigned;
    } else {
        return false;
    }
    p.flags = flags;
    // Optional: the time of the first point and a volts offset. The instrument's own CSV of the
    // same capture starts its time column at XZERO.
    p.hasXZero = RealOf(items, {"XZE", "XZERO"}, p.xZero);
    if (!RealOf(items, {"YZE", "YZERO"}, p.yZero)) {
        p.yZero = 0.0;
    }
    p.curve.NR_PT = static_cast<std::int32_t>(nrPt);
    p.curve.XINCR = Real6::FromDouble(p.xIncr);
    p.curve.PT_OFF = Real6::FromDouble(p.ptOff);
    p.curve.YOFF[0] = Real6::FromDouble(p.yOff);
    p.curve.YMULT[0] = Real6::FromDouble(p.yMult);
    out = p;
    return true;
}

namespace {

enum class RecordRead { Ok, NotIsf, Truncated };

// One record: the preamble and where its block of `count` bytes begins.
struct IsfRecord {
    IsfPreamble preamble;
    std::uint64_t data = 0;
    std::uint64_t count = 0;
};

// Reads the record that begins at `from`: the preamble up to "CUR" (outside a quoted string),
// then "VE #" (at most five characters up to "#"), the digit d and d digits of the count.
// Truncated when the count reaches beyond the end of the file.
RecordRead ReadRecord(BlockReader& in, std::uint64_t from, IsfRecord& record) {
    if (!in.Seek(from)) {
        return RecordRead::NotIsf;
    }
    std::string text;
    std::uint8_t b = 0;
    bool quoted = false;
    bool found = false;
    while (text.size() < kMaxPreamble && in.ReadByte(b)) {
        text.push_back(static_cast<char>(b));
        if (b == '"') {
            quoted = !quoted;
        }
        if (!quoted && text.size() >= 3 && text.compare(text.size() - 3, 3, "CUR") == 0) {
            found = true;
            break;
        }
    }
    if (!found || text.size() - 3 < kMinPreamble) {
        return RecordRead::NotIsf;
    }
    text.resize(text.size() - 3);
    if (!ParseIsfPreamble(text, record.preamble)) {
        return RecordRead::NotIsf;
    }
    std::uint64_t consumed = from + text.size() + 3;
    bool hash = false;
    for (int n = 0; n < 6 && in.ReadByte(b); ++n) {
        ++consumed;
        if (b == '#') {
            hash = true;
            break;
        }
    }
    if (!hash || !in.ReadByte(b) || b < '1' || b > '9') {
        return RecordRead::NotIsf;
    }
    ++consumed;
    std::uint64_t count = 0;
    for (int n = b - '0'; n > 0; --n) {
        if (!in.ReadByte(b) || b < '0' || b > '9') {
            return RecordRead::NotIsf;
        }
        ++consumed;
        count = count * 10 + static_cast<std::uint64_t>(b - '0');
    }
    record.data = consumed;
    record.count = count;
    // The count is only believed as far as the file reaches.
    return count > in.Size() - std::min(consumed, in.Size()) ? RecordRead::Truncated
                                                             : RecordRead::Ok;
}

}  // namespace

ImportResult ReadIsf(const std::string& path, const std::string& target, Notifier& notifier,
                     ProgressSink& progress, std::int64_t frame) {
    ImportResult result;
    BlockReader in(path);
    if (!in.IsOpen()) {
        return result;
    }
    // 1. The records: an instrument that saves several waveforms into one file writes them one
    // after the other. Only whole records count; anything after the last one is ignored.
    IsfRecord chosen;
    IsfRecord record;
    RecordRead first = ReadRecord(in, 0, record);
    if (first == RecordRead::NotIsf) {
        return result;
    }
    if (first == RecordRead::Truncated) {
        ShowErrorMsg(notifier, kMsgOperationFailed, 0);
        result.reported = true;
        return result;
    }
    chosen = record;
    result.frames = 1;
    for (std::uint64_t next = record.data + record.count;
         ReadRecord(in, next, record) == RecordRead::Ok; next = record.data + record.count) {
        if (result.frames == frame) {
            chosen = record;
        }
        ++result.frames;
    }
    if (!FrameExists(frame, result, notifier) || !in.Seek(chosen.data)) {
        return result;
    }
    const IsfPreamble& p = chosen.preamble;

    // 2. The samples, straight into the target: x_k = XZERO + (k - PT_OFF) * XINCR for k from
    // 0 when the preamble gives XZERO, else (i - PT_OFF) * XINCR for i from 1.
    const std::size_t width = (p.flags & kCurveWidthMask) == 1 ? 1 : 2;
    const bool msbFirst = (p.flags & kCurveMsbFirst) != 0;
    const bool isSigned = (p.flags & kCurveSignedByte) != 0;
    const std::uint64_t points = chosen.count / width;
    const double x0 = p.hasXZero ? p.xZero - p.ptOff * p.xIncr : (1.0 - p.ptOff) * p.xIncr;

    WaveTarget out(target, path, notifier, progress);
    if (!out.OpenOneColumn("V")) {
        result.reported = true;
        return result;
    }
    const LevelTable levels(p, width, isSigned, points);
    constexpr std::size_t kChunk = 64 * 1024;
    std::vector<std::uint8_t> raw(kChunk * 2);
    std::uint64_t done = 0;
    while (done < points) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, points - done));
        if (in.Read(raw.data(), want * width) != want * width) {
            // The file shrank while it was read.
            ShowErrorMsg(notifier, kMsgOperationFailed, 0);
            result.reported = true;
            return result;
        }
        for (std::size_t k = 0; k < want; ++k) {
            std::uint32_t code;
            if (width == 1) {
                code = raw[k];
            } else {
                const std::uint8_t b1 = raw[2 * k];
                const std::uint8_t b2 = raw[2 * k + 1];
                code = msbFirst ? (std::uint32_t{b1} << 8 | b2) : (std::uint32_t{b2} << 8 | b1);
            }
            const double x = x0 + static_cast<double>(done + k) * p.xIncr;
            if (!out.Add(SecondsToTimeField(x), levels.Value(code))) {
                done = points;  // a write failed; Commit reports it
                break;
            }
        }
        done += want;
    }
    FinishImport(out, true, result);
    return result;
}

}  // namespace ktx

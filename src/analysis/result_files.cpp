// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/result_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "config/message_catalog.h"
#include "config/safe_file.h"
#include "tools/format_with_prefix.h"
#include "waveform/block_file.h"
#include "waveform/real6.h"

namespace ktx {

namespace {

constexpr int kStrY1 = 10513;
constexpr int kStrY2 = 10514;
constexpr int kStrX1 = 10515;
constexpr int kStrX2 = 10516;

std::string Str(int id) {
    return std::string(MessageCatalog::String(id));
}

std::string Fixed(double v, int width, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, v);
    return buf;
}

}  // namespace

ResultTable ParseResultFile(const std::uint8_t* data, std::size_t size, WaveLayout layout) {
    ResultTable t;
    // Fewer than two records: the header counts as zeros, which no tag matches.
    std::uint8_t header[kFourColumnRecord] = {};
    if (size >= 2 * kFourColumnRecord) {
        std::copy(data, data + kFourColumnRecord, header);
    }
    if (!ReadWaveHeader(header, ReferenceHeader(layout), t.units)) {
        t.fault = ResultFault::BadFormat;
        return t;
    }
    const std::size_t count = size / kFourColumnRecord - 1;
    if (count > static_cast<std::size_t>(kMaxResultRecords)) {
        t.fault = ResultFault::TooLarge;
        return t;
    }
    t.rows.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* rec = data + (i + 1) * kFourColumnRecord;
        for (std::size_t s = 0; s < 4; ++s) {
            t.rows[i][s] = Real6::Decode(rec + 6 + 6 * s);
        }
    }
    return t;
}

FileBytes ReadWholeFile(const std::string& path, std::uint64_t maxBytes) {
    FileBytes f;
    BlockReader in(path);
    if (!in.IsOpen() || in.Size() > maxBytes) {
        return f;
    }
    f.bytes.resize(static_cast<std::size_t>(in.Size()));
    f.ok = in.Read(f.bytes.data(), f.bytes.size()) == f.bytes.size() && !in.Failed();
    if (!f.ok) {
        f.bytes.clear();
    }
    return f;
}

LoadedResult LoadResultFile(const std::string& path, WaveLayout layout) {
    LoadedResult r;
    constexpr std::uint64_t kMaxBytes = (kMaxResultRecords + 1) * kFourColumnRecord + 29;
    FileBytes f = ReadWholeFile(path, kMaxBytes);
    if (!f.ok) {
        // Too large to read, or unreadable: the header alone tells which.
        BlockReader in(path);
        std::uint8_t header[kFourColumnRecord] = {};
        UnitStrings units;
        const bool isResult = in.IsOpen() && in.Size() > kMaxBytes &&
                              in.Read(header, sizeof header) == sizeof header &&
                              ReadWaveHeader(header, ReferenceHeader(layout), units);
        r.table.fault = isResult ? ResultFault::TooLarge : ResultFault::BadFormat;
        return r;
    }
    r.bytes = std::move(f.bytes);
    r.table = ParseResultFile(r.bytes.data(), r.bytes.size(), layout);
    return r;
}

Distortion ComputeDistortion(const ResultTable& spectrum) {
    Distortion d;
    const auto& rows = spectrum.rows;
    // Squares of amplitudes near the Real6 limit overflow a double: relate them to the largest.
    double largest = 0.0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        largest = std::max(largest, std::fabs(rows[i][1]));
    }
    if (largest == 0.0) {
        return d;  // K = 0, THD without a value
    }
    double total = 0.0;
    double harmonics = 0.0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const double a = rows[i][1] / largest;
        total += a * a;
        if (i >= 2) {
            harmonics += a * a;
        }
    }
    const double a1 = rows[1][1] / largest;
    d.kPercent = std::sqrt(harmonics / total) * 100.0;
    if (a1 != 0.0) {
        d.thd = std::sqrt(harmonics / (a1 * a1));
    }
    return d;
}

std::string DistortionText(double mean, const std::string& unit, const Distortion& d) {
    return "A0= " + FormatWithPrefix(mean, unit) + "  K= " + Fixed(d.kPercent, 2, 5) + "%" +
           "  THD=" + (d.thd ? Fixed(*d.thd, 1, 6) : std::string("---"));
}

std::vector<std::string> SpectrumTableLines(const ResultTable& spectrum) {
    std::vector<std::string> lines = {"FFT- Tab", "", "Freq\t\tVal\t\tDB\t\tPhase", ""};
    for (const auto& row : spectrum.rows) {
        std::string line;
        for (std::size_t s = 0; s < 4; ++s) {
            const std::string text = FormatWithPrefix(row[s], spectrum.units[s]);
            line += text;
            if (s < 3) {
                if (text.size() < 8) {
                    line += '\t';
                }
                line += '\t';
            }
        }
        lines.push_back(line);
    }
    return lines;
}

MathCurve MakeMathCurve(const ResultTable& table) {
    MathCurve c;
    c.xUnit = table.units[0];
    c.yUnit = table.units[1];
    c.yMax = Real6::FromDouble(-1.0e37).ToDouble();
    c.yMin = Real6::FromDouble(1.0e37).ToDouble();
    double previous = -1.0;
    c.x.reserve(table.rows.size());
    c.y.reserve(table.rows.size());
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        const double x = table.rows[i][0];
        const double y = table.rows[i][1];
        c.x.push_back(x);
        c.y.push_back(y);
        if (x >= 0.0 && previous < 0.0) {
            c.zeroIndex = static_cast<std::int32_t>(i);
        }
        previous = x;
        c.yMax = std::max(c.yMax, y);
        c.yMin = std::min(c.yMin, y);
    }
    return c;
}

MathReadouts ComputeMathReadouts(const MathCurve& curve, std::int32_t c1, std::int32_t c2) {
    MathReadouts r;
    const auto count = static_cast<std::int32_t>(curve.y.size());
    if (count == 0) {
        return r;
    }
    c1 = std::clamp(c1, 0, count - 1);
    c2 = std::clamp(c2, 0, count - 1);
    double sum = 0.0;
    for (std::int32_t i = std::min(c1, c2); i <= std::max(c1, c2); ++i) {
        sum += curve.y[static_cast<std::size_t>(i)];
    }
    const auto cut = [](std::string s, std::size_t n) { return s.substr(0, n); };
    const auto i1 = static_cast<std::size_t>(c1);
    const auto i2 = static_cast<std::size_t>(c2);
    r.wertanz = Str(kStrY1) + cut(FormatWithPrefix(curve.y[i1], curve.yUnit), 12) + Str(kStrX1) +
                cut(FormatWithPrefix(curve.x[i1], curve.xUnit), 12) +
                "    Sum:" + cut(FormatWithPrefix(sum, curve.yUnit), 60);
    r.wertanz2 = Str(kStrY2) + cut(FormatWithPrefix(curve.y[i2], curve.yUnit), 12) + Str(kStrX2) +
                 cut(FormatWithPrefix(curve.x[i2], curve.xUnit), 12) +
                 "    Div:" + cut(FormatWithPrefix(curve.x[i2] - curve.x[i1], curve.xUnit), 60);
    return r;
}

}  // namespace ktx

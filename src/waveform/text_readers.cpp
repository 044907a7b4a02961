// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/text_readers.h"

#include <array>
#include <string_view>

#include "waveform/block_file.h"
#include "waveform/text_number.h"
#include "waveform/wave_target.h"

namespace ktx {

namespace {

// No instrument writes lines this long; a longer one means the file is no waveform text.
constexpr std::size_t kMaxLine = 4096;

enum class LineRead { Line, End, TooLong, Error };

// Reads up to a line feed; the line feed is dropped, a carriage return stays in the line.
LineRead NextLine(BlockReader& in, std::string& line) {
    line.clear();
    std::uint8_t b;
    bool any = false;
    while (in.ReadByte(b)) {
        any = true;
        if (b == '\n') {
            return LineRead::Line;
        }
        if (line.size() == kMaxLine) {
            return LineRead::TooLong;
        }
        line.push_back(static_cast<char>(b));
    }
    if (in.Failed()) {
        return LineRead::Error;
    }
    return any ? LineRead::Line : LineRead::End;
}

std::string_view WithoutCr(std::string_view s) {
    while (!s.empty() && s.back() == '\r') {
        s.remove_suffix(1);
    }
    return s;
}

// Field `index` (from 0) of `line` split at `sep`; false when the line has fewer fields.
bool Field(std::string_view line, char sep, std::size_t index, std::string_view& field) {
    for (std::size_t k = 0; k < index; ++k) {
        const std::size_t at = line.find(sep);
        if (at == std::string_view::npos) {
            return false;
        }
        line.remove_prefix(at + 1);
    }
    field = line.substr(0, line.find(sep));
    return true;
}

enum class Pair { Ok, Missing, BadValue };

// The x and y of one data line; the columns it uses depend on the form.
using PairOf = Pair (*)(std::string_view line, double& x, double& y);

Pair CsvPair(std::string_view line, double& x, double& y) {
    std::string_view fx;
    std::string_view fy;
    if (!line.empty() && line.back() == ',') {
        // The older instruments' five-column form: x and y are fields 4 and 5.
        if (!Field(line, ',', 3, fx) || !Field(line, ',', 4, fy)) {
            return Pair::Missing;
        }
    } else if (!Field(line, ',', 0, fx) || !Field(line, ',', 1, fy)) {
        return Pair::BadValue;
    }
    return ParseReal(fx, x) && ParseReal(fy, y) ? Pair::Ok : Pair::BadValue;
}

Pair TxtPair(std::string_view line, double& x, double& y) {
    std::string_view fx;
    std::string_view fy;
    if (!Field(line, '\t', 3, fx) || !Field(line, '\t', 4, fy)) {
        return Pair::BadValue;
    }
    return ParseReal(fx, x) && ParseReal(fy, y) ? Pair::Ok : Pair::BadValue;
}

// Shared loop of the comma and tab text readers. Lines before the first data line that give no
// pair of numbers are the file's metadata (newer instruments write a dozen of them, some empty)
// and are skipped; from the first data line on, an empty line ends the import and a value that
// does not convert ends it as failed.
ImportResult ReadPairs(const std::string& path, const std::string& target, Notifier& notifier,
                       ProgressSink& progress, PairOf pairOf) {
    ImportResult result;
    BlockReader in(path);
    if (!in.IsOpen()) {
        return result;
    }
    WaveTarget out(target, path, notifier, progress);
    if (!out.OpenOneColumn("V")) {
        result.reported = true;
        return result;
    }
    bool inData = false;
    bool ok = true;
    std::string line;
    for (;;) {
        const LineRead r = NextLine(in, line);
        if (r == LineRead::End) {
            break;
        }
        if (r != LineRead::Line) {
            ok = false;
            break;
        }
        const std::string_view text = WithoutCr(line);
        if (text.empty()) {
            if (inData) {
                break;
            }
            continue;
        }
        double x = 0;
        double y = 0;
        const Pair pair = pairOf(text, x, y);
        if (pair != Pair::Ok) {
            if (!inData) {
                continue;
            }
            if (pair == Pair::Missing) {
                ok = false;  // a short five-column line fails the file, reading goes on
                continue;
            }
            ok = false;
            break;
        }
        inData = true;
        if (!out.Add(SecondsToTimeField(x), Real6::FromDouble(y))) {
            break;
        }
    }
    FinishImport(out, ok, result);
    return result;
}

}  // namespace

ImportResult ReadCsv(const std::string& path, const std::string& target, Notifier& notifier,
                     ProgressSink& progress) {
    return ReadPairs(path, target, notifier, progress, CsvPair);
}

ImportResult ReadTxt(const std::string& path, const std::string& target, Notifier& notifier,
                     ProgressSink& progress) {
    return ReadPairs(path, target, notifier, progress, TxtPair);
}

ImportResult ReadTabText(const std::string& path, const std::string& target, Notifier& notifier,
                         ProgressSink& progress) {
    ImportResult result;
    BlockReader in(path);
    if (!in.IsOpen()) {
        return result;
    }
    WaveTarget out(target, path, notifier, progress);
    if (!out.OpenFourColumn({"Px", "#", "#", "#"})) {
        result.reported = true;
        return result;
    }
    bool ok = true;
    std::string line;
    for (;;) {
        const LineRead r = NextLine(in, line);
        if (r == LineRead::End) {
            break;
        }
        if (r != LineRead::Line) {
            ok = false;
            break;
        }
        const std::string_view text = WithoutCr(line);
        const std::size_t tab = text.find('\t');
        if (tab == std::string_view::npos) {
            break;
        }
        const std::string_view rest = text.substr(tab + 1);
        double x = 0;
        double y = 0;
        if (!ParseReal(text.substr(0, tab), x, true) ||
            !ParseReal(rest.substr(0, rest.find('\t')), y, true)) {
            ok = false;
            break;
        }
        if (!out.Add(SecondsToTimeField(x), {Real6::FromDouble(y), Real6(), Real6(), Real6()})) {
            break;
        }
    }
    FinishImport(out, ok, result);
    return result;
}

}  // namespace ktx

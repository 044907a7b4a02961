// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/live_display.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "config/notifier.h"
#include "link/command_transport.h"
#include "tools/format_with_prefix.h"
#include "waveform/text_number.h"

namespace ktx {

namespace {

constexpr int kMsgNoSelection = 14;
constexpr int kMsgRangeTooLarge = 15;
constexpr int kMsgBadStart = 43;
constexpr int kMsgBadStop = 44;
constexpr int kMsgFailed = 34;
constexpr int kHelpNone = 0;

// One 8-bit division is 25 counts: the instrument's screen is 256 counts for 10 divisions
// and a bit (YMULT is volts per count).
constexpr double kCountsPerDivision = 25.0;
constexpr int kDivisions = 10;

struct ColourEntry {
    const char* name;
    int index;
};
// REF4 takes the entry between the third reference and the math source.
constexpr ColourEntry kColourNames[] = {{"CH1", 0},  {"CH2", 1},  {"CH3", 2},
                                        {"CH4", 3},  {"REF1", 4}, {"REF2", 5},
                                        {"REF3", 6}, {"REF4", 7}, {"MATH", 8}};

bool SameLetters(const std::string& a, const char* b) {
    const std::size_t n = std::char_traits<char>::length(b);
    if (a.size() != n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Halves to even, as the drawing's rounding asks.
int Nearest(double v) {
    const double r = std::nearbyint(v);
    return static_cast<int>(std::clamp(r, -1e9, 1e9));
}

// The unit letter of a "WFMPRE:YUNIT?" answer: the instrument quotes it ("\"V\"").
std::string UnitOf(const std::string& answer) {
    if (answer.size() >= 2 && answer.front() == '"') {
        return answer.substr(1, answer[1] == '"' ? 0 : 1);
    }
    return answer.substr(0, answer.empty() ? 0 : 1);
}

}  // namespace

const std::array<std::uint32_t, 9> kLiveColours = {
    0xFFFF00,  // CH1 yellow
    0x00FFFF,  // CH2 aqua
    0xFF00FF,  // CH3 fuchsia
    0x00FF00,  // CH4 lime
    0x000000,  // REF1 black
    0x0000FF,  // REF2 blue
    0x008080,  // REF3 teal
    0x800080,  // REF4 purple
    0xFF0000,  // MATH red
};

std::optional<LiveSelection> CheckLiveSelection(const std::vector<std::string>& selected,
                                                const std::string& startText,
                                                const std::string& stopText,
                                                const std::string& memorySize, Notifier& notifier,
                                                std::string* stopReset) {
    if (selected.empty() || selected.size() > static_cast<std::size_t>(kLiveMaxSelected)) {
        ShowErrorMsg(notifier, kMsgNoSelection, kHelpNone);
        return std::nullopt;
    }
    long long start = 0;
    long long stop = 0;
    if (!ParseInteger(startText, start)) {
        ShowErrorMsgText(notifier, kMsgBadStart, startText, kHelpNone);
        return std::nullopt;
    }
    if (!ParseInteger(stopText, stop)) {
        ShowErrorMsgText(notifier, kMsgBadStop, stopText, kHelpNone);
        return std::nullopt;
    }
    long long limit = 0;
    if (ParseInteger(memorySize, limit) && stop > limit) {
        ShowErrorMsg(notifier, kMsgRangeTooLarge, kHelpNone);
        if (stopReset) {
            *stopReset = memorySize;
        }
        return std::nullopt;
    }
    // A stop not above the start leaves no point to fetch or draw.
    if (stop - start <= 0 || stop - start > std::numeric_limits<int>::max() / 5) {
        ShowErrorMsgText(notifier, kMsgBadStop, stopText, kHelpNone);
        return std::nullopt;
    }
    LiveSelection s;
    s.sources = selected;
    s.startText = startText;
    s.stopText = stopText;
    s.points = static_cast<int>(stop - start);
    return s;
}

int LiveColourIndex(const std::string& name) {
    for (const ColourEntry& e : kColourNames) {
        if (SameLetters(name, e.name)) {
            return e.index;
        }
    }
    return -1;
}

LiveBlock ParseLiveBlock(const std::uint8_t* data, std::size_t stored) {
    LiveBlock plain{0, stored, false};
    if (stored < 2 || data[0] != '#' || data[1] < '1' || data[1] > '9') {
        return plain;
    }
    const std::size_t digits = static_cast<std::size_t>(data[1] - '0');
    if (2 + digits > stored) {
        return plain;
    }
    std::size_t length = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const std::uint8_t c = data[2 + i];
        if (c < '0' || c > '9') {
            return plain;
        }
        length = length * 10 + static_cast<std::size_t>(c - '0');  // 9 digits fit
    }
    if (length > stored - 2 - digits) {
        return plain;  // announces more than was read: not a header of this buffer
    }
    return {2 + digits, length, true};
}

std::vector<LivePoint> ScaleLiveCurve(const std::uint8_t* samples, std::size_t count, int width,
                                      int height) {
    std::vector<LivePoint> points;
    if (width <= 0 || height <= 0 || count == 0) {
        return points;
    }
    const std::size_t g = count / static_cast<std::size_t>(width) + 1;
    const std::size_t c = count / g;
    if (c == 0) {
        return points;
    }
    const double yscale = height * 0.00390625;
    const double xstep = static_cast<double>(width) / static_cast<double>(c);
    points.reserve(c);
    const std::uint8_t* p = samples;
    for (std::size_t col = 0; col < c; ++col) {
        long sum = 0;
        for (std::size_t k = 0; k < g; ++k) {
            sum += static_cast<std::int8_t>(*p++);  // bytes above 127 are value - 256
        }
        const double mean = static_cast<double>(sum) / static_cast<double>(g);
        const int y = Nearest((mean + 127.0) * yscale);
        points.push_back({Nearest(xstep * static_cast<double>(col)), height - y});
    }
    return points;
}

LiveGrid MakeLiveGrid(int width, int height) {
    return {std::max(width, 0) / kDivisions, std::max(height, 0) / kDivisions};
}

std::string LiveSource::Label() const {
    return name + " " + FormatWithPrefix(voltsPerDivision, unit + "/div");
}

LiveDisplay::LiveDisplay(CommandTransport& transport, Notifier& notifier)
    : m_transport(transport), m_notifier(notifier) {
    m_slotColours.fill(kLiveBlack);
}

bool LiveDisplay::Setup(const LiveSelection& selection) {
    const std::string commands[] = {"DATA INIT",
                                    "DATA:ENC RIB",
                                    "DATA:WID 1",
                                    "DATA:START " + selection.startText,
                                    "DATA:STOP " + selection.stopText,
                                    "HEADER OFF",
                                    "VERB ON"};
    bool ok = true;
    for (const std::string& command : commands) {
        ok = ok && m_transport.SendCommand(command);
    }
    ok = ok && !m_transport.Query("WFMPRE?").empty();

    m_points = selection.points;
    m_secondsPerDivision = 0;
    m_sources.clear();
    const std::size_t shown =
        std::min(selection.sources.size(), static_cast<std::size_t>(kLiveMaxShown));
    for (std::size_t i = 0; i < shown; ++i) {
        LiveSource s;
        s.name = selection.sources[i];
        const int entry = LiveColourIndex(s.name);
        if (entry >= 0) {
            m_slotColours[i] = kLiveColours[static_cast<std::size_t>(entry)];
        }
        s.colour = m_slotColours[i];
        if (ok) {
            s.buffer.assign(5 * static_cast<std::size_t>(m_points), 0);
        }
        m_sources.push_back(std::move(s));
    }
    if (!ok) {
        ShowErrorMsg(m_notifier, kMsgFailed, 0);
    }
    return ok;
}

std::optional<double> LiveDisplay::QueryNumber(const std::string& command) {
    double value = 0;
    const std::string answer = m_transport.Query(command);
    if (!ParseReal(answer, value)) {
        return std::nullopt;
    }
    return value;
}

bool LiveDisplay::FetchSource(LiveSource& source, bool first) {
    if (!m_transport.SendCommand("DATA:SOURCE " + source.name)) {
        return false;
    }
    if (first) {
        const auto xincr = QueryNumber("WFMPRE:XINCR?");
        if (!xincr || !QueryNumber("HOR:RECO?")) {
            return false;
        }
        // The N points of a curve span the ten divisions of the drawing.
        m_secondsPerDivision = *xincr * m_points / kDivisions;
    }
    const auto ymult = QueryNumber("WFMPRE:YMULT?");
    if (!ymult) {
        return false;
    }
    source.voltsPerDivision = *ymult * kCountsPerDivision;
    source.unit = UnitOf(m_transport.Query("WFMPRE:YUNIT?"));
    if (!m_transport.SendCommand("curv?")) {
        return false;
    }
    m_transport.LinkClear();
    // Twice the points: more than an 8-bit curve of N points holds; the link stores the
    // block's bytes and reports how many, zeros after them.
    const std::size_t count = 2 * static_cast<std::size_t>(m_points);
    if (source.buffer.size() < count) {
        source.buffer.resize(count, 0);
    }
    std::uint32_t stored = 0;
    source.block = {};
    if (!m_transport.LinkReadData(source.buffer.data(), static_cast<std::uint32_t>(count),
                                  &stored)) {
        return false;
    }
    const LiveBlock block = ParseLiveBlock(source.buffer.data(), stored);
    if (block.header) {
        if (block.count > 0) {
            m_points = static_cast<int>(block.count);  // for this and the following frames
        }
        source.block = block;
    } else {
        source.block = {0, std::min<std::size_t>(stored, static_cast<std::size_t>(m_points)),
                        false};
    }
    return true;
}

bool LiveDisplay::Fetch() {
    bool ok = false;
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        if (m_sources[i].buffer.empty()) {
            return false;  // freed, or the set-up failed
        }
        ok = FetchSource(m_sources[i], i == 0);
    }
    if (!ok && !m_sources.empty()) {
        ShowErrorMsg(m_notifier, kMsgFailed, 0);
    }
    return ok;
}

void LiveDisplay::FreeBuffers() {
    for (LiveSource& s : m_sources) {
        s.buffer.clear();
        s.buffer.shrink_to_fit();
        s.block = {};
    }
}

bool LiveDisplay::BuffersHeld() const {
    return std::any_of(m_sources.begin(), m_sources.end(),
                       [](const LiveSource& s) { return !s.buffer.empty(); });
}

std::string LiveDisplay::TimeLabel() const {
    return FormatWithPrefix(m_secondsPerDivision, "s") + "/div";
}

std::vector<LivePoint> LiveDisplay::Curve(std::size_t i, int width, int height) const {
    if (i >= m_sources.size()) {
        return {};
    }
    const LiveSource& s = m_sources[i];
    if (s.buffer.size() < s.block.offset + s.block.count) {
        return {};
    }
    return ScaleLiveCurve(s.buffer.data() + s.block.offset, s.block.count, width, height);
}

}  // namespace ktx

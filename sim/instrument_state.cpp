// SPDX-License-Identifier: GPL-3.0-or-later
// Message handling of the simulated instrument: the ";" path rule, dispatch through the
// command table, answer assembly and the instrument-side fault switches.
#include "instrument_state.h"

#include <algorithm>

#include "measurement.h"
#include "number_format.h"
#include "sim_family.h"

namespace ktx::sim {

namespace {

constexpr const char* kSourceNames[] = {"CH1",  "CH2",  "CH3",  "CH4", "MATH",
                                        "REF1", "REF2", "REF3", "REF4"};

int InputIndex(const std::string& source) {
    for (int i = 0; i < 5; ++i) {
        if (source == kSourceNames[i]) {
            return i;
        }
    }
    return -1;
}

int ReferenceIndex(const std::string& source) {
    for (int i = 0; i < 4; ++i) {
        if (source == kSourceNames[5 + i]) {
            return i;
        }
    }
    return -1;
}

// Junk that is neither a number nor a block: it starts with a letter and holds no digits
// and no "#", so every parser of the program must reject it.
std::string GarbageAnswer(std::uint64_t counter) {
    static constexpr char kLetters[] = "QXZJKW%&@!?GHPVqxzjkw";
    std::string junk = "~";
    std::uint64_t x = counter * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL;
    for (int i = 0; i < 12; ++i) {
        x ^= x >> 29;
        x *= 0xBF58476D1CE4E5B9ULL;
        junk += kLetters[(x >> 33) % (sizeof kLetters - 1)];
    }
    return junk;
}

}  // namespace

InstrumentState::InstrumentState(SimConfig c) : config(std::move(c)) {
    config.recordLength = std::clamp<std::int64_t>(config.recordLength, 1, 10'000'000);
    if (config.model.empty()) {
        config.model = DefaultModel(config.deviceType);
    }
    recordLength = config.recordLength;
    Reset();
}

void InstrumentState::Reset() {
    // Power-on state. HEADER starts OFF (the real instruments power up with it ON): the
    // program switches it on only around "CURV?" and expects bare values everywhere else.
    header = false;
    verbose = true;
    outFormat = DataFormat{};
    inFormat = DataFormat{};
    dataSource = "CH1";
    dataDestination = "REF1";
    dataStart = 1;
    dataStop = recordLength;
    running = true;
    stopAfterSequence = false;
    meterMode = false;
    hardcopy = HardcopySettings{};
    acquire = AcquireSettings{};
    displayed.clear();
    for (const char* name : kSourceNames) {
        displayed[name] = false;
    }
    displayed["CH1"] = true;
    measurements = {};
    meter = MeterState{};
    handheld = HandheldMeterState{};
}

void InstrumentState::Run(ConnectionState& connection, const std::vector<ScannedUnit>& units) {
    m_connection = &connection;
    for (const ScannedUnit& unit : units) {
        Execute(unit);
    }
    m_connection = nullptr;
}

void InstrumentState::Replace(SimConfig c) {
    std::deque<std::string> log = std::move(commandLog);
    const auto start = clockStart;
    const auto held = clockHeld;
    *this = InstrumentState(std::move(c));
    commandLog = std::move(log);
    // The clock is the simulator's, not the instrument's: a logger keeps its time line.
    clockStart = start;
    clockHeld = held;
}

double InstrumentState::ElapsedSeconds() const {
    if (clockHeld) {
        return *clockHeld;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - clockStart).count();
}

bool InstrumentState::TakeInvalidResult() {
    if (m_connection == nullptr) {
        return false;
    }
    std::int64_t& left = m_connection->faults.invalidResults;
    if (left == 0) {
        return false;
    }
    if (left > 0) {
        --left;
    }
    return true;
}

bool InstrumentState::SequenceDelayPassed() {
    const int delayMs = m_connection == nullptr ? 0 : m_connection->faults.sequenceDelayMs;
    return (ElapsedSeconds() - sequenceArmedAt) * 1000.0 >= delayMs;
}

void InstrumentState::Execute(const ScannedUnit& unit) {
    if (unit.damaged) {
        Error(-223, "Too much data");
    } else if (!unit.text.empty()) {
        LogCommand(unit.text);
        ParsedCommand command = ParseCommand(unit.text);
        if (!Dispatch(command)) {
            Error(-113, "Undefined header");
        }
        // A command glued to the end of another one's argument runs from the root.
        for (int guard = 0; guard < 8 && !followUp.empty(); ++guard) {
            std::string text = std::move(followUp);
            followUp.clear();
            ParsedCommand glued = ParseCommand(text);
            glued.rooted = true;
            if (!Dispatch(glued)) {
                Error(-113, "Undefined header");
            }
        }
    }
    if (unit.endOfMessage) {
        FinishMessage();
    }
}

void InstrumentState::LogCommand(const std::string& text) {
    const std::size_t start = text.find_first_not_of(':');
    if (start != std::string::npos && ToUpper(text.substr(start, 6)) == "KTXSIM") {
        return;  // the tests' own switches and log queries stay out of the log
    }
    std::size_t keep = std::min(text.size(), kMaxLogText);
    // A definite-length block is logged up to its byte count, its data left out.
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '#' && text[i + 1] > '0' && text[i + 1] <= '9') {
            keep = std::min(text.size(), i + 2 + static_cast<std::size_t>(text[i + 1] - '0'));
            break;
        }
        if (i >= kMaxLogText) {
            break;
        }
    }
    if (commandLog.size() == kMaxLogEntries) {
        commandLog.pop_front();
    }
    commandLog.push_back(text.substr(0, keep));
}

bool InstrumentState::Dispatch(const ParsedCommand& command) {
    if (command.components.empty() || command.components.front().empty()) {
        return false;
    }
    auto tryMatch = [&](const std::vector<std::string>& components) -> bool {
        for (const CommandEntry& entry : CommandTable()) {
            if (entry.alternatives.size() != components.size()) {
                continue;
            }
            Call call;
            bool matched = true;
            for (std::size_t i = 0; i < components.size() && matched; ++i) {
                matched = false;
                for (std::size_t a = 0; a < entry.alternatives[i].size(); ++a) {
                    if (MatchesMnemonic(entry.alternatives[i][a], components[i])) {
                        call.chosen.push_back(a);
                        call.components.push_back(LongForm(entry.alternatives[i][a]));
                        matched = true;
                        break;
                    }
                }
            }
            if (!matched) {
                continue;
            }
            if (command.query ? !entry.queryable : !entry.settable) {
                Error(-113, "Undefined header");
                return true;
            }
            call.entry = &entry;
            call.command = command;
            call.arguments = SplitArguments(command.arguments);
            entry.handler(*this, call);
            if (!command.common) {
                m_connection->path.assign(components.begin(), components.end() - 1);
            }
            return true;
        }
        return false;
    };
    const std::vector<std::string>& path = m_connection->path;
    if (tryMatch(ResolveComponents(path, command))) {
        return true;
    }
    // The instruments also take a root command after ";" without the leading ":".
    return !command.rooted && !path.empty() && tryMatch(command.components);
}

void InstrumentState::FinishMessage() {
    ConnectionState& c = *m_connection;
    c.path.clear();
    std::vector<std::string> parts = std::move(c.answerParts);
    c.answerParts.clear();
    c.answerBytes = 0;
    if (c.answerOverflow) {
        // A real instrument with its output buffer full stops and reports the query as
        // deadlocked; the simulator refuses to hold gigabytes for a host the same way.
        c.answerOverflow = false;
        Error(-430, "Query DEADLOCKED");
        return;
    }
    if (parts.empty()) {
        return;
    }
    std::string message;
    if (c.faults.garbage) {
        message = GarbageAnswer(c.garbageCounter++);
    } else if (parts.size() == 1) {
        message = std::move(parts.front());  // a curve of 20 MB is not copied again
    } else {
        std::size_t total = parts.size();
        for (const std::string& part : parts) {
            total += part.size();
        }
        message.reserve(total);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (i != 0) {
                message += ';';
            }
            message += parts[i];
        }
    }
    if (c.faults.silent) {
        return;
    }
    if (!c.unframedAnswer) {
        message += '\n';
    }
    c.unframedAnswer = false;
    if (c.output.empty()) {
        c.output = std::move(message);
        c.outputPos = 0;
    } else {
        c.output += message;
    }
}

std::string InstrumentState::HeaderText(const Call& call) const {
    std::string text = call.command.common ? "" : ":";
    for (std::size_t i = 0; i < call.entry->alternatives.size(); ++i) {
        if (i != 0) {
            text += ':';
        }
        const std::string& mnemonic = call.entry->alternatives[i][call.chosen[i]];
        text += verbose ? LongForm(mnemonic) : ShortForm(mnemonic);
    }
    return text;
}

void InstrumentState::Answer(const Call& call, std::string value) {
    if (recallDepth > 0) {
        return;  // commands run from a recalled file answer nothing
    }
    if (header && !call.command.common) {
        AddAnswer(HeaderText(call) + " " + value);
    } else {
        AddAnswer(std::move(value));
    }
}

void InstrumentState::AnswerRaw(std::string text) {
    if (recallDepth == 0) {
        AddAnswer(std::move(text));
    }
}

void InstrumentState::AnswerUnframed(std::string bytes) {
    if (recallDepth == 0) {
        m_connection->unframedAnswer = true;
        AddAnswer(std::move(bytes));
    }
}

void InstrumentState::AnswerLater(std::string bytes, int ms) {
    if (recallDepth == 0 && !m_connection->faults.silent) {
        m_connection->later.emplace_back(ms, std::move(bytes));
    }
}

void InstrumentState::AddAnswer(std::string text) {
    ConnectionState& c = *m_connection;
    if (c.answerOverflow || text.size() > kMaxAnswerBytes - c.answerBytes) {
        c.answerOverflow = true;
        return;
    }
    c.answerBytes += text.size();
    c.answerParts.push_back(std::move(text));
}

void InstrumentState::Error(int code, const std::string& text) {
    commandErrorSinceEsr = true;
    if (events.size() < 32) {  // the instruments keep a short queue and drop the rest
        events.push_back(FormatNr1(code) + ",\"" + text + "\"");
    }
}

std::string InstrumentState::CanonicalSource(const std::string& name) const {
    std::string upper = ToUpper(Trim(name));
    if (upper == "MATH1" || upper == "MATH") {
        return "MATH";
    }
    for (const char* source : kSourceNames) {
        if (upper == source) {
            return upper;
        }
    }
    return {};
}

std::optional<double> InstrumentState::MeasureSlot(const MeasurementSlot& slot) {
    const std::vector<std::int16_t>& levels = Levels(slot.source);
    const ChannelScale scale = ScaleOf(slot.source);
    std::vector<double> volts(levels.size());
    for (std::size_t i = 0; i < levels.size(); ++i) {
        volts[i] =
            (levels[i] / kLevelsPerDivision - scale.positionDivisions) * scale.voltsPerDivision;
    }
    return Measure(slot.type, volts, TimebaseFor(recordLength).xIncrement);
}

void InstrumentState::NewAcquisition() {
    ++acquisition;
    for (auto& cache : inputCache) {
        cache.clear();
        cache.shrink_to_fit();
    }
}

const std::vector<std::int16_t>& InstrumentState::Levels(const std::string& source) {
    const int reference = ReferenceIndex(source);
    if (reference >= 0) {
        return references[static_cast<std::size_t>(reference)].levels;
    }
    const int input = std::max(InputIndex(source), 0);
    std::vector<std::int16_t>& cache = inputCache[static_cast<std::size_t>(input)];
    if (cache.size() != static_cast<std::size_t>(recordLength)) {
        cache = GenerateInput(input, recordLength, config.seed, acquisition);
    }
    return cache;
}

ChannelScale InstrumentState::ScaleOf(const std::string& source) const {
    const int reference = ReferenceIndex(source);
    if (reference >= 0) {
        return references[static_cast<std::size_t>(reference)].scale;
    }
    return ScaleOfInput(std::max(InputIndex(source), 0));
}

std::pair<std::size_t, std::size_t> InstrumentState::DataRange(std::size_t length) const {
    // DATA:START and DATA:STOP count from 1 and are inclusive; the instruments clamp them to
    // the record, so START 0 reads from the first point.
    const std::int64_t first = std::max<std::int64_t>(dataStart, 1);
    const std::int64_t last = std::min<std::int64_t>(dataStop, static_cast<std::int64_t>(length));
    if (last < first) {
        return {0, 0};
    }
    return {static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1)};
}

std::string InstrumentState::CurveAnswer(const std::string& source) {
    const std::vector<std::int16_t>& levels = Levels(source);
    const auto [first, count] = DataRange(levels.size());
    return EncodeCurve(std::span(levels).subspan(first, count), outFormat, Faults().truncateBlock);
}

std::optional<std::string> InstrumentState::PreambleValue(const std::string& source,
                                                          const std::string& key,
                                                          const DataFormat& format) {
    const ChannelScale scale = ScaleOf(source);
    const double levelsPerDivision =
        format.width == 1 ? kLevelsPerDivision / 256.0 : kLevelsPerDivision;
    const bool offsetBinary = !format.ascii && !format.isSigned;
    const std::size_t length = Levels(source).size();
    const auto [first, count] = DataRange(length);
    const Timebase timebase = TimebaseFor(recordLength);
    if (key == "BYT_NR") {
        return FormatNr1(format.width);
    }
    if (key == "BIT_NR") {
        return FormatNr1(8 * format.width);
    }
    if (key == "ENCDG") {
        return std::string(format.ascii ? (verbose ? "ASCII" : "ASC")
                                        : (verbose ? "BINARY" : "BIN"));
    }
    if (key == "BN_FMT") {
        return std::string(format.isSigned || format.ascii ? "RI" : "RP");
    }
    if (key == "BYT_OR") {
        return std::string(format.msbFirst ? "MSB" : "LSB");
    }
    if (key == "NR_PT") {
        return FormatNr1(static_cast<std::int64_t>(count));
    }
    if (key == "PT_FMT") {
        return std::string("Y");
    }
    if (key == "XUNIT") {
        return std::string("\"s\"");
    }
    if (key == "YUNIT") {
        return std::string("\"V\"");
    }
    if (key == "XINCR") {
        return FormatNr3(timebase.xIncrement);
    }
    if (key == "PT_OFF") {
        // Counted from the first point sent, so x = (i - PT_OFF) * XINCR holds for the data.
        return FormatNr1(timebase.triggerPoint - static_cast<std::int64_t>(first));
    }
    if (key == "XZERO") {
        return FormatNr3((static_cast<double>(first) - static_cast<double>(timebase.triggerPoint)) *
                         timebase.xIncrement);
    }
    if (key == "YMULT") {
        return FormatNr3(scale.voltsPerDivision / levelsPerDivision);
    }
    if (key == "YOFF") {
        // In the levels of the data as sent: offset binary moves the centre by half the range.
        double yoff = scale.positionDivisions * levelsPerDivision;
        if (offsetBinary) {
            yoff += format.width == 1 ? 128.0 : 32768.0;
        }
        return FormatNr3(yoff);
    }
    if (key == "YZERO") {
        return FormatNr3(0.0);
    }
    if (key == "WFID") {
        return "\"" + WaveformId(source, scale, static_cast<std::int64_t>(length)) + "\"";
    }
    return std::nullopt;
}

std::string InstrumentState::FullPreamble(const std::string& source, const DataFormat& format,
                                          bool headers) {
    static constexpr const char* kKeys[] = {
        "BYT_NR", "BIT_NR", "ENCDG", "BN_FMT", "BYT_OR", "WFID",  "NR_PT", "PT_FMT",
        "XUNIT",  "XINCR",  "XZERO", "PT_OFF", "YUNIT",  "YMULT", "YOFF",  "YZERO"};
    std::string text = headers ? ":WFMPRE:" : "";
    bool firstKey = true;
    for (const char* key : kKeys) {
        if (!firstKey) {
            text += ';';
        }
        firstKey = false;
        if (headers) {
            text += std::string(key) + " ";
        }
        text += PreambleValue(source, key, format).value_or("");
    }
    return text;
}

std::string InstrumentState::WaveformFile(const std::string& source) {
    // The instrument's internal waveform file: its preamble and the curve as a two-byte
    // signed block, more significant byte first.
    const DataFormat fileFormat{false, true, true, 2};
    const std::vector<std::int16_t>& levels = Levels(source);
    return FullPreamble(source, fileFormat, true) + ";:CURVE " + EncodeCurve(levels, fileFormat);
}

bool InstrumentState::StoreCurve(const std::string& destination, std::string_view data,
                                 const DataFormat& format) {
    const int reference = ReferenceIndex(CanonicalSource(destination));
    if (reference < 0) {
        return false;
    }
    std::optional<std::vector<std::int16_t>> levels = DecodeCurve(data, format);
    if (!levels) {
        return false;
    }
    references[static_cast<std::size_t>(reference)].levels = std::move(*levels);
    return true;
}

void InstrumentState::RunCommandText(std::string_view text) {
    if (recallDepth > 0) {
        return;  // a recalled file that recalls files would never end
    }
    // The file's commands run with a scanner of their own, answers suppressed; the data
    // format the file sets applies to its own curve only.
    const DataFormat savedIn = inFormat;
    const DataFormat savedOut = outFormat;
    ConnectionState& c = *m_connection;
    const std::vector<std::string> savedPath = c.path;
    ++recallDepth;
    CommandScanner fileScanner;
    std::vector<ScannedUnit> units;
    fileScanner.Feed(text, units);
    fileScanner.EndOfMessage(units);
    for (const ScannedUnit& unit : units) {
        if (!unit.damaged && !unit.text.empty()) {
            Dispatch(ParseCommand(unit.text));
        }
    }
    --recallDepth;
    c.path = savedPath;
    inFormat = savedIn;
    outFormat = savedOut;
}

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// The multimeter dialogs' command sequences.
#include "tools/multimeter.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "config/device_file.h"
#include "config/message_catalog.h"
#include "config/notifier.h"
#include "config/profile_file.h"
#include "config/program_state.h"
#include "link/command_transport.h"
#include "tools/acquisition_control.h"
#include "tools/format_with_prefix.h"
#include "tools/measurement.h"

namespace ktx {

namespace {

constexpr int kMsgNoValidChoice = 14;
constexpr int kMsgNoMeasurement = 17;
constexpr int kMsgRangeNotRead = 26;
constexpr int kMsgStateNotRead = 27;
constexpr int kMsgRangeNotWritten = 28;
constexpr int kMsgStateNotWritten = 29;
constexpr int kMsgAcquireNotWritten = 30;
constexpr int kMsgModeNotRead = 39;
// Logger acquisition modes SAM, PEAK, AVE are strings 2090 + mode.
constexpr int kModeNameBase = 2090;
constexpr std::size_t kStatusLength = 36;
constexpr double kOverRange = 9e37;

void Error(Notifier& notifier, int message) {
    ShowErrorMsg(notifier, message, 0);
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool Contains(const std::string& text, const std::string& part) {
    return !part.empty() && text.find(part) != std::string::npos;
}

// The last entry whose code occurs in `answer`: the instruments answer with more than the code.
template <typename T, typename CodeOf>
int LastOccurring(const std::vector<T>& items, const std::string& answer, CodeOf codeOf) {
    int found = -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (Contains(answer, codeOf(items[i]))) {
            found = static_cast<int>(i);
        }
    }
    return found;
}

int Count(const ProfileFile& file, const std::string& section, const std::string& key) {
    return std::clamp(file.ReadInt(section, key, 0), 0, 1000);
}

std::optional<unsigned> Hex(const std::string& text) {
    if (text.empty() || !std::all_of(text.begin(), text.end(),
                                     [](unsigned char c) { return std::isxdigit(c) != 0; })) {
        return std::nullopt;
    }
    return static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 16));
}

// A reading of the handheld meter, which reads in single precision.
// A number beyond the float range is no reading: it would show as "inf".
bool ParseMeterReading(const std::string& text, double& value) {
    double parsed = 0.0;
    if (!ParseInstrumentNumber(text, parsed) ||
        std::fabs(parsed) > std::numeric_limits<float>::max()) {
        return false;
    }
    value = parsed;
    return true;
}

// The text after the first ";" of "M0;1.5E0".
std::string AfterSemicolon(const std::string& answer) {
    const std::size_t semicolon = answer.find(';');
    return semicolon == std::string::npos ? std::string() : answer.substr(semicolon + 1);
}

// The handheld's range code matches a table entry written with two digits ("01" for the
// status character "1", "00" for auto range "A") as well as one written like the status.
bool RangeMatches(const std::string& entry, const std::string& status) {
    if (entry == status) {
        return true;
    }
    if (status == "A") {
        return entry == "00";
    }
    return entry.size() == 2 && entry[0] == '0' && entry.substr(1) == status;
}

}  // namespace

MeterDefinition ReadMeterDefinition(const std::string& deviceFile) {
    const ProfileFile file(deviceFile);
    MeterDefinition d;
    d.deviceFile = deviceFile;
    const int count = Count(file, "MEASDMM", "COUNT");
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        d.functions.push_back({file.ReadString("MEASDMM", "D" + n, ""),
                               Upper(file.ReadString("MEASDMM", "S" + n, "")),
                               file.ReadString("MEASDMM", "V" + n, "")});
    }
    d.logCount = Count(file, "MEASDMM", "LOGCOUNT");
    d.rangeCount = Count(file, "MEASDMM", "RANGECOUNT");
    const int bases = Count(file, "TIMEDMM", "COUNT");
    for (int i = 1; i <= bases; ++i) {
        const std::string n = std::to_string(i);
        d.timeBases.push_back({file.ReadString("TIMEDMM", "T" + n, ""),
                               Upper(file.ReadString("TIMEDMM", "S" + n, ""))});
    }
    const int types = Count(file, "ACQUDMM", "COUNT");
    for (int i = 1; i <= types; ++i) {
        d.acquisitionTypes.push_back(
            Upper(file.ReadString("ACQUDMM", "A" + std::to_string(i), "")));
    }
    return d;
}

std::vector<MeterChoice> ReadMeterRanges(const std::string& deviceFile,
                                         const std::string& section) {
    const ProfileFile file(deviceFile);
    const std::string name = RangeSectionSpelling(file, section);
    std::vector<MeterChoice> ranges;
    const int count = Count(file, name, "COUNT");
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        // Range texts stay as written: upper case would turn "400 mV" into megavolts.
        ranges.push_back(
            {file.ReadString(name, "R" + n, ""), Upper(file.ReadString(name, "S" + n, ""))});
    }
    return ranges;
}

std::optional<HandheldStatus> ParseHandheldStatus(const std::string& answer) {
    if (answer.size() != kStatusLength) {
        return std::nullopt;
    }
    const auto statusByte = Hex(answer.substr(26, 2));
    const auto function = Hex(answer.substr(34, 2));
    if (!statusByte || !function) {
        return std::nullopt;
    }
    HandheldStatus status;
    status.rangeCode = answer[28] == '1' ? std::string("A") : answer.substr(23, 1);
    status.statusByte = *statusByte;
    status.continuity = answer.substr(32, 2) == "0D";
    char number[8];
    std::snprintf(number, sizeof number, "%02u", *function);
    status.functionNumber = number;
    return status;
}

// --- type-9 range dialog ------------------------------------------------------------------

DmmRangeControl::DmmRangeControl(CommandTransport& transport, Notifier& notifier,
                                 MeterDefinition definition, WaitFunction wait)
    : m_transport(transport),
      m_notifier(notifier),
      m_definition(std::move(definition)),
      m_wait(std::move(wait)) {}

const std::string& DmmRangeControl::Code() const {
    static const std::string kNone;
    return m_function >= 1 && m_function <= static_cast<int>(m_definition.functions.size())
               ? m_definition.functions[m_function - 1].code
               : kNone;
}

bool DmmRangeControl::HasRangeTable() const {
    return m_function >= 1 && m_function <= m_definition.logCount;
}

void DmmRangeControl::Open() {
    const std::string mode = m_transport.Query("DIS:MOD?");
    bool found = false;
    if (DisplayModeFromAnswer(mode) == kModeMultimeter) {
        const std::string answer = m_transport.Query("DMM:FUNC?");
        const int last = LastOccurring(m_definition.functions, answer,
                                       [](const MeterFunction& f) { return f.code; });
        if (last >= 0) {
            m_function = last + 1;
            found = true;
        }
    }
    if (!found) {
        Error(m_notifier, kMsgModeNotRead);
    }
    FillRanges();
    ReadState();
}

void DmmRangeControl::FillRanges() {
    m_ranges = HasRangeTable() ? ReadMeterRanges(m_definition.deviceFile, "RANGE" + Code())
                               : std::vector<MeterChoice>{};
    m_selectedRange = -1;
}

void DmmRangeControl::ReadState() {
    if (!HasRangeTable()) {
        m_autoRange = true;
        m_selectedRange = -1;
    } else {
        const std::string autoAnswer = m_transport.Query("DMM:RANGE:AUTO?");
        if (autoAnswer.empty()) {
            Error(m_notifier, kMsgRangeNotRead);
        } else if (Contains(autoAnswer, "OFF")) {
            m_autoRange = false;
            const std::string answer = m_transport.Query("DMM:RANGE:" + Code() + "?");
            m_selectedRange =
                LastOccurring(m_ranges, answer, [](const MeterChoice& r) { return r.code; });
            if (m_selectedRange < 0) {
                Error(m_notifier, kMsgRangeNotRead);
            }
        } else {
            m_autoRange = true;
            m_selectedRange = -1;
        }
    }
    m_rememberedRange = m_selectedRange;
    const std::string base = m_transport.Query("DMM:LOGG:SECD?");
    m_timeBase =
        LastOccurring(m_definition.timeBases, base, [](const MeterChoice& t) { return t.code; });
    if (m_timeBase < 0) {
        Error(m_notifier, kMsgRangeNotRead);
    }
    const std::string hold = m_transport.Query("DMM:HOLD?");
    if (hold.empty()) {
        Error(m_notifier, kMsgStateNotRead);
    }
    m_hold = Contains(hold, "ON");
}

void DmmRangeControl::ApplyRange() {
    if (HasRangeTable()) {
        bool ok = true;
        if (!m_autoRange) {
            if (m_selectedRange < 0) {
                Error(m_notifier, kMsgNoValidChoice);
            } else {
                ok = m_transport.SendCommand("DMM:RANGE:AUTO OFF") &&
                     m_transport.SendCommand("DMM:RANGE:" + Code() + " " +
                                             m_ranges[m_selectedRange].code);
            }
        } else {
            ok = m_transport.SendCommand("DMM:RANGE:AUTO ON");
        }
        if (!ok) {
            Error(m_notifier, kMsgRangeNotWritten);
        }
    }
    m_transport.SendCommand("CLEARM");
    ReadState();
}

void DmmRangeControl::SelectFunction(int index) {
    if (index < 1 || index > static_cast<int>(m_definition.functions.size()) ||
        index == m_function) {
        return;
    }
    m_function = index;
    FillRanges();
    m_transport.SendCommand("DMM:FUNC " + Code());
    ReadState();
}

void DmmRangeControl::ClickRange(int index) {
    if (index < 0 || index >= static_cast<int>(m_ranges.size())) {
        return;
    }
    m_autoRange = false;
    m_selectedRange = index;
    if (m_selectedRange != m_rememberedRange) {
        ApplyRange();
    }
}

void DmmRangeControl::SetAutoRange(bool on) {
    m_autoRange = on;
    // Auto range deselects the list; leaving it selects the first range.
    m_selectedRange = on || m_ranges.empty() ? -1 : 0;
    if (m_selectedRange != m_rememberedRange || on != (m_rememberedRange < 0)) {
        ApplyRange();
    }
}

void DmmRangeControl::SelectTimeBase(int index) {
    if (index == m_timeBase) {
        return;
    }
    if (index < 0 || index >= static_cast<int>(m_definition.timeBases.size()) ||
        m_definition.timeBases[index].code.empty()) {
        Error(m_notifier, kMsgNoValidChoice);
        return;
    }
    if (m_transport.SendCommand("DMM:LOGG:SECD " + m_definition.timeBases[index].code)) {
        m_timeBase = index;
    } else {
        Error(m_notifier, kMsgRangeNotWritten);
    }
}

void DmmRangeControl::ToggleHold() {
    if (m_transport.SendCommand(m_hold ? "DMM:HOLD OFF" : "DMM:HOLD ON")) {
        m_hold = !m_hold;
    } else {
        Error(m_notifier, kMsgRangeNotWritten);
    }
}

std::string DmmRangeControl::Measure() {
    const std::string function = m_transport.Query("DMM:FUNC?");
    if (!Contains(function, Code())) {
        // The instrument measures something else than the dialog shows: the label is cleared.
        // No answer, or one that names no function at all, is a failed reading.
        const bool otherFunction =
            LastOccurring(m_definition.functions, function,
                          [](const MeterFunction& f) { return f.code; }) >= 0;
        if (!otherFunction) {
            Error(m_notifier, kMsgNoMeasurement);
        }
        return {};
    }
    double value = 0.0;
    bool converted = ParseInstrumentNumber(m_transport.Query("DMM:VAL?"), value);
    if (converted && value > kOverRange) {
        m_wait(kRetryPauseMs);
        converted = ParseInstrumentNumber(m_transport.Query("DMM:VAL?"), value);
    }
    if (!converted) {
        Error(m_notifier, kMsgNoMeasurement);
        return {};
    }
    if (value >= kOverRange) {
        return "over Range";
    }
    return FormatWithPrefix(value, m_definition.functions[m_function - 1].unit);
}

// --- handheld range dialog ----------------------------------------------------------------

HandheldMeter::HandheldMeter(CommandTransport& transport, MeterDefinition definition)
    : m_transport(transport), m_definition(std::move(definition)) {}

HandheldMeter::Selection HandheldMeter::Current() const {
    const std::lock_guard lock(m_mutex);
    return m_selection;
}

void HandheldMeter::FillRanges() {
    m_selection.ranges.clear();
    m_selection.range = -1;
    const int f = m_selection.function;
    if (f >= 0 && f < m_definition.rangeCount &&
        f < static_cast<int>(m_definition.functions.size())) {
        const std::string& unit = m_definition.functions[f].unit;
        m_selection.ranges =
            ReadMeterRanges(m_definition.deviceFile, "RANGE" + unit.substr(0, unit.find(';')));
    }
}

bool HandheldMeter::ReadState(Notifier& notifier) {
    const auto status = ParseHandheldStatus(m_transport.Query("!h00?"));
    if (!status) {
        Error(notifier, kMsgRangeNotRead);
        return false;
    }
    for (std::size_t i = 0; i < m_definition.functions.size(); ++i) {
        if (m_definition.functions[i].code == status->functionNumber) {
            if (static_cast<int>(i) != m_selection.function) {
                m_selection.function = static_cast<int>(i);
                FillRanges();
            }
            break;
        }
    }
    m_selection.range = -1;
    for (std::size_t i = 0; i < m_selection.ranges.size(); ++i) {
        if (RangeMatches(m_selection.ranges[i].code, status->rangeCode)) {
            m_selection.range = static_cast<int>(i);
            break;
        }
    }
    return true;
}

void HandheldMeter::Open(Notifier& notifier) {
    const std::lock_guard lock(m_mutex);
    const auto status = ParseHandheldStatus(m_transport.Query("!h00?"));
    m_selection.function = -1;
    if (status) {
        for (std::size_t i = 0; i < m_definition.functions.size(); ++i) {
            if (m_definition.functions[i].code == status->functionNumber) {
                m_selection.function = static_cast<int>(i);
            }
        }
    }
    if (m_selection.function < 0) {
        Error(notifier, kMsgModeNotRead);
    }
    FillRanges();
    ReadState(notifier);
}

void HandheldMeter::SelectFunction(int index, Notifier& notifier) {
    const std::lock_guard lock(m_mutex);
    if (index < 0 || index >= static_cast<int>(m_definition.functions.size())) {
        return;
    }
    m_selection.function = index;
    FillRanges();
    // The answer ("T0") is not evaluated: the status read next shows what the meter took.
    m_transport.Query("!T" + m_definition.functions[index].code + ",A");
    ReadState(notifier);
}

void HandheldMeter::SelectRange(int index, Notifier& notifier) {
    const std::lock_guard lock(m_mutex);
    const int f = m_selection.function;
    if (f < 0 || index < 0 || index >= static_cast<int>(m_selection.ranges.size())) {
        return;
    }
    m_transport.Query("!T" + m_definition.functions[f].code + "," + m_selection.ranges[index].code);
    ReadState(notifier);
}

bool HandheldMeter::Measure(Reading& reading, Notifier& notifier) {
    const std::lock_guard lock(m_mutex);
    ReadState(notifier);
    reading = {};
    const std::string status = m_transport.Query("!h00?");
    bool ok = status.size() == kStatusLength;
    std::string mainAnswer;
    std::string secondaryAnswer;
    if (ok) {
        mainAnswer = m_transport.Query("!M?");
        ok = !mainAnswer.empty();
    }
    if (ok) {
        secondaryAnswer = m_transport.Query("!U?");
        ok = !secondaryAnswer.empty();
    }
    const int f = m_selection.function;
    if (ok && f >= 0) {
        ok = ReadingFromAnswers(status, mainAnswer, secondaryAnswer, m_definition.functions[f].unit,
                                reading);
    } else if (f < 0) {
        ok = false;
    }
    if (!ok) {
        Error(notifier, kMsgNoMeasurement);
    }
    return ok;
}

bool HandheldMeter::ReadingFromAnswers(const std::string& status, const std::string& mainAnswer,
                                       const std::string& secondaryAnswer, const std::string& units,
                                       Reading& reading) {
    reading = {};
    if (status.size() != kStatusLength) {
        return false;
    }
    const unsigned statusByte = Hex(status.substr(26, 2)).value_or(0);
    const bool continuity = status.substr(32, 2) == "0D";
    const std::size_t split = units.find(';');
    const std::string mainUnit = units.substr(0, split);
    const std::string secondaryUnit =
        split == std::string::npos ? std::string() : units.substr(split + 1);
    double value = 0.0;
    const bool mainConverted = ParseMeterReading(AfterSemicolon(mainAnswer), value);
    // The meter reads in single precision.
    reading.main = mainConverted ? FormatWithPrefix(static_cast<float>(value), mainUnit) : mainUnit;
    if ((statusByte & kStatusMainOver) != 0) {
        reading.main = "over Range";
    }
    if (continuity) {
        reading.secondary = (statusByte & kStatusContinuityClosed) != 0 ? "short" : "open";
    } else {
        double secondary = 0.0;
        if (!secondaryUnit.empty() &&
            ParseMeterReading(AfterSemicolon(secondaryAnswer), secondary)) {
            reading.secondary =
                (statusByte & kStatusSecondaryOver) != 0
                    ? "over Range"
                    : FormatWithPrefix(static_cast<float>(secondary), secondaryUnit);
        }
    }
    return mainConverted;
}

// --- type-9 capture dialog ----------------------------------------------------------------

DmmCapture::DmmCapture(CommandTransport& transport, Notifier& notifier, MeterDefinition definition)
    : m_transport(transport), m_notifier(notifier), m_definition(std::move(definition)) {}

DmmCapture::State DmmCapture::ReadState() {
    for (int m = 0; m < kMeasurements; ++m) {
        const std::string prefix = "DMM:MEASU:MEAS" + std::to_string(m + 1);
        const std::string shown = m_transport.Query(prefix + ":STATE?");
        if (Contains(shown, "1")) {
            m_state.shown[m] = true;
        } else if (Contains(shown, "0")) {
            m_state.shown[m] = false;
        } else {
            Error(m_notifier, kMsgStateNotRead);
            // The previous measurement's value stands, as the check box it copies from.
            m_state.shown[m] = m > 0 ? m_state.shown[m - 1] : m_state.shown[m];
        }
        const std::string type = m_transport.Query(prefix + ":TYPE?");
        if (type.empty()) {
            Error(m_notifier, kMsgStateNotRead);
            m_state.type[m] = -1;
        } else {
            m_state.type[m] =
                LastOccurring(m_definition.acquisitionTypes, type,
                              [](const std::string& t) -> const std::string& { return t; });
        }
    }
    const std::string mode = m_transport.Query("DMM:LOGG:MOD?");
    for (int k = kModeSample; k <= kModeAverage; ++k) {
        if (Contains(mode, std::string(MessageCatalog::String(kModeNameBase + k)))) {
            m_state.mode = k;
        }
    }
    return m_state;
}

DmmCapture::State DmmCapture::Transfer(const State& state) {
    for (int m = 0; m < kMeasurements; ++m) {
        const std::string prefix = "DMM:MEASU:MEAS" + std::to_string(m + 1);
        if (!m_transport.SendCommand(prefix + (state.shown[m] ? ":STATE ON" : ":STATE OFF"))) {
            Error(m_notifier, kMsgStateNotWritten);
        }
        const int type = state.type[m];
        if (type >= 0 && type < static_cast<int>(m_definition.acquisitionTypes.size())) {
            if (!m_transport.SendCommand(prefix + ":TYPE " + m_definition.acquisitionTypes[type])) {
                Error(m_notifier, kMsgStateNotWritten);
            }
        } else {
            Error(m_notifier, kMsgNoValidChoice);
        }
    }
    if (state.mode >= kModeSample && state.mode <= kModeAverage) {
        if (!m_transport.SendCommand("DMM:LOGG:MODE " + std::string(MessageCatalog::String(
                                                            kModeNameBase + state.mode)))) {
            Error(m_notifier, kMsgAcquireNotWritten);
        }
    } else {
        Error(m_notifier, kMsgNoValidChoice);
    }
    return ReadState();
}

}  // namespace ktx

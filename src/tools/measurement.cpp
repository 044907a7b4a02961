// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement dialog's command sequences.
#include "tools/measurement.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "config/notifier.h"
#include "config/profile_file.h"
#include "link/command_transport.h"
#include "tools/format_with_prefix.h"

namespace ktx {

namespace {

constexpr int kMsgNoMeasurement = 17;
constexpr int kHelpMeasurement = 8;

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::vector<std::string> ReadList(const ProfileFile& file, const std::string& section,
                                  const std::string& prefix) {
    std::vector<std::string> items;
    const int count = std::clamp(file.ReadInt(section, "COUNT", 0), 0, 1000);
    for (int i = 1; i <= count; ++i) {
        items.push_back(Upper(file.ReadString(section, prefix + std::to_string(i), "")));
    }
    return items;
}

}  // namespace

std::string MeasurementSlotName(int deviceType) {
    return deviceType == 2 || deviceType == 9 ? "IMM" : "MEAS1";
}

MeasurementChoices ReadMeasurementChoices(const std::string& deviceFile) {
    const ProfileFile file(deviceFile);
    return {ReadList(file, "SOURCES", "S"), ReadList(file, "MEASURES", "M")};
}

bool ParseInstrumentNumber(const std::string& text, double& value) {
    std::size_t begin = 0;
    while (begin < text.size() && std::isspace(static_cast<unsigned char>(text[begin]))) {
        ++begin;
    }
    std::size_t end = text.size();
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    if (begin == end) {
        return false;
    }
    const std::string number = text.substr(begin, end - begin);
    // Decimal or exponent notation only: no hexadecimal, no "inf"/"nan" words.
    for (const char c : number) {
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '+' && c != '-' &&
            c != 'e' && c != 'E') {
            return false;
        }
    }
    char* stop = nullptr;
    errno = 0;
    const double parsed = std::strtod(number.c_str(), &stop);
    if (stop != number.c_str() + number.size() || !std::isfinite(parsed)) {
        return false;
    }
    value = parsed;
    return true;
}

Measurement::Measurement(CommandTransport& transport, Notifier& notifier, int deviceType,
                         WaitFunction wait)
    : m_transport(transport),
      m_notifier(notifier),
      m_wait(std::move(wait)),
      m_slot(MeasurementSlotName(deviceType)) {}

void Measurement::Open() {
    m_transport.SendCommand("HEADER OFF");
    m_transport.SendCommand("VERBOSE ON");
}

bool Measurement::Measure(const std::string& type, const std::string& source,
                          MeasurementLabels& labels) {
    const std::string prefix = "MEASU:" + m_slot;
    auto send = [&](const std::string& command) {
        const bool ok = m_transport.SendCommand(command);
        m_wait(kSettlePauseMs);
        return ok;
    };
    bool ok = send(prefix + ":STATE 1");
    ok = ok && send(prefix + ":TYP " + type);
    ok = ok && send(prefix + ":SOU " + source);
    if (ok) {
        labels.type = m_transport.QueryRetry(prefix + ":TYP?");
        ok = labels.type.find(Upper(type)) != std::string::npos;
    }
    if (ok) {
        labels.source = m_transport.QueryRetry(prefix + ":SOU?");
        ok = labels.source.find(Upper(source)) != std::string::npos;
    }
    ok = ok && ReadValue(labels);
    if (!ok) {
        ShowErrorMsg(m_notifier, kMsgNoMeasurement, kHelpMeasurement);
    }
    return ok;
}

bool Measurement::ReadValue(MeasurementLabels& labels) {
    const std::string query = "MEASU:" + m_slot + ":VAL?";
    double value = 0.0;
    bool converted = ParseInstrumentNumber(m_transport.QueryRetry(query), value);
    if (converted && value > kNoValidResult) {
        // No valid result yet (the instrument is still acquiring): once more after a pause.
        m_wait(kRetryPauseMs);
        converted = ParseInstrumentNumber(m_transport.QueryRetry(query), value);
    }
    const std::string unit = m_transport.QueryRetry("MEASU:" + m_slot + ":UNI?");
    if (!converted) {
        return false;
    }
    m_lastValue = value;
    if (value > kNoValidResult) {
        labels.value = "overflow";
        m_lastUnit.clear();
        return true;
    }
    // The unit comes in double quotes: drop the first and the last character.
    m_lastUnit = unit.size() >= 2 ? unit.substr(1, unit.size() - 2) : std::string();
    labels.value = FormatWithPrefix(value, m_lastUnit);
    return true;
}

int Measurement::ContinuousInterval(long long readMs) {
    return static_cast<int>(std::clamp<long long>(2 * readMs, kMinContinuousMs, 3'600'000));
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/data_logger.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/notifier.h"
#include "config/profile_file.h"
#include "link/command_transport.h"
#include "tools/format_with_prefix.h"
#include "tools/log_file_writer.h"
#include "waveform/block_file.h"
#include "waveform/real6.h"
#include "waveform/text_number.h"

namespace ktx {

namespace {

constexpr int kMsgNoMeasurement = 17;
constexpr int kMsgOneDmmChannel = 18;
constexpr int kMsgWrongMeasurement = 19;
constexpr int kMsgBadTime = 20;
constexpr int kMsgNoChannel = 21;
constexpr int kMsgLogTimeLimit = 330;
// The instruments answer this (9.9E37) when they have no valid result yet.
constexpr double kNoResult = 9e37;
constexpr int kNoResultPause = 500;
// The shortest timer interval: the controls' resolution. A zero interval would spin.
constexpr std::int32_t kShortestTimerMs = 100;

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The unit answer without the quotes the instrument puts around it.
std::string Unquoted(const std::string& answer) {
    return answer.size() >= 2 ? answer.substr(1, answer.size() - 2) : std::string();
}

class BusyScope {
  public:
    explicit BusyScope(bool& busy) : m_busy(busy) { m_busy = true; }
    ~BusyScope() { m_busy = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    bool& m_busy;
};

}  // namespace

LoggerChoices ReadLoggerChoices(const std::string& deviceFile, int deviceType) {
    LoggerChoices c;
    c.deviceType = deviceType;
    const ProfileFile file(deviceFile);
    const auto list = [&file](const char* section, const char* countKey, const std::string& key) {
        std::vector<std::string> items;
        const int count = file.ReadInt(section, countKey, 0);
        for (int i = 1; i <= count; ++i) {
            items.push_back(file.ReadString(section, key + std::to_string(i), ""));
        }
        return items;
    };
    for (const std::string& m : list("MEASURES", "COUNT", "M")) {
        c.measures.push_back(Upper(m));
    }
    c.scopeMeasures = static_cast<int>(c.measures.size());
    if (deviceType == kScopeMeterType) {
        for (const std::string& f : list("MEASDMM", "LOGCOUNT", "S")) {
            c.measures.push_back(f);
        }
    } else if (deviceType >= kExclamationType) {
        for (const std::string& d : list("MEASDMM", "LOGCOUNT", "D")) {
            c.measures.push_back(d);
        }
        for (const std::string& s : list("MEASDMM", "LOGCOUNT", "S")) {
            c.functionCodes.push_back(Upper(s));
        }
        for (const std::string& v : list("MEASDMM", "LOGCOUNT", "V")) {
            c.unitPairs.push_back(Upper(v));
        }
    }
    for (const std::string& s : list("SOURCES", "COUNT", "S")) {
        c.sources.push_back(Upper(s));
    }
    if (deviceType == kScopeMeterType) {
        c.sources.push_back("DMM");
    }
    return c;
}

ChannelChoice ApplyChannelChoice(LoggerSettings& settings, int k, ChannelChoice choice,
                                 const LoggerChoices& choices, Notifier& notifier) {
    const int n = choices.scopeMeasures;
    if (choices.Exclamation()) {
        if (choices.functionCodes.empty()) {
            return choice;
        }
        int j = choice.measure - n;
        if (j < 0 || j >= static_cast<int>(choices.functionCodes.size())) {
            ShowErrorMsg(notifier, kMsgWrongMeasurement, 0);
            choice.measure = n;
            j = 0;
        }
        const std::string& pair = choices.unitPairs[static_cast<std::size_t>(j)];
        const std::size_t semi = pair.find(';');
        for (int i = 0; i < kLoggerChannels; ++i) {
            settings.active[i] = false;
            settings.useDmm[i] = false;
            settings.units[i] = kAbsentUnit;
        }
        settings.active[0] = true;
        settings.measurement[0] = choices.functionCodes[static_cast<std::size_t>(j)];
        settings.source[0] = "DMM";
        settings.units[0] =
            semi == std::string::npos ? std::string() : pair.substr(0, semi).substr(0, 4);
        // Without ";" the whole entry names the secondary unit.
        const std::string secondary = semi == std::string::npos ? pair : pair.substr(semi + 1);
        if (!secondary.empty()) {
            settings.units[1] = secondary.substr(0, 4);
            settings.active[1] = true;
        }
        choice.active = true;
        return choice;
    }
    settings.active[k] = choice.active;
    settings.useDmm[k] = false;
    const bool validSource =
        choice.source >= 0 && choice.source < static_cast<int>(choices.sources.size());
    if (choices.deviceType == kScopeMeterType && validSource) {
        if (Contains(choices.sources[static_cast<std::size_t>(choice.source)], "DMM")) {
            bool taken = false;
            for (int i = 0; i < kLoggerChannels; ++i) {
                taken = taken || (i != k && settings.useDmm[i]);
            }
            if (taken) {
                ShowErrorMsg(notifier, kMsgOneDmmChannel, 0);
                choice.source = 0;
                choice.measure = 0;
            } else {
                settings.useDmm[k] = true;
                if (choice.measure < n) {
                    ShowErrorMsg(notifier, kMsgWrongMeasurement, 0);
                    choice.measure = n;
                }
            }
        } else if (choice.measure >= n) {
            ShowErrorMsg(notifier, kMsgWrongMeasurement, 0);
            choice.measure = 0;
        }
    }
    if (choice.measure >= 0 && choice.measure < static_cast<int>(choices.measures.size())) {
        settings.measurement[k] = choices.measures[static_cast<std::size_t>(choice.measure)];
    }
    if (choice.source >= 0 && choice.source < static_cast<int>(choices.sources.size())) {
        settings.source[k] = choices.sources[static_cast<std::size_t>(choice.source)];
    }
    return choice;
}

std::optional<std::int32_t> ReadInterval(int hours, int minutes, std::string& secondsText,
                                         Notifier& notifier) {
    double seconds = 0;
    if (!ParseReal(secondsText, seconds) || seconds < 0) {
        ShowErrorMsg(notifier, kMsgBadTime, 0);
        return std::nullopt;
    }
    if (seconds > kMaxIntervalSeconds) {
        secondsText = "59.9";
        ShowErrorMsg(notifier, kMsgBadTime, 0);
        return std::nullopt;
    }
    hours = std::clamp(hours, 0, 23);
    minutes = std::clamp(minutes, 0, 59);
    return TimeFieldToMilliseconds(TimeField::Make(static_cast<std::uint8_t>(hours),
                                                   static_cast<std::uint8_t>(minutes),
                                                   static_cast<float>(seconds)));
}

IntervalText ShowInterval(std::int32_t ms) {
    const TimeField t = MillisecondsToTimeField(std::max<std::int32_t>(ms, 0));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%6.1f", static_cast<double>(t.Seconds()));
    return {t.Hours(), t.Minutes(), buf};
}

std::int32_t ShownInterval(std::int32_t ms) {
    const IntervalText t = ShowInterval(ms);
    double seconds = 0;
    ParseReal(t.seconds, seconds);
    return TimeFieldToMilliseconds(TimeField::Make(static_cast<std::uint8_t>(t.hours),
                                                   static_cast<std::uint8_t>(t.minutes),
                                                   static_cast<float>(seconds)));
}

std::optional<TimeField> LogTimeField(std::int64_t ms) {
    if (ms < 0 || ms >= kLogTimeLimitMs) {
        return std::nullopt;
    }
    const std::int64_t hours = ms / 3'600'000;
    const std::int64_t rest = ms % 3'600'000;
    const std::int64_t minutes = rest / 60'000;
    const float seconds = static_cast<float>(static_cast<double>(rest % 60'000) * 0.001);
    return TimeField::Make(static_cast<std::uint8_t>(hours), static_cast<std::uint8_t>(minutes),
                           seconds);
}

std::optional<int> HandheldStatusNibble(const std::string& answer) {
    if (answer.size() != 36) {
        return std::nullopt;
    }
    const char c = answer[27];
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    return std::nullopt;
}

std::optional<double> HandheldReading(const std::string& answer) {
    const std::size_t semi = answer.find(';');
    double value = 0;
    if (semi == std::string::npos || !ParseReal(answer.substr(semi + 1), value)) {
        return std::nullopt;
    }
    return value;
}

std::int64_t SteadyLoggerClock::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

DataLogger::DataLogger(CommandTransport& transport, Notifier& notifier, LoggerSettings& settings,
                       LoggerChoices choices, LoggerClock& clock, LoggerHooks hooks,
                       std::string conversionFile)
    : m_transport(transport),
      m_notifier(notifier),
      m_settings(settings),
      m_choices(std::move(choices)),
      m_clock(clock),
      m_hooks(std::move(hooks)),
      m_conversionFile(std::move(conversionFile)),
      m_writerFactory(&LogFileWriter::Create) {}

DataLogger::~DataLogger() {
    if (m_writer) {
        m_writer->Close();  // the file is complete; no messages from a destructor
    }
}

void DataLogger::Open() {
    if (!m_choices.Exclamation()) {
        m_transport.SendCommand("HEADER OFF");
        m_transport.SendCommand("VERBOSE ON");
    }
}

void DataLogger::Show(int channel, const std::string& text) {
    if (m_hooks.showValue) {
        m_hooks.showValue(channel, text);
    }
}

void DataLogger::Wait(int ms) {
    if (m_hooks.wait) {
        m_hooks.wait(ms);
    }
}

bool DataLogger::PrepareLogger() {
    if (m_choices.Exclamation()) {
        m_transport.Query("!T" + m_settings.measurement[0] + ",A");  // the answer says nothing
        return TakeLogSample();
    }
    bool ok = true;
    for (int i = 0; i < kLoggerChannels && ok; ++i) {
        if (!m_settings.active[i]) {
            continue;
        }
        const std::string& m = m_settings.measurement[i];
        if (m_settings.useDmm[i]) {
            ok = m_transport.SendCommand("DMM:RANGE:AUTO ON");
            ok = ok && m_transport.SendCommand("DMM:FUNC " + m);
            ok = ok && Contains(m_transport.Query("DMM:FUNC?"), m);
            continue;
        }
        const std::string slot = "MEASU:MEAS" + std::to_string(i + 1);
        const std::string& s = m_settings.source[i];
        ok = m_transport.SendCommand(slot + ":STATE 1");
        ok = ok && m_transport.SendCommand(slot + ":TYP " + m);
        ok = ok && m_transport.SendCommand(slot + ":SOU " + s);
        ok = ok && Contains(m_transport.Query(slot + ":TYP?"), m);
        ok = ok && Contains(m_transport.Query(slot + ":SOU?"), s);
    }
    if (m_triggerMode) {
        m_transport.SendCommand("ACQ:STOPA SEQ");
    }
    if (ok) {
        ok = TakeLogSample();
    }
    for (int i = 0; i < kLoggerChannels; ++i) {
        if (!m_settings.active[i]) {
            continue;
        }
        if (m_settings.useDmm[i]) {
            m_settings.units[i] = Contains(m_settings.measurement[i], "OHM") ? "Ohm" : "V";
        } else if (ok) {
            const std::string slot = "MEASU:MEAS" + std::to_string(i + 1);
            m_settings.units[i] = Unquoted(m_transport.Query(slot + ":UNI?")).substr(0, 4);
        }
    }
    if (!ok) {
        ShowErrorMsg(m_notifier, kMsgNoMeasurement, 0);
    }
    return ok;
}

std::optional<double> DataLogger::QueryValue(const std::string& command) {
    double value = 0;
    if (!ParseReal(m_transport.Query(command), value)) {
        return std::nullopt;
    }
    if (value > kNoResult) {
        Wait(kNoResultPause);
        if (!ParseReal(m_transport.Query(command), value)) {
            return std::nullopt;
        }
    }
    return value;
}

bool DataLogger::TakeLogSample() {
    if (m_busy) {
        return false;
    }
    BusyScope busy(m_busy);
    return m_choices.Exclamation() ? SampleHandheld() : SampleScope();
}

bool DataLogger::SampleScope() {
    bool result = true;
    for (int i = 0; i < kLoggerChannels; ++i) {
        if (!m_settings.active[i]) {
            m_values[i] = 0;
            Show(i, "");
            continue;
        }
        const std::string command = m_settings.useDmm[i]
                                        ? std::string("DMM:VAL?")
                                        : "MEASU:MEAS" + std::to_string(i + 1) + ":VAL?";
        const std::optional<double> v = QueryValue(command);
        m_values[i] = v.value_or(0.0);
        result = result && v.has_value();
        Show(i, FormatWithPrefix(m_values[i], m_settings.units[i]));
    }
    return result;
}

bool DataLogger::SampleHandheld() {
    const std::optional<int> status = HandheldStatusNibble(m_transport.Query("!h00?"));
    // A status character that is no hexadecimal digit says as little as a short answer.
    bool result = status.has_value();
    const std::string main = m_transport.Query("!M?");
    std::string secondary;
    if (result && m_settings.active[1]) {
        secondary = m_transport.Query("!U?");
    }
    // Each reading: its number, 0 while the status says it is over range or invalid.
    const auto take = [&](int channel, const std::string& answer, int mask) {
        std::optional<double> v;
        if (result) {
            v = HandheldReading(answer);
            result = v.has_value();
        }
        if (v && (*status & mask) == mask) {
            v = 0.0;
        }
        // A failed reading is recorded as 0, never as the previous sample's value.
        m_values[channel] = v.value_or(0.0);
        Show(channel, v ? FormatWithPrefix(*v, m_settings.units[channel]) : std::string());
    };
    take(0, main, 7);
    if (m_settings.active[1]) {
        take(1, secondary, 13);
    }
    if (!result) {
        ShowErrorMsg(m_notifier, kMsgNoMeasurement, 0);
    }
    return result;
}

std::int32_t DataLogger::TestMinimumInterval() {
    if (!PrepareLogger()) {
        return 0;
    }
    if (m_choices.deviceType == 2) {
        Wait(2000);
    } else if (m_choices.deviceType == kExclamationType) {
        Wait(500);
    }
    const std::int64_t twice = 2 * TimedSample();
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(twice, 0, 86'399'900));
}

std::int64_t DataLogger::TimedSample() {
    const std::int64_t start = m_clock.NowMs();
    TakeLogSample();
    // One record written and closed, as a sample's record would be. Written over the scratch
    // file in place: truncating a file with data makes some file systems (ext4) flush it on
    // close, and creating one costs more than the record; either would time the disk rather
    // than the logger. A scratch file of the program's own; its failure only makes the time
    // shorter.
    const int fd = ::open(m_conversionFile.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const auto header = MakeHeader4(ReferenceHeader(WaveLayout::FourColumn), UnitStrings{});
        if (::pwrite(fd, header.data(), header.size(), 0) == static_cast<ssize_t>(header.size())) {
            struct stat st {};
            if (::fstat(fd, &st) == 0 && st.st_size > static_cast<off_t>(header.size())) {
                [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(header.size()));
            }
        }
        ::close(fd);
    }
    return m_clock.NowMs() - start;
}

bool DataLogger::Start(std::int64_t count) {
    m_triggerMode = m_settings.triggered;
    bool any = false;
    for (int i = 0; i < kLoggerChannels; ++i) {
        if (!m_settings.active[i]) {
            m_settings.units[i] = kAbsentUnit;
        }
        any = any || m_settings.active[i];
    }
    if (!any) {
        ShowErrorMsg(m_notifier, kMsgNoChannel, 0);
        return false;
    }
    const std::int32_t t = TestMinimumInterval();
    if (t > m_settings.interval) {
        m_settings.interval = ShownInterval(t);
    }
    m_values.fill(0.0);
    const auto header = MakeHeader4(ReferenceHeader(WaveLayout::FourColumn), m_settings.units);
    FileError error;
    m_writer = m_writerFactory(m_settings.fileName, header, error);
    if (!m_writer) {
        ShowFileError(m_notifier, error);
        m_triggerMode = false;
        return false;
    }
    m_failureShown = false;
    m_remaining = count;
    m_startMs = m_clock.NowMs();
    return true;
}

std::int32_t DataLogger::TimerInterval() const {
    return std::max(m_settings.interval, kShortestTimerMs);
}

TickResult DataLogger::Tick() {
    if (!m_writer) {
        return TickResult::Stopped;
    }
    if (m_triggerMode && !Contains(m_transport.Query("TRIG:STATE?"), "SAV")) {
        return TickResult::Waiting;
    }
    const std::optional<TimeField> x = LogTimeField(m_clock.NowMs() - m_startMs);
    if (!x) {
        // Later times would be written wrong; the file keeps everything up to here.
        ShowErrorMsg(m_notifier, kMsgLogTimeLimit, 0);
        EndLogging();
        return TickResult::Stopped;
    }
    const bool ok = TakeLogSample();
    if (!ok && !m_choices.Exclamation()) {
        // Logging ends here; without a word it would look like the count had run out. (The
        // exclamation set's sample says so itself.)
        ShowErrorMsg(m_notifier, kMsgNoMeasurement, 0);
    }
    if (m_triggerMode) {
        m_transport.SendCommand("ACQ:STATE RUN");  // re-arm the single sequence
    }
    if (m_hooks.beep) {
        m_hooks.beep();
    }
    LogRecord record{};
    std::memcpy(record.data(), x->bytes.data(), x->bytes.size());
    for (int i = 0; i < kLoggerChannels; ++i) {
        const Real6 v = Real6::FromDouble(m_values[i]);
        std::memcpy(record.data() + 6 + 6 * i, v.bytes.data(), v.bytes.size());
    }
    if (!m_writer->Append(record)) {
        ShowFileError(m_notifier, m_writer->Failure());
        m_failureShown = true;
        EndLogging();
        return TickResult::Stopped;
    }
    --m_remaining;
    if (m_remaining <= 0 || !ok) {
        EndLogging();
        return TickResult::Stopped;
    }
    return TickResult::Sampled;
}

void DataLogger::Stop() {
    EndLogging();
}

void DataLogger::EndLogging() {
    if (!m_writer) {
        return;
    }
    const bool closed = m_writer->Close();
    const FileError failure = m_writer->Failure();
    m_writer.reset();
    if (!closed && !m_failureShown) {
        ShowFileError(m_notifier, failure);
    }
    m_triggerMode = false;
    if (m_settings.triggered) {
        m_transport.SendCommand("ACQ:STOPA RUNST");
        m_transport.SendCommand("ACQ:STATE RUN");
    }
}

std::uint64_t DataLogger::RecordsWritten() const {
    return m_writer ? m_writer->RecordsWritten() : 0;
}

void DataLogger::SetWriterFactory(WriterFactory factory) {
    m_writerFactory = std::move(factory);
}

}  // namespace ktx

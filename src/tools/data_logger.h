// SPDX-License-Identifier: GPL-3.0-or-later
// The data logger (`Tlog_dial`) without its window: up to four measured values of the
// instrument at a fixed interval into a four-column waveform file, x being the time since the
// start. Logger channels are oscilloscope measurements ("MEASU:MEAS<d>:..."), the built-in
// multimeter of type 9 ("DMM:..."), or for types 20 and above the main and secondary reading of
// the exclamation command set ("!h00?", "!M?", "!U?").
//
// The owner drives it: Start, then Tick whenever the interval has passed (or, while a
// triggered sample waits, soon again), Stop. Time comes from a LoggerClock, so tests run days
// in a moment. User-interface thread (or the command line's one thread).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/log_file_writer.h"
#include "waveform/time_field.h"
#include "waveform/wave_file.h"

namespace ktx {

class CommandTransport;
class Notifier;

constexpr int kLoggerChannels = 4;
// From this device type on the exclamation command set is spoken.
constexpr int kExclamationType = 20;
// The oscilloscope with a built-in multimeter.
constexpr int kScopeMeterType = 9;
// Longest interval text the seconds field takes.
constexpr double kMaxIntervalSeconds = 59.91;
// Logged further than 255 h 59 min 59.999 s, the hours byte of the time field overflows.
constexpr std::int64_t kLogTimeLimitMs = 256LL * 3'600'000;

// The logger's settings for the whole program run (cleared when another instrument is chosen).
struct LoggerSettings {
    std::array<bool, kLoggerChannels> active{};
    std::array<bool, kLoggerChannels> useDmm{};
    std::int32_t interval = 0;  // ms
    std::string fileName;
    UnitStrings units;                                     // "#": not recorded
    std::array<std::string, kLoggerChannels> measurement;  // type, DMM function or code
    std::array<std::string, kLoggerChannels> source;       // "CH1", "DMM"
    bool triggered = false;

    void Clear() { *this = LoggerSettings{}; }
};

// What the instrument definition file offers the logger.
struct LoggerChoices {
    int deviceType = 1;
    // `mess_list`: [MEASURES] upper-cased, then for types 9 and 20+ the [MEASDMM] entries
    // (type 9: the functions S<i>; 20+: the display texts D<i>), LOGCOUNT of them.
    std::vector<std::string> measures;
    int scopeMeasures = 0;  // N: the first N entries of `measures` are oscilloscope measurements
    // `source_list`: [SOURCES] upper-cased, "DMM" appended for type 9.
    std::vector<std::string> sources;
    // Types 20+, per [MEASDMM] entry: function code S<i> and unit pair V<i>, upper-cased.
    std::vector<std::string> functionCodes;
    std::vector<std::string> unitPairs;

    bool Exclamation() const { return deviceType >= kExclamationType; }
};
LoggerChoices ReadLoggerChoices(const std::string& deviceFile, int deviceType);

// The dialog's choice for one channel: indices into `measures` and `sources`.
struct ChannelChoice {
    int measure = 0;
    int source = 0;
    bool active = false;
};

// Applies the choice to channel `k` (exclamation set: to channels 0 and 1 as the function's
// units have it). A second multimeter channel shows message 18, a measurement that does not fit
// its source message 19; the choice comes back corrected as the lists must then show it.
ChannelChoice ApplyChannelChoice(LoggerSettings& settings, int k, ChannelChoice choice,
                                 const LoggerChoices& choices, Notifier& notifier);

// The interval the three controls show, or nothing (message 20 shown): seconds not a number,
// or above 59.91 (then `secondsText` becomes "59.9").
std::optional<std::int32_t> ReadInterval(int hours, int minutes, std::string& secondsText,
                                         Notifier& notifier);
// The interval split as the controls show it: hours, minutes, seconds with one decimal in six
// characters ("   0.7").
struct IntervalText {
    int hours = 0;
    int minutes = 0;
    std::string seconds;
};
IntervalText ShowInterval(std::int32_t ms);
// `ms` as it comes back from being shown (0.1 s resolution): 734 gives 700.
std::int32_t ShownInterval(std::int32_t ms);

// The x value of a record `ms` after the start: hours (up to 255), minutes and seconds;
// nothing from 256 hours on, which the field cannot hold.
std::optional<TimeField> LogTimeField(std::int64_t ms);

// Status nibble of an "!h00?" answer: character 28 of exactly 36 (hexadecimal); nothing for
// any other answer.
std::optional<int> HandheldStatusNibble(const std::string& answer);
// The reading of an "!M?"/"!U?" answer ("M0;1.234E+00"): the text after the first ";".
std::optional<double> HandheldReading(const std::string& answer);

// Monotonic milliseconds.
class LoggerClock {
  public:
    virtual ~LoggerClock() = default;
    virtual std::int64_t NowMs() = 0;
};
class SteadyLoggerClock final : public LoggerClock {
  public:
    std::int64_t NowMs() override;
};

struct LoggerHooks {
    std::function<void(int ms)> wait;                                // the fixed pauses
    std::function<void(int channel, const std::string&)> showValue;  // `Value0` ... `Value3`
    std::function<void()> beep;                                      // "Beep" checked
};

enum class TickResult {
    Sampled,  // a record was written; the next tick after the interval
    Waiting,  // trigger mode: the instrument has not triggered; poll again soon
    Stopped,  // logging ended (count reached, failed sample with message 17, file failure,
              // time limit)
};

class DataLogger {
  public:
    // All borrowed. `conversionFile` receives the timing record of TestMinimumInterval.
    DataLogger(CommandTransport& transport, Notifier& notifier, LoggerSettings& settings,
               LoggerChoices choices, LoggerClock& clock, LoggerHooks hooks,
               std::string conversionFile);
    ~DataLogger();
    DataLogger(const DataLogger&) = delete;
    DataLogger& operator=(const DataLogger&) = delete;

    // "HEADER OFF" and "VERBOSE ON", unless the exclamation set is spoken.
    void Open();
    bool PrepareLogger();
    bool TakeLogSample();
    // Twice the time of one sample with its record, in ms; 0 when the preparation failed.
    std::int32_t TestMinimumInterval();
    // What "Test" times: one sample and one record written to the conversion file; in ms.
    std::int64_t TimedSample();

    // "Start" once the file is named: message 21 without an active channel; the timing test
    // (raising the interval to what it found); the file. False when logging did not start.
    bool Start(std::int64_t count);
    TickResult Tick();
    // "Stop": closes the file (its failure is shown), back to continuous acquisition after
    // trigger mode. Nothing when not logging.
    void Stop();

    // What the timer waits between ticks: the interval, at least 0.1 s.
    std::int32_t TimerInterval() const;
    bool Logging() const { return m_writer != nullptr; }
    std::int64_t Remaining() const { return m_remaining; }
    const std::array<double, kLoggerChannels>& Values() const { return m_values; }
    // Records in the file (the header counts), as far as written.
    std::uint64_t RecordsWritten() const;

    // How Start makes the log file (LogFileWriter::Create); tests hand in a disk that fills up.
    using WriterFactory = std::function<std::unique_ptr<LogFileWriter>(
        const std::string& target, const LogRecord& header, FileError& error)>;
    void SetWriterFactory(WriterFactory factory);

  private:
    bool PrepareScopeChannels();
    bool SampleScope();
    bool SampleHandheld();
    std::optional<double> QueryValue(const std::string& command);
    void Show(int channel, const std::string& text);
    void Wait(int ms);
    void EndLogging();

    CommandTransport& m_transport;
    Notifier& m_notifier;
    LoggerSettings& m_settings;
    LoggerChoices m_choices;
    LoggerClock& m_clock;
    LoggerHooks m_hooks;
    std::string m_conversionFile;
    std::array<double, kLoggerChannels> m_values{};
    WriterFactory m_writerFactory;
    std::unique_ptr<LogFileWriter> m_writer;
    bool m_failureShown = false;
    std::int64_t m_startMs = 0;
    std::int64_t m_remaining = 0;
    bool m_triggerMode = false;
    bool m_busy = false;
};

}  // namespace ktx

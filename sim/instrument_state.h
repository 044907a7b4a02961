// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument's inner state and the command dispatcher (internal to sim/;
// SimInstrument and SimSession wrap it). One InstrumentState holds what every connection shares
// (settings, waveforms, files, the error queue); each connection brings its ConnectionState.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "command_header.h"
#include "command_scanner.h"
#include "command_table.h"
#include "curve_codec.h"
#include "fault_switches.h"
#include "picture_state.h"
#include "sim_instrument.h"
#include "waveform_generator.h"

namespace ktx::sim {

// One automatic measurement slot: IMMed or MEAS1..MEAS4.
struct MeasurementSlot {
    std::string type = "NONE";  // upper-case long form ("FREQUENCY")
    std::string source = "CH1";
    bool on = false;
};

// The multimeter of the type-9 family.
struct MeterState {
    std::string function = "DCV";  // "DMM:FUNC" as a mnemonic: ACV, DCV, OHMS, CONTinuity, ...
    bool autoRange = true;
    std::map<std::string, std::string> ranges;  // function (long form) → range code
    bool hold = false;
    std::string loggingSeconds = "240";          // "DMM:LOGG:SECD": 4 minutes
    std::string loggingMode = "SAMPLE";          // SAMPLE, PEAKDETECT or AVERAGE
    std::array<bool, 4> measurementOn{};         // "DMM:MEASU:MEAS<n>:STATE"
    std::array<std::string, 4> measurementType;  // "DMM:MEASU:MEAS<n>:TYPE"
};

// The multimeter of the handheld family (type 20), set with "!T<function>,<range>".
struct HandheldMeterState {
    int function = 1;         // function number, 1 ... 11
    std::string range = "A";  // "A" auto range, else the two-digit range code
};

struct Reference {
    std::vector<std::int16_t> levels;
    ChannelScale scale;
};

// What one connection keeps between its commands: the ";" path, the answers of the message in
// progress, the answer text waiting for the carrier and the connection's fault switches.
struct ConnectionState {
    std::vector<std::string> path;
    std::vector<std::string> answerParts;
    std::size_t answerBytes = 0;
    bool answerOverflow = false;  // the message asked for more than kMaxAnswerBytes
    std::string output;
    std::size_t outputPos = 0;
    FaultSwitches faults;
    std::uint64_t garbageCounter = 0;
    // The message's answer goes out as it is, without the line feed (screen pictures).
    bool unframedAnswer = false;
    // Answer bytes the carrier holds back: {milliseconds after the rest, bytes}.
    std::vector<std::pair<int, std::string>> later;
};

struct InstrumentState {
    explicit InstrumentState(SimConfig c);

    // Runs complete commands of one connection (a whole message, or the start of a very long
    // one); answers go to that connection.
    void Run(ConnectionState& connection, const std::vector<ScannedUnit>& units);
    // Another instrument on the line: the family and model of `c`, in its power-on state with
    // fresh waveforms and files. The command log goes on.
    void Replace(SimConfig c);

    // The answers of one message are refused above this size (10 M points as ASCII fit): the
    // instrument reports a deadlocked query instead of holding them.
    static constexpr std::size_t kMaxAnswerBytes = std::size_t{128} << 20;

    // Used by the handlers while a connection's commands run.
    void Reset();  // *RST: settings back to the power-on state, waveforms kept
    void Answer(const Call& call, std::string value);
    void AnswerRaw(std::string text);
    // Raw bytes without the line feed that ends an answer (hard copies are sent unframed);
    // AnswerLater holds them back `ms` after the rest of the message's answers.
    void AnswerUnframed(std::string bytes);
    void AnswerLater(std::string bytes, int ms);
    void Error(int code, const std::string& text);
    FaultSwitches& Faults() { return m_connection->faults; }
    std::string HeaderText(const Call& call) const;

    std::string CanonicalSource(const std::string& name) const;  // "ch1" → "CH1", "MATH1" → "MATH"
    const std::vector<std::int16_t>& Levels(const std::string& source);
    ChannelScale ScaleOf(const std::string& source) const;
    // DATA:START..DATA:STOP of a record of `length` points, clamped, 0-based [first, first+count).
    std::pair<std::size_t, std::size_t> DataRange(std::size_t length) const;
    std::string CurveAnswer(const std::string& source);
    std::optional<std::string> PreambleValue(const std::string& source, const std::string& key,
                                             const DataFormat& format);
    std::string FullPreamble(const std::string& source, const DataFormat& format, bool headers);
    std::string WaveformFile(const std::string& source);
    bool StoreCurve(const std::string& destination, std::string_view data,
                    const DataFormat& format);
    void NewAcquisition();
    std::optional<double> MeasureSlot(const MeasurementSlot& slot);
    // The instrument's clock, seconds since power-on; "KTXSIM:CLOCK" holds it at a value.
    double ElapsedSeconds() const;
    // Whether the value query being answered gets 9.9E37 from the connection's invalid-result
    // switch (counts the switch down).
    bool TakeInvalidResult();
    // Whether an armed single sequence has waited out the connection's sequence delay.
    bool SequenceDelayPassed();
    void RunCommandText(std::string_view text);  // executes stored commands (recalled files)

    SimConfig config;

    // Scratch of the command being run.
    std::string followUp;  // a command glued to the previous one's argument (see DATa:DESTination)
    int recallDepth = 0;

    // Settings.
    bool header = false;
    bool verbose = true;
    DataFormat outFormat;
    DataFormat inFormat;
    std::string dataSource = "CH1";
    std::string dataDestination = "REF1";
    std::int64_t dataStart = 1;
    std::int64_t dataStop = 2500;
    std::int64_t recordLength = 2500;
    bool running = true;
    bool stopAfterSequence = false;
    bool meterMode = false;
    std::string saveFileFormat = "INTERNAL";
    std::map<std::string, bool> displayed;
    std::array<MeasurementSlot, 5> measurements;  // IMMed, MEAS1 .. MEAS4
    MeterState meter;
    HardcopySettings hardcopy;
    AcquireSettings acquire;
    HandheldMeterState handheld;

    // Clock: real time since `clockStart`, or held at `clockHeld` seconds.
    std::chrono::steady_clock::time_point clockStart = std::chrono::steady_clock::now();
    std::optional<double> clockHeld;
    double sequenceArmedAt = 0.0;  // ElapsedSeconds() when the last single sequence was armed

    // Waveforms.
    std::uint64_t acquisition = 0;
    std::array<std::vector<std::int16_t>, 5> inputCache;  // CH1..CH4, MATH; empty = not made
    std::array<Reference, 4> references;
    std::map<std::string, std::string> files;  // instrument file system, names upper-cased

    // Every command received (simulator commands aside), for tests that check the exact
    // sequence a program sent: "KTXSIM:LOG?" hands it out, "KTXSIM:LOG CLEAR" empties it.
    std::deque<std::string> commandLog;
    static constexpr std::size_t kMaxLogEntries = 4096;
    // A logged command keeps this much text; a block keeps its header ("#42000") only.
    static constexpr std::size_t kMaxLogText = 64;

    // Status.
    std::vector<std::string> events;
    bool commandErrorSinceEsr = false;

  private:
    void Execute(const ScannedUnit& unit);
    bool Dispatch(const ParsedCommand& command);
    void FinishMessage();
    void LogCommand(const std::string& text);
    void AddAnswer(std::string text);

    ConnectionState* m_connection = nullptr;  // whose commands run now
};

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument's inner state and the command dispatcher (internal to sim/;
// SimInstrument wraps it).
#pragma once

#include <array>
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
    std::string function = "DCV";  // "DMM:FUNC": ACV, DCV, OHMS, ...
    bool autoRange = true;
    std::map<std::string, std::string> ranges;  // function → range code
    bool hold = false;
    std::string loggingSeconds = "1";            // "DMM:LOGG:SECD"
    std::string loggingMode = "SAMPLE";          // SAMPLE, PEAKDETECT or AVERAGE
    std::array<bool, 4> measurementOn{};         // "DMM:MEASU:MEAS<n>:STATE"
    std::array<std::string, 4> measurementType;  // "DMM:MEASU:MEAS<n>:TYPE"
};

struct Reference {
    std::vector<std::int16_t> levels;
    ChannelScale scale;
};

struct InstrumentState {
    explicit InstrumentState(SimConfig c);

    // Carrier side.
    void Receive(std::string_view bytes);
    void EndOfMessage();
    void DeviceClear();
    std::string TakeOutput(std::size_t max);
    std::size_t OutputAvailable() const { return m_output.size() - m_outputPos; }

    // Used by the handlers.
    void Reset();  // *RST: settings back to the power-on state, waveforms kept
    void Answer(const Call& call, const std::string& value);
    void AnswerRaw(std::string text);
    void Error(int code, const std::string& text);
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
    void RunCommandText(std::string_view text);  // executes stored commands (recalled files)

    SimConfig config;
    FaultSwitches faults;

    // Parse state of the current connection.
    CommandScanner scanner;
    std::vector<std::string> path;
    std::vector<std::string> answerParts;
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
    std::uint64_t garbageCounter = 0;

  private:
    void Execute(const ScannedUnit& unit);
    bool Dispatch(const ParsedCommand& command);
    void FinishMessage();
    void LogCommand(const std::string& text);

    std::string m_output;
    std::size_t m_outputPos = 0;
};

}  // namespace ktx::sim

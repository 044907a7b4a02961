// SPDX-License-Identifier: GPL-3.0-or-later
// The multimeter dialogs' exchanges, UI-free: the range dialog of the type-9 family's
// multimeter ("DMM:" commands, `DmmRangeControl`), the range dialog of the handheld family
// (types 20 and above, the exclamation command set, `HandheldMeter`) and the capture dialog
// of the type-9 logger (`DmmCapture`). The dialogs show what these hold.
//
// DmmRangeControl and DmmCapture: user-interface thread. HandheldMeter: any thread, one call
// at a time (it locks itself), so the continuous reading may run on a TFastTimer worker.
#pragma once

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ktx {

class CommandTransport;
class Notifier;

struct MeterFunction {
    std::string name;  // D: shown
    std::string code;  // S: "DMM:FUNC" argument, or the handheld's two-digit function number
    std::string unit;  // V: unit, or "main unit;secondary unit" on the handheld
};

struct MeterChoice {
    std::string text;  // R or T: shown (as written in the file)
    std::string code;  // S, upper-cased: sent
};

// [MEASDMM], [TIMEDMM] and [ACQUDMM] of an instrument definition file.
struct MeterDefinition {
    std::string deviceFile;
    std::vector<MeterFunction> functions;
    int logCount = 0;    // LOGCOUNT: functions 1 … LOGCOUNT have a range table (type 9)
    int rangeCount = 0;  // RANGECOUNT: the same for the handheld
    std::vector<MeterChoice> timeBases;
    std::vector<std::string> acquisitionTypes;  // upper-cased
};
MeterDefinition ReadMeterDefinition(const std::string& deviceFile);
// The range table in section `section` ("RANGEDCV", "RANGEV", "RANGE°C" in either spelling).
std::vector<MeterChoice> ReadMeterRanges(const std::string& deviceFile, const std::string& section);

// The handheld's answer to "!h00?", valid only when exactly 36 characters long.
struct HandheldStatus {
    std::string rangeCode;       // "A" with auto range (position 29 "1"), else position 24
    unsigned statusByte = 0;     // positions 27-28, hexadecimal
    bool continuity = false;     // positions 33-34 are "0D"
    std::string functionNumber;  // positions 35-36 (hexadecimal) as two decimal digits
};
std::optional<HandheldStatus> ParseHandheldStatus(const std::string& answer);
constexpr unsigned kStatusMainOver = 2;
constexpr unsigned kStatusSecondaryOver = 8;
constexpr unsigned kStatusContinuityClosed = 16;

// `Tmb_dlg`: the type-9 multimeter's function, range, logging time base and hold.
class DmmRangeControl {
  public:
    using WaitFunction = std::function<void(int ms)>;
    static constexpr int kRetryPauseMs = 500;

    DmmRangeControl(CommandTransport& transport, Notifier& notifier, MeterDefinition definition,
                    WaitFunction wait);

    // Creation: the current function ("DIS:MOD?", "DMM:FUNC?"), its ranges, the state.
    void Open();

    const MeterDefinition& Definition() const { return m_definition; }
    int FunctionIndex() const { return m_function; }  // 1-based; 0: none found
    const std::vector<MeterChoice>& Ranges() const { return m_ranges; }
    int SelectedRange() const { return m_selectedRange; }  // 0-based; -1: none
    bool AutoRange() const { return m_autoRange; }
    int TimeBase() const { return m_timeBase; }  // 0-based; -1: none
    bool Hold() const { return m_hold; }
    // `RHbtn`: "RUN" while hold is on, "HOLD" while it is off.
    const char* HoldCaption() const { return m_hold ? "RUN" : "HOLD"; }

    void SelectFunction(int index);  // `Funk_lb` click, 1-based
    void ClickRange(int index);      // `uni_lb` click, 0-based
    void SetAutoRange(bool on);      // `autocheck`
    void SelectTimeBase(int index);  // `zb_lb` click, 0-based
    void ToggleHold();               // `RHbtn`
    // "Mess": the text of `Messlab` (empty when the instrument has another function, or with
    // message 17 when it gave no reading).
    std::string Measure();

  private:
    bool HasRangeTable() const;
    void FillRanges();
    void ReadState();
    void ApplyRange();
    const std::string& Code() const;

    CommandTransport& m_transport;
    Notifier& m_notifier;
    MeterDefinition m_definition;
    WaitFunction m_wait;
    int m_function = 0;
    std::vector<MeterChoice> m_ranges;
    int m_selectedRange = -1;
    int m_rememberedRange = -1;
    bool m_autoRange = true;
    int m_timeBase = -1;
    bool m_hold = false;
};

// `Tmbx_dlg`: the handheld's function and range, and its main and secondary reading.
class HandheldMeter {
  public:
    HandheldMeter(CommandTransport& transport, MeterDefinition definition);

    struct Reading {
        std::string main;       // `Mess_lab1`
        std::string secondary;  // `Mess_lab2`
    };
    // What the dialog's lists show.
    struct Selection {
        int function = -1;  // 0-based; -1: none
        std::vector<MeterChoice> ranges;
        int range = -1;  // 0-based; -1: none
    };

    // Each reports its messages to `notifier` (which the caller may have to hand to the
    // user-interface thread when calling from a worker).
    void Open(Notifier& notifier);
    void SelectFunction(int index, Notifier& notifier);
    void SelectRange(int index, Notifier& notifier);
    // "Mess" and every tick of the continuous mode; false (message 17) when it failed.
    bool Measure(Reading& reading, Notifier& notifier);
    Selection Current() const;
    const MeterDefinition& Definition() const { return m_definition; }

    // What "Mess" shows for the answers to "!h00?", "!M?" and "!U?" with the function's units
    // ("main unit;secondary unit"); false when the main reading is no number (or the status is
    // not 36 characters long).
    static bool ReadingFromAnswers(const std::string& status, const std::string& mainAnswer,
                                   const std::string& secondaryAnswer, const std::string& units,
                                   Reading& reading);

  private:
    void FillRanges();
    bool ReadState(Notifier& notifier);

    CommandTransport& m_transport;
    const MeterDefinition m_definition;
    mutable std::mutex m_mutex;
    Selection m_selection;
};

// `Terf_dlg`: which of the type-9 logger's three measurements are shown, their types and the
// logger's acquisition mode.
class DmmCapture {
  public:
    static constexpr int kMeasurements = 3;
    enum Mode { kModeNone = -1, kModeSample = 0, kModePeak = 1, kModeAverage = 2 };
    struct State {
        std::array<bool, kMeasurements> shown{};
        std::array<int, kMeasurements> type{-1, -1, -1};  // index into acquisitionTypes
        int mode = kModeNone;
    };

    DmmCapture(CommandTransport& transport, Notifier& notifier, MeterDefinition definition);

    const MeterDefinition& Definition() const { return m_definition; }
    // Reads the state from the instrument ("DMM:MEASU:MEAS<m>:STATE?", ":TYPE?", "DMM:LOGG:MOD?").
    State ReadState();
    // "Transfer": sends `state`, then reads it back.
    State Transfer(const State& state);

  private:
    CommandTransport& m_transport;
    Notifier& m_notifier;
    MeterDefinition m_definition;
    State m_state;
};

}  // namespace ktx

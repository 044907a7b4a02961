// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement dialog's exchanges with the instrument ("Messen", "Dauer" and the reading
// of one value), UI-free: the dialog `Tmess_dial` collects the choice and shows the labels,
// `ktx measure` prints them. Every send is SendCommand, every query QueryRetry; the pauses go
// through the wait function handed in. User-interface thread (or the command line's thread).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ktx {

class CommandTransport;
class Notifier;

// The instrument's automatic measurement slot: "IMM" for device types 2 and 9, else "MEAS1".
std::string MeasurementSlotName(int deviceType);

// [SOURCES] S1 … and [MEASURES] M1 … of an instrument definition file, upper-cased.
struct MeasurementChoices {
    std::vector<std::string> sources;
    std::vector<std::string> measures;
};
MeasurementChoices ReadMeasurementChoices(const std::string& deviceFile);

// What the dialog's labels show.
struct MeasurementLabels {
    std::string type;    // `mess_lab`: the measurement type as the instrument confirms it
    std::string source;  // `Source_lab`
    std::string value;   // `wert_lab`: FormatWithPrefix of value and unit, or "overflow"
};

class Measurement {
  public:
    using WaitFunction = std::function<void(int ms)>;

    // Pause after each setting, and before asking again for a value that was not valid.
    static constexpr int kSettlePauseMs = 50;
    static constexpr int kRetryPauseMs = 500;
    // The instruments answer 9.9E37 when they have no valid result.
    static constexpr double kNoValidResult = 9e37;
    // "Dauer" reads at twice the time one read took, but not faster than the system's timers.
    static constexpr int kMinContinuousMs = 10;

    Measurement(CommandTransport& transport, Notifier& notifier, int deviceType, WaitFunction wait);

    const std::string& Slot() const { return m_slot; }

    // Creation: "HEADER OFF", "VERBOSE ON" (results ignored).
    void Open();
    // "Messen": sets the slot to `type` of `source`, checks that the instrument confirms both
    // and reads the value. On failure message 17; the labels keep what was written before.
    bool Measure(const std::string& type, const std::string& source, MeasurementLabels& labels);
    // One value ("MEASU:<slot>:VAL?", once more after a pause when not valid, then the unit).
    // False (labels.value unchanged) when the answer is no number.
    bool ReadValue(MeasurementLabels& labels);
    // The number read by the latest successful ReadValue (9.9E37 and above: overflow).
    double LastValue() const { return m_lastValue; }
    const std::string& LastUnit() const { return m_lastUnit; }

    // The interval of continuous reading for a read that took `readMs`.
    static int ContinuousInterval(long long readMs);

  private:
    CommandTransport& m_transport;
    Notifier& m_notifier;
    WaitFunction m_wait;
    std::string m_slot;
    double m_lastValue = 0.0;
    std::string m_lastUnit;
};

// A decimal number as the instruments answer it ("1.234E3", " -5", "12.5"); nothing when the
// text is empty, holds anything else, or is not finite.
bool ParseInstrumentNumber(const std::string& text, double& value);

}  // namespace ktx

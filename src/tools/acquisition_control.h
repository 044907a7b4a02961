// SPDX-License-Identifier: GPL-3.0-or-later
// Remote control of the acquisition from the main window: the control mode with Single, RUN,
// Dauer (a picture every three seconds) and Stop, the set-up commands "&Autosetup" and
// "&Factorysetup", and the type-9 switch between oscilloscope and multimeter display.
//
// UI-free: the two 1000 ms timers (`get_tim`, `sngl_tim`) are handed in, so tests drive the
// ticks with a clock of their own; the picture fetch and the state text (`Time_panel`) are
// callbacks. User-interface thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace ktx {

class CommandTransport;
class Notifier;
struct ProgramState;

// A periodic timer: started, stopped, asked whether it runs. The ticks come from its owner.
class ControlTimer {
  public:
    virtual ~ControlTimer() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
};

struct AcquisitionHooks {
    std::function<void()> fetchPicture;                 // `FetchScreenPicture`
    std::function<void(const std::string&)> showState;  // `Time_panel`
};

class AcquisitionControl {
  public:
    // Timers and transport are borrowed.
    AcquisitionControl(CommandTransport& transport, ControlTimer& getTim, ControlTimer& snglTim,
                       AcquisitionHooks hooks);

    // "&Steuerung" on or off (the shell shows the panel and the glyph).
    void SetControlMode(bool on);
    void Single_buttonClick();
    void Run_buttonClick();
    void Dauer_buttonClick();
    void Stop_buttonClick();
    void get_timTimer();
    void sngl_timTimer();

    bool DauerEnabled() const { return m_dauerEnabled; }
    bool StopEnabled() const { return m_stopEnabled; }
    bool Armed() const { return m_armed; }
    int Countdown() const { return m_countdown; }

    static constexpr int kTimerMs = 1000;
    static constexpr int kFetchEverySeconds = 3;

  private:
    void Show(const std::string& text);

    CommandTransport& m_transport;
    ControlTimer& m_getTim;
    ControlTimer& m_snglTim;
    AcquisitionHooks m_hooks;
    bool m_armed = false;
    int m_countdown = 0;
    bool m_dauerEnabled = true;
    bool m_stopEnabled = false;
};

// "&Autosetup": "AUTOS EXEC"; message 35 when it fails.
void Autosetup(CommandTransport& transport, Notifier& notifier);
// "&Factorysetup": "CLEARM", then "FAC"; message 36 when "FAC" fails (a failed "CLEARM" ends
// it quietly).
void Factorysetup(CommandTransport& transport, Notifier& notifier);

// The display mode an answer to "DIS:MOD?" names: 0 (oscilloscope) when it holds "SCO", else 1
// (multimeter) when it holds "MET"; nothing for any other answer.
std::optional<int> DisplayModeFromAnswer(const std::string& answer);

// `ReadDisplayMode` (type 9): "DIS:MOD?"; 0 for "SCO", 1 for "MET". Sets `operatingMode` and
// returns true when found; otherwise message 39 and nothing changes.
bool ReadDisplayMode(CommandTransport& transport, Notifier& notifier, int& operatingMode);

// `SetDisplayMode` ("&Scope" = 0, "&DMM" = 1): reads the mode, switches when it differs, reads
// it again (twice at most, a second apart) and stores the mode read in kurvitex.ini [DEVICE]
// MODE. `modeRead` is called after every successful read (the shell shows the status). True
// when it got as far as storing (the shell then applies the menus).
bool SetDisplayMode(int mode, CommandTransport& transport, Notifier& notifier, ProgramState& state,
                    const std::function<void(int ms)>& wait, const std::function<void()>& modeRead);

}  // namespace ktx

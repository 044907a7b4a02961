// SPDX-License-Identifier: GPL-3.0-or-later
// `TFastTimer`: a periodic timer whose handler runs on a worker thread of its own, for work
// that must not wait for the user-interface thread (the handheld multimeter's continuous
// reading). The worker waits on a steady-clock deadline grid; ticks that fall due while the
// handler still runs merge into one call made as soon as it returns.
//
// Disabling never waits for a handler call in progress and may be done from inside the
// handler: that call runs to its end on its own, and no further call starts. A handler must
// therefore own (or share) whatever it touches and must not touch widgets: hand results to the
// user-interface thread through its event queue. Enabled, Interval, Resolution and OnTimer are
// set from one thread (the owner's); Interval and OnTimer take effect at the next enabling.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace ktx {

class TFastTimer {
  public:
    using TimerEvent = std::function<void()>;

    // The text of the refusal when no worker thread can be made.
    static constexpr const char* kCreateError = "Unable to create a timer";

    TFastTimer();
    // Stops the timer (without waiting for a handler call in progress).
    ~TFastTimer();
    TFastTimer(const TFastTimer&) = delete;
    TFastTimer& operator=(const TFastTimer&) = delete;

    bool Enabled() const;
    // Starts (true) or stops (false); setting the current value does nothing. False when the
    // worker thread cannot be made: the timer then stays disabled (kCreateError says why).
    bool SetEnabled(bool on);

    // Period in ms (at least 1); default 100.
    std::uint32_t Interval() const { return m_interval; }
    void SetInterval(std::uint32_t ms);
    // Accepted for compatibility with the multimedia timer's resolution; the steady clock
    // needs none. Default 100.
    std::uint32_t Resolution() const { return m_resolution; }
    void SetResolution(std::uint32_t ms) { m_resolution = ms; }
    void SetOnTimer(TimerEvent handler) { m_onTimer = std::move(handler); }

  private:
    struct Worker;
    static void Run(std::shared_ptr<Worker> worker);  // the worker thread's loop

    // The handler may disable the timer from its own thread while the owner enables it.
    mutable std::mutex m_control;
    std::shared_ptr<Worker> m_worker;  // present while enabled; shared with its thread
    std::uint32_t m_interval = 100;
    std::uint32_t m_resolution = 100;
    TimerEvent m_onTimer;
};

}  // namespace ktx

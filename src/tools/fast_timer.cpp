// SPDX-License-Identifier: GPL-3.0-or-later
// The worker thread of TFastTimer: a deadline loop on the steady clock. The thread owns a
// share of its control block and a copy of the handler, so it is detached when the timer is
// disabled and ends on its own after at most the handler call in progress.
#include "tools/fast_timer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace ktx {

struct TFastTimer::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::chrono::milliseconds interval{100};
    TimerEvent onTimer;
};

TFastTimer::TFastTimer() = default;

TFastTimer::~TFastTimer() {
    SetEnabled(false);
}

void TFastTimer::SetInterval(std::uint32_t ms) {
    m_interval = ms == 0 ? 1 : ms;
}

bool TFastTimer::Enabled() const {
    const std::lock_guard control(m_control);
    return m_worker != nullptr;
}

bool TFastTimer::SetEnabled(bool on) {
    // Held while the worker starts: its first call may disable the timer before this returns,
    // and must then find the worker it stops.
    const std::lock_guard control(m_control);
    if (on == (m_worker != nullptr)) {
        return true;
    }
    if (!on) {
        {
            const std::lock_guard lock(m_worker->mutex);
            m_worker->stop = true;
        }
        m_worker->wake.notify_all();
        m_worker.reset();  // the thread keeps its own share until it ends
        return true;
    }
    auto worker = std::make_shared<Worker>();
    worker->interval = std::chrono::milliseconds(m_interval);
    worker->onTimer = m_onTimer;
    try {
        std::thread(&TFastTimer::Run, worker).detach();
    } catch (const std::system_error&) {
        return false;
    }
    m_worker = std::move(worker);
    return true;
}

void TFastTimer::Run(std::shared_ptr<Worker> worker) {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(worker->mutex);
    Clock::time_point next = Clock::now() + worker->interval;
    bool dueNow = false;
    while (true) {
        if (!dueNow) {
            if (worker->wake.wait_until(lock, next, [&] { return worker->stop; })) {
                return;
            }
            next += worker->interval;
        }
        if (worker->stop) {
            return;
        }
        dueNow = false;
        lock.unlock();
        if (worker->onTimer) {
            worker->onTimer();
        }
        lock.lock();
        // Ticks that fell due during the call merge into one call, made at once; the grid
        // goes on from the first deadline still ahead.
        const Clock::time_point now = Clock::now();
        while (next <= now) {
            next += worker->interval;
            dueNow = true;
        }
    }
}

}  // namespace ktx

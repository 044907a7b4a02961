// SPDX-License-Identifier: GPL-3.0-or-later
// TFastTimer: disabling while the handler runs (from another thread and from the handler
// itself) returns at once and lets no further call start; setting the current state again
// changes nothing. No timing is asserted: the tests wait for events, not for durations.
#include "tools/fast_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace ktx {
namespace {

// A one-shot signal between threads.
class Signal {
  public:
    void Set() {
        {
            const std::lock_guard lock(m_mutex);
            m_set = true;
        }
        m_cv.notify_all();
    }
    void Wait() {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_set; });
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_set = false;
};

// Lets a stopped worker pass any deadline it could still have: far more than the interval.
void Settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

TEST(FastTimerTest, DisablingDuringATickNeitherWaitsForItNorLetsAnotherStart) {
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto entered = std::make_shared<Signal>();
    auto release = std::make_shared<Signal>();
    auto left = std::make_shared<Signal>();
    {
        TFastTimer timer;
        timer.SetInterval(1);
        timer.SetOnTimer([=] {
            if (calls->fetch_add(1) == 0) {
                entered->Set();
                release->Wait();  // the tick is still running while the owner disables
                left->Set();
            }
        });
        ASSERT_TRUE(timer.SetEnabled(true));
        entered->Wait();
        // Returns while the handler is blocked: were it waiting for the tick, the test
        // would hang here (ctest's time-out reports it).
        timer.SetEnabled(false);
        EXPECT_FALSE(timer.Enabled());
    }  // the component is gone while its last tick still runs
    release->Set();
    left->Wait();
    Settle();
    EXPECT_EQ(calls->load(), 1);
}

TEST(FastTimerTest, TheHandlerMayDisableItsOwnTimer) {
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto done = std::make_shared<std::promise<void>>();
    TFastTimer timer;
    timer.SetInterval(1);
    timer.SetOnTimer([&timer, calls, done] {
        if (calls->fetch_add(1) == 0) {
            timer.SetEnabled(false);  // no deadlock: nothing waits for this call
            done->set_value();
        }
    });
    ASSERT_TRUE(timer.SetEnabled(true));
    done->get_future().wait();
    Settle();
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(calls->load(), 1);
}

TEST(FastTimerTest, SettingTheCurrentStateAgainChangesNothing) {
    auto calls = std::make_shared<std::atomic<int>>(0);
    TFastTimer timer;
    EXPECT_EQ(timer.Interval(), 100u);
    EXPECT_EQ(timer.Resolution(), 100u);
    EXPECT_TRUE(timer.SetEnabled(false));
    EXPECT_FALSE(timer.Enabled());
    timer.SetInterval(1);
    auto ticked = std::make_shared<Signal>();
    timer.SetOnTimer([calls, ticked] {
        if (calls->fetch_add(1) == 2) {
            ticked->Set();
        }
    });
    ASSERT_TRUE(timer.SetEnabled(true));
    ASSERT_TRUE(timer.SetEnabled(true));  // still one worker: it keeps ticking after this
    ticked->Wait();
    timer.SetEnabled(false);
    const int after = calls->load();
    Settle();
    // At most the call that was under way when it was disabled.
    EXPECT_LE(calls->load(), after + 1);
    EXPECT_EQ(timer.Interval(), 1u);
    timer.SetInterval(0);
    EXPECT_EQ(timer.Interval(), 1u);  // a period of 0 would spin
}

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The carrier's side of one connection: the instrument's answers wait here until they may
// travel. It plays the carrier faults of the connection's FaultSwitches: each answer is held
// delayMs after the moment it was produced (so a late answer can arrive after the host has
// asked its next question), bytes leave one at a time dripMs apart, and the connection is to be
// closed once dropAfterBytes answer bytes have gone, counted from the connection's start or
// from the moment the drop switch last changed (wherever that falls, inside a binary block too),
// or, with closeMidAnswer, once half of an answer of two bytes or more has gone.
//
// The ktx-sim server and the in-process interface library both carry answers through one of
// these. Not thread-safe; the clock is passed in, so the queue itself never waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "fault_switches.h"

namespace ktx::sim {

class AnswerQueue {
  public:
    using Clock = std::chrono::steady_clock;

    // `faults` are the connection's live switches; borrowed, they must outlive the queue.
    explicit AnswerQueue(const FaultSwitches& faults);

    // Bytes the instrument produced at `now` (empty is fine: it still notes a changed drop
    // switch, so call it after every piece of host input).
    void Push(std::string bytes, Clock::time_point now);
    // What may go out at `now`: empty while nothing is due, at most one byte while dripping,
    // never beyond the drop point. Valid until the next call.
    std::string_view Due(Clock::time_point now);
    // `count` bytes of Due() have gone out at `now`.
    void Consumed(std::size_t count, Clock::time_point now);
    // When the next byte becomes due; nothing when no byte waits.
    std::optional<Clock::time_point> NextDue() const;
    // The drop point is reached: the carrier hangs up.
    bool Dropped();

    std::size_t Held() const { return m_held; }
    bool Empty() const { return m_chunks.empty(); }
    // Forgets every waiting answer (a device clear); the drop count goes on.
    void Clear();

  private:
    struct Chunk {
        std::string bytes;
        std::size_t sent = 0;
        Clock::time_point readyAt;
    };
    void NoteDropSwitch();

    const FaultSwitches& m_faults;
    std::deque<Chunk> m_chunks;
    std::size_t m_held = 0;
    Clock::time_point m_nextByteAt{};  // while dripping: when the next byte may go
    std::int64_t m_passed = 0;         // answer bytes since the start or the drop switch
    std::int64_t m_dropSeen;           // dropAfterBytes when last looked at
    bool m_closedMid = false;          // half an answer went out under closeMidAnswer
};

}  // namespace ktx::sim

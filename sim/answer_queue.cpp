// SPDX-License-Identifier: GPL-3.0-or-later
// Delay, drip and drop of the answers of one connection.
#include "answer_queue.h"

#include <algorithm>

namespace ktx::sim {

AnswerQueue::AnswerQueue(const FaultSwitches& faults)
    : m_faults(faults), m_dropSeen(faults.dropAfterBytes) {}

void AnswerQueue::NoteDropSwitch() {
    // A new drop switch ("KTXSIM:DROP n") counts its bytes from now on.
    if (m_faults.dropAfterBytes != m_dropSeen) {
        m_dropSeen = m_faults.dropAfterBytes;
        m_passed = 0;
    }
}

void AnswerQueue::Push(std::string bytes, Clock::time_point now) {
    NoteDropSwitch();
    if (bytes.empty()) {
        return;
    }
    m_held += bytes.size();
    m_chunks.push_back({std::move(bytes), 0, now + std::chrono::milliseconds(m_faults.delayMs)});
}

std::string_view AnswerQueue::Due(Clock::time_point now) {
    NoteDropSwitch();
    if (m_chunks.empty() || m_chunks.front().readyAt > now) {
        return {};
    }
    const Chunk& chunk = m_chunks.front();
    std::size_t count = chunk.bytes.size() - chunk.sent;
    if (m_faults.dripMs > 0) {
        if (now < m_nextByteAt) {
            return {};
        }
        count = 1;
    }
    if (m_faults.closeMidAnswer && chunk.bytes.size() >= 2) {
        const std::size_t half = chunk.bytes.size() / 2;
        count = std::min(count, half > chunk.sent ? half - chunk.sent : 0);
    }
    if (m_faults.dropAfterBytes >= 0) {
        const std::int64_t allowed = std::max<std::int64_t>(0, m_faults.dropAfterBytes - m_passed);
        count = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(count), allowed));
    }
    return std::string_view(chunk.bytes).substr(chunk.sent, count);
}

void AnswerQueue::Consumed(std::size_t count, Clock::time_point now) {
    if (m_chunks.empty() || count == 0) {
        return;
    }
    Chunk& chunk = m_chunks.front();
    count = std::min(count, chunk.bytes.size() - chunk.sent);
    chunk.sent += count;
    m_held -= count;
    m_passed += static_cast<std::int64_t>(count);
    if (m_faults.dripMs > 0) {
        m_nextByteAt = now + std::chrono::milliseconds(m_faults.dripMs);
    }
    if (m_faults.closeMidAnswer && chunk.bytes.size() >= 2 &&
        chunk.sent >= chunk.bytes.size() / 2) {
        m_closedMid = true;
    }
    if (chunk.sent == chunk.bytes.size()) {
        m_chunks.pop_front();
    }
}

std::optional<AnswerQueue::Clock::time_point> AnswerQueue::NextDue() const {
    if (m_chunks.empty()) {
        return std::nullopt;
    }
    Clock::time_point due = m_chunks.front().readyAt;
    if (m_faults.dripMs > 0) {
        due = std::max(due, m_nextByteAt);
    }
    return due;
}

bool AnswerQueue::Dropped() {
    NoteDropSwitch();
    return m_closedMid || (m_faults.dropAfterBytes >= 0 && m_passed >= m_faults.dropAfterBytes);
}

void AnswerQueue::Clear() {
    m_chunks.clear();
    m_held = 0;
}

}  // namespace ktx::sim

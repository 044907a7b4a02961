// SPDX-License-Identifier: GPL-3.0-or-later
// An in-memory instrument for StreamLink tests: every complete host message (line feed or end
// of message) is answered from a script; the test can also push bytes at any moment, hand them
// out in small pieces, or break the stream.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "byte_stream.h"

namespace ktx::linklib::test {

struct ScriptState {
    std::mutex mutex;
    std::condition_variable arrived;
    std::string sent;                            // everything the host sent
    std::string incoming;                        // bytes waiting for the host
    std::map<std::string, std::string> answers;  // message (without terminator) -> answer bytes
    std::size_t chunk = 1 << 20;                 // at most this many bytes per Receive
    bool broken = false;
    std::size_t messageStart = 0;  // where in `sent` the current message began

    void Push(const std::string& bytes) {
        std::lock_guard lock(mutex);
        incoming += bytes;
        arrived.notify_all();
    }
    std::string Sent() {
        std::lock_guard lock(mutex);
        return sent;
    }
};

class ScriptedStream final : public ByteStream {
  public:
    explicit ScriptedStream(std::shared_ptr<ScriptState> state) : m_state(std::move(state)) {}

    std::ptrdiff_t Send(std::string_view bytes, Clock::time_point /*deadline*/) override {
        std::lock_guard lock(m_state->mutex);
        if (m_state->broken) {
            return -1;
        }
        for (const char c : bytes) {
            m_state->sent += c;
            if (c == '\n') {
                AnswerLocked();
            }
        }
        return static_cast<std::ptrdiff_t>(bytes.size());
    }

    std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) override {
        std::unique_lock lock(m_state->mutex);
        m_state->arrived.wait_until(lock, deadline,
                                    [&] { return m_state->broken || !m_state->incoming.empty(); });
        if (m_state->broken) {
            return -1;
        }
        const std::size_t n = std::min({size, m_state->chunk, m_state->incoming.size()});
        m_state->incoming.copy(buffer, n);
        m_state->incoming.erase(0, n);
        return static_cast<std::ptrdiff_t>(n);
    }

    void Drain(std::string& out) override {
        std::lock_guard lock(m_state->mutex);
        out += m_state->incoming;
        m_state->incoming.clear();
    }

    bool EndOfMessage(Clock::time_point /*deadline*/) override {
        std::lock_guard lock(m_state->mutex);
        if (m_state->messageStart < m_state->sent.size()) {
            AnswerLocked();
        }
        return !m_state->broken;
    }

    bool Close() override { return true; }

  private:
    void AnswerLocked() {
        std::string message = m_state->sent.substr(m_state->messageStart);
        m_state->messageStart = m_state->sent.size();
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
            message.pop_back();
        }
        const auto it = m_state->answers.find(message);
        if (it != m_state->answers.end()) {
            m_state->incoming += it->second;
            m_state->arrived.notify_all();
        }
    }

    std::shared_ptr<ScriptState> m_state;
};

}  // namespace ktx::linklib::test

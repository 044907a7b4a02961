// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/write_behind.h"

#include "analysis/result_writer.h"

namespace ktx {

WriteBehind::WriteBehind(ResultWriter& out, std::size_t bufferBytes)
    : m_out(out), m_used(kDepth, 0) {
    for (std::size_t i = 0; i < kDepth; ++i) {
        m_buffers.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(bufferBytes));
    }
    m_thread = std::thread(&WriteBehind::Run, this);
}

WriteBehind::~WriteBehind() {
    Finish();
}

void WriteBehind::Submit(std::size_t used) {
    std::unique_lock lock(m_mutex);
    m_used[m_submitted % kDepth] = used;
    ++m_submitted;
    m_queued.notify_one();
    // The next buffer must not be one still waiting to be written.
    m_written.wait(lock, [this] { return m_submitted - m_done < kDepth; });
}

void WriteBehind::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [this] { return m_done < m_submitted || m_finish; });
        if (m_done == m_submitted) {
            return;  // finished and nothing left
        }
        const std::size_t slot = m_done % kDepth;
        const std::size_t used = m_used[slot];
        lock.unlock();
        m_out.Write(m_buffers[slot].get(), used);
        lock.lock();
        ++m_done;
        m_written.notify_one();
    }
}

void WriteBehind::Finish() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_finish = true;
    }
    m_queued.notify_one();
    m_thread.join();
}

}  // namespace ktx

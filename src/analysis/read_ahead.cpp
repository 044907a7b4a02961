// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/read_ahead.h"

#include <algorithm>

namespace ktx {

ReadAhead::ReadAhead(const std::string& path) : m_in(path), m_blocks(kDepth) {}

ReadAhead::~ReadAhead() {
    Stop();
}

bool ReadAhead::Start(std::uint64_t offset, std::uint64_t bytes, std::size_t blockBytes) {
    Stop();
    if (!m_in.Seek(offset)) {
        return false;
    }
    m_produced = m_consumed = 0;
    m_done = m_stop = m_holding = m_short = false;
    // A stretch shorter than a block needs no more than itself (whole records: the rest of
    // a block is never filled).
    const std::size_t capacity = static_cast<std::size_t>(
        std::min<std::uint64_t>(blockBytes, std::max<std::uint64_t>(bytes, 1)));
    m_lackedMemory = false;
    if (m_blockCapacity < capacity) {
        m_memory = capacity <= static_cast<std::size_t>(-1) / kDepth
                       ? MakeLargePages<std::uint8_t>(kDepth * capacity)
                       : nullptr;
        m_blockCapacity = m_memory ? capacity : 0;
        if (!m_memory) {
            m_lackedMemory = true;
            return false;
        }
        PrepareLargePages(m_memory.get(), kDepth * capacity);
        for (std::size_t k = 0; k < kDepth; ++k) {
            m_blocks[k].data = m_memory.get() + k * capacity;
        }
    }
    m_thread = std::thread(&ReadAhead::Run, this, bytes, blockBytes);
    return true;
}

void ReadAhead::Run(std::uint64_t bytes, std::size_t blockBytes) {
    std::uint64_t remaining = bytes;
    while (remaining > 0) {
        Block* block = nullptr;
        {
            std::unique_lock lock(m_mutex);
            m_freed.wait(lock, [this] { return m_stop || m_produced - m_consumed < kDepth; });
            if (m_stop) {
                break;
            }
            block = &m_blocks[m_produced % kDepth];
        }
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, blockBytes));
        block->size = m_in.Read(block->data, want);
        remaining -= block->size;
        const bool shortRead = block->size < want;
        {
            std::lock_guard lock(m_mutex);
            if (block->size > 0) {
                ++m_produced;
            }
            if (shortRead) {
                m_short = true;
            }
        }
        m_filled.notify_one();
        if (shortRead) {
            break;
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_filled.notify_one();
}

std::span<const std::uint8_t> ReadAhead::Next() {
    if (!m_thread.joinable()) {
        return {};
    }
    std::unique_lock lock(m_mutex);
    if (m_holding) {
        m_holding = false;
        ++m_consumed;
        m_freed.notify_one();
    }
    m_filled.wait(lock, [this] { return m_produced > m_consumed || m_done; });
    if (m_produced == m_consumed) {
        return {};
    }
    m_holding = true;
    const Block& b = m_blocks[m_consumed % kDepth];
    return {b.data, b.size};
}

void ReadAhead::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_freed.notify_one();
    m_thread.join();
}

}  // namespace ktx

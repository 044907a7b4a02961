// SPDX-License-Identifier: GPL-3.0-or-later
// A stretch of a file read on a thread of its own, a few blocks ahead of the computation that
// consumes it, so that reading and computing overlap. The blocks hold whole records; memory is
// kDepth blocks whatever the length of the file, in one region of large pages kept from one
// stretch to the next.
//
// One consumer thread calls Start, Next and Stop; the reading thread only touches the file and
// the blocks it has not handed over.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "analysis/large_pages.h"
#include "waveform/block_file.h"

namespace ktx {

class ReadAhead {
  public:
    static constexpr std::size_t kDepth = 4;

    explicit ReadAhead(const std::string& path);
    ~ReadAhead();  // stops the reading thread
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    bool IsOpen() const { return m_in.IsOpen(); }
    const FileError& OpenError() const { return m_in.OpenError(); }
    std::uint64_t Size() const { return m_in.Size(); }

    // Begins reading `bytes` bytes from byte `offset` in blocks of `blockBytes` (a whole number
    // of records). Stops an earlier stretch first, so it also rewinds. False when the offset
    // lies beyond the end, the seek failed or the blocks' memory cannot be had (LackedMemory).
    bool Start(std::uint64_t offset, std::uint64_t bytes, std::size_t blockBytes);
    bool LackedMemory() const { return m_lackedMemory; }
    // The next block, valid until the next call of Next, Start or Stop; empty at the end of
    // the stretch. A block is shorter than asked only at the end of the file or on a read
    // error: the stretch ends there and Short() tells.
    std::span<const std::uint8_t> Next();
    bool Short() const { return m_short; }
    // Ends the stretch early (the consumer stopped) and waits for the reading thread.
    void Stop();
    // Up to `n` bytes from byte `offset`, after the stretch was stopped; how many were read.
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) {
        Stop();
        return m_in.ReadAt(offset, dst, n);
    }

  private:
    void Run(std::uint64_t bytes, std::size_t blockBytes);

    struct Block {
        std::uint8_t* data = nullptr;  // in m_memory
        std::size_t size = 0;
    };

    BlockReader m_in;
    LargePages<std::uint8_t> m_memory;  // not cleared: every byte used is read first
    std::size_t m_blockCapacity = 0;
    std::vector<Block> m_blocks;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_filled;
    std::condition_variable m_freed;
    // Blocks are filled and consumed in turn: m_produced and m_consumed count them.
    std::uint64_t m_produced = 0;
    std::uint64_t m_consumed = 0;
    bool m_done = false;     // the reading thread will fill no more blocks
    bool m_stop = false;     // the consumer wants no more blocks
    bool m_holding = false;  // the consumer holds block m_consumed
    std::atomic<bool> m_short = false;
    bool m_lackedMemory = false;
};

}  // namespace ktx

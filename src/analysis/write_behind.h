// SPDX-License-Identifier: GPL-3.0-or-later
// The result of a computation written on a thread of its own while the next block is computed.
// The computing thread fills a buffer and hands it over; the writing thread passes it to the
// ResultWriter. Memory is kDepth buffers whatever the length of the result.
//
// One thread (the one that made the object) calls Buffer, Submit and Finish; the ResultWriter
// must not be used by it between construction and Finish.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ktx {

class ResultWriter;

class WriteBehind {
  public:
    static constexpr std::size_t kDepth = 3;

    WriteBehind(ResultWriter& out, std::size_t bufferBytes);
    ~WriteBehind();  // Finish
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // The buffer to fill next, of the size given to the constructor.
    std::uint8_t* Buffer() { return m_buffers[m_submitted % kDepth].get(); }
    // Queues the first `used` bytes of Buffer() for writing; waits while all buffers are queued.
    void Submit(std::size_t used);
    // Returns when everything submitted has been handed to the ResultWriter.
    void Finish();

  private:
    void Run();

    ResultWriter& m_out;
    std::vector<std::unique_ptr<std::uint8_t[]>> m_buffers;  // not cleared
    std::vector<std::size_t> m_used;
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_written;
    std::uint64_t m_submitted = 0;
    std::uint64_t m_done = 0;
    bool m_finish = false;
    std::thread m_thread;  // last: it starts when everything above is there
};

}  // namespace ktx

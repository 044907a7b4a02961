// SPDX-License-Identifier: GPL-3.0-or-later
// The nine link operations over any ByteStream: message framing, answers, binary blocks, files,
// time-outs and the bookkeeping that keeps stale input away from the next exchange.
//
// Time-outs count "no progress": a call fails when nothing arrives (or nothing can be sent) for
// the time-out in force, so a large block completes at any speed while a stalled one fails.
// All public calls are serialised by an internal mutex; any thread may call.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "byte_stream.h"

namespace ktx::linklib {

class StreamLink {
  public:
    static constexpr std::uint16_t kDefaultTimeoutMs = 1000;
    // How long the line must stay quiet after a line feed before a message without a length
    // ("#0" blocks, text, raw hard copies) counts as complete. Never longer than the time-out.
    static constexpr int kQuietMs = 150;

    explicit StreamLink(std::unique_ptr<ByteStream> stream);
    ~StreamLink();
    StreamLink(const StreamLink&) = delete;
    StreamLink& operator=(const StreamLink&) = delete;

    bool Write(std::string_view text);
    // `buffer` holds KTX_LINK_READ_BUFFER bytes.
    bool Read(char* buffer);
    bool ReceiveFile(const char* fileName);
    bool SendFile(const char* fileName);
    bool ReadData(void* buffer, std::uint32_t count);
    void Clear();
    std::uint16_t SetTimeout(std::uint16_t timeoutMs);
    bool Close();

  private:
    enum class Progress { Data, TimedOut, Failed };
    class FileSink;

    Clock::time_point NextDeadline() const;
    Clock::time_point QuietDeadline() const;
    Progress ReceiveMore(Clock::time_point deadline);
    bool SendAll(std::string_view bytes);
    void Consume(std::size_t count);
    void BeginRead();
    bool FinishRead(bool ok);
    void DropInput();
    void ConsumeTrailingTerminator();
    bool CopyDefiniteBlock(std::uint64_t length, FileSink& sink);
    bool CopyUntilMessageEnd(FileSink& sink, bool successAtTimeout, bool afterLineFeed);
    bool ReceiveFileLocked(FileSink& sink);
    bool ReadDataLocked(unsigned char* out, std::uint32_t count);

    std::mutex m_mutex;
    std::unique_ptr<ByteStream> m_stream;
    std::uint16_t m_timeoutMs = kDefaultTimeoutMs;
    std::string m_pending;         // received, not yet consumed
    std::size_t m_staleBytes = 0;  // front part of m_pending that predates the last write
    bool m_wroteSinceRead = false;
    bool m_afterFailure = false;  // the last read failed: late bytes of it may still come
    std::vector<char> m_chunk;
};

}  // namespace ktx::linklib

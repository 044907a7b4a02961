// SPDX-License-Identifier: GPL-3.0-or-later
// The link operations over any ByteStream: message framing, answers, binary blocks, files,
// time-outs, size bounds, the cause of each failure, and the bookkeeping that keeps late or
// stale input away from the next exchange.
//
// Time-outs: binary blocks and files count "no progress" (a call fails when nothing arrives
// for the time-out in force, so a large block completes at any speed while a stalled one
// fails); a text answer must also be complete within the time-out plus a short grace, counted
// from the call. After a failed read the next command first waits for the late rest of that
// response to pass (see Resynchronise).
// All public calls are serialised by an internal mutex; any thread may call.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "byte_stream.h"
#include "link_status.h"

namespace ktx::linklib {

class StreamLink {
  public:
    static constexpr std::uint16_t kDefaultTimeoutMs = 1000;
    // How long the line must stay quiet after a line feed before a message without a length
    // ("#0" blocks, text, raw hard copies, a late answer) counts as complete. Never longer
    // than the time-out.
    static constexpr int kQuietMs = 150;
    // Size bound of files and blocks, unless the configuration sets another.
    static constexpr std::uint64_t kDefaultReceiveLimit = std::uint64_t{256} << 20;

    explicit StreamLink(std::unique_ptr<ByteStream> stream,
                        std::uint64_t receiveLimit = kDefaultReceiveLimit);
    ~StreamLink();
    StreamLink(const StreamLink&) = delete;
    StreamLink& operator=(const StreamLink&) = delete;

    bool Write(std::string_view text);
    // The text without terminator, as the start of the message the next Write ends.
    bool WriteRaw(std::string_view text);
    // `buffer` holds KTX_LINK_READ_BUFFER bytes.
    bool Read(char* buffer);
    bool ReceiveFile(const char* fileName);
    bool SendFile(const char* fileName);
    bool ReadData(void* buffer, std::uint32_t count);
    void Clear();
    std::uint16_t SetTimeout(std::uint16_t timeoutMs);
    bool Close();
    // The cause of the outcome of the latest call that can fail.
    LinkStatus LastStatus() const;

  private:
    enum class Progress { Data, TimedOut, Failed };
    enum class PictureKind { None, Bmp, Png, Pcx };
    class FileSink;

    Clock::time_point NextDeadline() const;
    Clock::time_point QuietDeadline() const;
    Progress ReceiveMore(Clock::time_point deadline);
    bool SendAll(std::string_view bytes);
    bool WriteLocked(std::string_view text, bool endMessage);
    void Consume(std::size_t count);
    bool Fail(std::int32_t code, std::uint64_t detail = 0, std::uint64_t expected = 0);
    bool FailFor(Progress progress);
    void BeginRead();
    bool FinishRead(bool ok);
    void DropInput();
    void NoteLateInput(std::string_view bytes);
    void Resynchronise();
    void ConsumeTrailingTerminator();
    bool CopyDefiniteBlock(std::uint64_t length, FileSink& sink, bool waitForTerminator = true);
    bool CopyUntilMessageEnd(FileSink& sink, bool successAtTimeout, bool afterLineFeed);
    bool ReceiveFileLocked(FileSink& sink);
    static PictureKind PictureStart(std::string_view bytes, bool& needMore);
    bool CopyUntilQuiet(FileSink& sink);
    bool CopyPng(FileSink& sink);
    bool ReadDataLocked(unsigned char* out, std::uint32_t count);
    bool ReadIndefiniteData(unsigned char* out, std::uint32_t count);

    mutable std::mutex m_mutex;
    std::unique_ptr<ByteStream> m_stream;
    std::uint16_t m_timeoutMs = kDefaultTimeoutMs;
    std::uint64_t m_receiveLimit;
    std::string m_pending;         // received, not yet consumed
    std::size_t m_staleBytes = 0;  // front part of m_pending that predates the last write
    bool m_wroteSinceRead = false;
    bool m_afterFailure = false;  // the last read failed: late bytes of it may still come
    // A read failed: before the next command, wait for its late rest until this moment.
    bool m_resyncOwed = false;
    bool m_lateEnded = false;  // late input seen so far ended with a line feed
    Clock::time_point m_resyncDeadline{};
    LinkStatus m_status;
    std::vector<char> m_chunk;
};

}  // namespace ktx::linklib

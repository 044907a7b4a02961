// SPDX-License-Identifier: GPL-3.0-or-later
// The transport seam of the interface libraries: a bidirectional byte stream with deadlines.
// StreamLink builds the nine link operations on top of it; each library only supplies one of
// these (socket, serial port, USBTMC device, GPIB device, in-process simulator).
//
// One thread at a time drives a stream (StreamLink serialises its calls); Close() may come
// from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace ktx::linklib {

using Clock = std::chrono::steady_clock;

// Drain() takes at most this much per call, so an instrument that never stops talking cannot
// hold a call forever.
constexpr std::size_t kMaxDrainBytes = 16 * 1024 * 1024;

class ByteStream {
  public:
    virtual ~ByteStream() = default;

    // Moves some of `bytes` towards the instrument. Returns how many were taken (at least one),
    // 0 when none could be taken before `deadline`, -1 when the stream is broken. Streams that
    // frame messages themselves may hold the bytes back until EndOfMessage.
    virtual std::ptrdiff_t Send(std::string_view bytes, Clock::time_point deadline) = 0;
    // Waits until bytes arrive or `deadline` passes. Returns how many were stored (at least
    // one), 0 at the deadline, -1 when the stream is broken or closed by the other side.
    virtual std::ptrdiff_t Receive(char* buffer, std::size_t size, Clock::time_point deadline) = 0;
    // Appends whatever has already arrived to `out`, without waiting.
    virtual void Drain(std::string& out) = 0;
    // Marks the end of one host message. Streams that frame messages themselves (GPIB EOI, the
    // simulator) act on it; the result is false when that fails.
    virtual bool EndOfMessage(Clock::time_point /*deadline*/) { return true; }
    // True when messages end with a line feed that the link must add; false for transports
    // that mark the end in their own way (GPIB EOI).
    virtual bool UsesLineTerminator() const { return true; }
    // Makes the instrument drop its unread output and half-received input, on buses that can
    // (GPIB device clear, USBTMC INITIATE_CLEAR). False where the bus has no such thing or it
    // failed; the link then waits for late output to pass instead.
    virtual bool ClearDevice(Clock::time_point /*deadline*/) { return false; }
    virtual bool Close() = 0;
};

}  // namespace ktx::linklib

// SPDX-License-Identifier: GPL-3.0-or-later
// A minimal instrument on a file descriptor (a socket or a pseudo-terminal master), served by a
// thread: answers "*IDN?" and "BLOCK? <n>" (a definite block of n bytes), ignores everything
// else, and hangs up on "HANGUP". Lets the real transports run without the simulator.
//
// It also misbehaves on request, the way broken instruments and lines do:
//   DRIP? <n> <ms>        n bytes "x", one every ms milliseconds, never a line feed (until
//                         hushed)
//   LATE? <ms>            "LATE" after ms milliseconds
//   CUT? <n> <announced>  a block announcing `announced` bytes, n of them, then it hangs up
//                         (a pseudo-terminal cannot be hung up: it falls silent)
//   FLOOD? <n>            n bytes "x" as fast as the line takes them, never a line feed
//   HUGE?                 a block announcing 999 999 999 bytes, 64 KiB of them, then silence
// Commands are served one after another, so a misbehaving one delays the next.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace ktx::linklib::test {

class FakeInstrument {
  public:
    static constexpr const char* kIdentity = "KURVITEX,FAKE,0,1.0";

    // Serves a TCP listener on 127.0.0.1 (one connection) or a pseudo-terminal.
    static FakeInstrument OnTcp();
    static FakeInstrument OnPty();
    FakeInstrument(FakeInstrument&& other) noexcept;
    ~FakeInstrument();

    bool Ok() const { return m_fd >= 0; }
    int Port() const { return m_port; }                     // TCP
    const std::string& Device() const { return m_device; }  // pseudo-terminal slave

    // Starts serving; the thread ends on hang-up, when the other side goes away, or in Stop().
    void Start();
    void Stop();
    // True while a misbehaving answer is still being sent.
    bool Busy() const { return m_busy; }
    // Ends a drip or flood early (the test has seen what it needed).
    void Hush() { m_hush = true; }

    // The bytes of the block answered to "BLOCK? n" (without header and terminator).
    static std::string BlockData(std::size_t n);

  private:
    FakeInstrument() = default;
    void Serve();
    // Plays one of the misbehaving commands; false when `line` is none of them.
    bool Misbehave(int fd, const std::string& line);

    int m_fd = -1;
    bool m_listening = false;
    int m_port = 0;
    std::string m_device;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_hush{false};
    std::thread m_thread;
};

}  // namespace ktx::linklib::test

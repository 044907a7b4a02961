// SPDX-License-Identifier: GPL-3.0-or-later
// A minimal instrument on a file descriptor (a socket or a pseudo-terminal master), served by a
// thread: answers "*IDN?" and "BLOCK? <n>" (a definite block of n bytes), ignores everything
// else, and hangs up on "HANGUP". Lets the real transports run without the simulator.
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

    // The bytes of the block answered to "BLOCK? n" (without header and terminator).
    static std::string BlockData(std::size_t n);

  private:
    FakeInstrument() = default;
    void Serve();

    int m_fd = -1;
    bool m_listening = false;
    int m_port = 0;
    std::string m_device;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace ktx::linklib::test

// SPDX-License-Identifier: GPL-3.0-or-later
// A Prologix-style GPIB controller (GPIB-USB or GPIB-ETHERNET) in front of the simulated
// instrument, as the host sees it: a line-based byte stream. A line that starts with "++" is
// an adapter command; any other line is data for the instrument at the addressed GPIB
// address, in which ESC takes the next byte literally (so binary data can hold CR, LF, ESC and
// "+"), sent with the end-of-string bytes of "++eos" and EOI ("++eoi 1"). The instrument's
// response only reaches the host when the adapter reads it: "++read eoi" (or "++read", or
// automatically after each data line with "++auto 1"); it travels raw, unescaped.
//
// It starts as a factory-fresh adapter would be found after another program used it: in
// device mode with "++auto 1" and "++eos 0", so a host has to configure it ("++mode 1",
// "++addr", "++auto 0", ...) before the instrument hears anything. Only the instrument at
// `address` listens; data for another address goes nowhere, and reads return nothing.
//
// The instrument's output waits in the instrument until a read takes it; a read gives up when
// nothing becomes due within the adapter's read time-out ("++read_tmo_ms"), so an answer the
// delay switch holds back longer stays for the next read. What a read takes passes through the
// connection's AnswerQueue (drip and drop act on the line to the host). Not thread-safe; the
// clock is passed in.
#pragma once

#include <chrono>
#include <deque>
#include <string>
#include <string_view>
#include <utility>

#include "answer_queue.h"
#include "sim_session.h"

namespace ktx::sim {

class PrologixAdapter {
  public:
    using Clock = std::chrono::steady_clock;
    // Data lines longer than this go to the instrument in parts (the message still ends with
    // the line).
    static constexpr std::size_t kMaxLineBytes = std::size_t{64} << 10;

    // The instrument is borrowed and must outlive the adapter.
    PrologixAdapter(InstrumentState& instrument, const FaultSwitches& faults, int address);
    PrologixAdapter(const PrologixAdapter&) = delete;
    PrologixAdapter& operator=(const PrologixAdapter&) = delete;

    // Bytes from the host, split anywhere.
    void FromHost(std::string_view bytes, Clock::time_point now);
    // What goes to the host, with the carrier faults of the connection.
    AnswerQueue& ToHost() { return m_toHost; }
    FaultSwitches& Faults() { return m_session.Faults(); }
    bool AtLineStart() const { return m_line.empty() && !m_escape && !m_dataLine; }

  private:
    void EndLine(Clock::time_point now);
    void Command(const std::string& line, Clock::time_point now);
    void FlushData(bool endOfMessage, Clock::time_point now);
    void CollectOutput(Clock::time_point now);
    void ReadFromInstrument(Clock::time_point now);
    void Say(const std::string& text, Clock::time_point now);
    bool Listening() const { return m_mode == 1 && m_address == m_instrumentAddress; }

    SimSession m_session;
    AnswerQueue m_toHost;
    // The instrument's output not yet read: when it becomes available, and its bytes.
    std::deque<std::pair<Clock::time_point, std::string>> m_output;
    int m_instrumentAddress;
    std::string m_line;       // the line so far, escapes resolved
    bool m_escape = false;    // the last byte was an unescaped ESC
    bool m_dataLine = false;  // part of this data line already went to the instrument
    bool m_commandLine = false;
    std::size_t m_unescapedLead = 0;  // leading bytes of the line that were not escaped
    // Adapter settings.
    int m_mode = 0;
    int m_address = 0;
    int m_auto = 1;
    int m_eoi = 1;
    int m_eos = 0;
    int m_eotEnable = 0;
    int m_eotChar = 0;
    int m_readTimeoutMs = 500;
    int m_saveConfig = 1;
};

}  // namespace ktx::sim

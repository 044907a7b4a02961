// SPDX-License-Identifier: GPL-3.0-or-later
// The Prologix-style adapter's command language and escaping.
#include "prologix_adapter.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>

namespace ktx::sim {

namespace {

constexpr char kEsc = 0x1B;

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

PrologixAdapter::PrologixAdapter(InstrumentState& instrument, const FaultSwitches& faults,
                                 int address)
    : m_session(instrument, faults), m_toHost(m_session.Faults()), m_instrumentAddress(address) {}

void PrologixAdapter::FromHost(std::string_view bytes, Clock::time_point now) {
    for (const char c : bytes) {
        if (m_escape) {
            m_escape = false;
            m_line += c;
        } else if (c == kEsc) {
            m_escape = true;
        } else if (c == '\r' || c == '\n') {
            EndLine(now);
        } else {
            if (m_line.size() == m_unescapedLead) {
                ++m_unescapedLead;
            }
            m_line += c;
            // "++" at the start of a line, unescaped, makes it an adapter command.
            if (m_line.size() == 2 && m_unescapedLead == 2 && m_line == "++" && !m_dataLine) {
                m_commandLine = true;
            }
            if (!m_commandLine && m_line.size() >= kMaxLineBytes) {
                FlushData(false, now);
            }
        }
    }
    // Whatever the instrument was made to say by the fault switches' own timing stays queued.
    m_toHost.Push({}, now);
}

void PrologixAdapter::EndLine(Clock::time_point now) {
    if (m_commandLine) {
        const std::string line = m_line.substr(2);
        m_line.clear();
        m_commandLine = false;
        m_unescapedLead = 0;
        Command(Trim(line), now);
        return;
    }
    if (m_line.empty() && !m_dataLine) {
        m_unescapedLead = 0;
        return;  // an empty line (CR LF) sends nothing
    }
    FlushData(true, now);
    if (m_auto == 1 && m_mode == 1) {
        ReadFromInstrument(now);
    }
}

void PrologixAdapter::FlushData(bool endOfMessage, Clock::time_point now) {
    std::string data;
    data.swap(m_line);
    m_unescapedLead = 0;
    m_dataLine = !endOfMessage;
    if (endOfMessage) {
        static const char* const kEos[] = {"\r\n", "\r", "\n", ""};
        data += kEos[m_eos >= 0 && m_eos <= 3 ? m_eos : 0];
    }
    if (!Listening()) {
        return;  // nobody listens at that address, or the adapter is no controller
    }
    m_session.Receive(data);
    if (endOfMessage && m_eoi == 1) {
        m_session.EndOfMessage();
    }
    CollectOutput(now);
}

void PrologixAdapter::CollectOutput(Clock::time_point now) {
    // The delay switch holds each answer back from the moment of its question.
    const auto delay = std::chrono::milliseconds(m_session.Faults().delayMs);
    std::string output = m_session.TakeOutput();
    if (!output.empty()) {
        m_output.emplace_back(now + delay, std::move(output));
    }
    for (auto& [ms, bytes] : m_session.TakeLater()) {
        m_output.emplace_back(now + delay + std::chrono::milliseconds(ms), std::move(bytes));
    }
}

void PrologixAdapter::ReadFromInstrument(Clock::time_point now) {
    if (!Listening()) {
        return;
    }
    CollectOutput(now);
    // The read waits for the instrument at most the adapter's read time-out; what comes later
    // stays in the instrument. The queue adds the delay itself, so the bytes are pushed as if
    // produced that long before they become due.
    const auto delay = std::chrono::milliseconds(m_session.Faults().delayMs);
    const Clock::time_point givesUp = now + std::chrono::milliseconds(m_readTimeoutMs);
    while (!m_output.empty() && m_output.front().first <= givesUp) {
        m_toHost.Push(std::move(m_output.front().second), m_output.front().first - delay);
        m_output.pop_front();
    }
}

void PrologixAdapter::Say(const std::string& text, Clock::time_point now) {
    m_toHost.Push(text + "\r\n", now);
}

void PrologixAdapter::Command(const std::string& line, Clock::time_point now) {
    std::istringstream words(line);
    std::string name;
    words >> name;
    name = Lower(name);
    std::string argument;
    words >> argument;
    const bool query = argument.empty();
    const int value = std::atoi(argument.c_str());

    if (name == "read") {
        ReadFromInstrument(now);  // until EOI, a character or the time-out: the whole response
        return;
    }
    if (name == "clr") {
        if (Listening()) {
            m_session.DeviceClear();
            m_output.clear();
        }
        m_toHost.Clear();
        return;
    }
    if (name == "ver") {
        Say("Prologix GPIB-ETHERNET Controller version 01.06.06.00 (ktx-sim)", now);
        return;
    }
    if (name == "spoll" || name == "srq") {
        Say("0", now);
        return;
    }
    if (name == "ifc" || name == "loc" || name == "llo" || name == "trg" || name == "rst") {
        return;
    }
    const std::map<std::string, std::pair<int*, std::pair<int, int>>> settings = {
        {"mode", {&m_mode, {0, 1}}},
        {"addr", {&m_address, {0, 30}}},
        {"auto", {&m_auto, {0, 1}}},
        {"eoi", {&m_eoi, {0, 1}}},
        {"eos", {&m_eos, {0, 3}}},
        {"eot_enable", {&m_eotEnable, {0, 1}}},
        {"eot_char", {&m_eotChar, {0, 255}}},
        {"read_tmo_ms", {&m_readTimeoutMs, {1, 3000}}},
        {"savecfg", {&m_saveConfig, {0, 1}}},
    };
    const auto it = settings.find(name);
    if (it == settings.end()) {
        Say("Unrecognized command", now);
        return;
    }
    int& setting = *it->second.first;
    if (query) {
        Say(std::to_string(setting), now);
        return;
    }
    const auto [low, high] = it->second.second;
    if (value < low || value > high) {
        Say("Invalid parameter", now);
        return;
    }
    setting = value;
}

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// Incremental framing of the host's byte stream into commands.
#include "command_scanner.h"

#include <algorithm>

#include "command_header.h"

namespace ktx::sim {

void CommandScanner::Reset() {
    m_state = State::Header;
    m_current.clear();
    m_protectedEnd = 0;
    m_quote = 0;
    m_blockDigitsLeft = 0;
    m_blockLength = 0;
    m_blockLeft = 0;
    m_damaged = false;
    m_rawData = false;
}

bool CommandScanner::RawDataHeader() const {
    // FILES:WRITEF carries a whole instrument file after its name, ";" and all.
    const ParsedCommand command = ParseCommand(m_current);
    return command.components.size() == 2 && MatchesMnemonic("FILESystem", command.components[0]) &&
           MatchesMnemonic("WRITEFile", command.components[1]);
}

void CommandScanner::FinishUnit(bool endOfMessage, std::vector<ScannedUnit>& out) {
    std::size_t end = m_current.size();
    while (end > m_protectedEnd && (m_current[end - 1] == ' ' || m_current[end - 1] == '\t' ||
                                    m_current[end - 1] == '\r')) {
        --end;
    }
    m_current.resize(end);
    std::size_t begin = 0;
    while (begin < m_current.size() && (m_current[begin] == ' ' || m_current[begin] == '\t')) {
        ++begin;
    }
    if (begin < m_current.size() || endOfMessage) {
        ScannedUnit unit;
        unit.text = m_current.substr(begin);
        unit.endOfMessage = endOfMessage;
        unit.damaged = m_damaged;
        // An empty unit only carries the end of a message (a lone line feed after ";").
        out.push_back(std::move(unit));
    }
    m_current.clear();
    m_protectedEnd = 0;
    m_state = State::Header;
    m_damaged = false;
    m_rawData = false;
}

void CommandScanner::Feed(std::string_view bytes, std::vector<ScannedUnit>& out) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (m_state == State::BlockData) {
            const std::size_t take = std::min(m_blockLeft, bytes.size() - i);
            if (!m_damaged) {
                m_current.append(bytes.substr(i, take));
                m_protectedEnd = m_current.size();
            }
            m_blockLeft -= take;
            i += take;
            if (m_blockLeft == 0) {
                m_state = State::Arguments;
            }
            continue;
        }
        const char c = bytes[i++];
        if (m_current.size() >= kMaxUnitBytes && !m_damaged) {
            m_damaged = true;  // keep framing, drop the contents
            m_current.clear();
            m_protectedEnd = 0;
        }
        switch (m_state) {
            case State::Header:
                if (c == '\n') {
                    FinishUnit(true, out);
                } else if (c == ';') {
                    FinishUnit(false, out);
                } else if ((c == ' ' || c == '\t') && !m_current.empty()) {
                    m_rawData = RawDataHeader();
                    m_current += c;
                    m_state = State::Arguments;
                } else if (c != '\r' && !(m_current.empty() && (c == ' ' || c == '\t'))) {
                    m_current += c;
                }
                break;
            case State::Arguments:
                if (c == '\n') {
                    FinishUnit(true, out);
                } else if (c == ';' && !m_rawData) {
                    FinishUnit(false, out);
                } else {
                    if (!m_damaged) {
                        m_current += c;
                    }
                    if (c == '"' || c == '\'') {
                        m_quote = c;
                        m_state = State::Quoted;
                    } else if (c == '#') {
                        m_state = State::Hash;
                    }
                }
                break;
            case State::Quoted:
                if (!m_damaged) {
                    m_current += c;
                }
                if (c == m_quote) {
                    m_state = State::Arguments;
                } else if (c == '\n') {
                    // An unterminated string does not swallow the rest of the session.
                    if (!m_damaged && !m_current.empty()) {
                        m_current.pop_back();
                    }
                    FinishUnit(true, out);
                }
                break;
            case State::Hash:
                if (c >= '1' && c <= '9') {
                    m_current += c;
                    m_blockDigitsLeft = c - '0';
                    m_blockLength = 0;
                    m_state = State::BlockDigits;
                } else if (c == '0') {
                    // Indefinite block: the data run to the end of the message.
                    m_current += c;
                    m_state = State::OpenBlock;
                } else {
                    m_state = State::Arguments;
                    --i;  // not a block: read the byte again as an argument byte
                }
                break;
            case State::BlockDigits:
                if (c >= '0' && c <= '9') {
                    m_current += c;
                    m_blockLength = m_blockLength * 10 + static_cast<std::size_t>(c - '0');
                    if (--m_blockDigitsLeft == 0) {
                        m_blockLeft = m_blockLength;
                        if (m_blockLength > kMaxUnitBytes) {
                            m_damaged = true;
                        }
                        m_state = m_blockLeft == 0 ? State::Arguments : State::BlockData;
                        m_protectedEnd = m_current.size();
                    }
                } else {
                    m_state = State::Arguments;
                    --i;
                }
                break;
            case State::OpenBlock:
                if (c == '\n') {
                    m_protectedEnd = m_current.size();
                    FinishUnit(true, out);
                } else if (!m_damaged) {
                    m_current += c;
                }
                break;
            case State::BlockData:
                break;  // handled above
        }
    }
}

void CommandScanner::EndOfMessage(std::vector<ScannedUnit>& out) {
    if (m_state == State::BlockData || m_state == State::OpenBlock) {
        m_protectedEnd = m_current.size();
    }
    FinishUnit(true, out);
}

}  // namespace ktx::sim

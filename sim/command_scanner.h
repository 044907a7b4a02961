// SPDX-License-Identifier: GPL-3.0-or-later
// Splits the byte stream from the host into commands (program message units). A line feed
// ends a message, ";" ends a command inside it; quoted strings and definite-length blocks
// ("#<d><len><bytes>") are taken whole, so their bytes may hold ";" and line feeds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ktx::sim {

struct ScannedUnit {
    std::string text;           // the command as received, trailing blanks removed
    bool endOfMessage = false;  // the last command of its message
    bool damaged = false;       // over-long or an over-sized block: must not be executed
};

class CommandScanner {
  public:
    // Bytes in any split; completed commands are appended to `out`.
    void Feed(std::string_view bytes, std::vector<ScannedUnit>& out);
    // The carrier saw the end of a message (EOI, end of a sent file): whatever is pending
    // is a complete command, even a block that came short.
    void EndOfMessage(std::vector<ScannedUnit>& out);
    void Reset();
    bool Idle() const { return m_current.empty() && m_state == State::Header; }

    // A single command larger than this is dropped (10 M points in ASCII fit easily).
    static constexpr std::size_t kMaxUnitBytes = std::size_t{256} << 20;

  private:
    enum class State { Header, Arguments, Quoted, Hash, BlockDigits, BlockData, OpenBlock };
    void FinishUnit(bool endOfMessage, std::vector<ScannedUnit>& out);
    bool RawDataHeader() const;

    State m_state = State::Header;
    std::string m_current;
    std::size_t m_protectedEnd = 0;  // bytes before this offset are block data, never trimmed
    char m_quote = 0;
    int m_blockDigitsLeft = 0;
    std::size_t m_blockLength = 0;
    std::size_t m_blockLeft = 0;
    bool m_damaged = false;
    bool m_rawData = false;  // FILES:WRITEF: the data run to the line feed, ";" included
};

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// The server's side of ONC RPC over TCP (RFC 5531, XDR as RFC 4506): record marking, the call
// header, replies. Enough for the simulator's VXI-11 core channel and its port mapper; pure
// functions over bytes, no I/O. Every length read from the wire is bounded before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ktx::sim::rpc {

// XDR encoding: big-endian 32-bit units, opaque data padded to four bytes.
class XdrWriter {
  public:
    void PutUint(std::uint32_t value);
    void PutInt(std::int32_t value) { PutUint(static_cast<std::uint32_t>(value)); }
    void PutOpaque(std::string_view bytes);
    std::string& Bytes() { return m_bytes; }

  private:
    std::string m_bytes;
};

class XdrReader {
  public:
    explicit XdrReader(std::string_view bytes) : m_bytes(bytes) {}
    std::optional<std::uint32_t> Uint();
    std::optional<std::int32_t> Int();
    // Variable-length opaque data or string of at most `limit` bytes.
    std::optional<std::string_view> Opaque(std::size_t limit);

  private:
    std::string_view m_bytes;
    std::size_t m_position = 0;
};

// Collects the fragments of one record from a TCP byte stream.
class RecordAssembler {
  public:
    // Records longer than `limit` bytes are refused (the connection should be closed).
    explicit RecordAssembler(std::size_t limit) : m_limit(limit) {}
    // Takes bytes; call Next() until it returns nothing before feeding more.
    void Feed(std::string_view bytes) { m_input.append(bytes); }
    // The next complete record, if there is one.
    std::optional<std::string> Next();
    bool Broken() const { return m_broken; }

  private:
    std::size_t m_limit;
    std::string m_input;
    std::string m_record;
    bool m_broken = false;
};

// One record of marking for `payload` (a single last fragment).
std::string FrameRecord(std::string_view payload);

struct Call {
    std::uint32_t xid = 0;
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t procedure = 0;
    std::string_view arguments;  // points into the record
};

// The call header of a record; nothing when it is no well-formed RPC version 2 call.
std::optional<Call> ParseCall(std::string_view record);

// accept_stat values.
enum class Accept : std::uint32_t {
    Success = 0,
    ProgramUnavailable = 1,
    ProgramMismatch = 2,
    ProcedureUnavailable = 3,
    GarbageArguments = 4,
};

// An accepted reply (verifier AUTH_NONE) with `results` after a Success status, the supported
// version range after ProgramMismatch.
std::string Reply(std::uint32_t xid, Accept status, std::string_view results = {},
                  std::uint32_t lowVersion = 0, std::uint32_t highVersion = 0);

}  // namespace ktx::sim::rpc

// SPDX-License-Identifier: GPL-3.0-or-later
// ONC RPC record marking, call headers and replies.
#include "onc_rpc.h"

namespace ktx::sim::rpc {

namespace {

constexpr std::uint32_t kLastFragment = 0x80000000u;
constexpr std::uint32_t kCallMessage = 0;
constexpr std::uint32_t kReplyMessage = 1;
constexpr std::uint32_t kRpcVersion = 2;
constexpr std::uint32_t kMessageAccepted = 0;
// Credentials and verifiers carry at most 400 bytes (RFC 5531, opaque_auth).
constexpr std::size_t kMaxAuthBytes = 400;

std::uint32_t Be32(std::string_view bytes) {
    const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
    return static_cast<std::uint32_t>(u[0]) << 24 | u[1] << 16 | u[2] << 8 | u[3];
}

}  // namespace

void XdrWriter::PutUint(std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    m_bytes.append(bytes, 4);
}

void XdrWriter::PutOpaque(std::string_view bytes) {
    PutUint(static_cast<std::uint32_t>(bytes.size()));
    m_bytes.append(bytes);
    m_bytes.append((4 - bytes.size() % 4) % 4, '\0');
}

std::optional<std::uint32_t> XdrReader::Uint() {
    if (m_bytes.size() - m_position < 4) {
        return std::nullopt;
    }
    const std::uint32_t value = Be32(m_bytes.substr(m_position, 4));
    m_position += 4;
    return value;
}

std::optional<std::int32_t> XdrReader::Int() {
    const auto value = Uint();
    if (!value) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

std::optional<std::string_view> XdrReader::Opaque(std::size_t limit) {
    const auto length = Uint();
    if (!length || *length > limit) {
        return std::nullopt;
    }
    const std::size_t padded = (static_cast<std::size_t>(*length) + 3) / 4 * 4;
    if (m_bytes.size() - m_position < padded) {
        return std::nullopt;
    }
    const std::string_view data = m_bytes.substr(m_position, *length);
    m_position += padded;
    return data;
}

std::optional<std::string> RecordAssembler::Next() {
    while (!m_broken && m_input.size() >= 4) {
        const std::uint32_t mark = Be32(m_input);
        const std::size_t length = mark & ~kLastFragment;
        if (m_record.size() + length > m_limit) {
            m_broken = true;
            return std::nullopt;
        }
        if (m_input.size() < 4 + length) {
            return std::nullopt;
        }
        m_record.append(m_input, 4, length);
        m_input.erase(0, 4 + length);
        if ((mark & kLastFragment) != 0) {
            std::string record;
            record.swap(m_record);
            return record;
        }
    }
    return std::nullopt;
}

std::string FrameRecord(std::string_view payload) {
    XdrWriter writer;
    writer.PutUint(kLastFragment | static_cast<std::uint32_t>(payload.size()));
    writer.Bytes().append(payload);
    return std::move(writer.Bytes());
}

std::optional<Call> ParseCall(std::string_view record) {
    XdrReader reader(record);
    Call call;
    const auto xid = reader.Uint();
    const auto type = reader.Uint();
    const auto version = reader.Uint();
    const auto program = reader.Uint();
    const auto programVersion = reader.Uint();
    const auto procedure = reader.Uint();
    if (!procedure || *type != kCallMessage || *version != kRpcVersion) {
        return std::nullopt;
    }
    // Credentials and verifier: flavour and body; the simulator trusts everyone.
    for (int i = 0; i < 2; ++i) {
        if (!reader.Uint() || !reader.Opaque(kMaxAuthBytes)) {
            return std::nullopt;
        }
    }
    call.xid = *xid;
    call.program = *program;
    call.version = *programVersion;
    call.procedure = *procedure;
    // What is left are the arguments: find their start by reading the header again.
    std::size_t used = 6 * 4;
    for (int i = 0; i < 2; ++i) {
        const std::uint32_t length = Be32(record.substr(used + 4, 4));
        used += 8 + (static_cast<std::size_t>(length) + 3) / 4 * 4;
    }
    call.arguments = record.substr(used);
    return call;
}

std::string Reply(std::uint32_t xid, Accept status, std::string_view results,
                  std::uint32_t lowVersion, std::uint32_t highVersion) {
    XdrWriter writer;
    writer.PutUint(0);  // record mark, filled in below
    writer.PutUint(xid);
    writer.PutUint(kReplyMessage);
    writer.PutUint(kMessageAccepted);
    writer.PutUint(0);  // verifier AUTH_NONE
    writer.PutUint(0);
    writer.PutUint(static_cast<std::uint32_t>(status));
    if (status == Accept::Success) {
        writer.Bytes().append(results);
    } else if (status == Accept::ProgramMismatch) {
        writer.PutUint(lowVersion);
        writer.PutUint(highVersion);
    }
    std::string& bytes = writer.Bytes();
    const std::uint32_t mark = kLastFragment | static_cast<std::uint32_t>(bytes.size() - 4);
    bytes[0] = static_cast<char>(mark >> 24);
    bytes[1] = static_cast<char>(mark >> 16);
    bytes[2] = static_cast<char>(mark >> 8);
    bytes[3] = static_cast<char>(mark);
    return std::move(bytes);
}

}  // namespace ktx::sim::rpc

// SPDX-License-Identifier: GPL-3.0-or-later
// IEEE 488.2 block header parser.
#include "block_header.h"

namespace ktx::linklib {

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

BlockHeader ParseBlockHeader(std::string_view text) {
    BlockHeader header;
    if (text.empty() || text[0] != '#') {
        header.kind = BlockHeader::Kind::NotBlock;
        return header;
    }
    if (text.size() < 2) {
        return header;
    }
    if (!IsDigit(text[1])) {
        header.kind = BlockHeader::Kind::NotBlock;
        return header;
    }
    // One digit counts the length digits, so the length has at most 9 digits (< 10^9 bytes).
    const std::size_t digits = static_cast<std::size_t>(text[1] - '0');
    if (digits == 0) {
        header.kind = BlockHeader::Kind::Indefinite;
        header.headerSize = 2;
        return header;
    }
    std::uint64_t length = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        if (2 + i >= text.size()) {
            return header;  // NeedMore: what is there so far is fine
        }
        const char c = text[2 + i];
        if (!IsDigit(c)) {
            header.kind = BlockHeader::Kind::Invalid;
            return header;
        }
        length = length * 10 + static_cast<std::uint64_t>(c - '0');
    }
    header.kind = BlockHeader::Kind::Definite;
    header.headerSize = 2 + digits;
    header.length = length;
    return header;
}

}  // namespace ktx::linklib

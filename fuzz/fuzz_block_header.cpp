// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary text to the IEEE 488.2 block header parser and checks what it promises: it
// never claims more header than it was given nor more than 11 bytes, a definite length stays
// below 10^9, and a header it has judged keeps that judgement when more bytes follow.
#include <cstdint>
#include <string>
#include <string_view>

#include "block_header.h"

using ktx::linklib::BlockHeader;
using ktx::linklib::ParseBlockHeader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text = "#";
    text.append(reinterpret_cast<const char*>(data), size);
    const BlockHeader whole = ParseBlockHeader(text);
    if (whole.headerSize > text.size() || whole.headerSize > 11) {
        __builtin_trap();
    }
    if (whole.kind == BlockHeader::Kind::Definite && whole.length >= 1'000'000'000) {
        __builtin_trap();
    }
    // Every prefix is either still open (NeedMore) or already reaches the same verdict.
    for (std::size_t n = 1; n <= text.size(); ++n) {
        const BlockHeader part = ParseBlockHeader(std::string_view(text).substr(0, n));
        if (part.kind == BlockHeader::Kind::NeedMore) {
            continue;
        }
        if (part.kind != whole.kind || part.headerSize != whole.headerSize ||
            part.length != whole.length) {
            __builtin_trap();
        }
        break;
    }
    return 0;
}

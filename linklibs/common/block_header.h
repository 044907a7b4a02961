// SPDX-License-Identifier: GPL-3.0-or-later
// Parser for the IEEE 488.2 arbitrary block header: "#<d><d digits of length>" (definite) or
// "#0" (indefinite, data up to the end of the message). Pure function, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ktx::linklib {

struct BlockHeader {
    enum class Kind {
        NeedMore,    // the text so far is a valid beginning; more bytes are needed
        Definite,    // length holds the number of data bytes
        Indefinite,  // "#0": data runs to the end of the message
        NotBlock,    // "#" followed by something other than a digit
        Invalid,     // a length digit is no digit
    };
    Kind kind = Kind::NeedMore;
    std::size_t headerSize = 0;  // bytes of the header, "#" included
    std::uint64_t length = 0;    // data bytes of a definite block (below 10^9)
};

// `text` starts with '#'. Never reads more than the header: at most 11 bytes.
BlockHeader ParseBlockHeader(std::string_view text);

}  // namespace ktx::linklib

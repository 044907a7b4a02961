// SPDX-License-Identifier: GPL-3.0-or-later
// The cause of a call's outcome as LinkLastError hands it out: a KTX_LINK_* code and its two
// numbers. Plain data; the texts live in the program's message catalogue.
#pragma once

#include <cstdint>

#include "ktx_link.h"

namespace ktx::linklib {

struct LinkStatus {
    std::int32_t code = KTX_LINK_OK;
    std::uint32_t detail = 0;
    std::uint32_t expected = 0;
};

}  // namespace ktx::linklib

// SPDX-License-Identifier: GPL-3.0-or-later
// Number texts the way the instruments print them: NR1 integers ("2500") and NR3 reals with
// the shortest mantissa that reads back to the same double ("1.5625E-4", "4.0E-6", "0.0E0").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ktx::sim {

std::string FormatNr1(std::int64_t value);
std::string FormatNr3(double value);

// Decimal integer argument ("2500", "+12", " 3 "); a real is rounded ("1.0E3" → 1000).
// Empty, non-numeric or out-of-range text gives nothing.
std::optional<std::int64_t> ParseInteger(std::string_view text);

}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement commands of `ktx`: measure (automatic measurements) and dmm (one multimeter
// reading, in the type-9 DMM commands or the handheld's exclamation set).
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace ktx {

struct KtxEnvironment;

bool IsMeasureCommand(const std::string& command);
// `options` hold the link options of RunLinkCommand and --count, --function, --range, --auto.
// Readings go to `out`, one a line; progress and messages to `err`. Ctrl+C ends a series after
// the reading under way (bounded by the link's time-out).
int RunMeasureCommand(const std::string& command, const std::vector<std::string>& positional,
                      const std::map<std::string, std::string>& options, const KtxEnvironment& env,
                      std::ostream& out, std::ostream& err);

}  // namespace ktx

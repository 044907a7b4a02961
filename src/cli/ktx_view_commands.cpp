// SPDX-License-Identifier: GPL-3.0-or-later
// `ktx compress` and `ktx cut`.
#include "cli/ktx_view_commands.h"

#include <charconv>
#include <optional>
#include <ostream>

#include "cli/ktx_commands.h"
#include "cli/stream_notifier.h"
#include "config/progress.h"
#include "view/wave_processing.h"

namespace ktx {
namespace {

constexpr const char* kViewUsage =
    "Aufruf:\n"
    "  ktx compress DATEI ZIEL --sample|--peak\n"
    "  ktx cut DATEI ZIEL --from A --count N\n";

std::optional<std::int64_t> ParseCount(const std::string& s) {
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < 0) {
        return std::nullopt;
    }
    return v;
}

int Usage(std::ostream& err) {
    err << kViewUsage;
    return kExitUsage;
}

}  // namespace

bool IsViewCommand(const std::string& command) {
    return command == "compress" || command == "cut";
}

int RunViewCommand(const std::string& command, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err) {
    std::vector<std::string> positional;
    bool sample = false;
    bool peak = false;
    std::optional<std::int64_t> from;
    std::optional<std::int64_t> count;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--sample") {
            sample = true;
        } else if (a == "--peak") {
            peak = true;
        } else if (a == "--from" || a == "--count") {
            if (i + 1 >= args.size()) {
                err << "Option " << a << " braucht einen Wert\n";
                return Usage(err);
            }
            const auto v = ParseCount(args[++i]);
            if (!v) {
                err << "ungültige Zahl: " << args[i] << '\n';
                return Usage(err);
            }
            (a == "--from" ? from : count) = v;
        } else if (a.starts_with("--")) {
            err << "Unbekannte Option: " << a << '\n';
            return Usage(err);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) {
        return Usage(err);
    }
    StreamNotifier notifier(err);
    if (command == "compress") {
        if (sample == peak) {
            return Usage(err);
        }
        const std::int64_t f =
            peak ? PeakCompress(positional[0], positional[1], NoProgress(), notifier)
                 : SampleCompress(positional[0], positional[1], NoProgress(), notifier);
        if (f <= 0) {
            return kExitFailure;
        }
        out << "Faktor " << f << '\n';
        return kExitOk;
    }
    if (!from || !count) {
        return Usage(err);
    }
    if (*count > kRangeCopyLimit) {
        err << "höchstens " << kRangeCopyLimit << " Punkte werden kopiert\n";
    }
    return RangeCopy(positional[0], *from, *count, positional[1], NoProgress(), notifier)
               ? kExitOk
               : kExitFailure;
}

}  // namespace ktx

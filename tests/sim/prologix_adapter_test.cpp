// SPDX-License-Identifier: GPL-3.0-or-later
// The emulated Prologix-style adapter as a host meets it: what it passes to the instrument and
// what comes back, for host byte streams written down from the adapter's documented rules
// (lines end at an unescaped CR or LF, "++" starts a command, ESC takes the next byte
// literally, the response only comes on "++read" or with "++auto 1").
#include "prologix_adapter.h"

#include <gtest/gtest.h>

#include <string>

#include "instrument_state.h"

namespace ktx::sim {
namespace {

using Clock = PrologixAdapter::Clock;

constexpr const char* kSetUp = "++mode 1\n++addr 4\n++auto 0\n";

struct AdapterCase {
    const char* name;
    std::string host;      // bytes from the host, after kSetUp unless `raw`
    std::string expected;  // everything the host receives
    bool raw = false;
};

void PrintTo(const AdapterCase& c, std::ostream* os) {
    *os << c.name;
}

class PrologixAdapterTest : public ::testing::TestWithParam<AdapterCase> {};

TEST_P(PrologixAdapterTest, PassesWhatTheRulesSay) {
    SimConfig config;
    config.model = "TDS 210";
    InstrumentState instrument(config);
    PrologixAdapter adapter(instrument, FaultSwitches{}, 4);
    const Clock::time_point now = Clock::now();
    const std::string input = GetParam().raw ? GetParam().host : kSetUp + GetParam().host;
    // Byte by byte: the adapter must not depend on how the host's writes are cut.
    for (const char c : input) {
        adapter.FromHost(std::string_view(&c, 1), now);
    }
    std::string received;
    for (std::string_view due = adapter.ToHost().Due(now); !due.empty();
         due = adapter.ToHost().Due(now)) {
        received += due;
        adapter.ToHost().Consumed(due.size(), now);
    }
    EXPECT_EQ(received, GetParam().expected);
}

const std::string kEsc = "\x1b";

INSTANTIATE_TEST_SUITE_P(
    HostStreams, PrologixAdapterTest,
    ::testing::Values(
        AdapterCase{"ReadAfterQuery", "HEADER OFF\nDATA:WID?\n++read eoi\n", "1\n"},
        AdapterCase{"NoReadNoAnswer", "HEADER OFF\nDATA:WID?\n", ""},
        AdapterCase{"CarriageReturnEndsALineToo", "HEADER OFF\r\nDATA:WID?\r\n++read eoi\r\n",
                    "1\n"},
        AdapterCase{"AutoReadsAfterEveryLine", "++auto 1\nHEADER OFF\nDATA:WID?\n", "1\n"},
        AdapterCase{"UnconfiguredAdapterIsNoController",
                    "++addr 4\nHEADER OFF\nDATA:WID?\n++read eoi\n", "", true},
        AdapterCase{"NobodyAtAnotherAddress", "++addr 5\nHEADER OFF\nDATA:WID?\n++read eoi\n", ""},
        AdapterCase{"SettingsReadBack", "++addr\n++auto\n++eos\n", "4\r\n0\r\n0\r\n"},
        AdapterCase{"VersionAndUnknownCommands", "++ver\n++frobnicate\n",
                    "Prologix GPIB-ETHERNET Controller version 01.06.06.00 (ktx-sim)\r\n"
                    "Unrecognized command\r\n"},
        AdapterCase{"OutOfRangeSettingIsRefused", "++addr 31\n++addr\n",
                    "Invalid parameter\r\n4\r\n"},
        // Escaped CR, LF and ESC are data: a one-point curve holding a line feed goes into a
        // reference memory and comes back as it was.
        AdapterCase{"EscapedBytesAreData",
                    "HEADER OFF;:DATA:ENC RIB;WID 1;DESTINATION REF1\nCURVE #11" + kEsc +
                        "\n\nDATA:SOURCE REF1;START 1;STOP 1\nCURV?\n++read eoi\n",
                    "#11\n\n"},
        AdapterCase{"EscapedEscapeIsData",
                    "HEADER OFF;:DATA:ENC RIB;WID 1;DESTINATION REF1\nCURVE #11" + kEsc + kEsc +
                        "\nDATA:SOURCE REF1;START 1;STOP 1\nCURV?\n++read eoi\n",
                    "#11" + kEsc + "\n"},
        AdapterCase{"EscapedPlusStartsNoCommand",
                    "HEADER OFF\n*CLS\n" + kEsc + "+" + kEsc + "+read eoi\n*ESR?\n++read eoi\n",
                    "32\n"},
        AdapterCase{"ClearDropsTheAnswer", "HEADER OFF\nDATA:WID?\n++clr\n++read eoi\n", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ktx::sim

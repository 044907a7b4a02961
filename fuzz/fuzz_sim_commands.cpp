// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the simulated instrument the way ktx-sim takes them from any TCP
// client: two connections on one instrument, the bytes in any split, with device clears and
// carrier ends of message in between. Control bytes 0xF0 (switch connection), 0xF1 (end of
// message) and 0xF2 (device clear) steer; everything else is host input.
#include <cstdint>
#include <string_view>

#include "instrument_state.h"
#include "sim_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    static constexpr int kTypes[] = {1, 2, 9, 10, 12, 14, 19, 20, 30};
    ktx::sim::SimConfig config;
    config.deviceType = kTypes[data[0] % std::size(kTypes)];
    config.recordLength = 1 + data[1] * 8;  // small records keep the runs fast
    ktx::sim::InstrumentState instrument(config);
    ktx::sim::SimSession first(instrument, {});
    ktx::sim::SimSession second(instrument, {});
    ktx::sim::SimSession* current = &first;
    const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= input.size(); ++i) {
        const unsigned char c = i < input.size() ? static_cast<unsigned char>(input[i]) : 0xF1;
        if (c < 0xF0 || c > 0xF2) {
            continue;
        }
        current->Receive(input.substr(start, i - start));
        start = i + 1;
        if (c == 0xF0) {
            current = current == &first ? &second : &first;
        } else if (c == 0xF1) {
            current->EndOfMessage();
        } else {
            current->DeviceClear();
        }
        current->TakeOutput(static_cast<std::size_t>(i % 7));  // readers take pieces
    }
    first.TakeOutput();
    second.TakeOutput();
    return 0;
}

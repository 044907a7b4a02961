// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/acquisition_settings.h"

#include <algorithm>
#include <charconv>

#include "config/message_catalog.h"
#include "config/notifier.h"
#include "link/command_transport.h"

namespace ktx {

namespace {

constexpr int kMsgNoValidChoice = 14;
constexpr int kMsgOutputFailed = 31;
constexpr int kModeStringBase = 2094;
constexpr int kMaxAverages = 256;
constexpr int kMinCount = 2;
constexpr int kTransferPauseMs = 500;

bool StepsByOne(int deviceType) {
    return deviceType >= 4 && deviceType <= 7;
}

}  // namespace

const char* AcquireModeName(int mode) {
    static constexpr const char* kFallback[] = {"SAM", "PEAK", "ENV", "AVE", "HIR"};
    if (mode < 1 || mode > kAcquireModes) {
        return "";
    }
    const std::string_view text = MessageCatalog::String(kModeStringBase + mode);
    return text.empty() ? kFallback[mode - 1] : text.data();
}

int AcquireCountFromAnswer(std::string_view answer, bool envelope) {
    int value = 0;
    const char* end = answer.data() + answer.size();
    const auto [p, ec] = std::from_chars(answer.data(), end, value);
    if (ec != std::errc() || p != end || answer.empty()) {
        return kMinCount;
    }
    if (envelope && value == 0) {
        return kEnvelopeNoLimit;
    }
    // A count below the least the dialog offers (a bit error on the line, a negative number)
    // would be doubled by "+" until it overflows and be sent back as it is.
    return value < kMinCount ? kMinCount : value;
}

bool AcquireDialogState::HiResEnabled() const {
    switch (deviceType) {
        case 4:
        case 5:
        case 6:
        case 7:
        case 10:
        case 14:
            return true;
        default:
            return false;
    }
}

std::string AcquireDialogState::EnvelopeText() const {
    return envelopes == kEnvelopeNoLimit ? "nl" : std::to_string(envelopes);
}

// A count the instrument reported off the doubling grid (3, 200) would leave the range when
// doubled or halved (1, 400): the step ends at the range's bound instead.
void AcquireDialogState::AveragePlus() {
    if (averages < kMaxAverages) {
        averages = std::min(kMaxAverages, StepsByOne(deviceType) ? averages + 1 : averages * 2);
    }
}

void AcquireDialogState::AverageMinus() {
    if (averages > kMinCount) {
        averages = std::max(kMinCount, StepsByOne(deviceType) ? averages - 1 : averages / 2);
    }
}

void AcquireDialogState::EnvelopePlus() {
    if (envelopes < kEnvelopeNoLimit) {
        envelopes =
            std::min(kEnvelopeNoLimit, StepsByOne(deviceType) ? envelopes + 1 : envelopes * 2);
    }
}

void AcquireDialogState::EnvelopeMinus() {
    if (envelopes > kMinCount) {
        envelopes = std::max(kMinCount, StepsByOne(deviceType) ? envelopes - 1 : envelopes / 2);
    }
}

void ReadAcquireState(CommandTransport& transport, AcquireDialogState& state) {
    state.mode = 0;
    const std::string mode = transport.Query("ACQ:MOD?");
    for (int k = 1; k <= kAcquireModes && !mode.empty(); ++k) {
        if (mode.find(AcquireModeName(k)) != std::string::npos) {
            state.mode = k;
        }
    }
    state.averages = AcquireCountFromAnswer(transport.Query("ACQ:NUMAV?"), false);
    if (state.deviceType > 2) {
        state.envelopes = AcquireCountFromAnswer(transport.Query("ACQ:NUMEN?"), true);
    }
}

bool TransferAcquireState(CommandTransport& transport, Notifier& notifier, int checked,
                          AcquireDialogState& state, const std::function<void(int)>& wait) {
    // Without a mode the counts are not sent either: each step only after the one before.
    bool ok = false;
    if (checked >= 1 && checked <= kAcquireModes) {
        ok = transport.SendCommand(std::string("ACQ:MOD ") + AcquireModeName(checked));
    } else {
        ShowErrorMsg(notifier, kMsgNoValidChoice, 20);
    }
    wait(kTransferPauseMs);
    if (ok) {
        ok = transport.SendCommand("ACQ:NUMAV " + std::to_string(state.averages));
    }
    if (state.EnvelopeEnabled() && ok) {
        ok = transport.SendCommand(state.envelopes == kEnvelopeNoLimit
                                       ? std::string("ACQ:NUMEN INFI")
                                       : "ACQ:NUMEN " + std::to_string(state.envelopes));
    }
    if (ok) {
        ReadAcquireState(transport, state);
    } else if (checked >= 1 && checked <= kAcquireModes) {
        ShowErrorMsg(notifier, kMsgOutputFailed, 4);
    }
    return ok;
}

}  // namespace ktx

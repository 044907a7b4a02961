// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/acquisition_settings.h"

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

// The answer as a whole integer, else 2.
int CountOrTwo(const std::string& answer) {
    int value = 0;
    const char* end = answer.data() + answer.size();
    const auto [p, ec] = std::from_chars(answer.data(), end, value);
    return ec == std::errc() && p == end && !answer.empty() ? value : kMinCount;
}

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

void AcquireDialogState::AveragePlus() {
    if (averages < kMaxAverages) {
        averages = StepsByOne(deviceType) ? averages + 1 : averages * 2;
    }
}

void AcquireDialogState::AverageMinus() {
    if (averages > kMinCount) {
        averages = StepsByOne(deviceType) ? averages - 1 : averages / 2;
    }
}

void AcquireDialogState::EnvelopePlus() {
    if (envelopes < kEnvelopeNoLimit) {
        envelopes = StepsByOne(deviceType) ? envelopes + 1 : envelopes * 2;
    }
}

void AcquireDialogState::EnvelopeMinus() {
    if (envelopes > kMinCount) {
        envelopes = StepsByOne(deviceType) ? envelopes - 1 : envelopes / 2;
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
    state.averages = CountOrTwo(transport.Query("ACQ:NUMAV?"));
    if (state.deviceType > 2) {
        state.envelopes = CountOrTwo(transport.Query("ACQ:NUMEN?"));
        if (state.envelopes == 0) {
            state.envelopes = kEnvelopeNoLimit;
        }
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

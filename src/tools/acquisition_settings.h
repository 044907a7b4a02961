// SPDX-License-Identifier: GPL-3.0-or-later
// What the "Acquire" dialog (`TAcq_dlg`) reads from and sends to the instrument: the
// acquisition mode (Sample, Peak Detect, Envelope, Average, HiRes) and the numbers of
// acquisitions for averaging and envelope, with the +/- steps of each device family.
// UI-free; user-interface thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace ktx {

class CommandTransport;
class Notifier;

// Mode k (1 ... 5) is named by string 2094 + k.
constexpr int kAcquireModes = 5;
const char* AcquireModeName(int mode);  // "SAM", "PEAK", "ENV", "AVE", "HIR"
// 512 envelope acquisitions stand for "no limit".
constexpr int kEnvelopeNoLimit = 512;

struct AcquireDialogState {
    int deviceType = 1;
    int mode = 0;  // 1 ... 5, 0: none recognised
    int averages = 2;
    int envelopes = 2;

    bool EnvelopeEnabled() const { return deviceType >= 3; }
    bool HiResEnabled() const;
    // What the labels show: the number, "nl" for 512 envelopes.
    std::string AverageText() const { return std::to_string(averages); }
    std::string EnvelopeText() const;

    // The +/- buttons: one up or down on device types 4 to 7, doubled or halved on the others;
    // averages stay within 2 ... 256, envelopes within 2 ... 512 (a step that would leave the
    // range ends at its bound; a count above it from the instrument only goes down).
    void AveragePlus();
    void AverageMinus();
    void EnvelopePlus();
    void EnvelopeMinus();
};

// The count an "ACQ:NUMAV?" or "ACQ:NUMEN?" answer gives the dialog: a whole number; an answer
// that is none, or a number below 2, counts 2; the envelope's 0 means no limit (512).
int AcquireCountFromAnswer(std::string_view answer, bool envelope);

// Reading the state: "ACQ:MOD?" (the last mode named in the answer), "ACQ:NUMAV?" and, above
// type 2, "ACQ:NUMEN?", each through AcquireCountFromAnswer.
void ReadAcquireState(CommandTransport& transport, AcquireDialogState& state);

// "Transfer": the first checked mode (`checked` 1 ... 5, 0: none, message 14), 500 ms, the
// average count and, where the envelope is enabled, the envelope count ("INFI" for no limit);
// then the state is read again, or message 31 "Ausgabe fehlgeschlagen".
bool TransferAcquireState(CommandTransport& transport, Notifier& notifier, int checked,
                          AcquireDialogState& state, const std::function<void(int)>& wait);

}  // namespace ktx

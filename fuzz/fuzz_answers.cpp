// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as the instrument's answers the program reads numbers from: the preamble
// values of a transfer (read as a real or an integer, cut to 80 characters, stored as a 6-byte
// real), and the acquisition counts with the dialog's +/- steps. A value stored must read back
// finite and close to what was parsed; a count must stay a count whatever "+" does to it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "tools/acquisition_settings.h"
#include "waveform/real6.h"
#include "waveform/text_number.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view answer(reinterpret_cast<const char*>(data), size);
    if (answer.size() > 80) {
        answer = answer.substr(0, 80);  // what the transfer reads of a preamble answer
    }
    double real = 0;
    for (const bool comma : {false, true}) {
        if (!ktx::ParseReal(answer, real, comma)) {
            continue;
        }
        if (!std::isfinite(real)) {
            __builtin_trap();  // ParseReal promises a finite real
        }
        const double stored = ktx::Real6::FromDouble(real).ToDouble();
        if (!std::isfinite(stored) || std::fabs(stored) > ktx::Real6::kMax) {
            __builtin_trap();
        }
        const double magnitude = std::fabs(real);
        if (magnitude >= 1e-30 && magnitude <= 1e30 &&
            std::fabs(stored - real) > magnitude * 1e-11) {
            __builtin_trap();  // 39 fraction bits hold eleven decimal digits
        }
    }
    long long integer = 0;
    ktx::ParseInteger(answer, integer);

    for (const bool envelope : {false, true}) {
        ktx::AcquireDialogState s;
        s.deviceType = size > 0 ? data[0] % 21 : 1;
        s.averages = s.envelopes = ktx::AcquireCountFromAnswer(answer, envelope);
        const int first = s.averages;
        for (int i = 0; i < 12; ++i) {
            s.AveragePlus();
            s.EnvelopePlus();
            if (s.averages > std::max(first, 256) || s.envelopes > std::max(first, 512)) {
                __builtin_trap();
            }
        }
        for (int i = 0; i < 40; ++i) {
            s.AverageMinus();
            s.EnvelopeMinus();
        }
        if (s.averages < 2 || s.envelopes < 2) {
            __builtin_trap();  // the steps keep a count within its range
        }
        s.AverageText();
        s.EnvelopeText();
    }
    return 0;
}

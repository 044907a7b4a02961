// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as the answers the measurement, multimeter, logger and display-mode code read:
// a value ("MEASU:MEAS1:VAL?", "DMM:VAL?") and the text it is shown as, the handheld's
// status ("!h00?") as the range dialog and the logger read it, its readings ("!M?", "!U?") as
// "Mess" shows them, and the display mode ("DIS:MOD?"). The input is one answer as the transport
// hands it back (cut to its answer length), and split at line feeds into status, readings and
// units for the handheld's "Mess".
//
// Beyond "no crash": a number parsed is finite and agrees with what the other reader of the same
// answer makes of it; a shown value reads back as the value within its four decimals; nothing
// shows "inf" or "nan"; texts stay short.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "config/program_state.h"
#include "link/command_transport.h"
#include "tools/acquisition_control.h"
#include "tools/data_logger.h"
#include "tools/format_with_prefix.h"
#include "tools/measurement.h"
#include "tools/multimeter.h"
#include "waveform/text_number.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool Shows(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}

// The value a shown text stands for: its number times the prefix's factor.
void CheckShown(double value, const std::string& unit) {
    const std::string text = ktx::FormatWithPrefix(value, unit);
    // "-", three digits, ".dddd", the prefix; values of 1E12 and more keep all their digits in G.
    const int exponent =
        value == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(value))));
    Check(text.size() <= static_cast<std::size_t>(std::max(exponent, 10) + 2) + unit.size());
    Check(!Shows(text, "inf") && !Shows(text, "nan"));
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    Check(end != text.c_str());
    static const char kPrefixes[] = "pnumkMG";
    static const double kFactors[] = {1e-12, 1e-9, 1e-6, 1e-3, 1e3, 1e6, 1e9};
    double factor = 1.0;
    std::size_t rest = static_cast<std::size_t>(end - text.c_str());
    if (rest < text.size() && text.compare(rest, unit.size(), unit) != 0) {
        const char* p = std::strchr(kPrefixes, text[rest]);
        Check(p != nullptr && *p != '\0');
        factor = kFactors[p - kPrefixes];
        ++rest;
    }
    Check(text.compare(rest, std::string::npos, unit) == 0);
    // Four decimals of the scaled number, and the rounding of the scaling itself.
    Check(std::fabs(number * factor - value) <= 0.5e-4 * factor + 1e-12 * std::fabs(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string answer(reinterpret_cast<const char*>(data), size);
    if (answer.size() > ktx::CommandTransport::kMaxAnswer) {
        answer.resize(ktx::CommandTransport::kMaxAnswer);
    }

    // A measured value, as the measurement dialog, the DMM and the logger read it.
    double value = 0.0;
    if (ktx::ParseInstrumentNumber(answer, value)) {
        Check(std::isfinite(value));
        double real = 0.0;
        if (ktx::ParseReal(answer, real)) {
            Check(real == value);  // the logger reads the same answer as the same number
        }
        if (value < ktx::Measurement::kNoValidResult) {
            CheckShown(value, "V");
        }
    }
    // A value the instrument writes must read back exactly ("%.17E" is what it may send).
    if (size >= sizeof(double)) {
        double written = 0.0;
        std::memcpy(&written, data, sizeof written);
        if (std::isfinite(written)) {
            char text[64];
            std::snprintf(text, sizeof text, " %.17E\r", written);
            double read = 0.0;
            Check(ktx::ParseInstrumentNumber(text, read) && read == written);
            CheckShown(written, "Hz");
        }
    }

    // The handheld's status: the range dialog and the logger read the same status byte.
    const std::optional<ktx::HandheldStatus> status = ktx::ParseHandheldStatus(answer);
    const std::optional<int> nibble = ktx::HandheldStatusNibble(answer);
    if (status) {
        Check(answer.size() == 36);
        Check(status->statusByte < 256);
        Check(nibble && static_cast<unsigned>(*nibble) == (status->statusByte & 0xF));
        Check(status->rangeCode.size() == 1);
        const unsigned function =
            static_cast<unsigned>(std::strtoul(answer.substr(34, 2).c_str(), nullptr, 16));
        Check(std::atoi(status->functionNumber.c_str()) == static_cast<int>(function));
        Check(status->functionNumber.size() == (function < 100 ? 2u : 3u));
    }
    if (nibble) {
        Check(*nibble >= 0 && *nibble < 16);
    }
    // A reading "M0;1.5E0": the logger and the range dialog take the same number from it.
    if (const std::optional<double> reading = ktx::HandheldReading(answer)) {
        Check(std::isfinite(*reading));
        double shown = 0.0;
        const std::size_t semicolon = answer.find(';');
        if (ktx::ParseInstrumentNumber(answer.substr(semicolon + 1), shown)) {
            Check(shown == *reading);
        }
    }

    // "DIS:MOD?": "SCO" wins over "MET".
    const std::optional<int> mode = ktx::DisplayModeFromAnswer(answer);
    if (Shows(answer, "SCO")) {
        Check(mode == ktx::kModeOscilloscope);
    } else {
        Check(Shows(answer, "MET") ? mode == ktx::kModeMultimeter : !mode.has_value());
    }

    // "Mess" of the handheld: status, main reading, secondary reading and units, one a line.
    std::vector<std::string> parts;
    std::size_t from = 0;
    const std::string all(reinterpret_cast<const char*>(data), size);
    while (parts.size() < 3) {
        const std::size_t lf = all.find('\n', from);
        parts.push_back(all.substr(from, lf == std::string::npos ? std::string::npos : lf - from));
        from = lf == std::string::npos ? all.size() : lf + 1;
    }
    std::string units = all.substr(from, 40);
    ktx::HandheldMeter::Reading shown;
    const bool ok =
        ktx::HandheldMeter::ReadingFromAnswers(parts[0], parts[1], parts[2], units, shown);
    if (parts[0].size() != 36) {
        Check(!ok);
    }
    for (const std::string* text : {&shown.main, &shown.secondary}) {
        // Single precision in G: "-", up to 30 digits, ".dddd", "G", the unit.
        Check(text->size() <= 40 + units.size());
        // A word, the main unit alone (no reading), or a number: never "inf" or "nan".
        if (!text->empty() && *text != "over Range" && *text != "short" && *text != "open" &&
            *text != units.substr(0, units.find(';'))) {
            const std::size_t digit = (*text)[0] == '-' ? 1 : 0;
            Check(digit < text->size() && std::isdigit(static_cast<unsigned char>((*text)[digit])));
        }
    }
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The fault switches of the simulated instrument and their names. ktx-sim's options, the [SIM]
// keys of the in-process library, the KTXSIM commands and ktx-sim --help all take them from
// the table here, so a switch is added in one place and clamped the same way everywhere.
//
// Instrument faults (silent, garbage, truncated block) change what the instrument answers;
// carrier faults (drop, delay, drip, close mid-answer) change how its answers travel and are played
// by whoever carries the bytes (AnswerQueue). Every connection has its own copy: a switch set
// through the command language changes only the connection that sent it.
#pragma once

#include <cstdint>
#include <span>

namespace ktx::sim {

struct FaultSwitches {
    bool silent = false;               // accept commands, never answer
    bool garbage = false;              // answer queries with bytes that are no valid answer
    bool truncateBlock = false;        // binary blocks carry fewer bytes than announced
    std::int64_t dropAfterBytes = -1;  // carrier: close after this many answer bytes (-1: never)
    int delayMs = 0;                   // carrier: hold each answer this long after its question
    int dripMs = 0;                    // carrier: answer bytes one at a time, this far apart
    bool closeMidAnswer = false;       // carrier: close when half of the next answer has gone
    // Screen pictures (hard copies): cut to half, held this long after the first line feed
    // inside, ending in a line feed, with "#1" among the first bytes.
    bool pictureCut = false;
    int picturePauseMs = 0;
    bool pictureLineFeed = false;
    bool pictureHash = false;
    // Not a fault: type 12 names the telecom mask application in its identification.
    bool telecom = false;
    // Measurement faults: value queries ("MEASU:...:VAL?", "DMM:VAL?", "!M?") answer 9.9E37,
    // the instruments' "no valid result", for the next this many queries (-1: every one).
    std::int64_t invalidResults = 0;
    // A single sequence ("ACQ:STOPA SEQ", "ACQ:STATE RUN") triggers this long after it was
    // armed; "TRIG:STATE?" answers READY until then.
    int sequenceDelayMs = 0;
};

enum class FaultSwitch {
    Silent,
    Garbage,
    Truncate,
    DropAfter,
    Delay,
    Drip,
    CloseMid,
    PictureCut,
    PicturePause,
    PictureLineFeed,
    PictureHash,
    Telecom,
    Invalid,
    SequenceDelay,
};

struct FaultSwitchName {
    FaultSwitch which;
    const char* option;    // ktx-sim option ("--drop-after")
    const char* key;       // [SIM] key of the in-process library ("DROPAFTER")
    const char* argument;  // what the option takes ("N", "MS"); empty for on/off switches
    const char* help;      // one line for ktx-sim --help
};

std::span<const FaultSwitchName> FaultSwitchNames();

// Sets one switch: on/off switches take any non-zero value as on; a negative drop count means
// never, a negative invalid count always; delays are clamped to 0 ... 600 000 ms.
void SetFaultSwitch(FaultSwitches& faults, FaultSwitch which, std::int64_t value);
// The switch's value as SetFaultSwitch takes it (on/off as 1/0).
std::int64_t FaultSwitchValue(const FaultSwitches& faults, FaultSwitch which);

}  // namespace ktx::sim

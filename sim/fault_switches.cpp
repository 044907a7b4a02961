// SPDX-License-Identifier: GPL-3.0-or-later
// Names, limits and help texts of the fault switches.
#include "fault_switches.h"

#include <algorithm>

namespace ktx::sim {

namespace {

// Ten minutes: longer than any time-out a host uses, short enough to stay an int.
constexpr std::int64_t kMaxWaitMs = 600'000;

constexpr FaultSwitchName kNames[] = {
    {FaultSwitch::Silent, "--silent", "SILENT", "", "accept commands, never answer"},
    {FaultSwitch::Garbage, "--garbage", "GARBAGE", "",
     "answer every query with bytes that are no valid answer"},
    {FaultSwitch::Truncate, "--truncate-block", "TRUNCATE", "",
     "binary blocks carry fewer bytes than they announce"},
    {FaultSwitch::DropAfter, "--drop-after", "DROPAFTER", "N",
     "close the connection after N answer bytes (-1: never), also inside a block"},
    {FaultSwitch::Delay, "--delay", "DELAY", "MS",
     "hold each answer MS milliseconds after its question (a late answer)"},
    {FaultSwitch::Drip, "--drip", "DRIP", "MS", "send answer bytes one at a time, MS ms apart"},
    {FaultSwitch::CloseMid, "--close-mid", "CLOSEMID", "",
     "close the connection when half of the next answer (of two bytes or more) has gone"},
    {FaultSwitch::PictureCut, "--picture-cut", "PICTURECUT", "",
     "screen pictures stop after half their bytes"},
    {FaultSwitch::PicturePause, "--picture-pause", "PICTUREPAUSE", "MS",
     "screen pictures pause MS ms after their first line feed byte"},
    {FaultSwitch::PictureLineFeed, "--picture-lf", "PICTURELF", "",
     "BMP and PCX screen pictures end in a line feed byte"},
    {FaultSwitch::PictureHash, "--picture-hash", "PICTUREHASH", "",
     "screen pictures hold \"#1\" and a letter among their first bytes"},
    {FaultSwitch::Telecom, "--telecom", "TELECOM", "",
     "type 12 has the telecom mask application (TDS3TMT in *IDN?)"},
    {FaultSwitch::Invalid, "--invalid", "INVALID", "N",
     "the next N measured values are 9.9E37, no valid result (-1: all of them)"},
    {FaultSwitch::SequenceDelay, "--sequence-delay", "SEQUENCEDELAY", "MS",
     "a single sequence triggers MS ms after it was armed"},
};

}  // namespace

std::span<const FaultSwitchName> FaultSwitchNames() {
    return kNames;
}

void SetFaultSwitch(FaultSwitches& faults, FaultSwitch which, std::int64_t value) {
    const int wait = static_cast<int>(std::clamp<std::int64_t>(value, 0, kMaxWaitMs));
    switch (which) {
        case FaultSwitch::Silent:
            faults.silent = value != 0;
            break;
        case FaultSwitch::Garbage:
            faults.garbage = value != 0;
            break;
        case FaultSwitch::Truncate:
            faults.truncateBlock = value != 0;
            break;
        case FaultSwitch::DropAfter:
            faults.dropAfterBytes = value < 0 ? -1 : value;
            break;
        case FaultSwitch::Delay:
            faults.delayMs = wait;
            break;
        case FaultSwitch::Drip:
            faults.dripMs = wait;
            break;
        case FaultSwitch::CloseMid:
            faults.closeMidAnswer = value != 0;
            break;
        case FaultSwitch::PictureCut:
            faults.pictureCut = value != 0;
            break;
        case FaultSwitch::PicturePause:
            faults.picturePauseMs = wait;
            break;
        case FaultSwitch::PictureLineFeed:
            faults.pictureLineFeed = value != 0;
            break;
        case FaultSwitch::PictureHash:
            faults.pictureHash = value != 0;
            break;
        case FaultSwitch::Telecom:
            faults.telecom = value != 0;
            break;
        case FaultSwitch::Invalid:
            faults.invalidResults = value < 0 ? -1 : value;
            break;
        case FaultSwitch::SequenceDelay:
            faults.sequenceDelayMs = wait;
            break;
    }
}

std::int64_t FaultSwitchValue(const FaultSwitches& faults, FaultSwitch which) {
    switch (which) {
        case FaultSwitch::Silent:
            return faults.silent ? 1 : 0;
        case FaultSwitch::Garbage:
            return faults.garbage ? 1 : 0;
        case FaultSwitch::Truncate:
            return faults.truncateBlock ? 1 : 0;
        case FaultSwitch::DropAfter:
            return faults.dropAfterBytes;
        case FaultSwitch::Delay:
            return faults.delayMs;
        case FaultSwitch::Drip:
            return faults.dripMs;
        case FaultSwitch::CloseMid:
            return faults.closeMidAnswer ? 1 : 0;
        case FaultSwitch::PictureCut:
            return faults.pictureCut ? 1 : 0;
        case FaultSwitch::PicturePause:
            return faults.picturePauseMs;
        case FaultSwitch::PictureLineFeed:
            return faults.pictureLineFeed ? 1 : 0;
        case FaultSwitch::PictureHash:
            return faults.pictureHash ? 1 : 0;
        case FaultSwitch::Telecom:
            return faults.telecom ? 1 : 0;
        case FaultSwitch::Invalid:
            return faults.invalidResults;
        case FaultSwitch::SequenceDelay:
            return faults.sequenceDelayMs;
    }
    return 0;
}

}  // namespace ktx::sim

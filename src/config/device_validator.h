// SPDX-License-Identifier: GPL-3.0-or-later
// The check an instrument definition file must pass before it can be selected: the keys every
// later dialog relies on are present and sensible for the file's device type. The first fault
// found is the one reported; later keys are not looked at.
#pragma once

#include <optional>
#include <string>

namespace ktx {

class Notifier;

// The first fault of a file: validator message k (string 1000 + k) and, for entries of a
// list, the 1-based entry number that is appended to the text.
struct DeviceFileFault {
    int message = 0;
    int index = -1;  // -1: no entry number

    friend bool operator==(const DeviceFileFault&, const DeviceFileFault&) = default;
};

// The first fault of the file at `path`, or nothing when it is valid. An empty path, a missing
// or unreadable file reads as a file without keys and so fails with message 1 (no name).
std::optional<DeviceFileFault> FindDeviceFileFault(const std::string& path);

// The catalogue text of a fault as the user reads it ("ungültiger Eintrag für MEASDMM S2").
std::string DeviceFileFaultText(const DeviceFileFault& fault);

// Checks the file and shows its first fault as an error (no help context); true when valid.
bool ValidateDeviceFile(const std::string& path, Notifier& notifier);

}  // namespace ktx

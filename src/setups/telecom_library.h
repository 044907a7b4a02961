// SPDX-License-Identifier: GPL-3.0-or-later
// The telecom set-up library: the folder "Telecom" in the program folder holds, per entry, a
// set-up ("name.set"), its description (the first line of "name.dat") and optionally a picture
// of the mask ("name.bmp"). Only instruments with the telecom mask application answer "*IDN?"
// with "TDS3TMT"; the library is offered to them alone.
#pragma once

#include <string>
#include <vector>

namespace ktx {

class CommandTransport;
class Notifier;

struct TelecomEntry {
    std::string description;  // first line of the ".dat" file
    std::string setFile;      // full path of the ".set" file
    std::string picture;      // full path of the ".bmp" file; empty when there is none
};

// The entries of `folder`, sorted by file name (so the list does not depend on the order the
// file system lists them in). A ".set" without its ".dat" is left out; ".dat" and ".bmp" are
// found whatever the case of their extension.
std::vector<TelecomEntry> ReadTelecomLibrary(const std::string& folder);

// "*IDN?" names the telecom mask application; message 311 "Modul nicht vorhanden" otherwise.
bool HasTelecomModule(CommandTransport& transport, Notifier& notifier);

}  // namespace ktx

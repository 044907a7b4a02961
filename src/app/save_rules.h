// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the shared save dialog and the channel choice, without the dialogs.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "waveform/wave_file.h"

namespace ktx {

// "Description|*.ext|Description|*.ext" as pairs of description and mask.
std::vector<std::pair<std::string, std::string>> ParseFilter(const std::string& filter);

// How the save dialog spells the names it hands back.
enum class NameCase {
    Upper,    // file names ignore case (Windows): upper-cased, as the dialog always did
    AsTyped,  // file names tell case apart: as typed, an added extension in lower case
};
#ifdef _WIN32
constexpr NameCase kFileNameCase = NameCase::Upper;
#else
constexpr NameCase kFileNameCase = NameCase::AsTyped;
#endif

// The name the save dialog hands back: the typed name in `folder` (a typed absolute path keeps
// its own folder) with the mask's extension (characters 2 to 5 of "*.KTX") in place of its own.
// Upper-cased, only the file name: upper-casing the folder would name another, usually missing,
// folder. As typed, an extension that already is the mask's keeps its spelling, and a file that
// exists under the name in other letter case is the one meant ("bild1" is BILD1.BMP when that
// is there), so the overwrite question finds it and no second file appears beside it.
std::string ResolveSaveName(const std::string& folder, const std::string& typed,
                            const std::string& mask, NameCase nameCase = kFileNameCase);

// What the save dialog does with a resolved name.
enum class SaveCheck {
    Accept,
    InvalidName,  // contains "*": message 42
    Exists,       // ask with message 306 before overwriting
};
SaveCheck CheckSaveName(const std::string& name);

// The channel the channel dialog preselects: the first whose unit is not "#"; -1 when none is.
int FirstPresentChannel(const UnitStrings& units);

}  // namespace ktx

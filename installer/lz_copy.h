// SPDX-License-Identifier: GPL-3.0-or-later
// Copying files from the installation medium: a file compressed with the Microsoft LZ
// compressor (SZDD, as `compress.exe` and `mscompress` write it) is expanded, any other file is
// copied unchanged. The target only appears when the copy is complete (SafeFile): a failed copy
// leaves no partial file behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/safe_file.h"

namespace ktx {

// The size a file takes once copied: the expanded length stated in an SZDD header, the file's
// own size otherwise; nullopt when it cannot be read.
std::optional<std::uint64_t> ExpandedSize(const std::string& path);

// The name a file of a data folder is installed under: a compressed "name.tx_" gets back the
// letter its header keeps, a compressed "name.txt_" loses the "_"; other names stay.
std::string ExpandedName(const std::string& path);

// True when the file starts with an SZDD signature (normal or QBasic form).
bool IsLzCompressed(const std::string& path);

// How the copied file's permissions are set once it is in place: read/write for the owner,
// read for the rest, plus execute for everyone when `executable` or the source has an execute
// bit (an installed program must stay runnable).
struct LzCopyResult {
    bool ok = false;
    std::string error;  // English text of the failure, naming the file, when !ok
};
LzCopyResult LzCopy(const std::string& source, const std::string& target, bool executable);

}  // namespace ktx

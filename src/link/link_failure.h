// SPDX-License-Identifier: GPL-3.0-or-later
// Why an exchange with the instrument failed, as the user reads it: the cause an interface
// library reports (a KTX_LINK_* code and its numbers, see ktx_link.h) in German.
#pragma once

#include <cstdint>
#include <string>

namespace ktx {

struct FileError;

struct LinkFailure {
    int code = 0;  // KTX_LINK_E_*; 0: no failure, or its cause is unknown
    std::uint32_t detail = 0;
    std::uint32_t expected = 0;
    std::string text;  // German, from the message catalogue; empty when the cause is unknown

    bool Known() const { return !text.empty(); }
};

// The text for a library's cause ("Zeitüberschreitung nach 1000 ms", "Block kürzer als
// angekündigt: 10007 von 20000 Bytes"). Codes this program does not know are named by number.
std::string LinkFailureText(int code, std::uint32_t detail, std::uint32_t expected);

// The failure with its text.
LinkFailure MakeLinkFailure(int code, std::uint32_t detail, std::uint32_t expected);
// A file the program itself could not write (the target of a receive): the file message that
// fits ("Dateizugriff verweigert", "Schreibfehler") with the file and its cause.
LinkFailure MakeFileFailure(const FileError& error);

}  // namespace ktx

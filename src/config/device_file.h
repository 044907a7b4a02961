// SPDX-License-Identifier: GPL-3.0-or-later
// Accessors of the instrument definition file (Driver/kt_*.ini). Each reads the file afresh;
// a missing file yields the defaults. The structs returned by value hold what one dialog needs
// of one section; lists are bounded by kMaxListEntries, whatever COUNT a file claims.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ktx {

class ProfileFile;

// Interface bits of [INTERFACE] and [SSDLL] T<n>.
constexpr int kInterfaceRs232 = 1;
constexpr int kInterfaceGpib = 2;
constexpr int kInterfaceLan = 4;
constexpr int kInterfaceUsb = 8;

// [DEVICE] ENCDG: how waveforms are sent to the instrument.
constexpr int kEncodingAscii = 0;  // "ASC" and anything unknown
constexpr int kEncodingByte = 1;   // "BYT"
constexpr int kEncodingWord = 2;   // "WOR"

// PictureFormat: the hard-copy format of the instrument.
constexpr int kPicturePcx = 0;
constexpr int kPictureBmp = 1;
constexpr int kPicturePng = 2;

// The pause picture fetch waits for a type-2 hard copy when the file names none, in ms.
constexpr int kPictureWaitDefault = 1000;

// A file claiming more entries than this in one list is read up to here only; no instrument
// has that many sources, ranges or record lengths.
constexpr int kMaxListEntries = 1000;

// [DEVICE] TYPE, default 1 (so a missing file is a type-1 instrument).
int ReadDeviceType(const std::string& deviceFile);
// [DEVICE] NAME, default "NONAME", at most 255 characters.
std::string ReadDeviceName(const std::string& deviceFile);
// [DEVICE] ENCDG (default "ASC"): the first three characters, upper-cased, give kEncoding*.
int ReadEncoding(const std::string& deviceFile);
// [DEVICE] WAIT in ms; `defaultWait` when missing (0 for set-ups, kPictureWaitDefault for the
// type-2 hard copy).
int ReadDeviceWait(const std::string& deviceFile, int defaultWait = 0);
// [DEVICE] TMO, default 10: the time-out in seconds while a set-up is sent (every shipped file
// has 10, the slower type-2 instruments 20; as milliseconds those would fail every set-up).
int ReadDeviceTimeout(const std::string& deviceFile);
// TMO as the interface library takes it: milliseconds, at most 65 535 (the 16-bit time-out,
// about 65 s). A TMO of 0 or less counts as the default 10 s: a zero time-out would fail every
// group of the set-up.
std::uint16_t DeviceTimeoutMs(int tmoSeconds);
// DeviceTimeoutMs(ReadDeviceTimeout(deviceFile)): what the set-up transfer hands to
// LinkSetTimeout.
std::uint16_t ReadDeviceTimeoutMs(const std::string& deviceFile);
// The interface mask from [INTERFACE] RS232, GPIB, LAN and USB (each 0 or 1, default 0).
int ReadInterfaces(const std::string& deviceFile);
// [COLOR] ENABLE = 1: the instrument delivers colour hard copies.
bool ReadColourCapable(const std::string& deviceFile);

struct PictureFormat {
    int format = kPicturePcx;  // kPicture*
    std::string ext = "PCX";   // PictureExt: at most 3 characters, upper case
};
// [TRANSFER] MODE, default "PCX": contains "BMP" gives BMP, else contains "PNG" gives PNG, else
// PCX (the test is case-sensitive, as the instruments spell their formats); the extension is
// the first three characters upper-cased.
PictureFormat ReadPictureFormat(const std::string& deviceFile);

// Puts the digit of `port` right after the first "COM" of [RS232] CONFIG (default "NONE") when
// the value contains "COM" and is longer than 4 characters, and writes the value back (also
// when unchanged). False when the file cannot be written.
bool WriteComPort(const std::string& deviceFile, int port);
// The text of WriteComPort's rewrite, for callers that only need the value.
std::string WithComPort(const std::string& config, int port);

// [SOURCES]: names as the instrument spells them (S1 … S<COUNT>).
struct SourceList {
    std::vector<std::string> names;
    int write = 0;         // WRITE: 1-based number of the first source that can receive a
                           // waveform; 0 when none can
    int writeCount = 100;  // WRITEANZ: writable sources from `write` on (the list ends first)
};
SourceList ReadSources(const std::string& deviceFile);

// [MEMORY]: record lengths.
struct MemorySizes {
    std::string size = "1000";  // SIZE as written: the largest stop index of a transfer
    std::vector<int> items;     // I1 … I<ITEMCNT>: the lengths offered in the stop-value list
};
MemorySizes ReadMemory(const std::string& deviceFile);

// [MEASURES] M1 … M<COUNT>: measurement type names as the instrument spells them.
std::vector<std::string> ReadMeasures(const std::string& deviceFile);

// [EXPORT]: picture formats of "Einlesen Bild".
struct ExportFormat {
    std::string name;  // E<n>, upper-cased: the argument of the instrument's export command
    std::string ext;   // F<n>, upper-cased: the file extension
};
std::vector<ExportFormat> ReadExportFormats(const std::string& deviceFile);

// The spelling under which `file` holds the section `name`. Instrument definition files are
// 8-bit text, but one edited on a UTF-8 system spells "°" as C2 B0 instead of B0; a name with
// "°" in either spelling is looked up in both, the one holding a COUNT key wins (Latin-1 first).
// Names without "°", and sections found in neither spelling, come back as given.
std::string RangeSectionSpelling(const ProfileFile& file, const std::string& name);

}  // namespace ktx

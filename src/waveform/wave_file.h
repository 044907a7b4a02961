// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform file (.ktx) and its relatives (.fft spectra, .mth math results): fixed-size
// little-endian records, the first of which is the header (format tag, version, unit slots).
//
//   one-column   tag 21 16, 12-byte records: TimeField x, Real6 y
//   four-column  tag 42 2C, 30-byte records: TimeField x, four Real6 y (columns 0..3)
//   spectrum     tag 2C 42, 30-byte records
//   math result  tag 16 21, 30-byte records
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace ktx {

constexpr std::size_t kOneColumnRecord = 12;
constexpr std::size_t kFourColumnRecord = 30;
constexpr std::size_t kHeaderProbeSize = 30;

constexpr float kWaveVersion = 12.345f;
// A sample-index file: the wave version raised by 1.0.
constexpr float kSampleIndexVersion = kWaveVersion + 1.0f;

// The unit text that marks a column as absent.
inline constexpr const char* kAbsentUnit = "#";

using UnitStrings = std::array<std::string, 4>;

struct WaveFileHeader {
    std::uint8_t tag[2];
    float version;
};

enum class WaveLayout { OneColumn, FourColumn, Spectrum, Math };

// The reference headers, one per tag, each with version 12.345.
const WaveFileHeader& ReferenceHeader(WaveLayout layout);

std::size_t RecordSize(WaveLayout layout);

// Header bytes: tag and version from `ref`, then unit slot 0 (MakeHeader1, 12 bytes) or all four
// slots (MakeHeader4, 30 bytes). A slot holds the first 5 characters of the unit and a zero byte;
// the rest of the slot is zero.
std::array<std::uint8_t, 12> MakeHeader1(const WaveFileHeader& ref, const UnitStrings& units);
std::array<std::uint8_t, 30> MakeHeader4(const WaveFileHeader& ref, const UnitStrings& units);

// True when the tag of the 30 bytes in `buf` matches `ref` and the version is at least the
// reference's; then unit slot i goes into units[i] (at most 5 characters up to a zero byte, cut
// to 4). Slots 1..3 of a one-column file are bytes of the first data records: callers put "#".
bool ReadWaveHeader(const std::uint8_t* buf, const WaveFileHeader& ref, UnitStrings& units);

// Version field of a header.
float HeaderVersion(const std::uint8_t* buf);

// Number of records including the header of a one- or four-column waveform file; 0 when the
// file cannot be opened, is shorter than 60 bytes, or is no waveform file. A trailing partial
// record does not count.
std::int64_t CountWaveFile(const std::string& path);

class Notifier;

// Copies the waveform file `source` unchanged to `target` through SafeFile (a target that is the
// source under another name, a device or a FIFO is refused; on any failure the old target stays).
// A source that is no one- or four-column waveform file is not copied. One message on failure
// (7, 12, 22 or 41).
bool CopyWaveFile(const std::string& source, const std::string& target, Notifier& notifier);

// Which layout the header names, trying one-column, four-column, spectrum and math in turn;
// false when none accepts it. For callers that must tell all four apart (the `ktx info` tool).
bool DetectLayout(const std::uint8_t* buf, WaveLayout& layout, UnitStrings& units);

}  // namespace ktx

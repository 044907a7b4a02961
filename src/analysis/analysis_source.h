// SPDX-License-Identifier: GPL-3.0-or-later
// The sources of the analysis functions (harmonics, one- and two-channel math): a waveform file
// chosen by the user, converted first when it has a foreign format, then read as one value column
// of a one- or four-column waveform file, record by record, without holding it in memory.
//
// A converted source lives in a private temporary file of its own (never in the shared
// conversion file), so that no other conversion can change it while it is read.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "waveform/block_file.h"
#include "waveform/time_field.h"
#include "waveform/wave_file.h"

namespace ktx {

class Notifier;
class ProgressSink;

// Called every few thousand samples by the long computations; false asks them to stop. The
// dialogs let the window messages be processed here, so that "Abbruch" can take effect.
using KeepGoing = std::function<bool()>;

// A file of the program's own that is removed with the object.
class ScratchFile {
  public:
    // A new, empty file with a name no one else uses, in the system's temporary folder.
    static std::unique_ptr<ScratchFile> Create(const std::string& suffix);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& Path() const { return m_path; }

  private:
    explicit ScratchFile(std::string path) : m_path(std::move(path)) {}
    std::string m_path;
};

struct PreparedSource {
    std::string path;       // what the user chose
    std::string effective;  // the file that is read: the source itself or its converted copy
    bool converted = false;
    bool sampleAxis = false;  // converted from an ASCII ".wfm" curve: x holds point numbers
    std::shared_ptr<ScratchFile> scratch;  // the converted copy, removed when the last user goes
};

// The source preparation of the analysis dialogs: ".ktx" files are read as they are, every
// other supported format (".wfm", ".txt", ".csv", ".isf") is converted into a private temporary
// file. Nothing when the file is missing (message 42 with the path) or a reader rejects it
// (message 12 or the reader's own).
std::optional<PreparedSource> PrepareSource(const std::string& path, Notifier& notifier,
                                            ProgressSink& progress);

struct SourceLayout {
    WaveLayout layout = WaveLayout::OneColumn;  // OneColumn or FourColumn
    std::int64_t records = 0;                   // including the header
    UnitStrings units;                          // slots 1..3 of a one-column file are "#"
    float version = kWaveVersion;
    std::size_t recordSize = kOneColumnRecord;

    std::int64_t DataRecords() const { return records > 0 ? records - 1 : 0; }
    // The columns that are present (unit not "#"); a one-column file has column 0.
    std::vector<int> PresentColumns() const;
};

// The layout of a one- or four-column waveform file; nothing for anything else (also for a
// file too short to hold a header and one record).
std::optional<SourceLayout> DetectSource(const std::string& path);

// The column to analyse when the file leaves no choice: 0 for a one-column file, the one
// present column of a four-column file; nothing when the user must choose (two or more present
// columns) or no column is present.
std::optional<int> OnlyColumn(const SourceLayout& layout);

// Streams one value column of a waveform file: the value as a double and the record's time.
class SampleReader {
  public:
    SampleReader(const std::string& path, const SourceLayout& layout, int column);
    bool IsOpen() const { return m_in.IsOpen(); }
    // Positions before data record `index` (0 = the first after the header).
    bool SeekRecord(std::int64_t index);
    // Up to `n` samples; `times` may be null. Fewer only at the end of the file or on a read
    // error (Failed()).
    std::size_t Read(double* values, TimeField* times, std::size_t n);
    bool Failed() const { return m_in.Failed(); }
    const FileError& OpenError() const { return m_in.OpenError(); }

  private:
    BlockReader m_in;
    std::size_t m_recordSize;
    std::size_t m_valueOffset;
    std::vector<std::uint8_t> m_buffer;
};

// The period of the analysis dialogs: the samples start .. stop - 1, their count N rounded down
// to an even number. Invalid below two samples (adjacent cursors, a one-record file): nothing
// may be computed then.
struct Period {
    std::int64_t start = 0;
    std::int64_t stop = 0;
    std::int64_t n = 0;
    bool valid = false;
};
Period ValidatePeriod(std::int64_t start, std::int64_t stop);

// True when writing `target` would overwrite one of `sources`: the target text occurs inside a
// source path (the dialogs' own test), or both name the same file by other names or links.
bool TargetInsideSource(const std::string& target, const std::vector<std::string>& sources);

// The upper-case extension of a path (".KTX"), "" when it has none.
std::string UpperExtension(const std::string& path);

}  // namespace ktx

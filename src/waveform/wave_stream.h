// SPDX-License-Identifier: GPL-3.0-or-later
// A one- or four-column waveform file read record by record in chunks, for everything that
// passes over a file once (compression, cut-out, offset removal, the command line's info, dump
// and export): memory stays the same whatever the size of the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/safe_file.h"
#include "waveform/block_file.h"
#include "waveform/real6.h"
#include "waveform/time_field.h"
#include "waveform/wave_file.h"

namespace ktx {

class Notifier;

class WaveStream {
  public:
    // Opens `path` and reads its header. Never blocks (a FIFO or a device is refused).
    explicit WaveStream(const std::string& path);
    WaveStream(const WaveStream&) = delete;
    WaveStream& operator=(const WaveStream&) = delete;

    // Open, a one- or four-column waveform file, and no read has failed.
    bool Ok() const { return m_ok && !m_reader.Failed(); }
    // Why the file could not be opened at all (empty when it opened and is just no waveform).
    const FileError& OpenError() const { return m_reader.OpenError(); }
    // Shows the one message for a file that is not Ok(): the open error (22 or 7), else 12.
    void ShowFailure(Notifier& notifier) const;

    WaveLayout Layout() const { return m_layout; }
    std::size_t RecordBytes() const { return m_recordSize; }
    int Columns() const { return m_layout == WaveLayout::OneColumn ? 1 : 4; }
    // Records including the header; a trailing partial record does not count.
    std::int64_t Records() const { return m_records; }
    const std::vector<std::uint8_t>& Header() const { return m_header; }
    // Slots 1..3 of a one-column file are "#".
    const UnitStrings& Units() const { return m_units; }
    float Version() const { return HeaderVersion(m_header.data()); }
    std::int64_t Remaining() const { return m_records - m_nextRecord; }

    // Moves to data point `point` (0 = the record after the header).
    bool SeekPoint(std::int64_t point);
    // The next record, or nullptr at the end (or on a read error, which Ok() then tells).
    const std::uint8_t* Next();
    // Up to `want` consecutive records from the current chunk; `got` tells how many (0 at the
    // end or on a read error).
    const std::uint8_t* NextRun(std::int64_t want, std::int64_t& got);

  private:
    static constexpr std::int64_t kChunkRecords = 16384;
    std::string m_path;
    BlockReader m_reader;
    WaveLayout m_layout = WaveLayout::OneColumn;
    UnitStrings m_units;
    std::size_t m_recordSize = kOneColumnRecord;
    std::int64_t m_records = 0;
    std::int64_t m_nextRecord = 0;
    std::vector<std::uint8_t> m_header;
    std::vector<std::uint8_t> m_chunk;
    std::size_t m_chunkPos = 0;
    std::size_t m_chunkEnd = 0;
    bool m_ok = false;
};

// The y value of column `column` of a record. Inline: the compressions call it for every point.
inline double RecordY(const std::uint8_t* record, int column) {
    return Real6::Decode(record + sizeof(TimeField) +
                         sizeof(Real6) * static_cast<std::size_t>(column));
}

// The column a view shows: the only present one (unit not "#"); with several, `wanted` or else
// the first present one; 0 when none is present.
int PresentColumn(const UnitStrings& units, std::optional<int> wanted);

}  // namespace ktx

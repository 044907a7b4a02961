// SPDX-License-Identifier: GPL-3.0-or-later
// Where every foreign-format reader writes its waveform file. Records go into a sibling
// temporary file and are batched into large writes; only a finished import is renamed onto the
// target, so a file that fails half-way never leaves a target that looks like a good waveform
// (and never empties a file the user already had under that name).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "waveform/block_file.h"
#include "waveform/import_result.h"
#include "waveform/real6.h"
#include "waveform/time_field.h"
#include "waveform/wave_file.h"

namespace ktx {

class Notifier;
class ProgressSink;

class WaveTarget {
  public:
    // Nothing is created until Open.
    WaveTarget(std::string target, Notifier& notifier, ProgressSink& progress);
    ~WaveTarget();  // removes the temporary file unless Commit succeeded
    WaveTarget(const WaveTarget&) = delete;
    WaveTarget& operator=(const WaveTarget&) = delete;

    // One-column file with units {unit, "#", "#", "#"}; `version` 12.345 or 13.345.
    bool OpenOneColumn(const std::string& unit, float version = kWaveVersion);
    // Four-column file with the given units.
    bool OpenFourColumn(const UnitStrings& units);

    // False once a write failed (message 41 is shown at Commit). Inline: every point of every
    // import passes through here.
    bool Add(const TimeField& x, const Real6& y) {
        std::uint8_t* rec = m_batch.data() + m_used;
        std::memcpy(rec, x.bytes.data(), 6);
        std::memcpy(rec + 6, y.bytes.data(), 6);
        if (m_recordSize != kOneColumnRecord) {
            std::memset(rec + 12, 0, m_recordSize - 12);
        }
        m_used += m_recordSize;
        return m_used < m_batch.size() || BlockDone();
    }
    bool Add(const TimeField& x, const std::array<Real6, 4>& ys);

    // Flushes, closes and renames onto the target. False on any write, close or rename error
    // (message 41 shown); the temporary file is then removed.
    bool Commit();

    std::int64_t Points() const {
        return m_points + static_cast<std::int64_t>(m_recordSize ? m_used / m_recordSize : 0);
    }

  private:
    bool Open(const std::uint8_t* header, std::size_t size, std::size_t recordSize);
    bool FlushBatch();
    // A full batch: counts its points, reports progress and writes it.
    bool BlockDone();

    std::string m_target;
    std::string m_temp;
    Notifier& m_notifier;
    ProgressSink& m_progress;
    std::unique_ptr<BlockWriter> m_out;
    std::vector<std::uint8_t> m_batch;
    std::size_t m_recordSize = 0;
    std::size_t m_used = 0;
    std::int64_t m_points = 0;
    bool m_committed = false;
    bool m_started = false;
};

// The end of every reader: the points written go into `result`; a read that went well and
// gave at least one point is committed (message 41 on a failed write), anything else leaves no
// target behind.
void FinishImport(WaveTarget& out, bool readOk, ImportResult& result);

}  // namespace ktx

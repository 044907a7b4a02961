// SPDX-License-Identifier: GPL-3.0-or-later
// Where every foreign-format reader writes its waveform file. Records are batched into large
// writes to a SafeWriter: only a finished import replaces the target, so a file that fails
// half-way never leaves a target that looks like a good waveform (and never empties a file the
// user already had under that name); a target that is the source, a FIFO or a device is refused.
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
    // Nothing is created until Open. `source` is the file being imported, which the target may
    // not be.
    WaveTarget(std::string target, std::string source, Notifier& notifier, ProgressSink& progress);
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
    // (message 41 with the cause shown); the target then keeps what it held.
    bool Commit();

    std::int64_t Points() const {
        return m_points + static_cast<std::int64_t>(m_recordSize ? m_used / m_recordSize : 0);
    }

  private:
    bool Open(const std::uint8_t* header, std::size_t size, std::size_t recordSize);
    bool FlushBatch();
    // A full batch: counts its points, reports progress and writes it.
    bool BlockDone();

    std::string m_source;
    Notifier& m_notifier;
    ProgressSink& m_progress;
    SafeWriter m_out;
    std::vector<std::uint8_t> m_batch;
    std::size_t m_recordSize = 0;
    std::size_t m_used = 0;
    std::int64_t m_points = 0;
    bool m_started = false;
};

// The end of every reader: the points written go into `result`; a read that went well and
// gave at least one point is committed (message 41 on a failed write), anything else leaves no
// target behind.
void FinishImport(WaveTarget& out, bool readOk, ImportResult& result);

// False, after message 14 naming the frame and `result.frames`, when `frame` (from 0) is not one
// of the file's frames; the result is then reported.
bool FrameExists(std::int64_t frame, ImportResult& result, Notifier& notifier);

// "Kurve 2 von 5": frame `frame` (from 0) of `frames`, from the message catalogue.
std::string FrameText(std::int64_t frame, std::int64_t frames);

}  // namespace ktx

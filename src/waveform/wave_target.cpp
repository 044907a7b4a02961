// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/wave_target.h"

#include <cstring>

#include "config/message_catalog.h"
#include "config/notifier.h"
#include "config/progress.h"

namespace ktx {

namespace {

constexpr int kMsgNoSelection = 14;
constexpr int kStrFrame = 10704;
constexpr int kStrOf = 10705;
// Progress counts blocks of this many points, as the curve converters do.
constexpr std::int64_t kPointsPerBlock = 1024;

}  // namespace

WaveTarget::WaveTarget(std::string target, std::string source, Notifier& notifier,
                       ProgressSink& progress)
    : m_source(std::move(source)),
      m_notifier(notifier),
      m_progress(progress),
      m_out(std::move(target)) {}

WaveTarget::~WaveTarget() {
    if (m_started) {
        m_progress.CounterEnd();
    }
}

bool WaveTarget::Open(const std::uint8_t* header, std::size_t size, std::size_t recordSize) {
    if (!m_out.Begin({m_source})) {
        ShowFileError(m_notifier, m_out.Error());
        return false;
    }
    m_out.Write(header, size);
    m_recordSize = recordSize;
    m_batch.resize(recordSize * kPointsPerBlock);
    m_progress.CounterStart();
    m_started = true;
    return true;
}

bool WaveTarget::OpenOneColumn(const std::string& unit, float version) {
    WaveFileHeader ref = ReferenceHeader(WaveLayout::OneColumn);
    ref.version = version;
    const auto h = MakeHeader1(ref, {unit, kAbsentUnit, kAbsentUnit, kAbsentUnit});
    return Open(h.data(), h.size(), kOneColumnRecord);
}

bool WaveTarget::OpenFourColumn(const UnitStrings& units) {
    const auto h = MakeHeader4(ReferenceHeader(WaveLayout::FourColumn), units);
    return Open(h.data(), h.size(), kFourColumnRecord);
}

bool WaveTarget::FlushBatch() {
    if (m_used > 0) {
        m_points += static_cast<std::int64_t>(m_used / m_recordSize);
        m_out.Write(m_batch.data(), m_used);
        m_used = 0;
    }
    return m_out.Ok();
}

bool WaveTarget::BlockDone() {
    const bool ok = FlushBatch();
    m_progress.CounterUpdate(m_points / kPointsPerBlock);
    return ok;
}

bool WaveTarget::Add(const TimeField& x, const std::array<Real6, 4>& ys) {
    std::uint8_t* rec = m_batch.data() + m_used;
    std::memcpy(rec, x.bytes.data(), 6);
    for (int k = 0; k < 4; ++k) {
        std::memcpy(rec + 6 + 6 * k, ys[k].bytes.data(), 6);
    }
    m_used += m_recordSize;
    return m_used < m_batch.size() || BlockDone();
}

bool WaveTarget::Commit() {
    if (!m_started) {
        return false;
    }
    FlushBatch();
    const bool ok = m_out.Commit();
    m_progress.CounterEnd();
    m_started = false;
    if (!ok) {
        ShowFileError(m_notifier, m_out.Error());
    }
    return ok;
}

void FinishImport(WaveTarget& out, bool readOk, ImportResult& result) {
    result.points = out.Points();
    if (!readOk || result.points == 0) {
        return;  // nothing a view could show
    }
    result.ok = out.Commit();
    result.reported = !result.ok;
}

bool FrameExists(std::int64_t frame, ImportResult& result, Notifier& notifier) {
    if (frame >= 0 && frame < result.frames) {
        return true;
    }
    ShowErrorMsgText(notifier, kMsgNoSelection, FrameText(frame, result.frames), 0);
    result.reported = true;
    return false;
}

std::string FrameText(std::int64_t frame, std::int64_t frames) {
    return std::string(MessageCatalog::String(kStrFrame)) + std::to_string(frame + 1) +
           std::string(MessageCatalog::String(kStrOf)) + std::to_string(frames);
}

}  // namespace ktx

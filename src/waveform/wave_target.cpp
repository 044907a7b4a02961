// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/wave_target.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "config/notifier.h"
#include "config/progress.h"

namespace ktx {

namespace {

constexpr int kWriteErrorMessage = 41;
// Progress counts blocks of this many points, as the curve converters do.
constexpr std::int64_t kPointsPerBlock = 1024;

}  // namespace

WaveTarget::WaveTarget(std::string target, Notifier& notifier, ProgressSink& progress)
    : m_target(std::move(target)),
      m_temp(m_target + ".part"),
      m_notifier(notifier),
      m_progress(progress) {}

WaveTarget::~WaveTarget() {
    if (m_out) {
        m_out->Close();
    }
    if (m_out && !m_committed) {
        std::error_code ec;
        std::filesystem::remove(m_temp, ec);
    }
    if (m_started && !m_committed) {
        m_progress.CounterEnd();
    }
}

bool WaveTarget::Open(const std::uint8_t* header, std::size_t size, std::size_t recordSize) {
    m_out = std::make_unique<BlockWriter>(m_temp);
    if (!m_out->IsOpen()) {
        ShowErrorMsgText(m_notifier, kWriteErrorMessage, m_target, 0);
        m_out.reset();
        return false;
    }
    m_out->Write(header, size);
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
        m_out->Write(m_batch.data(), m_used);
        m_used = 0;
    }
    return m_out->Ok();
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
    if (!m_out) {
        return false;
    }
    FlushBatch();
    bool ok = m_out->Close();
    if (ok) {
        std::error_code ec;
        std::filesystem::rename(m_temp, m_target, ec);
        ok = !ec;
    }
    m_progress.CounterEnd();
    m_started = false;
    if (!ok) {
        ShowErrorMsgText(m_notifier, kWriteErrorMessage, m_target, 0);
        return false;
    }
    m_committed = true;
    return true;
}

void FinishImport(WaveTarget& out, bool readOk, ImportResult& result) {
    result.points = out.Points();
    if (!readOk || result.points == 0) {
        return;  // nothing a view could show
    }
    result.ok = out.Commit();
    result.reported = !result.ok;
}

}  // namespace ktx

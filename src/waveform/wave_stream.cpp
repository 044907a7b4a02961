// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/wave_stream.h"

#include <algorithm>
#include <array>

#include "config/notifier.h"

namespace ktx {

namespace {
constexpr int kMsgBadFormat = 12;
}  // namespace

WaveStream::WaveStream(const std::string& path) : m_path(path), m_reader(path) {
    if (!m_reader.IsOpen() || m_reader.Size() < 2 * kHeaderProbeSize) {
        return;
    }
    std::array<std::uint8_t, kHeaderProbeSize> probe{};
    if (m_reader.Read(probe.data(), probe.size()) != probe.size()) {
        return;
    }
    UnitStrings units;
    if (ReadWaveHeader(probe.data(), ReferenceHeader(WaveLayout::OneColumn), units)) {
        m_layout = WaveLayout::OneColumn;
        units[1] = units[2] = units[3] = kAbsentUnit;
    } else if (ReadWaveHeader(probe.data(), ReferenceHeader(WaveLayout::FourColumn), units)) {
        m_layout = WaveLayout::FourColumn;
    } else {
        return;
    }
    m_units = units;
    m_recordSize = RecordSize(m_layout);
    m_records = static_cast<std::int64_t>(m_reader.Size() / m_recordSize);
    m_header.assign(probe.begin(), probe.begin() + static_cast<std::ptrdiff_t>(m_recordSize));
    m_ok = m_reader.Seek(m_recordSize);
    m_nextRecord = 1;
}

void WaveStream::ShowFailure(Notifier& notifier) const {
    if (OpenError()) {
        ShowFileError(notifier, OpenError());
    } else {
        ShowErrorMsgText(notifier, kMsgBadFormat, m_path, 0);
    }
}

bool WaveStream::SeekPoint(std::int64_t point) {
    m_nextRecord = 1 + point;
    m_chunkPos = m_chunkEnd = 0;
    return m_reader.Seek(static_cast<std::uint64_t>(m_nextRecord) * m_recordSize);
}

const std::uint8_t* WaveStream::NextRun(std::int64_t want, std::int64_t& got) {
    got = 0;
    const std::uint8_t* first = Next();
    if (first == nullptr) {
        return nullptr;
    }
    const auto inChunk = static_cast<std::int64_t>((m_chunkEnd - m_chunkPos) / m_recordSize);
    const std::int64_t more = std::min(want - 1, inChunk);
    m_chunkPos += static_cast<std::size_t>(more) * m_recordSize;
    m_nextRecord += more;
    got = 1 + more;
    return first;
}

const std::uint8_t* WaveStream::Next() {
    if (m_chunkPos == m_chunkEnd) {
        const std::int64_t want = std::min<std::int64_t>(Remaining(), kChunkRecords);
        if (want <= 0) {
            return nullptr;
        }
        m_chunk.resize(static_cast<std::size_t>(want) * m_recordSize);
        const std::size_t got = m_reader.Read(m_chunk.data(), m_chunk.size());
        if (got != m_chunk.size()) {
            m_ok = false;  // the file shrank while it was read
            return nullptr;
        }
        m_chunkPos = 0;
        m_chunkEnd = m_chunk.size();
    }
    const std::uint8_t* r = m_chunk.data() + m_chunkPos;
    m_chunkPos += m_recordSize;
    ++m_nextRecord;
    return r;
}

int PresentColumn(const UnitStrings& units, std::optional<int> wanted) {
    int present = 0;
    int first = 0;
    for (int i = 3; i >= 0; --i) {
        if (units[static_cast<std::size_t>(i)] != kAbsentUnit) {
            ++present;
            first = i;
        }
    }
    return present > 1 && wanted ? *wanted : first;
}

}  // namespace ktx

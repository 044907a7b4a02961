// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/analysis_source.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "config/notifier.h"
#include "config/progress.h"
#include "config/safe_file.h"
#include "waveform/real6.h"
#include "waveform/waveform_import.h"

namespace ktx {

namespace {

constexpr int kMsgBadFormat = 12;
constexpr int kMsgInvalidName = 42;

}  // namespace

std::unique_ptr<ScratchFile> ScratchFile::Create(const std::string& suffix) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) {
        dir = "/tmp";
    }
    std::string name = (dir / "kurvitex_XXXXXX").string() + suffix;
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    const int fd = ::mkstemps(buf.data(), static_cast<int>(suffix.size()));
    if (fd < 0) {
        return nullptr;
    }
    ::close(fd);
    return std::unique_ptr<ScratchFile>(new ScratchFile(std::string(buf.data())));
}

ScratchFile::~ScratchFile() {
    std::error_code ec;
    std::filesystem::remove(m_path, ec);
}

std::string UpperExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext;
}

std::optional<PreparedSource> PrepareSource(const std::string& path, Notifier& notifier,
                                            ProgressSink& progress) {
    if (path.empty() || path.find_first_of("*?") != std::string::npos ||
        CheckSource(path).fault != FileFault::None) {
        ShowErrorMsgText(notifier, kMsgInvalidName, path, 0);
        return std::nullopt;
    }
    PreparedSource source;
    source.path = path;
    const std::string ext = UpperExtension(path);
    if (ext == ".KTX") {
        source.effective = path;
        return source;
    }
    if (ext == ".FFT" || ext == ".MTH") {
        // Results of the analysis itself are no waveforms.
        ShowErrorMsgText(notifier, kMsgBadFormat, path, 0);
        return std::nullopt;
    }
    std::shared_ptr<ScratchFile> scratch = ScratchFile::Create(".ktx");
    if (!scratch) {
        ShowErrorMsgText(notifier, kMsgBadFormat, path, 0);
        return std::nullopt;
    }
    const ImportOutcome outcome = ImportWaveformFile(path, scratch->Path(), notifier, progress);
    switch (outcome.kind) {
        case ImportKind::Converted:
            source.effective = scratch->Path();
            source.converted = true;
            source.sampleAxis = outcome.sampleAxis;
            source.scratch = std::move(scratch);
            return source;
        case ImportKind::Failed:
            return std::nullopt;  // the reader has said why
        case ImportKind::Waveform:
        case ImportKind::OtherView:
        case ImportKind::Ignored:
            break;
    }
    ShowErrorMsgText(notifier, kMsgBadFormat, path, 0);
    return std::nullopt;
}

std::vector<int> SourceLayout::PresentColumns() const {
    if (layout == WaveLayout::OneColumn) {
        return {0};
    }
    std::vector<int> present;
    for (int i = 0; i < 4; ++i) {
        if (units[static_cast<std::size_t>(i)] != kAbsentUnit) {
            present.push_back(i);
        }
    }
    return present;
}

std::optional<SourceLayout> DetectSource(const std::string& path) {
    BlockReader in(path);
    if (!in.IsOpen()) {
        return std::nullopt;
    }
    std::uint8_t header[kHeaderProbeSize] = {};
    // A file of less than two 30-byte records leaves the header as zeros, which no tag matches.
    if (in.Size() >= 2 * kFourColumnRecord && in.Read(header, sizeof header) != sizeof header) {
        return std::nullopt;
    }
    SourceLayout s;
    if (ReadWaveHeader(header, ReferenceHeader(WaveLayout::OneColumn), s.units)) {
        s.layout = WaveLayout::OneColumn;
        s.recordSize = kOneColumnRecord;
        s.units[1] = s.units[2] = s.units[3] = kAbsentUnit;
    } else if (ReadWaveHeader(header, ReferenceHeader(WaveLayout::FourColumn), s.units)) {
        s.layout = WaveLayout::FourColumn;
        s.recordSize = kFourColumnRecord;
    } else {
        return std::nullopt;
    }
    s.version = HeaderVersion(header);
    s.records = static_cast<std::int64_t>(in.Size() / s.recordSize);
    return s;
}

std::optional<int> OnlyColumn(const SourceLayout& layout) {
    const std::vector<int> present = layout.PresentColumns();
    if (present.size() == 1) {
        return present.front();
    }
    return std::nullopt;
}

SampleReader::SampleReader(const std::string& path, const SourceLayout& layout, int column)
    : m_in(path),
      m_recordSize(layout.recordSize),
      m_valueOffset(layout.layout == WaveLayout::OneColumn
                        ? 6
                        : 6 + 6 * static_cast<std::size_t>(std::clamp(column, 0, 3))) {}

bool SampleReader::SeekRecord(std::int64_t index) {
    if (index < 0) {
        return false;
    }
    return m_in.Seek(static_cast<std::uint64_t>(index + 1) * m_recordSize);
}

std::size_t SampleReader::Read(double* values, TimeField* times, std::size_t n) {
    // Large enough that the reader copies straight from the file into this buffer.
    constexpr std::size_t kChunk = 16384;
    if (m_buffer.size() < kChunk * m_recordSize) {
        m_buffer.resize(kChunk * m_recordSize);
    }
    std::size_t done = 0;
    while (done < n) {
        const std::size_t want = std::min(kChunk, n - done);
        const std::size_t bytes = m_in.Read(m_buffer.data(), want * m_recordSize);
        const std::size_t got = bytes / m_recordSize;
        const std::uint8_t* rec = m_buffer.data();
        for (std::size_t i = 0; i < got; ++i, rec += m_recordSize) {
            values[done + i] = Real6::Decode(rec + m_valueOffset);
            if (times) {
                std::memcpy(times[done + i].bytes.data(), rec, 6);
            }
        }
        done += got;
        if (got < want) {
            break;  // end of the file (a trailing partial record does not count) or an error
        }
    }
    return done;
}

Period ValidatePeriod(std::int64_t start, std::int64_t stop) {
    Period p;
    if (stop < start) {
        std::swap(start, stop);
    }
    p.start = start;
    p.stop = stop;
    p.n = 2 * ((stop - start) / 2);
    p.valid = start >= 0 && p.n >= 2;
    return p;
}

bool TargetInsideSource(const std::string& target, const std::vector<std::string>& sources) {
    for (const std::string& source : sources) {
        if (source.empty()) {
            continue;
        }
        if (!target.empty() && source.find(target) != std::string::npos) {
            return true;
        }
        std::error_code ec;
        if (std::filesystem::equivalent(target, source, ec) && !ec) {
            return true;
        }
    }
    return false;
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/waveform_import.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "config/notifier.h"
#include "config/progress.h"
#include "waveform/block_file.h"
#include "waveform/isf_reader.h"
#include "waveform/text_readers.h"
#include "waveform/wave_target.h"
#include "waveform/wfm_readers.h"

namespace ktx {

namespace {

constexpr int kMsgBadFormat = 12;

std::string UpperExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext;
}

// An instrument's internal save format (".isf") written under another name, e.g. the ".wfm" the
// program itself reads from a family that stores the preamble with the curve: the preamble
// opens with the header of its first key.
bool LooksLikeIsf(const std::string& path) {
    BlockReader in(path);
    char head[6] = {};
    const std::size_t n = in.IsOpen() ? in.Read(head, sizeof head) : 0;
    std::string text(head, n);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text.rfind(":WFMP", 0) == 0;
}

enum class Reader { Isf, Wfm, Csv, Txt };

ImportResult Read(Reader reader, const std::string& path, const std::string& target,
                  std::int64_t frame, Notifier& notifier, ProgressSink& progress) {
    switch (reader) {
        case Reader::Isf:
            return ReadIsf(path, target, notifier, progress, frame);
        case Reader::Wfm:
            switch (WfmVariant(path)) {
                case 1:
                    return ReadWfmAscii(path, target, notifier, progress);
                case 2:
                    return ReadWfmTds5000(path, target, notifier, progress, frame);
                case 3:
                    return ReadWfmLlwfm(path, target, notifier, progress);
                case 4:
                    return ReadWfmMagic(path, target, notifier, progress);
                default:
                    return {};
            }
        case Reader::Csv:
            return ReadCsv(path, target, notifier, progress);
        case Reader::Txt:
            break;
    }
    ImportResult r = ReadTxt(path, target, notifier, progress);
    // Not the instrument's five-column tab text: try plain "x<TAB>y" lines.
    if (!r.ok && !r.reported && r.points == 0) {
        r = ReadTabText(path, target, notifier, progress);
    }
    return r;
}

// Readers that can pick one of several records or frames.
bool ReadsFrames(Reader reader, const std::string& path) {
    return reader == Reader::Isf || (reader == Reader::Wfm && WfmVariant(path) == 2);
}

}  // namespace

ImportOutcome ImportWaveformFile(const std::string& path, const std::string& target,
                                 Notifier& notifier, ProgressSink& progress, std::int64_t frame) {
    ImportOutcome outcome;
    const std::string ext = UpperExtension(path);
    if (ext == ".KTX") {
        outcome.kind = ImportKind::Waveform;
        outcome.viewFile = path;
        return outcome;
    }
    if (ext == ".MTH" || ext == ".FFT") {
        outcome.kind = ImportKind::OtherView;
        outcome.viewFile = path;
        return outcome;
    }
    Reader byName;
    if (ext == ".WFM") {
        byName = LooksLikeIsf(path) ? Reader::Isf : Reader::Wfm;
    } else if (ext == ".CSV") {
        byName = Reader::Csv;
    } else if (ext == ".TXT") {
        byName = Reader::Txt;
    } else if (ext == ".ISF") {
        byName = Reader::Isf;
    } else {
        return outcome;
    }
    outcome.kind = ImportKind::Failed;
    if (!UsableSource(path, notifier)) {
        return outcome;
    }
    if (frame != 0 && !ReadsFrames(byName, path)) {
        ImportResult single;
        FrameExists(frame, single, notifier);
        return outcome;
    }
    ImportResult r = Read(byName, path, target, frame, notifier, progress);
    // The extension misleads (a ".txt" that is comma text, an ".isf" that is a reference
    // waveform file...): the other readers try the content before the file counts as unknown.
    // Each one rejects a foreign file without a word and without touching the target.
    for (Reader other : {Reader::Isf, Reader::Wfm, Reader::Csv, Reader::Txt}) {
        // An ISF preamble begins with ":WFMP", which the ".wfm" variants take for a reference
        // waveform file.
        if (r.ok || r.reported || other == byName || (frame != 0 && !ReadsFrames(other, path)) ||
            (other == Reader::Wfm && LooksLikeIsf(path))) {
            continue;
        }
        r = Read(other, path, target, frame, notifier, progress);
    }
    if (!r.ok) {
        if (!r.reported) {
            ShowErrorMsg(notifier, kMsgBadFormat, 0);
        }
        return outcome;
    }
    outcome.kind = ImportKind::Converted;
    outcome.viewFile = target;
    outcome.sampleAxis = r.sampleAxis;
    outcome.points = r.points;
    outcome.frame = frame;
    outcome.frames = r.frames;
    if (r.frames > 1) {
        progress.Note(FrameText(frame, r.frames));
    }
    return outcome;
}

}  // namespace ktx

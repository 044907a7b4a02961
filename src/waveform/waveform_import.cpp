// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/waveform_import.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "config/notifier.h"
#include "waveform/isf_reader.h"
#include "waveform/text_readers.h"
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

ImportResult ReadWfm(const std::string& path, const std::string& target, Notifier& notifier,
                     ProgressSink& progress) {
    switch (WfmVariant(path)) {
        case 1:
            return ReadWfmAscii(path, target, notifier, progress);
        case 2:
            return ReadWfmTds5000(path, target, notifier, progress);
        case 3:
            return ReadWfmLlwfm(path, target, notifier, progress);
        case 4:
            return ReadWfmMagic(path, target, notifier, progress);
        default:
            return {};
    }
}

}  // namespace

ImportOutcome ImportWaveformFile(const std::string& path, const std::string& target,
                                 Notifier& notifier, ProgressSink& progress) {
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
    ImportResult r;
    if (ext == ".WFM") {
        r = ReadWfm(path, target, notifier, progress);
    } else if (ext == ".CSV") {
        r = ReadCsv(path, target, notifier, progress);
    } else if (ext == ".TXT") {
        r = ReadTxt(path, target, notifier, progress);
        // Not the instrument's five-column tab text: try plain "x<TAB>y" lines.
        if (!r.ok && !r.reported && r.points == 0) {
            r = ReadTabText(path, target, notifier, progress);
        }
    } else if (ext == ".ISF") {
        r = ReadIsf(path, target, notifier, progress);
    } else {
        return outcome;
    }
    if (!r.ok) {
        if (!r.reported) {
            ShowErrorMsg(notifier, kMsgBadFormat, 0);
        }
        outcome.kind = ImportKind::Failed;
        return outcome;
    }
    outcome.kind = ImportKind::Converted;
    outcome.viewFile = target;
    outcome.sampleAxis = r.sampleAxis;
    outcome.points = r.points;
    return outcome;
}

}  // namespace ktx

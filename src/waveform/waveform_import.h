// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a file by its extension: which reader turns it into a waveform file and which file a
// view then reads. Shared by the main window and `ktx import`.
#pragma once

#include <cstdint>
#include <string>

namespace ktx {

class Notifier;
class ProgressSink;

enum class ImportKind {
    Waveform,   // ".ktx": the file itself is a waveform file, nothing was converted
    Converted,  // a foreign file was converted into the target
    Failed,     // a reader rejected the file; message 12 (or the reader's own) was shown
    OtherView,  // ".mth" / ".fft": opened by the math or FFT view, not here
    Ignored,    // any other extension
};

struct ImportOutcome {
    ImportKind kind = ImportKind::Ignored;
    std::string viewFile;     // the file a view reads: the source itself or the target
    bool sampleAxis = false;  // show x in point numbers (ASCII ".wfm" curves)
    long long points = 0;
    // An ISF of several records or a FastFrame ".wfm": `frame` (from 0) of `frames` was read.
    std::int64_t frame = 0;
    std::int64_t frames = 1;
};

// `target` is normally the conversion file. The extension chooses the reader; when that reader
// does not know the content, the others try it before the file counts as unknown (message 12).
// A source that cannot be read (missing, a FIFO, a device) shows message 22 or 7. `frame` picks
// the record of an ISF or the frame of a FastFrame file (message 14 when there is none such);
// for a file of several, the status text tells which one of how many was read.
ImportOutcome ImportWaveformFile(const std::string& path, const std::string& target,
                                 Notifier& notifier, ProgressSink& progress,
                                 std::int64_t frame = 0);

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// File-to-file processing behind the waveform view: the two compressions that bring a long
// file down to the 80 000 points a view draws, the cut-out of an exact range, and the period
// search that places the cursors one period apart. Everything streams record by record; no
// operation holds a whole file in memory. Called on the user-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "waveform/waveform_record.h"

namespace ktx {

class Notifier;
class ProgressSink;

// A view draws at most this many records (header included) without compression.
constexpr std::int64_t kDisplayLimit = 80000;
// RangeCopy copies at most this many points.
constexpr std::int64_t kRangeCopyLimit = 79999;

// Block mean ("Sample mode"): every f source points become one point with the mean of their y
// values (each column of a four-column file) and the x of the block's last point. The last,
// short block is filled up with repetitions of the file's last point. Writes `target` (the
// compression file) with the source's header; returns f, or 0 on failure (message 12 for a
// source that is no waveform file, 41 for a write error).
std::int64_t SampleCompress(const std::string& source, const std::string& target,
                            ProgressSink& progress, Notifier& notifier);

// Envelope ("Peak detect"): every f source points become five points (mean, maximum, mean,
// minimum, mean), all with the x of the block's last point. Returns f as SampleCompress; the
// display ratio of the result is f / 5.
std::int64_t PeakCompress(const std::string& source, const std::string& target,
                          ProgressSink& progress, Notifier& notifier);

// Copies the header and then points first..first + count - 1 (count at most 79 999; point 0 is
// the record after the header) of `source` to `target`, stopping early at the end of the
// source. Every writer here replaces its target only by a complete file (SafeFile): a target
// that is the source under any name, a FIFO or a device is refused (message 7), a failed write
// leaves the old target (message 41). False also when the source is no waveform file (12) or
// `first` lies beyond its last point (43).
bool RangeCopy(const std::string& source, std::int64_t first, std::int64_t count,
               const std::string& target, ProgressSink& progress, Notifier& notifier);

// --- Period search ---------------------------------------------------------------------------

// Mean of all y values of the record; exact for a constant signal, so removing it leaves zeros.
double MeanLevel(const WaveformRecord& record);

// Copies `source` with `level` subtracted from column `column` (other columns unchanged).
bool RemoveOffset(const std::string& source, const std::string& target, double level, int column,
                  Notifier& notifier);

// One-column running trapezoid integral of column `column` of `source` over time in seconds;
// it has one point fewer than the source. `pump` runs every 10 points so the window stays
// responsive.
bool Integrate(const std::string& source, const std::string& target, int column,
               const std::string& unit, ProgressSink& progress, Notifier& notifier,
               const std::function<void()>& pump = {});

struct CursorPair {
    std::int32_t cursor1 = 0;
    std::int32_t cursor2 = 0;
};

// Cursors one period apart from the mid-level crossings of the integral in `integralFile`,
// clamped to 0..pointCount - 1. Nothing when the file cannot be read.
std::optional<CursorPair> PlaceCursors(const std::string& integralFile, std::int32_t pointCount);

struct PeriodFiles {
    std::string offsetFile;    // ktx_tmp2.ktx
    std::string integralFile;  // ktx_tmp3.ktx
};

// The whole search: mean level, offset removal, integration, cursor placement, and once more
// with the mean between the cursors found first.
std::optional<CursorPair> PeriodSearch(const WaveformRecord& record, const PeriodFiles& files,
                                       ProgressSink& progress, Notifier& notifier,
                                       const std::function<void()>& pump = {});

// --- Opening for display and the requests of a view ------------------------------------------

// How the main window should open a view.
struct ViewSetup {
    std::string file;     // the file the view loads
    std::string caption;  // window caption
    bool sampleAxis = false;
    bool compressed = false;
    bool peakMode = false;
    std::int32_t cursorLock = 0;   // > 0: largest cursor distance
    std::string sourceFile;        // compressed views: the file the copy was made from
    std::string displayName;       // compressed views: the name shown in captions
    std::string originFile;        // the user's file an import came from: never a save target
    std::int64_t sourceCount = 0;  // cut-outs: records of the source, for the position bar
    std::int64_t cutStart = 0;
    std::int64_t cutEnd = 0;
};

// Shows (non-empty) or clears (empty) the main window's status text.
using StatusText = std::function<void(const std::string&)>;

// The decision for opening `file` under the name `displayName`: directly when it has at most
// 80 000 records, else a sample compression into `compressionFile` with the ratio in the
// caption ("name 1:4"). Nothing when the file is no waveform file (message 12) or the
// compression failed.
std::optional<ViewSetup> PlanDisplay(const std::string& file, const std::string& displayName,
                                     bool sampleAxis, const std::string& compressionFile,
                                     ProgressSink& progress, Notifier& notifier,
                                     const StatusText& status);

// Sent by the "Sample"/"Peak" button of a compressed view, which then closes.
struct RecompressionRequest {
    std::string displayName;
    std::string sourceFile;
    std::int32_t cursor1 = 0;
    std::int32_t cursor2 = 0;
    int kind = 3;           // 3, or 4 for a sample axis
    bool peakMode = false;  // the mode wanted
};

std::optional<ViewSetup> HandleRecompression(const RecompressionRequest& request,
                                             const std::string& compressionFile,
                                             ProgressSink& progress, Notifier& notifier,
                                             const StatusText& status);

// Sent by the "Cut" button (kind 3 or 4) and by "Save as" with "Auswahl" (kind 0).
struct RangeRequest {
    std::string displayName;  // a save: the target name
    std::string sourceFile;
    std::int32_t cursor1 = 0;
    std::int32_t cursor2 = 0;
    std::int32_t viewPointCount = 0;
    int kind = 3;
    bool peakMode = false;
};

struct RangeResult {
    bool ok = false;
    std::optional<ViewSetup> view;  // kinds 3 and 4: the cut-out view to open
};

// Maps the cursors to the source, copies the range into `compressionFile` and, for kinds 3 and
// 4, describes the cut-out view ("Ausschnitt von name 12%").
RangeResult HandleRangeRequest(const RangeRequest& request, const std::string& compressionFile,
                               ProgressSink& progress, Notifier& notifier,
                               const StatusText& status);

// Points of a source file: `count` points from point `first` (0 = the record after the header).
struct PointSpan {
    std::int64_t first = 0;
    std::int64_t count = 0;
};

// The points of the source file (of `total` records, header included) that the cursors of a
// view of `request.viewPointCount` points cover; nothing for an empty file or view.
std::optional<PointSpan> SourceSpan(const RangeRequest& request, std::int64_t total);

// "Speichern unter" of a waveform view as a .ktx file: the whole of `source` (no span), or the
// points of `span` (at most 79 999, as RangeCopy). The target is written beside itself and
// renamed into place; a target that is `source` under any name is refused. One message on
// failure (7, 12, 22, 41 or 43).
bool SaveWaveformAs(const std::string& source, const std::string& target,
                    const std::optional<PointSpan>& span, ProgressSink& progress,
                    Notifier& notifier);

// The caption of a cut-out of `count` of `total` records.
std::string CutCaption(const std::string& displayName, std::int64_t count, std::int64_t total);

}  // namespace ktx

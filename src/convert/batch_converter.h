// SPDX-License-Identifier: GPL-3.0-or-later
// The batch converter: many files in one go. The program's own waveform files (".ktx") and
// spectrum files (".fft") become text (Excel ".xls", FAMOS ".fms" or ".txt" with the user's
// separators); the foreign formats (instrument ".isf", ".wfm", ".csv", ".txt") become waveform
// files (".ktx"). Each target is written beside its source (or into a chosen folder) through a
// temporary file that replaces it only when complete, so a failed conversion leaves an older
// target as it was. A failure is reported for its file, and the batch goes on.
//
// The readers write straight into each target: nothing passes through the program's scratch
// files, which open views may still show. Any one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "waveform/curve_writers.h"

namespace ktx {

class Notifier;
class ProgressSink;

// The source formats in the order of the dialog's "Quellformat:" list.
enum class ConvertSource {
    Ktx,      // "Kurvitex (*.ktx)": text export
    Fft,      // "FFT (*.fft)": text export
    Isf,      // "ISF (*.isf)"
    WfmTds6,  // "WFM (*.wfm TDS6)"
    WfmTds5,  // "WFM (*.wfm TDS5)"
    Csv,      // "CSV (*.csv)"
    Txt,      // "Text (*.txt TDS 5000)"
    WfmAfg,   // "WFW (*.wfm AFG)"
};

// Targets of the text export, in the order of the "Zielformat" group.
enum class ConvertText { Xls, Fms, Txt };

// True for the sources that become text (".ktx", ".fft").
bool IsTextExport(ConvertSource source);
// The file mask's extension (".ktx", ".isf", ...), lower case.
const char* SourceExtension(ConvertSource source);
const char* TargetExtension(ConvertText target);
// The source a file's extension names, whatever its case; nothing for other extensions.
std::optional<ConvertSource> SourceOfName(const std::string& path);

// The regular files of `folder` whose extension is `source`'s, whatever its case, sorted by name.
std::vector<std::string> MatchingFiles(const std::string& folder, ConvertSource source);

struct ConvertOptions {
    ConvertText text = ConvertText::Xls;
    TextSeparators separators;  // ".txt": column, line (0 = CR LF) and decimal character
    char systemDecimal = '.';   // ".xls" of a one-column file: the system's decimal sign
    std::string targetDir;      // empty: each target beside its source
    bool askOverwrite = false;  // text export: message 306 before an existing target is replaced
};

// The target of `source`: the same name with extension `extension` (lower case), in
// `targetDir` or beside the source.
std::string TargetPath(const std::string& source, const std::string& extension,
                       const std::string& targetDir);

enum class ConvertOutcome {
    Written,
    Missing,      // message 22
    BadFormat,    // message 12 (or the reader's own)
    WriteFailed,  // message 41 or 7 with the cause
    Declined,     // the user kept the existing target
};

// One file as `source` says; `target` (if given) receives the target's path.
ConvertOutcome ConvertFile(const std::string& path, ConvertSource source,
                           const ConvertOptions& options, Notifier& notifier,
                           ProgressSink& progress, std::string* target = nullptr);

struct ConvertSummary {
    int written = 0;
    int failed = 0;
    int declined = 0;
    std::vector<std::string> targets;  // written, in order
};

// Every file in order; `onFile` (if given) hears of each before it starts (the dialog shows
// the name). One failure never stops the rest.
ConvertSummary ConvertFiles(const std::vector<std::string>& paths, ConvertSource source,
                            const ConvertOptions& options, Notifier& notifier,
                            ProgressSink& progress,
                            const std::function<void(const std::string&)>& onFile = {});

// Message 730 "Konvertierung beendet:" is followed by the counts, "3 geschrieben,
// 1 fehlgeschlagen, 0 übersprungen" (catalogue texts); SummaryText is both.
constexpr int kMsgConvertSummary = 730;
std::string SummaryCounts(const ConvertSummary& summary);
std::string SummaryText(const ConvertSummary& summary);

}  // namespace ktx

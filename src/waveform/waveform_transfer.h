// SPDX-License-Identifier: GPL-3.0-or-later
// Waveform transfer with the instrument: "&Einlesen WF" reads curves with their scaling into
// files of the chosen format, "&Ausgeben WF" sends a waveform file into a reference memory.
// The command sequences are what the instruments expect, string for string; every step runs
// only while all before it succeeded, so one failure message is shown at the end.
//
// Both routines block on the calling thread (the shell calls them on the user-interface thread
// with the "trans" cursor shown) and talk to the instrument only through the transport.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "waveform/curve_preamble.h"
#include "waveform/transfer_request.h"

namespace ktx {

class CommandTransport;
class Notifier;
class ProgressSink;

// What the transfer needs of the program state and of the main window.
struct TransferContext {
    int deviceType = 1;          // ProgramState::deviceType
    std::string conversionFile;  // ProgramState::conversionFile (ktx_tmp.tmp): raw curves, blocks
    std::string deviceIniFile;   // ProgramState::deviceIniFile: [DEVICE] ENCDG for writing
    char systemDecimal = '.';    // the system's decimal sign, used by the ".xls" format
    // Opens a file in a view by its extension (the main window's open rule, with compression
    // of large files). Called for the show-after-reading flag; may be empty.
    std::function<void(const std::string& fileName)> openInView;
    // `Time_panel` of the status line: "Transfer" while the transfer runs, "" afterwards.
    std::function<void(const std::string& text)> status;
};

struct ProgramState;

// The context from the program state; the callbacks are left to the caller. The decimal sign is
// the system locale's (a point where it is not one ASCII character).
TransferContext MakeTransferContext(const ProgramState& state);
char SystemDecimalSign();

struct TransferOutcome {
    // false: message 34 was shown (13 or 14 for a request without destination or sources)
    bool ok = false;
    std::vector<std::string> files;          // files written, in order
    std::optional<std::int32_t> pointsRead;  // the last number of points the instrument named
};

// The instrument file name the type-10 family stores a waveform under.
constexpr const char* kInstrumentScratchFile = "c:\\ktx.tmp";

// "&Einlesen WF" after the dialog: reads `request.sources` in `request.format` into
// `request.fileName` (one file per source for ".wfm", ".fms" and ".ktx" with several sources).
// Stops a running acquisition and restarts it afterwards, also after a failure. Messages: 33 when
// a curve was not received, 34 (help 4) when anything failed, 307 when the instrument delivered
// a number of points other than the one requested.
TransferOutcome ReadWaveforms(const TransferRequest& request, CommandTransport& transport,
                              const TransferContext& context, Notifier& notifier,
                              ProgressSink& progress);

// "&Ausgeben WF" after the dialog: sends the ".wfm" file `request.fileName` into
// `request.destination` and shows that reference. Message 34 (help 22) on failure.
TransferOutcome WriteWaveform(const TransferRequest& request, CommandTransport& transport,
                              const TransferContext& context, Notifier& notifier,
                              ProgressSink& progress);

// Copies `localFile` into the instrument's file system as `instrumentName` (type-10 family):
// "FILES:WRITEF "<name>"," and the file's bytes go out as one message, through a scratch file
// "ktx_tmp" in `scratchDir` that is removed afterwards. A scratch file that cannot be written
// shows message 41.
bool WriteInstrumentFile(const std::string& localFile, const std::string& instrumentName,
                         const std::string& scratchDir, CommandTransport& transport,
                         Notifier& notifier);

// The file a source's curve goes to: `fileName` itself for one source, else the name up to its
// first "." in the file part, "_", the source and the extension ("x.fms", CH2 → "x_CH2.fms";
// "x", CH1 → "_CH1").
std::string SourceTarget(const std::string& fileName, const std::string& source, bool several);

// The preamble query of one value: "WFMO:<key>?" for the families that answer for the current
// data source (10, 14), "WFMPRE:<source>:<key>?" for the others.
std::string PreambleQuery(int deviceType, const std::string& source, const std::string& key);

}  // namespace ktx

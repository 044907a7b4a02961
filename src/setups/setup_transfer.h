// SPDX-License-Identifier: GPL-3.0-or-later
// Instrument set-ups: the instrument's whole front-panel state as it answers "SET?" (a long text
// of commands, ";" between them, ":" opening each new command path), stored unchanged in ".set"
// files, sent back in command groups, split into entries for the set-up editor and printed.
//
// Every exchange goes through the command transport; nothing here touches a window. User-
// interface thread (or any one thread at a time, as the transport allows).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "waveform/block_file.h"

namespace ktx {

class CommandTransport;
class Notifier;
class ProgressSink;

// A group ends after the first ";:" it holds (the end of a command path and the colon that opens
// the next) or when it has reached this many characters.
constexpr std::size_t kSetupGroupLimit = 481;
// An editor entry is cut back from this length to its last ":".
constexpr std::size_t kSetupEntryLimit = 255;

// The groups of `text` in order; their concatenation is `text`.
std::vector<std::string> SplitSetupGroups(std::string_view text);

// The editor's entries: each ends after its first ";:"; an entry that reaches 255 characters is
// shortened from its end until it ends with ":" or is shorter than 11 characters, and what was
// cut off starts the next entry. Their concatenation is `text`.
std::vector<std::string> SplitSetupEntries(std::string_view text);

// The printed page's lines: nine blanks, "SETUP", an empty line, then every entry behind nine
// blanks.
std::vector<std::string> SetupPrintLines(const std::vector<std::string>& entries);

// A set-up file as "Aus&geben Setup" sends it: group by group as SplitSetupGroups cuts them, up
// to a final line end (which only closed the instrument's answer; the empty command sends it).
class SetupFileReader {
  public:
    explicit SetupFileReader(const std::string& file);
    bool IsOpen() const { return m_in.IsOpen(); }
    // The whole file, a final line end included.
    std::uint64_t Size() const { return m_in.Size(); }
    // The next group; false at the end, or on a read error, which Failed() then tells.
    bool Next(std::string& group);
    bool Failed() const { return m_in.Failed(); }

  private:
    BlockReader m_in;
    std::uint64_t m_end = 0;
    std::uint64_t m_at = 0;
};

// The editor's entries of a received set-up file (up to its final line end); nothing when it
// cannot be read or is larger than the editor holds.
std::optional<std::vector<std::string>> ReadSetupEntryFile(const std::string& file);

// Pauses between groups (the instrument's [DEVICE] WAIT); by default the thread sleeps.
using SetupWait = std::function<void(int ms)>;

struct SetupSendResult {
    bool ok = false;
    bool linkClosed = false;  // no time-out could be set: nothing was sent
    std::string failedGroup;  // the group whose send failed (at most 501 characters)
};

// Sends the set-up file in groups as one message: every group raw (exactly as read, ";:"
// included), then an empty command ends the message. A line end at the end of the file is the
// one the instrument answered "SET?" with: the empty command sends it. After a failed group
// nothing more is sent, but the file is still read to its end for the progress bar. The link
// runs with `timeoutMs` meanwhile and gets its previous time-out back afterwards.
SetupSendResult SendSetupFile(CommandTransport& transport, const std::string& file, int pauseMs,
                              std::uint16_t timeoutMs, ProgressSink& progress,
                              const SetupWait& wait = {});

// "Ein&lesen Setup": "HEADER ON", then the answer to "SET?" into `target` (received next to it,
// put in place only when complete and a set-up, ":" first, so a silent or garbling instrument
// leaves an existing file as it was). Message 37 on failure.
bool ReadSetup(CommandTransport& transport, const std::string& target, Notifier& notifier);

// "Aus&geben Setup" of `file`. Device type 2 takes the file as it is (with the time-out [DEVICE]
// TMO); every other family gets it in groups with the pause [DEVICE] WAIT after each. Message 38
// ("Ausgeben Setup" and the failing group) on failure, also when the link is not open. A file
// that cannot be read shows 22 or 7 and nothing is sent.
bool WriteSetup(CommandTransport& transport, const std::string& file, int deviceType,
                const std::string& deviceFile, Notifier& notifier, ProgressSink& progress,
                const SetupWait& wait = {});

// The set-up editor's "Lesen": "HEADER ON", then "SET?" into `scratch` (a file of the caller's
// own), split into entries. Empty with `ok` false when the instrument did not answer.
struct SetupEntries {
    bool ok = false;
    std::vector<std::string> entries;
};
SetupEntries ReadSetupEntries(CommandTransport& transport, const std::string& scratch);

// The editor's "Test": `command` with the time-out `timeoutMs`; message 38 on failure (also
// when the link is not open).
bool TestSetupCommand(CommandTransport& transport, const std::string& command,
                      std::uint16_t timeoutMs, Notifier& notifier);

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Every exchange with the instrument goes through here: text commands, queries, blocks into a
// file or into memory, files sent unchanged. It binds the interface library, adds the line
// feed some instruments need, paces GPIB, reports the failures the user must see, and keeps
// the cause of the latest failure for the status line and the command line.
//
// Calls are serialised: any thread may call, one exchange runs at a time. Blocking is bounded
// by the interface library's time-out (plus the GPIB pacing and the delays asked for).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "link/link_failure.h"
#include "link/link_library.h"

namespace ktx {

class Notifier;

// Interface kinds (kurvitex.ini [TRANSFER] SS_TYPE).
constexpr int kLinkNone = 0;
constexpr int kLinkRs232 = 1;
constexpr int kLinkGpib = 2;

struct LinkSettings {
    std::string programDir;    // where the interface library lies
    std::string libraryName;   // [TRANSFER] DLL_NAME; empty: no library
    int linkType = kLinkNone;  // [TRANSFER] SS_TYPE
    int deviceType = 1;        // [DEVICE] TYPE of the selected instrument
};

class CommandTransport {
  public:
    // Answers handed back by Query are cut to this length.
    static constexpr std::size_t kMaxAnswer = 254;
    // Pause after every GPIB command, in ms.
    static constexpr int kGpibPause = 100;
    // GPIB file transfers run with this time-out.
    static constexpr std::uint16_t kGpibFileTimeout = 3000;
    static constexpr std::uint16_t kOpenTimeout = 1000;

    using WaitFunction = std::function<void(int ms)>;
    using FailureFunction = std::function<void(const LinkFailure& failure)>;

    // `wait` pauses without touching the user interface; by default the thread sleeps.
    explicit CommandTransport(Notifier& notifier, WaitFunction wait = {});
    ~CommandTransport();
    CommandTransport(const CommandTransport&) = delete;
    CommandTransport& operator=(const CommandTransport&) = delete;

    // Loads the library (anew on every call) and opens the link. A library that cannot be
    // loaded shows message 5, a link that does not open message 6; every later call then fails
    // quietly, so callers see an instrument that does not answer.
    void OpenLink(const LinkSettings& settings, bool askUser, const std::string& configPath);
    // Closes the link (a failed close is tried once more) and unloads the library.
    void CloseLink();

    // The instrument changed without the link being reopened.
    void SetDeviceType(int deviceType);

    // One command message; an empty command just ends the message raw text has begun.
    bool SendCommand(const std::string& command);
    // The text without terminator: the instrument sees it as the start of the message the next
    // command ends, so a long set-up sent in groups arrives as one message (end it with
    // SendCommand("")). Libraries without LinkWriteRaw get the text, kept here, in front of
    // the next command's LinkWrite (or as a message of its own before a file is sent).
    bool SendRaw(const std::string& text);
    // Empty on any failure.
    std::string Query(const std::string& command);
    // Asks the user (message 308) whether to try again while the instrument does not answer.
    std::string QueryRetry(const std::string& command);
    // Sends `command` (if any), waits `delayMs`, then stores the next response in `fileName`.
    // The response goes into a temporary file next to it, put in place only when complete: a
    // failed receive leaves `fileName` as it was. Nothing is sent when it cannot be written.
    bool ReceiveToFile(const std::string& fileName, const std::string& command, int delayMs);
    // Sends `command` (if any), then the file's bytes unchanged.
    bool SendFileToDevice(const std::string& fileName, const std::string& command);

    void LinkClear();
    // `count` bytes of the next block. A shorter complete block succeeds: its bytes, then zeros;
    // `stored` (if given) receives the number of data bytes.
    bool LinkReadData(void* buffer, std::uint32_t count, std::uint32_t* stored = nullptr);
    // Returns the previous time-out.
    std::uint16_t LinkSetTimeout(std::uint16_t timeoutMs);

    std::int32_t LinkHandle() const;
    std::int32_t LinkPort() const;
    bool LibraryLoaded() const;
    const LinkSettings& Settings() const { return m_settings; }

    // Why the latest routine failed; Known() is false when it went through, when no link is
    // open, or when the library does not say (a version 1 library).
    LinkFailure LastFailure() const;
    // Called with every failure whose cause is known, on the calling thread while the
    // transport is busy: it must not call the transport.
    void SetFailureCallback(FailureFunction callback);
    // Message 6 (the link does not open) names the cause as extra text; for the command line,
    // whose error stream is all the user sees. The main window shows it in the status line.
    void SetCauseInMessages(bool on);

  private:
    // The nine operations with the behaviour of a missing library.
    std::uint16_t OpLinkOpen(const std::string& configPath, bool askUser);
    bool OpLinkWrite(const std::string& text);
    bool OpLinkRead(std::string& answer);
    bool OpLinkReceiveFile(const std::string& fileName);
    bool OpLinkSendFile(const std::string& fileName);
    bool OpLinkClose();
    void OpLinkClear();
    std::uint16_t OpLinkSetTimeout(std::uint16_t value);
    bool OpLinkReadData(void* buffer, std::uint32_t count);

    bool OpLinkWriteRaw(const std::string& text);

    bool FileTransfer(const std::string& fileName, const std::string& command, bool receive,
                      int delayMs);
    std::string WithTerminator(const std::string& command) const;
    void Pause(int ms);
    // Asks the library why its latest call on `handle` failed and keeps the answer.
    void NoteFailure(std::uint16_t handle);
    void RecordFailure(LinkFailure failure);

    Notifier& m_notifier;
    WaitFunction m_wait;
    LinkSettings m_settings;
    LinkLibrary m_library;
    std::int32_t m_handle = 0;
    std::int32_t m_port = 0;
    std::string m_rawPending;  // raw text for a library without LinkWriteRaw
    LinkFailure m_lastFailure;
    FailureFunction m_onFailure;
    bool m_causeInMessages = false;
    mutable std::recursive_mutex m_mutex;
};

}  // namespace ktx

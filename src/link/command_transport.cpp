// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/command_transport.h"

#include <QLoggingCategory>

#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "config/notifier.h"
#include "config/safe_file.h"

// Every failed exchange is traced at debug level, which is off unless asked for
// (QT_LOGGING_RULES="ktx.link.debug=true"): a retried exchange that then succeeds must not
// leave a line on the command line tool's stderr.
Q_LOGGING_CATEGORY(lcLink, "ktx.link", QtInfoMsg)

namespace ktx {

namespace {
constexpr int kMsgLibraryNotLoaded = 5;
constexpr int kHelpLibraryNotLoaded = 17;
constexpr int kMsgNoInterface = 6;
constexpr int kHelpNoInterface = 15;
constexpr int kMsgRetry = 308;
// Instruments of this family want a line feed inside the command text.
constexpr int kLineFeedDeviceType = 30;
}  // namespace

CommandTransport::CommandTransport(Notifier& notifier, WaitFunction wait)
    : m_notifier(notifier), m_wait(std::move(wait)) {}

CommandTransport::~CommandTransport() {
    CloseLink();
}

void CommandTransport::Pause(int ms) {
    if (ms <= 0) {
        return;
    }
    if (m_wait) {
        m_wait(ms);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

// --- the operations of the table -----------------------------------------------------------------

std::uint16_t CommandTransport::OpLinkOpen(const std::string& configPath, bool askUser) {
    const KtxLinkOps* ops = m_library.Ops();
    if (!ops) {
        return 0;
    }
    std::int32_t port = 0;
    const std::uint16_t handle = ops->LinkOpen(configPath.c_str(), askUser ? 1 : 0, &port);
    m_port = port;
    return handle;
}

bool CommandTransport::OpLinkWrite(const std::string& text) {
    const KtxLinkOps* ops = m_library.Ops();
    if (!ops) {
        return false;
    }
    // Raw text kept for a library without LinkWriteRaw begins this message.
    std::string message;
    message.swap(m_rawPending);
    message += text;
    if (ops->LinkWrite(static_cast<std::uint16_t>(m_handle), message.c_str()) == 0) {
        NoteFailure(static_cast<std::uint16_t>(m_handle));
        return false;
    }
    return true;
}

bool CommandTransport::OpLinkWriteRaw(const std::string& text) {
    const auto writeRaw = m_library.WriteRaw();
    if (!writeRaw) {
        m_rawPending += text;  // handed over with the next LinkWrite, so the message is whole
        return m_library.Ops() != nullptr;
    }
    if (writeRaw(static_cast<std::uint16_t>(m_handle), text.c_str()) == 0) {
        NoteFailure(static_cast<std::uint16_t>(m_handle));
        return false;
    }
    return true;
}

bool CommandTransport::OpLinkRead(std::string& answer) {
    const KtxLinkOps* ops = m_library.Ops();
    if (!ops) {
        return false;
    }
    // The library gets a zeroed buffer and we never trust it to terminate the text.
    std::vector<char> buffer(KTX_LINK_READ_BUFFER + 1, '\0');
    if (ops->LinkRead(static_cast<std::uint16_t>(m_handle), buffer.data()) == 0) {
        NoteFailure(static_cast<std::uint16_t>(m_handle));
        return false;
    }
    buffer[KTX_LINK_READ_BUFFER] = '\0';
    answer.assign(buffer.data());
    return true;
}

bool CommandTransport::OpLinkReceiveFile(const std::string& fileName) {
    const KtxLinkOps* ops = m_library.Ops();
    if (!ops) {
        return false;
    }
    if (ops->LinkReceiveFile(static_cast<std::uint16_t>(m_handle), fileName.c_str()) == 0) {
        NoteFailure(static_cast<std::uint16_t>(m_handle));
        return false;
    }
    return true;
}

bool CommandTransport::OpLinkSendFile(const std::string& fileName) {
    const KtxLinkOps* ops = m_library.Ops();
    if (!ops) {
        return false;
    }
    // Raw text kept for a library without LinkWriteRaw cannot be put in front of a file: it
    // goes as a message of its own.
    if (!m_rawPending.empty() && !OpLinkWrite({})) {
        return false;
    }
    if (ops->LinkSendFile(static_cast<std::uint16_t>(m_handle), fileName.c_str()) == 0) {
        NoteFailure(static_cast<std::uint16_t>(m_handle));
        return false;
    }
    return true;
}

bool CommandTransport::OpLinkClose() {
    const KtxLinkOps* ops = m_library.Ops();
    return ops && ops->LinkClose(static_cast<std::uint16_t>(m_handle)) != 0;
}

void CommandTransport::OpLinkClear() {
    if (const KtxLinkOps* ops = m_library.Ops()) {
        ops->LinkClear(static_cast<std::uint16_t>(m_handle));
    }
}

std::uint16_t CommandTransport::OpLinkSetTimeout(std::uint16_t value) {
    const KtxLinkOps* ops = m_library.Ops();
    if (!ops) {
        return static_cast<std::uint16_t>(m_handle);  // a missing library hands back the handle
    }
    return ops->LinkSetTimeout(static_cast<std::uint16_t>(m_handle), value);
}

bool CommandTransport::OpLinkReadData(void* buffer, std::uint32_t count) {
    const KtxLinkOps* ops = m_library.Ops();
    if (!ops) {
        return false;
    }
    if (ops->LinkReadData(static_cast<std::uint16_t>(m_handle), buffer, count) == 0) {
        NoteFailure(static_cast<std::uint16_t>(m_handle));
        return false;
    }
    return true;
}

// --- causes -----------------------------------------------------------------------------------

void CommandTransport::NoteFailure(std::uint16_t handle) {
    const auto lastError = m_library.LastError();
    if (!lastError) {
        return;  // a version 1 library does not say why
    }
    std::uint32_t detail = 0;
    std::uint32_t expected = 0;
    const std::int32_t code = lastError(handle, &detail, &expected);
    if (code != KTX_LINK_OK && code != KTX_LINK_SHORT_DATA) {
        RecordFailure(MakeLinkFailure(code, detail, expected));
    }
}

void CommandTransport::RecordFailure(LinkFailure failure) {
    m_lastFailure = std::move(failure);
    qCDebug(lcLink) << "Link failure:" << m_lastFailure.text.c_str();
    if (m_onFailure && m_lastFailure.Known()) {
        m_onFailure(m_lastFailure);
    }
}

LinkFailure CommandTransport::LastFailure() const {
    std::lock_guard lock(m_mutex);
    return m_lastFailure;
}

void CommandTransport::SetFailureCallback(FailureFunction callback) {
    std::lock_guard lock(m_mutex);
    m_onFailure = std::move(callback);
}

void CommandTransport::SetCauseInMessages(bool on) {
    std::lock_guard lock(m_mutex);
    m_causeInMessages = on;
}

// --- the routines the program uses ------------------------------------------------------------

void CommandTransport::OpenLink(const LinkSettings& settings, bool askUser,
                                const std::string& configPath) {
    std::lock_guard lock(m_mutex);
    CloseLink();
    m_lastFailure = {};
    m_settings = settings;
    std::string reason;
    if (settings.libraryName.empty() ||
        !m_library.Load(settings.programDir, settings.libraryName, &reason)) {
        if (!reason.empty()) {
            qCWarning(lcLink) << "Interface library:" << reason.c_str();
        }
        ShowErrorMsg(m_notifier, kMsgLibraryNotLoaded, kHelpLibraryNotLoaded);
    }
    m_handle = OpLinkOpen(configPath, askUser);
    if (m_handle == 0) {
        if (m_library.Ops()) {
            NoteFailure(0);  // handle 0: why the open failed
        }
        if (m_causeInMessages && m_lastFailure.Known()) {
            ShowErrorMsgText(m_notifier, kMsgNoInterface, "(" + m_lastFailure.text + ")",
                             kHelpNoInterface);
        } else {
            ShowErrorMsg(m_notifier, kMsgNoInterface, kHelpNoInterface);
        }
    }
    OpLinkSetTimeout(kOpenTimeout);
}

void CommandTransport::CloseLink() {
    std::lock_guard lock(m_mutex);
    if (m_handle > 0 && !OpLinkClose()) {
        OpLinkClose();  // a second try; its result does not matter
    }
    m_handle = 0;
    m_rawPending.clear();
    m_library.Unload();
}

void CommandTransport::SetDeviceType(int deviceType) {
    std::lock_guard lock(m_mutex);
    m_settings.deviceType = deviceType;
}

std::string CommandTransport::WithTerminator(const std::string& command) const {
    return m_settings.deviceType == kLineFeedDeviceType ? command + '\n' : command;
}

bool CommandTransport::SendCommand(const std::string& command) {
    std::lock_guard lock(m_mutex);
    m_lastFailure = {};
    const bool ok = m_handle > 0 && OpLinkWrite(WithTerminator(command));
    if (m_settings.linkType == kLinkGpib) {
        Pause(kGpibPause);  // after every command, whether it went through or not
    }
    return ok;
}

bool CommandTransport::SendRaw(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_lastFailure = {};
    const bool ok = m_handle > 0 && OpLinkWriteRaw(text);
    if (m_settings.linkType == kLinkGpib) {
        Pause(kGpibPause);
    }
    return ok;
}

std::string CommandTransport::Query(const std::string& command) {
    std::lock_guard lock(m_mutex);
    m_lastFailure = {};
    OpLinkClear();
    std::string answer;
    if (m_handle > 0 && OpLinkWrite(WithTerminator(command)) && OpLinkRead(answer)) {
        return answer.substr(0, kMaxAnswer);
    }
    return {};
}

std::string CommandTransport::QueryRetry(const std::string& command) {
    std::lock_guard lock(m_mutex);
    m_lastFailure = {};
    OpLinkClear();
    for (;;) {
        std::string answer;
        if (m_handle > 0 && OpLinkWrite(command) && OpLinkRead(answer)) {
            return answer.substr(0, kMaxAnswer);
        }
        if (!ConfirmMsg(m_notifier, kMsgRetry, 0)) {
            return {};
        }
    }
}

bool CommandTransport::FileTransfer(const std::string& fileName, const std::string& command,
                                    bool receive, int delayMs) {
    std::lock_guard lock(m_mutex);
    m_lastFailure = {};
    if (m_handle <= 0) {
        return false;
    }
    // A response is received into a file next to the target, renamed onto it only when
    // complete. A target that cannot be written fails before anything is asked of the
    // instrument, so no answer is left behind unread.
    std::optional<SafeFile> target;
    if (receive) {
        target.emplace(fileName);
        if (!target->Begin()) {
            RecordFailure(MakeFileFailure(target->Error()));
            return false;
        }
    }
    if (!command.empty()) {
        OpLinkWrite(command);  // as it is: no line feed, no pause, result not needed
    }
    Pause(delayMs);
    const bool gpib = m_settings.linkType == kLinkGpib;
    const std::uint16_t previous = gpib ? OpLinkSetTimeout(kGpibFileTimeout) : 0;
    bool ok;
    if (receive) {
        OpLinkClear();
        ok = OpLinkReceiveFile(target->TempPath());
    } else {
        ok = OpLinkSendFile(fileName);
    }
    if (gpib) {
        OpLinkSetTimeout(previous);
    }
    if (receive && ok && !target->Commit()) {
        RecordFailure(MakeFileFailure(target->Error()));
        ok = false;
    }
    return ok;  // a failed receive: `target` removes the temporary file
}

bool CommandTransport::ReceiveToFile(const std::string& fileName, const std::string& command,
                                     int delayMs) {
    return FileTransfer(fileName, command, true, delayMs);
}

bool CommandTransport::SendFileToDevice(const std::string& fileName, const std::string& command) {
    return FileTransfer(fileName, command, false, 0);
}

void CommandTransport::LinkClear() {
    std::lock_guard lock(m_mutex);
    OpLinkClear();
}

bool CommandTransport::LinkReadData(void* buffer, std::uint32_t count, std::uint32_t* stored) {
    std::lock_guard lock(m_mutex);
    m_lastFailure = {};
    if (!OpLinkReadData(buffer, count)) {
        return false;
    }
    if (stored) {
        *stored = count;
        std::uint32_t detail = 0;
        const auto lastError = m_library.LastError();
        if (lastError && lastError(static_cast<std::uint16_t>(m_handle), &detail, nullptr) ==
                             KTX_LINK_SHORT_DATA) {
            *stored = detail;
        }
    }
    return true;
}

std::uint16_t CommandTransport::LinkSetTimeout(std::uint16_t timeoutMs) {
    std::lock_guard lock(m_mutex);
    return OpLinkSetTimeout(timeoutMs);
}

std::int32_t CommandTransport::LinkHandle() const {
    std::lock_guard lock(m_mutex);
    return m_handle;
}

std::int32_t CommandTransport::LinkPort() const {
    std::lock_guard lock(m_mutex);
    return m_port;
}

bool CommandTransport::LibraryLoaded() const {
    std::lock_guard lock(m_mutex);
    return m_library.Ops() != nullptr;
}

}  // namespace ktx

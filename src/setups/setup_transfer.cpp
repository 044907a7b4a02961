// SPDX-License-Identifier: GPL-3.0-or-later
#include "setups/setup_transfer.h"

#include <chrono>
#include <thread>
#include <utility>

#include "config/device_file.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "config/safe_file.h"
#include "link/command_transport.h"
#include "waveform/block_file.h"

namespace ktx {

namespace {

constexpr int kMsgSetupRead = 37;
constexpr int kMsgSetupWrite = 38;
constexpr int kHelpSetup = 7;
constexpr int kTypeWholeFile = 2;
// Message 38 names the failing group with at most this many characters.
constexpr std::size_t kMaxGroupText = 501;
constexpr std::size_t kEntryMinimum = 11;
// The editor holds a set-up in memory; no instrument's set-up comes near this.
constexpr std::uint64_t kMaxEditorBytes = 1 << 20;

bool EndsWithPathStart(const std::string& text) {
    const std::size_t n = text.size();
    return n >= 2 && text[n - 2] == ';' && text[n - 1] == ':';
}

// Groups as the bytes come: Add returns true when the group is complete.
class GroupSplitter {
  public:
    bool Add(char c) {
        m_group.push_back(c);
        return EndsWithPathStart(m_group) || m_group.size() >= kSetupGroupLimit;
    }
    std::string Take() { return std::exchange(m_group, {}); }
    bool Empty() const { return m_group.empty(); }

  private:
    std::string m_group;
};

// The bytes of the file up to a final line end, which only closed the instrument's answer.
std::uint64_t PayloadEnd(BlockReader& in) {
    std::uint64_t end = in.Size();
    for (int i = 0; i < 2 && end > 0; ++i) {
        std::uint8_t last = 0;
        if (!in.Seek(end - 1) || !in.ReadByte(last) || (last != '\n' && last != '\r')) {
            break;
        }
        --end;
    }
    in.Seek(0);
    return end;
}

// What "SET?" answers after "HEADER ON": the instrument's own commands with their headers, so
// ":" first, and text (a label may hold Latin-1 letters) up to the closing line end. Noise on
// the line or the answer to another question is none, and must not replace a stored set-up.
bool HoldsSetup(const std::string& path) {
    BlockReader in(path);
    const std::uint64_t end = in.IsOpen() ? PayloadEnd(in) : 0;
    if (end == 0) {
        return false;
    }
    std::uint8_t b = 0;
    for (std::uint64_t at = 0; at < end; ++at) {
        if (!in.ReadByte(b) || (at == 0 && b != ':') || (b < 0x20 && b != '\t') || b == 0x7f) {
            return false;
        }
    }
    return true;
}

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

std::vector<std::string> SplitSetupGroups(std::string_view text) {
    std::vector<std::string> groups;
    GroupSplitter splitter;
    for (char c : text) {
        if (splitter.Add(c)) {
            groups.push_back(splitter.Take());
        }
    }
    if (!splitter.Empty()) {
        groups.push_back(splitter.Take());
    }
    return groups;
}

std::vector<std::string> SplitSetupEntries(std::string_view text) {
    std::vector<std::string> entries;
    while (!text.empty()) {
        // The first ";:" that ends within the entry limit closes the entry.
        std::size_t length = text.substr(0, kSetupEntryLimit).find(";:");
        if (length != std::string_view::npos) {
            length += 2;
        } else if (text.size() < kSetupEntryLimit) {
            length = text.size();
        } else {
            // Cut back to the last ":" (a path boundary), but never below 11 characters (ten
            // when there is none); what is cut off starts the next entry.
            const std::size_t colon =
                text.substr(kEntryMinimum - 1, kSetupEntryLimit - (kEntryMinimum - 1)).rfind(':');
            length = colon == std::string_view::npos ? kEntryMinimum - 1 : colon + kEntryMinimum;
        }
        entries.emplace_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return entries;
}

std::vector<std::string> SetupPrintLines(const std::vector<std::string>& entries) {
    const std::string indent(9, ' ');
    std::vector<std::string> lines{indent, "SETUP", ""};
    for (const std::string& entry : entries) {
        lines.push_back(indent + entry);
    }
    return lines;
}

SetupFileReader::SetupFileReader(const std::string& file) : m_in(file) {
    if (m_in.IsOpen()) {
        m_end = PayloadEnd(m_in);
    }
}

bool SetupFileReader::Next(std::string& group) {
    GroupSplitter splitter;
    std::uint8_t b = 0;
    while (m_at < m_end && m_in.ReadByte(b)) {
        ++m_at;
        if (splitter.Add(static_cast<char>(b))) {
            break;
        }
    }
    group = splitter.Take();
    return !group.empty();
}

std::optional<std::vector<std::string>> ReadSetupEntryFile(const std::string& file) {
    BlockReader in(file);
    if (!in.IsOpen()) {
        return std::nullopt;
    }
    const std::uint64_t end = PayloadEnd(in);
    if (end > kMaxEditorBytes) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(end), '\0');
    if (in.Read(text.data(), text.size()) != text.size()) {
        return std::nullopt;
    }
    return SplitSetupEntries(text);
}

SetupSendResult SendSetupFile(CommandTransport& transport, const std::string& file, int pauseMs,
                              std::uint16_t timeoutMs, ProgressSink& progress,
                              const SetupWait& wait) {
    SetupSendResult result;
    const std::uint16_t previous = transport.LinkSetTimeout(timeoutMs);
    if (previous == 0) {
        result.linkClosed = true;  // no link: nothing is sent
        return result;
    }
    SetupFileReader in(file);
    if (!in.IsOpen()) {
        transport.LinkSetTimeout(previous);
        return result;
    }
    std::int64_t remaining = static_cast<std::int64_t>(in.Size());
    progress.BarStart(remaining);
    bool ok = true;
    auto send = [&](const std::string& group) {
        remaining -= static_cast<std::int64_t>(group.size());
        progress.BarStep(remaining);
        if (!ok) {
            return;  // the rest is only read, for the progress bar
        }
        ok = transport.SendRaw(group);
        if (!ok) {
            result.failedGroup = group.substr(0, kMaxGroupText);
        } else if (pauseMs > 0 && wait) {
            wait(pauseMs);
        } else if (pauseMs > 0) {
            Sleep(pauseMs);
        }
    };
    for (std::string group; in.Next(group);) {
        send(group);
    }
    if (remaining > 0) {
        progress.BarStep(0);  // the final line end, which the empty command sends
    }
    if (in.Failed()) {
        ok = false;
    }
    // The groups so far are one message: the empty command ends it. After a failure the half
    // message must not run: a device clear drops it.
    if (ok) {
        ok = transport.SendCommand("");
    } else {
        transport.LinkClear();
    }
    progress.BarEnd();
    transport.LinkSetTimeout(previous);
    result.ok = ok;
    return result;
}

bool ReadSetup(CommandTransport& transport, const std::string& target, Notifier& notifier) {
    // The answer is checked before it takes the target's place. A target that cannot be
    // written is found before anything is asked of the instrument.
    SafeFile file(target);
    if (!file.Begin()) {
        ShowErrorMsgText(notifier, kMsgSetupRead, file.Error().Text(), kHelpSetup);
        return false;
    }
    if (transport.SendCommand("HEADER ON") && transport.ReceiveToFile(file.TempPath(), "SET?", 0) &&
        HoldsSetup(file.TempPath()) && file.Commit()) {
        return true;
    }
    ShowErrorMsgText(notifier, kMsgSetupRead, file.Error() ? file.Error().Text() : "", kHelpSetup);
    return false;
}

bool WriteSetup(CommandTransport& transport, const std::string& file, int deviceType,
                const std::string& deviceFile, Notifier& notifier, ProgressSink& progress,
                const SetupWait& wait) {
    if (!UsableSource(file, notifier)) {
        return false;
    }
    const std::uint16_t timeout = ReadDeviceTimeoutMs(deviceFile);
    if (deviceType == kTypeWholeFile) {
        bool ok = false;
        const std::uint16_t previous = transport.LinkSetTimeout(timeout);
        if (previous != 0) {
            ok = transport.SendFileToDevice(file, "");
            transport.LinkSetTimeout(previous);
        }
        if (!ok) {
            ShowInfoMsgText(notifier, kMsgSetupWrite, "", kHelpSetup);
        }
        return ok;
    }
    const SetupSendResult r =
        SendSetupFile(transport, file, ReadDeviceWait(deviceFile), timeout, progress, wait);
    if (!r.ok) {
        // Also when the link is not open: nothing went out, and the user must hear of it.
        ShowInfoMsgText(notifier, kMsgSetupWrite, r.failedGroup, kHelpSetup);
    }
    return r.ok;
}

SetupEntries ReadSetupEntries(CommandTransport& transport, const std::string& scratch) {
    SetupEntries result;
    if (!transport.SendCommand("HEADER ON") || !transport.ReceiveToFile(scratch, "SET?", 0)) {
        return result;
    }
    std::optional<std::vector<std::string>> entries = ReadSetupEntryFile(scratch);
    if (!entries) {
        return result;
    }
    result.entries = std::move(*entries);
    result.ok = true;
    return result;
}

bool TestSetupCommand(CommandTransport& transport, const std::string& command,
                      std::uint16_t timeoutMs, Notifier& notifier) {
    const std::uint16_t previous = transport.LinkSetTimeout(timeoutMs);
    bool ok = false;
    if (previous != 0) {
        ok = transport.SendCommand(command);
        transport.LinkSetTimeout(previous);
    }
    if (!ok) {
        ShowErrorMsg(notifier, kMsgSetupWrite, kHelpSetup);
    }
    return ok;
}

}  // namespace ktx

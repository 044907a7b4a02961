// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/scanner.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "config/notifier.h"
#include "link/command_transport.h"
#include "waveform/curve_converter.h"
#include "waveform/curve_preamble.h"
#include "waveform/text_number.h"

namespace ktx {

namespace {

constexpr int kMsgBadSource = 13;
constexpr int kMsgRangeTooLarge = 15;
constexpr int kMsgBadStart = 23;
constexpr int kMsgBadStop = 24;
constexpr int kMsgFailed = 34;
constexpr int kMsgOverwrite = 303;
constexpr std::size_t kPreambleAnswer = 80;
constexpr int kTriggerPollMs = 1000;

std::optional<int> Integer(const std::string& s) {
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return v;
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string ScanBaseName(const std::string& text) {
    std::string base = text.substr(0, text.find('.'));
    while (base.size() <= 8) {
        base += '_';
    }
    return base.substr(0, kScanBaseLength);
}

std::string ScanFileName(const std::string& base, int number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", number);
    return base + digits + ".ktx";
}

std::string ScanSourceFile(const std::string& file, const std::string& source, bool several) {
    if (!several) {
        return file;
    }
    const std::filesystem::path p(file);
    const std::string ext = p.extension().string();
    return file.substr(0, file.size() - ext.size()) + "_" + source + ext;
}

std::int32_t ScanPointCount(int start, int stop) {
    return std::max(0, stop - std::max(start, 1) + 1);
}

Scanner::Scanner(CommandTransport& transport, Notifier& notifier, ProgressSink& progress,
                 int deviceType, std::string memorySize, std::string conversionFile,
                 std::string compressionFile, ScannerHooks hooks)
    : m_transport(transport),
      m_notifier(notifier),
      m_progress(progress),
      m_deviceType(deviceType),
      m_memorySize(std::move(memorySize)),
      m_conversionFile(std::move(conversionFile)),
      m_compressionFile(std::move(compressionFile)),
      m_hooks(std::move(hooks)) {}

std::string Scanner::FolderFile(const std::string& name) const {
    return (std::filesystem::path(m_request.folder) / name).string();
}

bool Scanner::AnyScanFileExists() const {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_request.folder, ec)) {
        const std::string name = entry.path().filename().string();
        // base + three characters + ".ktx", as the mask base???.ktx matches
        if (name.size() == kScanBaseLength + 3 + 4 &&
            EqualNoCase(name.substr(0, kScanBaseLength), m_request.base) &&
            EqualNoCase(name.substr(kScanBaseLength + 3), ".ktx")) {
            return true;
        }
    }
    return false;
}

bool Scanner::PrepareScan(ScanRequest& request) {
    if (TriggerForced()) {
        request.triggered = true;
    }
    m_request = request;
    m_counter = 0;
    if (AnyScanFileExists() && !ConfirmMsg(m_notifier, kMsgOverwrite, 0)) {
        return false;
    }
    if (request.sources.empty()) {
        ShowErrorMsg(m_notifier, kMsgBadSource, 0);
        return false;
    }
    if (request.sources.size() > kMaxScanSources) {
        request.sources.resize(kMaxScanSources);
    }
    std::optional<int> start = Integer(request.startText);
    if (!start) {
        start = 1;
        request.startText = "1";
        ShowErrorMsg(m_notifier, kMsgBadStart, 0);
    }
    std::optional<int> stop = Integer(request.stopText);
    const int size = Integer(m_memorySize).value_or(1000);
    if (!stop) {
        stop = 1000;
        request.stopText = "1000";
        ShowErrorMsg(m_notifier, kMsgBadStop, 0);
    } else if (*stop > size) {
        stop = size;
        request.stopText = std::to_string(size);
        ShowErrorMsg(m_notifier, kMsgRangeTooLarge, 0);
    }
    // Every point the instrument sends: from point max(start, 1) to stop, both ends counted.
    m_pointCount = ScanPointCount(*start, *stop);
    m_request = request;
    m_label = ScanFileName(request.base, 0);
    if (!request.triggered) {
        const std::int64_t begin = m_hooks.nowMs ? m_hooks.nowMs() : 0;
        ScanOnce(m_compressionFile);
        const std::int64_t elapsed = m_hooks.nowMs ? m_hooks.nowMs() - begin : 0;
        const int least = static_cast<int>(std::min<std::int64_t>(2 * elapsed / 1000, 359'999));
        if (least > request.intervalSeconds) {
            request.intervalSeconds = least;
        }
        m_request.intervalSeconds = request.intervalSeconds;
    }
    return true;
}

bool Scanner::ScanOnce(const std::string& fileName) {
    bool ok = true;
    const bool running = !Contains(m_transport.Query("ACQ:STATE?"), "0");
    if (running) {
        m_transport.SendCommand("ACQ:STATE STOP");
    }
    const bool several = m_request.sources.size() > 1;
    const bool outputPreamble = m_deviceType == 10 || m_deviceType == 14;
    for (const std::string& s : m_request.sources) {
        if (m_request.beep && m_hooks.beep) {
            m_hooks.beep();
        }
        for (const std::string& command :
             {std::string("DATA INIT"), std::string("DATA:ENC ASCI"),
              "DATA:START " + m_request.startText, "DATA:STOP " + m_request.stopText,
              "DATA:SOURCE " + s, std::string("HEADER ON"), std::string("VERB ON")}) {
            ok = ok && m_transport.SendCommand(command);
        }
        ok = ok && m_transport.ReceiveToFile(m_conversionFile, "CURV?", 0);
        ok = ok && m_transport.SendCommand("HEADER OFF");

        CurvePreamble preamble;
        preamble.NR_PT = m_pointCount;
        const auto value = [&](const char* key, Real6& into) {
            if (!ok) {
                return;
            }
            const std::string query =
                outputPreamble ? std::string("WFMO:") + key + "?" : "WFMPRE:" + s + ":" + key + "?";
            double v = 0;
            ok = ParseReal(m_transport.Query(query).substr(0, kPreambleAnswer), v);
            into = Real6::FromDouble(v);
        };
        value("YOFF", preamble.YOFF[0]);
        value("YMULT", preamble.YMULT[0]);
        value("XINCR", preamble.XINCR);
        value("PT_OFF", preamble.PT_OFF);
        if (ok) {
            ok = ConvertAsciiCurve(m_conversionFile, ScanSourceFile(fileName, s, several), preamble,
                                   m_notifier, m_progress)
                     .Ok();
        }
    }
    if (running) {
        m_transport.SendCommand("ACQ:STATE RUN");
    }
    if (!ok) {
        ShowErrorMsg(m_notifier, kMsgFailed, 0);
    }
    return ok;
}

bool Scanner::Start(ScanRequest& request) {
    if (!PrepareScan(request)) {
        return false;
    }
    m_counter = 0;
    m_running = true;
    if (m_request.triggered) {
        m_transport.SendCommand("ACQ:STOPA SEQ");
    }
    return true;
}

int Scanner::TimerMs() const {
    return m_request.triggered ? kTriggerPollMs : std::max(1, m_request.intervalSeconds) * 1000;
}

ScanTick Scanner::Tick() {
    if (!m_running) {
        return ScanTick::Finished;
    }
    if (m_request.triggered && !Contains(m_transport.Query("TRIG:STATE?"), "SAV")) {
        return ScanTick::Waiting;
    }
    ScanOnce(FolderFile(m_label));  // a failed scan does not end the run
    ++m_counter;
    if (m_request.triggered) {
        m_transport.SendCommand("ACQ:STATE RUN");  // re-arm the single acquisition
    }
    if (m_counter < m_request.wanted) {
        m_label = ScanFileName(m_request.base, m_counter);
        return ScanTick::Scanned;
    }
    Stop();
    return ScanTick::Finished;
}

void Scanner::Stop() {
    if (!m_running) {
        return;
    }
    m_running = false;
    if (m_request.triggered) {
        m_transport.SendCommand("ACQ:STOPA RUNST");
        m_transport.SendCommand("ACQ:STATE RUN");
    }
    // The next run starts again with number 000 (and asks before overwriting it).
    m_label = ScanFileName(m_request.base, 0);
}

}  // namespace ktx

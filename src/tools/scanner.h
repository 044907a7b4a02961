// SPDX-License-Identifier: GPL-3.0-or-later
// The scanner (`Tscandlg`) without its window: the same instrument curve fetched again and
// again, at a fixed interval or after each triggered single acquisition, every fetch stored as
// a numbered one-column waveform file (AB___000.ktx, AB___001.ktx, ...; with several sources
// AB___000_CH1.ktx, AB___000_CH2.ktx).
//
// The owner drives it: Start, then Tick at once and every TimerMs, Stop. User-interface thread
// (or the command line's one thread).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ktx {

class CommandTransport;
class Notifier;
class ProgressSink;

constexpr int kMaxScanSources = 11;
constexpr int kScanBaseLength = 5;

// The base from a text (a picked file's name, or the edit's text followed by "."): up to the
// first ".", "_" appended until longer than 8 characters, the first 5 kept. "AB" gives "AB___".
std::string ScanBaseName(const std::string& text);
// base + the number with at least three digits + ".ktx".
std::string ScanFileName(const std::string& base, int number);
// The file of one source: `file` itself, or with several sources "_" + source before the
// extension (AB___003.ktx, CH2: AB___003_CH2.ktx).
std::string ScanSourceFile(const std::string& file, const std::string& source, bool several);
// Points of the curve "DATA:START start" and "DATA:STOP stop" deliver: the instrument counts
// from point 1, so start 0 delivers as start 1 does; both ends count.
std::int32_t ScanPointCount(int start, int stop);

struct ScanRequest {
    std::string folder;
    std::string base = "_____";
    std::vector<std::string> sources;  // selected, in list order
    std::string startText = "0";       // `Startwert`
    std::string stopText = "1000";     // `stopwert`
    int wanted = 1;                    // `scanzahl`
    int intervalSeconds = 2;           // hours, minutes and seconds together
    bool triggered = false;            // `Trig_check`
    bool beep = true;                  // `Beepcheck`
};

struct ScannerHooks {
    std::function<std::int64_t()> nowMs;  // a monotonic clock for the timing scan
    std::function<void()> beep;
};

enum class ScanTick {
    Waiting,   // trigger mode: not triggered yet; the timer polls again
    Scanned,   // one scan done, more wanted
    Finished,  // the last scan is done; the run has stopped
};

class Scanner {
  public:
    // `memorySize` is [MEMORY] SIZE; the scratch files receive the raw curve and the timing
    // scan. All borrowed.
    Scanner(CommandTransport& transport, Notifier& notifier, ProgressSink& progress, int deviceType,
            std::string memorySize, std::string conversionFile, std::string compressionFile,
            ScannerHooks hooks);

    // Devices below type 3 always scan in trigger mode.
    bool TriggerForced() const { return m_deviceType < 3; }

    // The checks and corrections before a run ("Test" too): existing files (message 303),
    // sources (13), start and stop values (23, 24, 15; corrected in `request`), and in timer
    // mode one timed scan that raises the interval to twice its time. False: no run.
    bool PrepareScan(ScanRequest& request);
    // One scan of every source into `fileName` (per source with several); message 34 when
    // any failed.
    bool ScanOnce(const std::string& fileName);

    // "Start": PrepareScan, then the run. The owner ticks at once and then every TimerMs.
    bool Start(ScanRequest& request);
    ScanTick Tick();
    void Stop();

    bool Running() const { return m_running; }
    int TimerMs() const;
    int Done() const { return m_counter; }
    int Remaining() const { return m_request.wanted - m_counter; }
    // `Filelab`: the file the next scan goes into.
    std::string NextFile() const { return m_label; }
    const ScanRequest& Request() const { return m_request; }

  private:
    bool AnyScanFileExists() const;
    std::string FolderFile(const std::string& name) const;

    CommandTransport& m_transport;
    Notifier& m_notifier;
    ProgressSink& m_progress;
    int m_deviceType;
    std::string m_memorySize;
    std::string m_conversionFile;
    std::string m_compressionFile;
    ScannerHooks m_hooks;
    ScanRequest m_request;
    std::int32_t m_pointCount = 0;
    std::string m_label;
    int m_counter = 0;
    bool m_running = false;
};

}  // namespace ktx

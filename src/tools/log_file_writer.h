// SPDX-License-Identifier: GPL-3.0-or-later
// The data logger's file: a four-column waveform file that grows by one 30-byte record per
// sample for days. The file is created complete (header only) beside the target and renamed
// into place, so an old file of that name is replaced only by a valid log. From then on a
// writer thread appends the records and syncs them to the disk as they come, so a crash, a
// power cut or a pulled cable loses at most the last second. A write that fails (a full disk)
// is cut back to the last whole record and stops the writer: the file keeps every record
// written so far and the failure, with the system's error text, waits for the logger.
//
// Append, Failure and Close are called from one thread (the logger's); the writer thread is
// private.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/safe_file.h"
#include "waveform/wave_file.h"

namespace ktx {

using LogRecord = std::array<std::uint8_t, kFourColumnRecord>;

// Where the bytes go: the log file, or in tests a device that fills up.
class LogStore {
  public:
    virtual ~LogStore() = default;
    // Writes all `n` bytes at the end; 0, or the errno of the failure (some bytes may have
    // been written then).
    virtual int Write(const void* data, std::size_t n) = 0;
    // Puts what was written on the disk (fdatasync); 0 or errno.
    virtual int Sync() = 0;
    // Cuts the file to `size` bytes; 0 or errno.
    virtual int Truncate(std::uint64_t size) = 0;
};

class LogFileWriter {
  public:
    // Creates `target` holding `header` (through SafeFile: a FIFO, a device or a folder is
    // refused, and a failure leaves an old file as it was) and starts the writer thread.
    // nullptr with `error` set on failure.
    static std::unique_ptr<LogFileWriter> Create(const std::string& target, const LogRecord& header,
                                                 FileError& error);

    // Appends to `store`, which already holds `size` bytes; `path` names it in failures.
    LogFileWriter(std::unique_ptr<LogStore> store, std::uint64_t size, std::string path);
    ~LogFileWriter();  // Close()
    LogFileWriter(const LogFileWriter&) = delete;
    LogFileWriter& operator=(const LogFileWriter&) = delete;

    // Hands one record to the writer thread; never waits for the disk. False once the writer
    // has failed (the record is not taken).
    bool Append(const LogRecord& record);
    // The failure that stopped the writer; empty (fault None) while it is well.
    FileError Failure() const;
    // Writes and syncs what is queued, ends the thread. False when anything failed. Idempotent.
    bool Close();
    // Whole records on the disk (the header counts), for progress texts and tests.
    std::uint64_t RecordsWritten() const;

  private:
    void Run();

    std::unique_ptr<LogStore> m_store;
    std::string m_path;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::uint8_t> m_queue;
    std::uint64_t m_size = 0;  // bytes on the disk, always whole records
    FileError m_failure;
    bool m_stop = false;
    bool m_closed = false;
    std::thread m_thread;
};

}  // namespace ktx

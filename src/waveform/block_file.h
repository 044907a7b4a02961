// SPDX-License-Identifier: GPL-3.0-or-later
// Buffered binary file access for the waveform converters and loaders. Data moves in large
// blocks (never one system call per record), and every open, read, write and close is checked:
// the first failure sticks, so a caller can run a loop and test `Ok()` once. Files the user
// names are written through SafeWriter, which replaces them only by a complete new file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/safe_file.h"

namespace ktx {

class BlockReader {
  public:
    static constexpr std::size_t kBlockSize = 1 << 20;
    // The buffer of a file smaller than a block: its size, but at least this much.
    static constexpr std::size_t kSmallBlockSize = 4096;

    // Opens `path` for reading; anything but an existing regular file (a folder, a FIFO, a
    // device) leaves the reader not open, with the reason in OpenError(). Never blocks.
    explicit BlockReader(const std::string& path);
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    const FileError& OpenError() const { return m_openError; }
    // File size in bytes at open time.
    std::uint64_t Size() const { return m_size; }

    // Copies up to `n` bytes; returns how many were read (less only at the end of the file or
    // on a read error, which `Failed()` then tells).
    std::size_t Read(void* dst, std::size_t n);
    // Reads one byte; false at the end of the file or on an error.
    bool ReadByte(std::uint8_t& b) {
        if (m_pos < m_end) {
            b = m_buffer[m_pos++];
            return true;
        }
        return Read(&b, 1) == 1;
    }
    bool Failed() const { return m_failed; }
    // Moves to byte `offset`; false when it lies beyond the end or the seek failed.
    bool Seek(std::uint64_t offset);
    // Up to `n` bytes from byte `offset`, read past the buffer (a few bytes here and there
    // cost no block each); the next Read goes on behind them. Returns how many were read.
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n);

  private:
    bool Fill();

    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    FileError m_openError;
    std::unique_ptr<std::FILE, Closer> m_file;
    std::uint64_t m_size = 0;
    // Not cleared (every byte used is read first): clearing would touch, and so fault in, all
    // of its pages for a short file too.
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_capacity = 0;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_failed = false;
};

class BlockWriter {
  public:
    static constexpr std::size_t kBlockSize = 1 << 20;

    // Creates or truncates `path`: a SafeFile's temporary file, or a scratch file of the
    // program's own. Files the user sees are written through SafeFile.
    explicit BlockWriter(const std::string& path);
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    void Write(const void* src, std::size_t n);
    // Flushes and closes; false when any write, the flush or the close failed.
    bool Close();
    bool Ok() const { return m_opened && !m_failed; }
    // errno of the first failure (0 when none was reported).
    int Errno() const { return m_errno; }

  private:
    void Flush();

    std::FILE* m_file = nullptr;
    bool m_opened = false;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_used = 0;
    bool m_failed = false;
    int m_errno = 0;
};

class Notifier;

// A BlockWriter on a SafeFile: the content goes into a temporary file beside the target, which
// replaces the target only on Commit. Until then, and after any failure, the target keeps what
// it held. Not thread-safe.
class SafeWriter {
  public:
    explicit SafeWriter(std::string target) : m_file(std::move(target)) {}
    SafeWriter(const SafeWriter&) = delete;
    SafeWriter& operator=(const SafeWriter&) = delete;

    // Refuses a target that is one of `sources` (under any name) or no regular file, then opens
    // the temporary file. False with Error() set.
    bool Begin(const std::vector<std::string>& sources);
    void Write(const void* src, std::size_t n) {
        if (m_out) {
            m_out->Write(src, n);
        }
    }
    // False once a write failed.
    bool Ok() const { return m_out && m_out->Ok(); }
    // Flushes, closes and renames onto the target. False with Error() set; the target is then
    // untouched and the temporary file gone.
    bool Commit();
    // Gives up: the temporary file goes, the target stays as it was.
    void Discard();

    const FileError& Error() const { return m_file.Error(); }
    const std::string& Target() const { return m_file.Target(); }

  private:
    SafeFile m_file;
    std::unique_ptr<BlockWriter> m_out;
};

// Shows the one message a file failure deserves: 22 for a missing file, 7 for a file that may
// not be used, `writeMessage` (41, or 8 for the column text) for a failed write, each with the
// file and the cause.
void ShowFileError(Notifier& notifier, const FileError& error, int writeMessage = 41);

// Checks that `path` can be read as a source; shows the reason (22 or 7) when it cannot.
bool UsableSource(const std::string& path, Notifier& notifier);

}  // namespace ktx

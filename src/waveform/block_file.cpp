// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/block_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "config/notifier.h"

namespace ktx {

namespace {

constexpr std::size_t kDirectReadSize = 64 * 1024;
constexpr std::size_t kDirectWriteSize = 64 * 1024;

std::FILE* OpenFile(const std::string& path, const char* mode) {
    std::error_code ec;
    // fopen happily opens a directory for reading on Linux and only the first read fails.
    if (std::filesystem::is_directory(path, ec)) {
        return nullptr;
    }
    return std::fopen(path.c_str(), mode);
}

}  // namespace

BlockReader::BlockReader(const std::string& path) : m_file(OpenSourceFile(path, m_openError)) {
    if (!m_file) {
        return;
    }
    struct stat st {};
    if (::fstat(::fileno(m_file.get()), &st) != 0) {
        m_openError = {FileFault::OpenFailed, errno, path};
        m_file.reset();
        return;
    }
    m_size = static_cast<std::uint64_t>(st.st_size);
    std::setvbuf(m_file.get(), nullptr, _IONBF, 0);  // we buffer ourselves
}

bool BlockReader::Fill() {
    if (!m_file || m_failed) {
        return false;
    }
    if (!m_buffer) {
        // A small file gets a small buffer, and none is cleared before the file fills it: that
        // would cost more than reading a set-up of a few hundred bytes (a file that grew since
        // it was opened is read in more pieces).
        m_capacity = static_cast<std::size_t>(
            std::clamp<std::uint64_t>(m_size, kSmallBlockSize, kBlockSize));
        m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(m_capacity);
    }
    m_pos = 0;
    m_end = std::fread(m_buffer.get(), 1, m_capacity, m_file.get());
    if (m_end == 0 && std::ferror(m_file.get())) {
        m_failed = true;
    }
    return m_end > 0;
}

std::size_t BlockReader::Read(void* dst, std::size_t n) {
    auto* out = static_cast<std::uint8_t*>(dst);
    std::size_t done = 0;
    while (done < n) {
        if (m_pos == m_end) {
            // Large requests bypass the buffer: one copy less for the block loaders.
            if (n - done >= kDirectReadSize && m_file && !m_failed) {
                const std::size_t got = std::fread(out + done, 1, n - done, m_file.get());
                if (got < n - done && std::ferror(m_file.get())) {
                    m_failed = true;
                }
                return done + got;
            }
            if (!Fill()) {
                break;
            }
        }
        const std::size_t chunk = std::min(n - done, m_end - m_pos);
        std::memcpy(out + done, m_buffer.get() + m_pos, chunk);
        m_pos += chunk;
        done += chunk;
    }
    return done;
}

bool BlockReader::Seek(std::uint64_t offset) {
    if (!m_file || m_failed || offset > m_size) {
        return false;
    }
#if defined(_WIN32)
    const int rc = _fseeki64(m_file.get(), static_cast<__int64>(offset), SEEK_SET);
#else
    const int rc = fseeko(m_file.get(), static_cast<off_t>(offset), SEEK_SET);
#endif
    if (rc != 0) {
        return false;
    }
    m_pos = m_end = 0;
    return true;
}

std::size_t BlockReader::ReadAt(std::uint64_t offset, void* dst, std::size_t n) {
    if (!Seek(offset)) {
        return 0;
    }
    const std::size_t got = std::fread(dst, 1, n, m_file.get());
    if (got < n && std::ferror(m_file.get())) {
        m_failed = true;
    }
    return got;
}

BlockWriter::BlockWriter(const std::string& path) : m_file(OpenFile(path, "wb")) {
    if (!m_file) {
        m_errno = errno;
    } else {
        m_opened = true;
        std::setvbuf(m_file, nullptr, _IONBF, 0);
        // Not cleared: only what is written is touched, so a small file costs no whole block.
        m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize);
    }
}

BlockWriter::~BlockWriter() {
    Close();
}

void BlockWriter::Flush() {
    if (m_used == 0 || !m_file) {
        return;
    }
    if (!m_failed && std::fwrite(m_buffer.get(), 1, m_used, m_file) != m_used) {
        m_failed = true;
        m_errno = errno;
    }
    m_used = 0;
}

void BlockWriter::Write(const void* src, std::size_t n) {
    if (!m_file || m_failed) {
        return;
    }
    // Large blocks from a caller that gathers its own go straight to the file, after what is
    // buffered: one copy less for the block writers.
    if (n >= kDirectWriteSize) {
        Flush();
        if (!m_failed && std::fwrite(src, 1, n, m_file) != n) {
            m_failed = true;
            m_errno = errno;
        }
        return;
    }
    const auto* in = static_cast<const std::uint8_t*>(src);
    while (n > 0) {
        if (m_used == kBlockSize) {
            Flush();
            if (m_failed) {
                return;
            }
        }
        const std::size_t chunk = std::min(n, kBlockSize - m_used);
        std::memcpy(m_buffer.get() + m_used, in, chunk);
        m_used += chunk;
        in += chunk;
        n -= chunk;
    }
}

bool BlockWriter::Close() {
    if (!m_file) {
        return Ok();
    }
    Flush();
    if (std::fclose(m_file) != 0 && !m_failed) {
        m_failed = true;
        m_errno = errno;
    }
    m_file = nullptr;
    return !m_failed;
}

bool SafeWriter::Begin(const std::vector<std::string>& sources) {
    m_out.reset();
    if (!m_file.Begin(sources)) {
        return false;
    }
    m_out = std::make_unique<BlockWriter>(m_file.TempPath());
    if (!m_out->IsOpen()) {
        m_file.Fail(m_out->Errno());
        m_out.reset();
        return false;
    }
    return true;
}

bool SafeWriter::Commit() {
    if (!m_out) {
        return m_file.Commit();  // says why nothing was begun
    }
    const bool written = m_out->Close();
    const int error = m_out->Errno();
    m_out.reset();
    if (!written) {
        m_file.Fail(error);
        return false;
    }
    return m_file.Commit();
}

void SafeWriter::Discard() {
    if (m_out) {
        m_out->Close();
        m_out.reset();
    }
    m_file.Discard();
}

void ShowFileError(Notifier& notifier, const FileError& error, int writeMessage) {
    const int message = error.Message();
    if (error.fault == FileFault::Missing) {
        ShowErrorMsgText(notifier, message, error.path, 0);  // the message says it all
        return;
    }
    ShowErrorMsgText(notifier, message == 41 ? writeMessage : message, error.Text(), 0);
}

bool UsableSource(const std::string& path, Notifier& notifier) {
    const FileError error = CheckSource(path);
    if (error) {
        ShowFileError(notifier, error);
        return false;
    }
    return true;
}

}  // namespace ktx

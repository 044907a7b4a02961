// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/log_file_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace ktx {

namespace {

class FdStore final : public LogStore {
  public:
    explicit FdStore(int fd) : m_fd(fd) {}
    ~FdStore() override { ::close(m_fd); }
    FdStore(const FdStore&) = delete;
    FdStore& operator=(const FdStore&) = delete;

    int Write(const void* data, std::size_t n) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        while (n > 0) {
            const ssize_t w = ::write(m_fd, p, n);
            if (w < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            if (w == 0) {
                return ENOSPC;
            }
            p += w;
            n -= static_cast<std::size_t>(w);
        }
        return 0;
    }
    int Sync() override { return ::fdatasync(m_fd) == 0 ? 0 : errno; }
    int Truncate(std::uint64_t size) override {
        if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
            return errno;
        }
        return ::lseek(m_fd, 0, SEEK_END) < 0 ? errno : 0;
    }

  private:
    int m_fd;
};

// The rename that put the log in place survives a power cut only once its folder is synced.
void SyncFolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) {
        folder = ".";
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::unique_ptr<LogFileWriter> LogFileWriter::Create(const std::string& target,
                                                     const LogRecord& header, FileError& error) {
    SafeFile file(target);
    if (!file.Begin()) {
        error = file.Error();
        return nullptr;
    }
    // The descriptor stays open across the rename: the records go into the file that was put
    // in place, whatever happens to the name meanwhile.
    const int fd = ::open(file.TempPath().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        file.Fail(err);
        error = {FileFault::CreateFailed, err, target};
        return nullptr;
    }
    auto store = std::make_unique<FdStore>(fd);
    int err = store->Write(header.data(), header.size());
    if (err == 0) {
        err = store->Sync();
    }
    if (err != 0) {
        store.reset();
        file.Fail(err);
        error = {FileFault::WriteFailed, err, target};
        return nullptr;
    }
    if (!file.Commit()) {
        error = file.Error();
        return nullptr;
    }
    SyncFolderOf(target);
    error = {};
    return std::make_unique<LogFileWriter>(std::move(store), header.size(), target);
}

LogFileWriter::LogFileWriter(std::unique_ptr<LogStore> store, std::uint64_t size, std::string path)
    : m_store(std::move(store)), m_path(std::move(path)), m_size(size) {
    m_thread = std::thread([this] { Run(); });
}

LogFileWriter::~LogFileWriter() {
    Close();
}

bool LogFileWriter::Append(const LogRecord& record) {
    {
        std::lock_guard lock(m_mutex);
        if (m_failure || m_closed) {
            return false;
        }
        m_queue.insert(m_queue.end(), record.begin(), record.end());
    }
    m_wake.notify_one();
    return true;
}

FileError LogFileWriter::Failure() const {
    std::lock_guard lock(m_mutex);
    return m_failure;
}

std::uint64_t LogFileWriter::RecordsWritten() const {
    std::lock_guard lock(m_mutex);
    return m_size / kFourColumnRecord;
}

bool LogFileWriter::Close() {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) {
            return !m_failure;
        }
        m_closed = true;
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard lock(m_mutex);
    return !m_failure;
}

void LogFileWriter::Run() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty()) {
            return;  // stopped with everything written
        }
        std::vector<std::uint8_t> batch;
        batch.swap(m_queue);
        lock.unlock();
        // Record by record, so a full disk costs no record that fitted. Each batch is synced
        // at once: at the logger's rates (ten records a second at most) the disk keeps up, and
        // nothing waits in memory longer than one sync.
        std::uint64_t size = m_size;  // only this thread changes it
        int err = 0;
        for (std::size_t off = 0; off < batch.size() && err == 0; off += kFourColumnRecord) {
            err = m_store->Write(batch.data() + off, kFourColumnRecord);
            if (err == 0) {
                size += kFourColumnRecord;
            }
        }
        if (err == 0) {
            err = m_store->Sync();
        } else if (m_store->Truncate(size) == 0) {
            // A record cut off by the full disk would make the file end in half a record.
            m_store->Sync();
        }
        lock.lock();
        m_size = size;
        if (err != 0) {
            m_failure = {FileFault::WriteFailed, err, m_path};
            m_queue.clear();
            return;
        }
    }
}

}  // namespace ktx

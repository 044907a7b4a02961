// SPDX-License-Identifier: GPL-3.0-or-later
// Private files of the waveform views.
#include "view/view_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

namespace ktx {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPrefix = "ktx_view_";
constexpr const char* kSuffix = ".tmp";

// Views of all stores of this process share one numbering, so two stores on one folder (tests,
// a second main window) never hand out the same name.
std::atomic<unsigned> g_counter{0};

std::int64_t Nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The process that made a private file, from its name "ktx_view_<pid>_<n>.tmp" (and the SafeFile
// temporaries "ktx_view_<pid>_<n>.tmp.xxxxxx.part" next to it); 0 for any other name.
pid_t OwnerOf(const std::string& name) {
    const std::string prefix = kPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) {
        return 0;
    }
    pid_t pid = 0;
    std::size_t i = prefix.size();
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        pid = pid * 10 + (name[i] - '0');
        if (pid > 1 << 22) {
            return 0;
        }
    }
    return i < name.size() && name[i] == '_' ? pid : 0;
}

bool ProcessAlive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

class Fd {
  public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    // Closes now; the result of close() tells whether the last writes reached the disk.
    int Close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

  private:
    int m_fd;
};

int CopyWithReadWrite(int in, int out) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0) {
            return 0;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w =
                ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            done += w;
        }
    }
}

}  // namespace

int CopyFileContents(const std::string& source, const std::string& target) {
    FileError openError;
    std::FILE* file = OpenSourceFile(source, openError);
    if (file == nullptr) {
        return openError.error != 0 ? openError.error : EINVAL;
    }
    Fd in(::dup(::fileno(file)));
    std::fclose(file);
    Fd out(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (in.Get() < 0 || out.Get() < 0) {
        return errno;
    }
    struct stat st {};
    if (::fstat(in.Get(), &st) != 0) {
        return errno;
    }
    // A clone shares the blocks until one side is written (btrfs, XFS): free and still private.
    if (::ioctl(out.Get(), FICLONE, in.Get()) != 0) {
        // In the kernel, without passing every byte through this process.
        off_t left = st.st_size;
        int error = 0;
        while (left > 0) {
            const ssize_t n = ::copy_file_range(in.Get(), nullptr, out.Get(), nullptr,
                                                static_cast<std::size_t>(left), 0);
            if (n < 0) {
                error = errno;
                break;
            }
            if (n == 0) {
                break;  // the source got shorter meanwhile: what is there is copied
            }
            left -= n;
        }
        if (error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP) {
            if (::ftruncate(out.Get(), 0) != 0 || ::lseek(in.Get(), 0, SEEK_SET) != 0 ||
                ::lseek(out.Get(), 0, SEEK_SET) != 0) {
                return errno;
            }
            error = CopyWithReadWrite(in.Get(), out.Get());
        }
        if (error != 0) {
            return error;
        }
    }
    // The view shows the file's date: the copy keeps the original's.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out.Get(), times);
    return out.Close();
}

ViewFile::~ViewFile() {
    if (m_kind != Kind::Direct) {
        ::unlink(m_path.c_str());
    }
}

bool ViewFile::Take(const std::string& path, Stamp& stamp) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    stamp = {st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim)};
    return true;
}

std::string ViewFile::Check() const {
    Stamp now;
    if (!Take(m_path, now)) {
        return m_path + ": Datei nicht vorhanden";
    }
    if (now.device != m_stamp.device || now.inode != m_stamp.inode || now.size != m_stamp.size ||
        now.modified != m_stamp.modified) {
        return (m_kind == Kind::Copy ? m_path : m_origin) +
               ": Datei wurde nach dem Öffnen verändert";
    }
    return {};
}

ViewFileStore::ViewFileStore(std::string folder, std::vector<std::string> shared,
                             std::uint64_t copyLimit)
    : m_folder(std::move(folder)), m_shared(std::move(shared)), m_copyLimit(copyLimit) {
    std::error_code ec;
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        const pid_t owner = OwnerOf(it->path().filename().string());
        if (owner > 0 && owner != ::getpid() && !ProcessAlive(owner)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

bool ViewFileStore::IsShared(const std::string& path) const {
    for (const std::string& s : m_shared) {
        std::error_code ec;
        if (!s.empty() && fs::equivalent(path, s, ec) && !ec) {
            return true;
        }
    }
    return false;
}

std::string ViewFileStore::NewName() {
    return (fs::path(m_folder) / (kPrefix + std::to_string(::getpid()) + "_" +
                                  std::to_string(g_counter.fetch_add(1)) + kSuffix))
        .string();
}

std::shared_ptr<const ViewFile> ViewFileStore::CopyOf(const std::string& path,
                                                      ViewFile::Stamp& stamp, FileError& error) {
    const std::string name = NewName();
    SafeFile out(name);
    if (out.Begin({path})) {
        const int copyError = CopyFileContents(path, out.TempPath());
        if (copyError != 0) {
            out.Fail(copyError);
        } else if (out.Commit() && ViewFile::Take(name, stamp)) {
            return std::shared_ptr<const ViewFile>(
                new ViewFile(name, path, ViewFile::Kind::Copy, stamp));
        }
    }
    error = out.Error();
    if (!error) {
        error = {FileFault::WriteFailed, errno, name};
    }
    return nullptr;
}

std::shared_ptr<const ViewFile> ViewFileStore::Take(const std::string& path, FileError& error) {
    error = {};
    if (const auto it = m_taken.find(path); it != m_taken.end()) {
        if (auto held = it->second.lock()) {
            return held;
        }
        m_taken.erase(it);
    }
    error = CheckSource(path);
    if (error) {
        return nullptr;
    }
    std::error_code ec;
    const std::uint64_t size = fs::file_size(path, ec);
    const bool shared = IsShared(path);
    ViewFile::Stamp stamp;
    auto remember = [&](std::shared_ptr<const ViewFile> file) {
        if (file->HowTaken() != ViewFile::Kind::Direct) {
            m_taken[file->Path()] = file;
        }
        return file;
    };

    // Every writer replaces a file by renaming a finished one onto it, so a hard link keeps the
    // content the view opened: free for the scratch files, however large. Small user files are
    // copied all the same (another program may rewrite them in place).
    if (!shared && size <= m_copyLimit) {
        if (auto copy = CopyOf(path, stamp, error)) {
            return remember(std::move(copy));
        }
        error = {};  // a user's file that could not be copied: link or read it as it is
    }
    const std::string name = NewName();
    // A symbolic link is followed: the link would point elsewhere from the scratch folder.
    if (::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 &&
        ViewFile::Take(name, stamp)) {
        return remember(
            std::shared_ptr<const ViewFile>(new ViewFile(name, path, ViewFile::Kind::Link, stamp)));
    }
    if (shared) {
        // No link possible (the scratch folder on a file system without them): a copy.
        auto copy = CopyOf(path, stamp, error);
        return copy ? remember(std::move(copy)) : nullptr;
    }
    if (!ViewFile::Take(path, stamp)) {
        error = CheckSource(path);
        return nullptr;
    }
    return std::shared_ptr<const ViewFile>(new ViewFile(path, path, ViewFile::Kind::Direct, stamp));
}

std::vector<std::string> ViewFileStore::PrivateFiles() const {
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (OwnerOf(it->path().filename().string()) == ::getpid()) {
            files.push_back(it->path().string());
        }
    }
    return files;
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace ktx {

namespace {

namespace fs = std::filesystem;

constexpr int kMsgAccessDenied = 7;
constexpr int kMsgNotFound = 22;
constexpr int kMsgWriteError = 41;

// The C library's texts are English on most systems; the user reads German.
struct ErrnoText {
    int error;
    const char* text;
};
constexpr ErrnoText kErrnoTexts[] = {
    {EPERM, "Vorgang nicht erlaubt"},
    {ENOENT, "Datei oder Verzeichnis nicht gefunden"},
    {EIO, "Ein-/Ausgabefehler"},
    {ENXIO, "Gerät oder Adresse nicht vorhanden"},
    {EBADF, "ungültiger Dateideskriptor"},
    {ENOMEM, "nicht genug Speicher"},
    {EACCES, "Zugriff verweigert"},
    {EBUSY, "Gerät oder Ressource belegt"},
    {EEXIST, "Datei existiert bereits"},
    {EXDEV, "Verschieben zwischen Dateisystemen nicht möglich"},
    {ENODEV, "Gerät nicht vorhanden"},
    {ENOTDIR, "ist kein Verzeichnis"},
    {EISDIR, "ist ein Verzeichnis"},
    {EINVAL, "ungültiges Argument"},
    {EMFILE, "zu viele offene Dateien"},
    {EFBIG, "Datei zu groß"},
    {ENOSPC, "kein Speicherplatz mehr auf dem Gerät"},
    {EROFS, "Dateisystem nur lesbar"},
    {EPIPE, "Verbindung unterbrochen"},
    {ENAMETOOLONG, "Dateiname zu lang"},
    {EDQUOT, "Speicherkontingent überschritten"},
    {ECONNREFUSED, "Verbindung abgelehnt"},
    {ECONNRESET, "Verbindung vom Gegenüber zurückgesetzt"},
    {ETIMEDOUT, "Zeitüberschreitung der Verbindung"},
    {EHOSTUNREACH, "Rechner nicht erreichbar"},
    {ENETUNREACH, "Netzwerk nicht erreichbar"},
    {EAGAIN, "Ressource vorübergehend nicht verfügbar"},
};

bool IsRegular(const struct stat& st) {
    return S_ISREG(st.st_mode);
}

// Write-protected means no write bit at all, for files and folders alike: root may write
// anything, but what the user protected stays protected.
bool WriteProtected(const struct stat& st) {
    return (st.st_mode & 0222) == 0;
}

// Whether the file `st` describes may be replaced by another file without anyone noticing: the
// user's own, with no second name, in a folder the user may change.
bool MayReplace(const struct stat& st, const std::string& path) {
    const fs::path folder = fs::path(path).parent_path();
    struct stat dir {};
    return st.st_uid == ::geteuid() && st.st_nlink == 1 &&
           ::stat(folder.empty() ? "." : folder.c_str(), &dir) == 0 && !WriteProtected(dir) &&
           ::access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
}

bool ReadAll(int fd, std::string& out) {
    out.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

// Writes `data` from the start of the file and cuts the file there.
bool WriteWhole(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pwrite(fd, data.data() + done, data.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::ftruncate(fd, static_cast<off_t>(data.size())) == 0 && ::fsync(fd) == 0;
}

// A name for the temporary file that no other writer (another view, another program run) uses.
std::string TempNameFor(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    const unsigned long long mix = (ticks * 0x9E3779B97F4A7C15ull) ^
                                   (static_cast<unsigned long long>(getpid()) << 20) ^
                                   counter.fetch_add(1);
    static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string tag;
    unsigned long long v = mix;
    for (int i = 0; i < 6; ++i) {
        tag += kDigits[v % 36];
        v /= 36;
    }
    return target + "." + tag + ".part";
}

}  // namespace

std::string SystemErrorText(int error) {
    for (const ErrnoText& e : kErrnoTexts) {
        if (e.error == error) {
            return e.text;
        }
    }
    return "Systemfehler " + std::to_string(error) + " (" + std::strerror(error) + ")";
}

int FileError::Message() const {
    switch (fault) {
        case FileFault::Missing:
            return kMsgNotFound;
        case FileFault::NotRegular:
        case FileFault::SameAsSource:
        case FileFault::ReadOnly:
        case FileFault::OpenFailed:
            return kMsgAccessDenied;
        default:
            return kMsgWriteError;
    }
}

std::string FileError::Text() const {
    std::string cause;
    switch (fault) {
        case FileFault::None:
            return {};
        case FileFault::Missing:
            cause = "Datei nicht vorhanden";
            break;
        case FileFault::NotRegular:
            cause = "keine normale Datei (Gerät, FIFO oder Verzeichnis)";
            break;
        case FileFault::SameAsSource:
            cause = "Ziel ist zugleich die Quelle";
            break;
        case FileFault::ReadOnly:
            cause = "Datei ist schreibgeschützt";
            break;
        case FileFault::OpenFailed:
        case FileFault::CreateFailed:
        case FileFault::WriteFailed:
        case FileFault::RenameFailed:
            cause = error != 0 ? SystemErrorText(error) : "unbekannter Fehler";
            break;
    }
    return path + ": " + cause;
}

FileError CheckSource(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) {
            return {FileFault::Missing, err, path};
        }
        return {FileFault::OpenFailed, err, path};
    }
    if (!IsRegular(st)) {
        return {FileFault::NotRegular, 0, path};
    }
    return {};
}

std::FILE* OpenSourceFile(const std::string& path, FileError& error) {
    error = {};
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        error = {err == ENOENT || err == ENOTDIR ? FileFault::Missing : FileFault::OpenFailed, err,
                 path};
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !IsRegular(st)) {
        ::close(fd);
        error = {FileFault::NotRegular, 0, path};
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        error = {FileFault::OpenFailed, errno, path};
        ::close(fd);
    }
    return file;
}

SafeFile::SafeFile(std::string target, Placement placement)
    : m_target(std::move(target)), m_placement(placement) {}

SafeFile::~SafeFile() {
    Discard();
}

bool SafeFile::SetError(FileFault fault, int error) {
    m_error = {fault, error, m_target};
    Discard();
    return false;
}

bool SafeFile::Begin(const std::vector<std::string>& sources) {
    m_error = {};
    m_inPlace = false;
    if (m_target.empty()) {
        return SetError(FileFault::CreateFailed, ENOENT);
    }
    std::error_code ec;
    // Follow symbolic links: the file they point at is replaced, the link stays.
    m_realTarget = fs::weakly_canonical(fs::path(m_target), ec).string();
    if (ec || m_realTarget.empty()) {
        m_realTarget = m_target;
    }
    struct stat st {};
    if (::stat(m_realTarget.c_str(), &st) == 0) {
        if (!IsRegular(st)) {
            return SetError(FileFault::NotRegular, 0);
        }
        for (const std::string& source : sources) {
            if (!source.empty() && fs::equivalent(fs::path(source), fs::path(m_realTarget), ec) &&
                !ec) {
                return SetError(FileFault::SameAsSource, 0);
            }
        }
        if (WriteProtected(st)) {
            return SetError(FileFault::ReadOnly, EACCES);
        }
        if (::access(m_realTarget.c_str(), W_OK) != 0) {
            return SetError(FileFault::ReadOnly, errno);
        }
        m_inPlace = m_placement == Placement::KeepIdentity && !MayReplace(st, m_realTarget);
        m_keepMode = true;
        m_mode = st.st_mode & 07777;
        m_group = st.st_gid;
    }
    // Content for an in-place rewrite waits in the temporary folder (the target's folder may be
    // write-protected), readable by the user only.
    std::string stem = m_realTarget;
    if (m_inPlace) {
        fs::path folder = fs::temp_directory_path(ec);
        if (ec) {
            folder = "/tmp";
        }
        stem = (folder / fs::path(m_realTarget).filename()).string();
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temp = TempNameFor(stem);
        // 0666 and the umask: a new file gets the permissions any new file gets.
        const int fd =
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, m_inPlace ? 0600 : 0666);
        if (fd >= 0) {
            if (m_keepMode && !m_inPlace) {
                // The group too where the user may give it (else the file gets the user's own);
                // the owner is the user anyway.
                [[maybe_unused]] const int grouped =
                    ::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(m_group));
                ::fchmod(fd, m_mode);
            }
            ::close(fd);
            m_temp = temp;
            return true;
        }
        if (errno != EEXIST) {
            return SetError(FileFault::CreateFailed, errno);
        }
    }
    return SetError(FileFault::CreateFailed, EEXIST);
}

void SafeFile::Fail(int error) {
    SetError(FileFault::WriteFailed, error);
}

bool SafeFile::Commit() {
    if (m_temp.empty()) {
        if (!m_error) {
            m_error = {FileFault::CreateFailed, 0, m_target};
        }
        return false;
    }
    if (m_inPlace) {
        return RewriteInPlace();
    }
    if (::rename(m_temp.c_str(), m_realTarget.c_str()) != 0) {
        return SetError(FileFault::RenameFailed, errno);
    }
    m_temp.clear();
    return true;
}

bool SafeFile::RewriteInPlace() {
    std::string content;
    const int in = ::open(m_temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0 || !ReadAll(in, content)) {
        const int err = errno;
        if (in >= 0) {
            ::close(in);
        }
        return SetError(FileFault::WriteFailed, err);
    }
    ::close(in);
    const int fd = ::open(m_realTarget.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return SetError(err == EACCES || err == EPERM || err == EROFS ? FileFault::ReadOnly
                                                                      : FileFault::WriteFailed,
                        err);
    }
    std::string old;
    struct stat st {};
    // The file must still be the regular file Begin looked at, not something put in its place.
    if (::fstat(fd, &st) != 0 || !IsRegular(st) || !ReadAll(fd, old)) {
        const int err = errno;
        ::close(fd);
        return SetError(FileFault::WriteFailed, err);
    }
    if (!WriteWhole(fd, content)) {
        const int err = errno;
        // The old content fits the blocks it had: put it back.
        WriteWhole(fd, old);
        ::close(fd);
        return SetError(FileFault::WriteFailed, err);
    }
    if (::close(fd) != 0) {
        return SetError(FileFault::WriteFailed, errno);
    }
    Discard();
    return true;
}

void SafeFile::Discard() {
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "installer/lz_copy.h"

#include <mspack.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "waveform/block_file.h"

namespace ktx {

namespace {

// "SZDD" 88 F0 27 33 (normal form) and "SZ " 88 F0 27 33 D1 (QBasic form).
constexpr std::array<unsigned char, 8> kSzdd = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
constexpr std::array<unsigned char, 8> kSzddQBasic = {'S', 'Z', ' ', 0x88, 0xF0, 0x27, 0x33, 0xD1};
constexpr std::size_t kNormalHeader = 14;  // signature, method 'A', missing char, length (LE32)

// libmspack's own file layer ignores the result of fclose, so a full disk noticed only at the
// final flush would pass for a complete file. This one remembers every failure.
struct CheckedSystem {
    mspack_system ops;  // first member: libmspack hands back a pointer to it
    int error = 0;      // errno of the first failed write, flush or close
};

struct CheckedFile {
    std::FILE* file;
    CheckedSystem* system;
    bool writing;
};

void Remember(CheckedSystem* system, int error) {
    if (system->error == 0) {
        system->error = error != 0 ? error : EIO;
    }
}

mspack_file* Open(mspack_system* self, const char* name, int mode) {
    const bool writing = mode == MSPACK_SYS_OPEN_WRITE;
    if (!writing && mode != MSPACK_SYS_OPEN_READ) {
        return nullptr;
    }
    std::FILE* f = std::fopen(name, writing ? "wb" : "rb");
    if (f == nullptr) {
        if (writing) {
            Remember(reinterpret_cast<CheckedSystem*>(self), errno);
        }
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(
        new CheckedFile{f, reinterpret_cast<CheckedSystem*>(self), writing});
}

void Close(mspack_file* file) {
    auto* f = reinterpret_cast<CheckedFile*>(file);
    if (f == nullptr) {
        return;
    }
    if (std::fclose(f->file) != 0 && f->writing) {
        Remember(f->system, errno);
    }
    delete f;
}

int Read(mspack_file* file, void* buffer, int bytes) {
    auto* f = reinterpret_cast<CheckedFile*>(file);
    if (bytes < 0) {
        return -1;
    }
    const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(bytes), f->file);
    return std::ferror(f->file) ? -1 : static_cast<int>(n);
}

int Write(mspack_file* file, void* buffer, int bytes) {
    auto* f = reinterpret_cast<CheckedFile*>(file);
    if (bytes < 0) {
        return -1;
    }
    const std::size_t n = std::fwrite(buffer, 1, static_cast<std::size_t>(bytes), f->file);
    if (n != static_cast<std::size_t>(bytes)) {
        Remember(f->system, errno);
        return -1;
    }
    return bytes;
}

int Seek(mspack_file* file, off_t offset, int mode) {
    auto* f = reinterpret_cast<CheckedFile*>(file);
    const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
                       : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                                     : SEEK_END;
    return fseeko(f->file, offset, whence) == 0 ? 0 : -1;
}

off_t Tell(mspack_file* file) {
    return ftello(reinterpret_cast<CheckedFile*>(file)->file);
}

void Message(mspack_file*, const char*, ...) {}

void* Alloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}
void Free(void* p) {
    std::free(p);
}
void Copy(void* src, void* dst, size_t bytes) {
    std::memmove(dst, src, bytes);
}

struct Decompressor {
    void operator()(msszdd_decompressor* d) const { mspack_destroy_szdd_decompressor(d); }
};

std::string Describe(const std::string& path, const std::string& what) {
    return path + ": " + what;
}

// The installer speaks English: the C library's own texts, not the program's German ones.
std::string EnglishError(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

std::string EnglishText(const FileError& e) {
    switch (e.fault) {
        case FileFault::Missing:
            return Describe(e.path, "not found");
        case FileFault::NotRegular:
            return Describe(e.path, "not a regular file");
        case FileFault::SameAsSource:
            return Describe(e.path, "is the source itself");
        case FileFault::ReadOnly:
            return Describe(e.path, "write-protected");
        default:
            return Describe(e.path, EnglishError(e.error));
    }
}

bool ReadSignature(const std::string& path, std::array<unsigned char, kNormalHeader>& head,
                   std::size_t& got) {
    FileError error;
    std::FILE* f = OpenSourceFile(path, error);
    if (f == nullptr) {
        return false;
    }
    got = std::fread(head.data(), 1, head.size(), f);
    std::fclose(f);
    return true;
}

bool HasSignature(const std::array<unsigned char, kNormalHeader>& head, std::size_t got) {
    return got >= kSzdd.size() && (std::memcmp(head.data(), kSzdd.data(), kSzdd.size()) == 0 ||
                                   std::memcmp(head.data(), kSzddQBasic.data(), 8) == 0);
}

// Puts the finished target's permissions right: "normal" on this system means rw-r--r--, and
// rwxr-xr-x for programs, whatever the medium's file system said.
bool SetNormalMode(const std::string& target, bool executable) {
    const mode_t mode = executable ? 0755 : 0644;
    return ::chmod(target.c_str(), mode) == 0;
}

bool SourceIsExecutable(const std::string& source) {
    struct stat st {};
    return ::stat(source.c_str(), &st) == 0 && (st.st_mode & 0111) != 0;
}

}  // namespace

bool IsLzCompressed(const std::string& path) {
    std::array<unsigned char, kNormalHeader> head{};
    std::size_t got = 0;
    return ReadSignature(path, head, got) && HasSignature(head, got);
}

std::string ExpandedName(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    std::array<unsigned char, kNormalHeader> head{};
    std::size_t got = 0;
    if (name.size() < 2 || name.back() != '_' || !ReadSignature(path, head, got) ||
        !HasSignature(head, got)) {
        return name;
    }
    const bool normal = std::memcmp(head.data(), kSzdd.data(), kSzdd.size()) == 0;
    const unsigned char missing = normal && got > 9 ? head[9] : 0;
    // Only a letter a file name may hold (never a separator) is put back.
    if (missing > ' ' && missing < 0x7F && missing != '/' && missing != '\\' && missing != '.') {
        name.back() = static_cast<char>(missing);
    } else {
        name.pop_back();
    }
    return name;
}

std::optional<std::uint64_t> ExpandedSize(const std::string& path) {
    std::array<unsigned char, kNormalHeader> head{};
    std::size_t got = 0;
    if (!ReadSignature(path, head, got)) {
        return std::nullopt;
    }
    if (got == kNormalHeader && std::memcmp(head.data(), kSzdd.data(), kSzdd.size()) == 0) {
        return std::uint64_t{head[10]} | std::uint64_t{head[11]} << 8 |
               std::uint64_t{head[12]} << 16 | std::uint64_t{head[13]} << 24;
    }
    if (got >= 12 && std::memcmp(head.data(), kSzddQBasic.data(), kSzddQBasic.size()) == 0) {
        return std::uint64_t{head[8]} | std::uint64_t{head[9]} << 8 |
               std::uint64_t{head[10]} << 16 | std::uint64_t{head[11]} << 24;
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        return std::nullopt;
    }
    return size;
}

LzCopyResult LzCopy(const std::string& source, const std::string& target, bool executable) {
    LzCopyResult result;
    if (const FileError e = CheckSource(source)) {
        result.error = EnglishText(e);
        return result;
    }
    std::array<unsigned char, kNormalHeader> head{};
    std::size_t got = 0;
    if (!ReadSignature(source, head, got)) {
        result.error = Describe(source, "cannot be read");
        return result;
    }
    const bool runnable = executable || SourceIsExecutable(source);

    SafeFile file(target);
    if (!file.Begin({source})) {
        result.error = EnglishText(file.Error());
        return result;
    }
    if (HasSignature(head, got)) {
        CheckedSystem system{};
        system.ops = {Open, Close, Read, Write, Seek, Tell, Message, Alloc, Free, Copy, nullptr};
        std::unique_ptr<msszdd_decompressor, Decompressor> lz(
            mspack_create_szdd_decompressor(&system.ops));
        if (!lz) {
            file.Fail(ENOMEM);
            result.error = Describe(source, "the expander could not be started");
            return result;
        }
        msszddd_header* header = lz->open(lz.get(), source.c_str());
        if (header == nullptr) {
            file.Fail(EIO);
            result.error = Describe(source, "not a valid compressed file");
            return result;
        }
        const off_t stated = header->length;
        const int rc = lz->extract(lz.get(), header, file.TempPath().c_str());
        lz->close(lz.get(), header);
        // A file cut short on the medium expands into fewer bytes than its header states.
        std::error_code ec;
        const bool complete =
            rc == MSPACK_ERR_OK &&
            std::filesystem::file_size(file.TempPath(), ec) == static_cast<std::uintmax_t>(stated);
        if (!complete || system.error != 0) {
            const int error = system.error != 0 ? system.error : EIO;
            file.Fail(error);
            result.error = system.error != 0 ? Describe(target, EnglishError(error))
                                             : Describe(source, "damaged compressed data");
            return result;
        }
    } else {
        BlockReader in(source);
        BlockWriter out(file.TempPath());
        if (!in.IsOpen() || !out.IsOpen()) {
            file.Fail(out.IsOpen() ? EIO : out.Errno());
            result.error = in.IsOpen() ? Describe(target, EnglishError(out.Errno()))
                                       : EnglishText(in.OpenError());
            return result;
        }
        // Not cleared: the copy of a small file touches only what it reads.
        const auto buffer =
            std::make_unique_for_overwrite<unsigned char[]>(BlockReader::kBlockSize);
        for (;;) {
            const std::size_t n = in.Read(buffer.get(), BlockReader::kBlockSize);
            if (n == 0) {
                break;
            }
            out.Write(buffer.get(), n);
            if (!out.Ok()) {
                break;
            }
        }
        const bool closed = out.Close();
        if (in.Failed() || !closed) {
            const int error = in.Failed() ? EIO : out.Errno();
            file.Fail(error != 0 ? error : EIO);
            result.error =
                Describe(in.Failed() ? source : target, EnglishError(error != 0 ? error : EIO));
            return result;
        }
    }
    if (!file.Commit()) {
        result.error = EnglishText(file.Error());
        return result;
    }
    if (!SetNormalMode(target, runnable)) {
        result.error = Describe(target, EnglishError(errno));
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace ktx

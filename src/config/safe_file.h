// SPDX-License-Identifier: GPL-3.0-or-later
// The one way the program writes a file the user may already have: the new content goes into a
// temporary file next to the target, which is renamed onto the target only when everything was
// written. On any failure (full disk, write error, the user cancels) the old target keeps its
// content and the temporary file is removed. A target that is one of the operation's own sources
// (also under another name, through a symbolic or hard link) is refused before anything is
// written, and so is a target that is no regular file (a FIFO, a device node, a folder).
//
// A target that must keep its identity (a settings file that is a hard link, belongs to another
// user or lies in a write-protected folder) is rewritten in place instead; see Placement.
//
// Sources are checked the same way before they are opened: a missing file, a FIFO or a device
// gets its own clear reason instead of "not found" or a reader that waits forever.
//
// Not thread-safe; each object belongs to one writer.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace ktx {

enum class FileFault {
    None,
    Missing,       // the file does not exist
    NotRegular,    // a FIFO, a device node, a socket or a folder
    SameAsSource,  // the target is one of the files the operation reads
    ReadOnly,      // the target exists but is write-protected
    OpenFailed,    // a source exists but cannot be opened (permissions, ...)
    CreateFailed,  // the temporary file next to the target cannot be made
    WriteFailed,   // a write, flush or close failed (ENOSPC, EIO, ...)
    RenameFailed,  // the finished file could not be put in place
};

struct FileError {
    FileFault fault = FileFault::None;
    int error = 0;     // errno where the system gave one, else 0
    std::string path;  // the file concerned

    explicit operator bool() const { return fault != FileFault::None; }
    // The catalogue message that fits: 22 "Datei nicht gefunden" only for missing files, 7
    // "Dateizugriff verweigert" for files that may not be used, 41 "Schreibfehler" for failed
    // writes.
    int Message() const;
    // The cause in German for the message's extra text, naming the file ("/tmp/x: Auf dem Gerät
    // ist kein Speicherplatz mehr verfügbar").
    std::string Text() const;
};

// German text of a system error number (the C library's own texts are English here).
std::string SystemErrorText(int error);

// Checks that `path` is an existing regular file (symbolic links are followed). Never blocks.
FileError CheckSource(const std::string& path);

// Opens a regular file for reading without ever blocking on a FIFO or a device: nullptr with
// `error` set otherwise. The stream is unbuffered-ready binary ("rb").
std::FILE* OpenSourceFile(const std::string& path, FileError& error);

class SafeFile {
  public:
    // How the finished file takes the place of an existing target.
    enum class Placement {
        // The temporary file is renamed onto the target: the target becomes a new file.
        Replace,
        // Renamed only onto a file the user may replace unnoticed: the user's own, with one name,
        // in a folder the user may write. Any other target keeps its inode, links and owner: the
        // finished content is written into the file itself and, should that write fail, the old
        // content is written back. Meant for small files (both contents are held in memory).
        KeepIdentity,
    };

    // Nothing happens on disk until Begin.
    explicit SafeFile(std::string target, Placement placement = Placement::Replace);
    ~SafeFile();  // removes the temporary file unless Commit succeeded
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Checks the target against `sources` and creates the empty temporary file next to it
    // (next to the file a symbolic link points at, so the link stays a link; in the system's
    // temporary folder when the target is rewritten in place). A new file gets the permissions
    // the umask allows, a replaced one keeps its own.
    bool Begin(const std::vector<std::string>& sources = {});

    // Where the writer writes; valid after a successful Begin.
    const std::string& TempPath() const { return m_temp; }
    const std::string& Target() const { return m_target; }

    // The writer failed (errno `error`): the temporary file is removed, the target untouched.
    void Fail(int error);
    // Puts the finished file in place. False (with Error() set) when that failed; the target
    // is then untouched and the temporary file gone.
    bool Commit();
    // Gives up without a failure (the user cancelled).
    void Discard();

    const FileError& Error() const { return m_error; }

  private:
    bool SetError(FileFault fault, int error);
    bool RewriteInPlace();

    std::string m_target;      // as the caller named it
    std::string m_realTarget;  // symbolic links resolved: what is replaced
    std::string m_temp;
    FileError m_error;
    Placement m_placement;
    bool m_inPlace = false;
    bool m_keepMode = false;
    unsigned m_mode = 0;
    unsigned m_group = 0;
};

}  // namespace ktx

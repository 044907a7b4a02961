// SPDX-License-Identifier: GPL-3.0-or-later
// A waveform view's own file. Waveforms reach views through two shared scratch files
// (ktx_tmp.tmp for imports and transfers, ktx_tmp1.tmp for compressed copies and cut-outs) which
// the next import, transfer, cut or compression rewrites; a view that went on reading them would
// save, cut or search points that are no longer its own. So a view takes the file it shows, and a
// compressed view also the file it was compressed from, when it opens:
//  - a shared scratch file is hard-linked: every writer of the program replaces a file by
//    renaming a finished one onto it (SafeFile), so the link keeps what the view opened, at no
//    cost however large the file; where no link can be made it is copied;
//  - a user's file of up to kCopyLimit bytes is copied (another program may rewrite it in
//    place), a larger one is hard-linked (free, and it survives the file being replaced or
//    deleted, as editors and SafeFile do); where no link can be made (another file system) the
//    view reads the user's file itself;
//  - a file a view already holds (the source a "Sample"/"Peak" view hands on) is shared.
// Private files live in the scratch folder as ktx_view_<process>_<n>.tmp and go when the last
// view holding them closes. A linked or directly read user file is checked before each use, so
// a rewrite in place by another program is reported instead of read as if it were the old one.
//
// User-interface thread only.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/safe_file.h"

namespace ktx {

class ViewFile {
  public:
    enum class Kind { Copy, Link, Direct };

    ~ViewFile();  // removes the private file
    ViewFile(const ViewFile&) = delete;
    ViewFile& operator=(const ViewFile&) = delete;

    // What the view reads.
    const std::string& Path() const { return m_path; }
    // The file it was taken from (a scratch file or the user's file).
    const std::string& Origin() const { return m_origin; }
    Kind HowTaken() const { return m_kind; }

    // Empty while Path still holds what it held when it was taken; otherwise why not, in German
    // and naming the file ("/x/a.ktx: Datei wurde nach dem Öffnen verändert").
    std::string Check() const;

  private:
    friend class ViewFileStore;
    struct Stamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        std::int64_t modified = 0;  // nanoseconds
    };
    ViewFile(std::string path, std::string origin, Kind kind, const Stamp& stamp)
        : m_path(std::move(path)), m_origin(std::move(origin)), m_kind(kind), m_stamp(stamp) {}
    static bool Take(const std::string& path, Stamp& stamp);

    std::string m_path;
    std::string m_origin;
    Kind m_kind;
    Stamp m_stamp;
};

class ViewFileStore {
  public:
    // User files up to this size are copied rather than linked.
    static constexpr std::uint64_t kCopyLimit = 64ull << 20;

    // Private files go into `folder`; `shared` are the scratch files other operations rewrite.
    // Private files left behind by runs of the program that have ended (a crash) are removed.
    ViewFileStore(std::string folder, std::vector<std::string> shared,
                  std::uint64_t copyLimit = kCopyLimit);

    // The view's own file for `path`, or nullptr with `error` set (a missing or unreadable
    // source, a full disk while copying a scratch file).
    std::shared_ptr<const ViewFile> Take(const std::string& path, FileError& error);

    // Private files of this run that exist now (for tests and the report of a leak).
    std::vector<std::string> PrivateFiles() const;

  private:
    bool IsShared(const std::string& path) const;
    std::string NewName();
    std::shared_ptr<const ViewFile> CopyOf(const std::string& path, ViewFile::Stamp& stamp,
                                           FileError& error);

    std::string m_folder;
    std::vector<std::string> m_shared;
    std::uint64_t m_copyLimit;
    // Private files handed out and still held by a view, by path.
    std::map<std::string, std::weak_ptr<const ViewFile>> m_taken;
};

// Copies `source` to `target` (an existing, empty file of the caller's) keeping its
// modification time; the file system shares the blocks where it can. errno-style result, 0 on
// success.
int CopyFileContents(const std::string& source, const std::string& target);

}  // namespace ktx

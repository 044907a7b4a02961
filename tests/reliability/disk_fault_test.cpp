// SPDX-License-Identifier: GPL-3.0-or-later
// The writers the program calls without the command line (the command line's writers are in
// ktx_hostile_cli_test) against a full disk and a write-protected target: each reports the
// failure as the fault it is, the user's old file keeps its content, and no temporary file is
// left beside it. The full disk is a file size limit on this process (no file may grow beyond
// it), which every write of the program meets as ENOSPC-like EFBIG.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/profile_file.h"
#include "config/safe_file.h"
#include "images/image_files.h"
#include "images/picture_codec.h"
#include "test_files.h"
#include "view/view_save.h"

namespace ktx {
namespace {

namespace fs = std::filesystem;

// The limit lies far below what every writer here writes.
constexpr std::uint64_t kFullAfter = 4096;

// Runs the writer onto `target`; returns the fault it reported (None for success).
using Write = std::function<FileFault(const std::string& source, const std::string& target)>;

struct Writer {
    const char* name;
    const char* target;  // file name; its suffix may choose the format
    Write write;
};

// A one-column waveform file standing in for a view's file: 100 000 records of 12 bytes after
// a 12-byte header (the record layout matters, not the values).
std::string LargeSource(const test::TempDir& dir) {
    const std::string path = dir.Path("view.ktx");
    test::WriteFile(path, test::Bytes(12 * 100001, 0x41));
    return path;
}

RgbImage LargePicture() {
    RgbImage image;
    image.width = 640;
    image.height = 480;
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    for (std::size_t i = 0; i < image.rgb.size(); ++i) {
        image.rgb[i] = static_cast<std::uint8_t>(i * 7 % 251);  // PNG cannot squeeze it small
    }
    return image;
}

FileFault SavePicture(const std::string& target) {
    FileError error;
    bool unsupported = false;
    SavePictureFile(LargePicture(), target, error, unsupported);
    return unsupported ? FileFault::OpenFailed : error.fault;
}

const Writer kWriters[] = {
    {"ProfileValue", "kurvitex.ini",
     [](const std::string&, const std::string& target) {
         // The rewrite of a large settings file with one value changed.
         return ProfileFile(target).WriteString("TRANSFER", "SS_TYPE", "4")
                    ? FileFault::None
                    : FileFault::WriteFailed;
     }},
    {"PictureComment", "bild.dat",
     [](const std::string&, const std::string& target) {
         FileError error;
         WriteCommentLines(target, std::vector<std::string>(2000, std::string(60, 'k')), error);
         return error.fault;
     }},
    {"ViewSaveWhole", "kopie.ktx",
     [](const std::string& source, const std::string& target) {
         return SaveWholeFile(source, target, {source}).fault;
     }},
    {"ViewSaveRange", "auswahl.ktx",
     [](const std::string& source, const std::string& target) {
         return SaveRecordRange(source, 12, 0, 50000, target, {source}).fault;
     }},
    {"PictureBmp", "bild.bmp",
     [](const std::string&, const std::string& target) { return SavePicture(target); }},
    {"PicturePng", "bild.png",
     [](const std::string&, const std::string& target) { return SavePicture(target); }},
};

enum class Disk { Full, ReadOnlyTarget };

using Case = std::tuple<std::size_t, Disk>;

class DiskFault : public ::testing::TestWithParam<Case> {};

TEST_P(DiskFault, ReportedAndTheOldFileStays) {
    const Writer& w = kWriters[std::get<0>(GetParam())];
    const Disk disk = std::get<1>(GetParam());
    test::TempDir dir;
    const std::string source = LargeSource(dir);
    const std::string target = dir.Path(w.target);
    // The old file: for the settings file a large one, so that its rewrite meets the limit.
    std::string old = "[TRANSFER]\nSS_TYPE=1\n";
    old += std::string(3 * kFullAfter, ';') + "\n";
    test::WriteFile(target, old);
    const std::size_t entries = static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir.Path("")), fs::directory_iterator{}));

    FileFault fault = FileFault::None;
    if (disk == Disk::Full) {
        const test::FileSizeLimit full(kFullAfter);
        fault = w.write(source, target);
    } else {
        fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
        fault = w.write(source, target);
    }

    if (disk == Disk::Full) {
        EXPECT_EQ(fault, FileFault::WriteFailed);
    } else {
        EXPECT_TRUE(fault == FileFault::ReadOnly || fault == FileFault::WriteFailed)
            << static_cast<int>(fault);
    }
    EXPECT_EQ(test::ReadFile(target), test::FromText(old));
    EXPECT_EQ(static_cast<std::size_t>(
                  std::distance(fs::directory_iterator(dir.Path("")), fs::directory_iterator{})),
              entries)
        << "a temporary file was left behind";
    fs::permissions(target, fs::perms::owner_all);
    // With room again the same writer goes through.
    EXPECT_EQ(w.write(source, target), FileFault::None);
}

INSTANTIATE_TEST_SUITE_P(Writers, DiskFault,
                         ::testing::Combine(::testing::Range<std::size_t>(0, std::size(kWriters)),
                                            ::testing::Values(Disk::Full, Disk::ReadOnlyTarget)),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(kWriters[std::get<0>(info.param)].name) +
                                    (std::get<1>(info.param) == Disk::Full ? "_FullDisk"
                                                                           : "_ReadOnlyTarget");
                         });

}  // namespace
}  // namespace ktx

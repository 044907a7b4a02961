// SPDX-License-Identifier: GPL-3.0-or-later
// A view's own file: whatever happens to the file it was taken from afterwards, the view reads
// what it took, or is told that it cannot.
#include "view/view_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "test_files.h"

namespace ktx {
namespace {

namespace fs = std::filesystem;

enum class Later { RewrittenInPlace, Replaced, Deleted };

struct TakeCase {
    const char* name;
    bool scratch;             // one of the shared scratch files
    std::uint64_t copyLimit;  // 0: every user file counts as large
    Later later;
    ViewFile::Kind kind;
    bool reportsChange;
};

class ViewFileTake : public ::testing::TestWithParam<TakeCase> {};

TEST_P(ViewFileTake, LaterWritesNeverReachTheView) {
    const TakeCase& c = GetParam();
    test::TempDir dir;
    const std::string origin = dir.Path(c.scratch ? "ktx_tmp.tmp" : "messung.ktx");
    test::WriteFile(origin, std::string("erste Kurve"));
    ViewFileStore store(dir.Path(""), {dir.Path("ktx_tmp.tmp")}, c.copyLimit);
    FileError error;
    auto file = store.Take(origin, error);
    ASSERT_TRUE(file) << error.Text();
    EXPECT_EQ(file->HowTaken(), c.kind);
    EXPECT_EQ(file->Origin(), origin);
    EXPECT_NE(file->Path(), origin);
    const std::string path = file->Path();

    switch (c.later) {
        case Later::RewrittenInPlace: {
            std::ofstream(origin, std::ios::trunc) << "zweite";
            break;
        }
        case Later::Replaced:
            test::WriteFile(dir.Path("neu"), std::string("zweite"));
            fs::rename(dir.Path("neu"), origin);
            break;
        case Later::Deleted:
            fs::remove(origin);
            break;
    }
    const auto bytes = test::ReadFile(path);
    const std::string now(bytes.begin(), bytes.end());
    if (c.reportsChange) {
        // A link shares the file: the change reaches it, and the view is told so.
        EXPECT_EQ(file->Check(), origin + ": Datei wurde nach dem Öffnen verändert");
    } else {
        EXPECT_EQ(now, "erste Kurve");
        EXPECT_EQ(file->Check(), "");
    }
    file.reset();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(store.PrivateFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ViewFileTake,
    // The program's writers replace the scratch files by renaming a finished file onto them,
    // so a link keeps the view's content; a writer that rewrote one in place would be noticed.
    ::testing::Values(TakeCase{"scratch_replaced", true, ViewFileStore::kCopyLimit, Later::Replaced,
                               ViewFile::Kind::Link, false},
                      TakeCase{"scratch_rewritten", true, ViewFileStore::kCopyLimit,
                               Later::RewrittenInPlace, ViewFile::Kind::Link, true},
                      TakeCase{"small_user_file_rewritten", false, ViewFileStore::kCopyLimit,
                               Later::RewrittenInPlace, ViewFile::Kind::Copy, false},
                      TakeCase{"large_user_file_replaced", false, 0, Later::Replaced,
                               ViewFile::Kind::Link, false},
                      TakeCase{"large_user_file_deleted", false, 0, Later::Deleted,
                               ViewFile::Kind::Link, false},
                      TakeCase{"large_user_file_rewritten", false, 0, Later::RewrittenInPlace,
                               ViewFile::Kind::Link, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A file a view holds is shared with the next view that asks for it (the source a "Peak" view
// hands to its successor); files of runs that ended without cleaning up go with the next start.
TEST(ViewFileStore, SharesHeldFilesAndSweepsThoseOfEndedRuns) {
    test::TempDir dir;
    const pid_t ended = fork();
    if (ended == 0) {
        _exit(0);
    }
    ASSERT_GT(ended, 0);
    waitpid(ended, nullptr, 0);
    const std::string leftover = dir.Path("ktx_view_" + std::to_string(ended) + "_3.tmp");
    const std::string mine = dir.Path("ktx_view_" + std::to_string(getpid()) + "_999999.tmp");
    for (const std::string& f : {leftover, leftover + ".ab12cd.part", mine, dir.Path("x.tmp")}) {
        test::WriteFile(f, std::string("x"));
    }
    ViewFileStore store(dir.Path(""), {});
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_FALSE(fs::exists(leftover + ".ab12cd.part"));
    EXPECT_TRUE(fs::exists(mine));
    EXPECT_TRUE(fs::exists(dir.Path("x.tmp")));

    test::WriteFile(dir.Path("a.ktx"), std::string("Kurve"));
    FileError error;
    auto first = store.Take(dir.Path("a.ktx"), error);
    ASSERT_TRUE(first);
    auto second = store.Take(first->Path(), error);
    EXPECT_EQ(second, first);
    const std::string path = first->Path();
    first.reset();
    EXPECT_TRUE(fs::exists(path));  // the second view still holds it
    second.reset();
    EXPECT_FALSE(fs::exists(path));

    // Nothing to take: the reason, no file.
    EXPECT_FALSE(store.Take(dir.Path("fehlt.ktx"), error));
    EXPECT_EQ(error.fault, FileFault::Missing);
}

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/safe_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>

#include "test_files.h"

namespace ktx {
namespace {

namespace fs = std::filesystem;

std::string Text(const std::string& path) {
    const auto bytes = test::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Writes `text` through a SafeFile the way every writer does.
bool Replace(const std::string& target, const std::string& text,
             const std::vector<std::string>& sources, FileError* error = nullptr) {
    SafeFile file(target);
    bool ok = file.Begin(sources);
    if (ok) {
        test::WriteFile(file.TempPath(), text);
        ok = file.Commit();
    }
    if (error != nullptr) {
        *error = file.Error();
    }
    return ok;
}

std::size_t FilesIn(const std::string& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
}

struct RefusedCase {
    const char* name;
    // Prepares the folder and returns the target to write; `source` is the operation's source.
    std::string (*prepare)(const test::TempDir& dir, const std::string& source);
    FileFault fault;
    int message;
};

const RefusedCase kRefused[] = {
    {"SameFile", [](const test::TempDir&, const std::string& s) { return s; },
     FileFault::SameAsSource, 7},
    {"SameFileOtherSpelling",
     [](const test::TempDir& d, const std::string&) { return d.Path("sub/../src.ktx"); },
     FileFault::SameAsSource, 7},
    {"HardLink",
     [](const test::TempDir& d, const std::string& s) {
         fs::create_hard_link(s, d.Path("hard.ktx"));
         return d.Path("hard.ktx");
     },
     FileFault::SameAsSource, 7},
    {"SymbolicLink",
     [](const test::TempDir& d, const std::string& s) {
         fs::create_symlink(s, d.Path("soft.ktx"));
         return d.Path("soft.ktx");
     },
     FileFault::SameAsSource, 7},
    {"Fifo",
     [](const test::TempDir& d, const std::string&) {
         ::mkfifo(d.Path("fifo").c_str(), 0600);
         return d.Path("fifo");
     },
     FileFault::NotRegular, 7},
    {"Folder",
     [](const test::TempDir& d, const std::string&) {
         fs::create_directory(d.Path("folder"));
         return d.Path("folder");
     },
     FileFault::NotRegular, 7},
    // A private device node (root only): a test must never risk the system's own.
    {"DeviceNode",
     [](const test::TempDir& d, const std::string&) {
         return ::mknod(d.Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0
                    ? d.Path("null")
                    : std::string();
     },
     FileFault::NotRegular, 7},
    {"WriteProtected",
     [](const test::TempDir& d, const std::string&) {
         test::WriteFile(d.Path("ro.ktx"), std::string("old"));
         fs::permissions(d.Path("ro.ktx"), fs::perms::owner_read);
         return d.Path("ro.ktx");
     },
     FileFault::ReadOnly, 7},
    {"MissingFolder",
     [](const test::TempDir& d, const std::string&) { return d.Path("none/x.ktx"); },
     FileFault::CreateFailed, 41},
};

class SafeFileRefuses : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(SafeFileRefuses, LeavesEverythingAsItWas) {
    test::TempDir dir;
    fs::create_directory(dir.Path("sub"));
    const std::string source = dir.Path("src.ktx");
    test::WriteFile(source, std::string("source"));
    const std::string target = GetParam().prepare(dir, source);
    if (target.empty()) {
        GTEST_SKIP() << "cannot make this kind of file here";
    }
    const std::size_t before = FilesIn(dir.Path(""));

    FileError error;
    EXPECT_FALSE(Replace(target, "new", {source}, &error));
    EXPECT_EQ(error.fault, GetParam().fault);
    EXPECT_EQ(error.Message(), GetParam().message);
    EXPECT_NE(error.Text().find(target), std::string::npos);
    EXPECT_EQ(Text(source), "source");
    EXPECT_EQ(FilesIn(dir.Path("")), before);  // no temporary file left behind
    if (GetParam().fault == FileFault::NotRegular) {
        EXPECT_FALSE(fs::is_regular_file(target));  // still what it was
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, SafeFileRefuses, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SafeFile, ReplacesThroughLinksAndKeepsPermissions) {
    test::TempDir dir;
    const std::string real = dir.Path("real.ktx");
    test::WriteFile(real, std::string("old"));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, dir.Path("link.ktx"));

    ASSERT_TRUE(Replace(dir.Path("link.ktx"), "new", {dir.Path("other.ktx")}));
    EXPECT_TRUE(fs::is_symlink(dir.Path("link.ktx")));
    EXPECT_EQ(Text(real), "new");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(FilesIn(dir.Path("")), 2u);
}

TEST(SafeFile, AFailedOrCancelledWriteKeepsTheOldTarget) {
    test::TempDir dir;
    const std::string target = dir.Path("t.ktx");
    test::WriteFile(target, std::string("old"));
    {
        SafeFile file(target);
        ASSERT_TRUE(file.Begin());
        test::WriteFile(file.TempPath(), std::string("half"));
        file.Fail(ENOSPC);
        EXPECT_FALSE(file.Commit());
        EXPECT_EQ(file.Error().Message(), 41);
        EXPECT_NE(file.Error().Text().find("kein Speicherplatz"), std::string::npos);
    }
    {
        SafeFile file(target);
        ASSERT_TRUE(file.Begin());
        test::WriteFile(file.TempPath(), std::string("abandoned"));
    }  // destroyed without Commit
    EXPECT_EQ(Text(target), "old");
    EXPECT_EQ(FilesIn(dir.Path("")), 1u);
}

TEST(SafeFile, AFailedRewriteInPlacePutsTheOldContentBack) {
    test::TempDir dir;
    const std::string target = dir.Path("kurvitex.ini");
    const std::string old(100, 'o');
    test::WriteFile(target, old);
    fs::create_hard_link(target, dir.Path("backup.ini"));  // a second name: rewritten in place
    SafeFile file(target, SafeFile::Placement::KeepIdentity);
    ASSERT_TRUE(file.Begin());
    const std::string staged = file.TempPath();
    EXPECT_EQ(fs::path(staged).parent_path(), fs::temp_directory_path());
    test::WriteFile(staged, std::string(8192, 'n'));

    // No file may grow beyond 4 KiB for a moment: the rewrite fails half-way with EFBIG.
    rlimit was{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &was), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{4096, was.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool committed = file.Commit();
    ::setrlimit(RLIMIT_FSIZE, &was);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(committed);
    EXPECT_EQ(file.Error().fault, FileFault::WriteFailed);
    EXPECT_EQ(file.Error().error, EFBIG);
    EXPECT_EQ(Text(target), old);
    EXPECT_EQ(fs::hard_link_count(target), 2u);
    EXPECT_FALSE(fs::exists(staged));
}

TEST(SafeFile, SourcesAreCheckedWithoutBlocking) {
    test::TempDir dir;
    ::mkfifo(dir.Path("fifo").c_str(), 0600);
    test::WriteFile(dir.Path("file"), std::string("x"));
    FileError error;
    EXPECT_EQ(OpenSourceFile(dir.Path("fifo"), error), nullptr);  // would wait for a writer
    EXPECT_EQ(error.fault, FileFault::NotRegular);
    EXPECT_EQ(OpenSourceFile(dir.Path("none"), error), nullptr);
    EXPECT_EQ(error.Message(), 22);
    EXPECT_EQ(CheckSource("/dev/zero").fault, FileFault::NotRegular);
    std::FILE* f = OpenSourceFile(dir.Path("file"), error);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fgetc(f), 'x');
    std::fclose(f);
}

}  // namespace
}  // namespace ktx

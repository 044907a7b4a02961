// SPDX-License-Identifier: GPL-3.0-or-later
// The user's data folder standing in for an installed, write-protected program folder: what is
// copied, what is linked, what is left alone, and that a second start changes nothing the user
// has changed.
#include <gtest/gtest.h>

#include <filesystem>

#include "config/user_home.h"
#include "test_files.h"

namespace ktx {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Text(const fs::path& p) {
    const test::Bytes b = ReadFile(p.string());
    return std::string(b.begin(), b.end());
}

TEST(UserHome, FillsFromTheInstalledFolderAndKeepsTheUsersChanges) {
    TempDir tmp;
    const fs::path installed = tmp.Path("usr/lib/kurvitex");
    const fs::path home = tmp.Path("data/kurvitex");
    fs::create_directories(installed / "Driver");
    fs::create_directories(installed / "help");
    WriteFile((installed / "kurvitex.ini").string(), std::string("[DEVICE]\nINIFILE=a\n"));
    WriteFile((installed / "Driver" / "kt_a.ini").string(), std::string("[DEVICE]\nNAME=A\n"));
    WriteFile((installed / "help" / "index.html").string(), std::string("<p>Hilfe</p>"));
    WriteFile((installed / "ktx_tcp.so").string(), std::string("ELF"));
    WriteFile((installed / "kurvitex").string(), std::string("ELF"));
    fs::permissions(installed / "kurvitex", fs::perms(0755));
    fs::permissions(installed / "ktx_tcp.so", fs::perms(0755));

    std::string error;
    ASSERT_TRUE(FillUserHome(installed.string(), home.string(), error)) << error;

    enum Kind { Copy, Link, Absent };
    struct Case {
        const char* name;
        Kind kind;
    };
    for (const Case& c :
         {Case{"kurvitex.ini", Copy}, Case{"Driver", Copy}, Case{"Driver/kt_a.ini", Copy},
          Case{"help", Link}, Case{"ktx_tcp.so", Link}, Case{"kurvitex", Absent}}) {
        SCOPED_TRACE(c.name);
        const auto status = fs::symlink_status(home / c.name);
        switch (c.kind) {
            case Copy:
                EXPECT_TRUE(fs::is_regular_file(status) || fs::is_directory(status));
                break;
            case Link:
                ASSERT_TRUE(fs::is_symlink(status));
                EXPECT_TRUE(fs::equivalent(home / c.name, installed / c.name));
                break;
            case Absent:
                EXPECT_FALSE(fs::exists(status));
                break;
        }
    }
    EXPECT_EQ(Text(home / "Driver" / "kt_a.ini"), "[DEVICE]\nNAME=A\n");

    // The user changes the settings; an update ships a new instrument. The next start brings
    // the new one and keeps the change.
    WriteFile((home / "kurvitex.ini").string(), std::string("[DEVICE]\nINIFILE=b\n"));
    WriteFile((installed / "Driver" / "kt_b.ini").string(), std::string("[DEVICE]\nNAME=B\n"));
    ASSERT_TRUE(FillUserHome(installed.string(), home.string(), error)) << error;
    EXPECT_EQ(Text(home / "kurvitex.ini"), "[DEVICE]\nINIFILE=b\n");
    EXPECT_EQ(Text(home / "Driver" / "kt_b.ini"), "[DEVICE]\nNAME=B\n");
    // The installed folder is never written.
    EXPECT_EQ(Text(installed / "kurvitex.ini"), "[DEVICE]\nINIFILE=a\n");

    // A writable program folder is used as it is.
    EXPECT_EQ(ChooseProgramHome(installed.string(), error), installed.string());

    // A data folder that cannot be made is a failure with its reason, not a crash.
    WriteFile(tmp.Path("file"), std::string("x"));
    EXPECT_FALSE(FillUserHome(installed.string(), tmp.Path("file/kurvitex"), error));
    EXPECT_NE(error.find("file"), std::string::npos);
}

}  // namespace
}  // namespace ktx

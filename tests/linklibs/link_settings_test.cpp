// SPDX-License-Identifier: GPL-3.0-or-later
// Reading an interface library's section the way Windows profiles are read, and writing its
// defaults only where that is harmless.
#include "link_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "link_test_support.h"

namespace ktx::linklib::test {
namespace {

TEST(LinkSettingsTest, ReadsKeysWithoutRegardToCaseAndTakesTheFirstDuplicate) {
    ScratchDir dir;
    const std::string ini = dir.File("kurvitex.ini");
    WriteWholeFile(ini,
                   "[rs232]\nconfig=COM2:9600,N,8,1\n[Tcp]\nHost=10.0.0.7\nport=4000\n"
                   "PORT=5025\nTIMEOUT=12abc\nBAD=abc\n");
    const LinkSettings tcp(ini, "TCP");
    EXPECT_EQ(tcp.Text("HOST", "127.0.0.1"), "10.0.0.7");
    EXPECT_EQ(tcp.Integer("Port", 1), 4000);
    EXPECT_EQ(tcp.Integer("TIMEOUT", 1), 12);
    EXPECT_EQ(tcp.Integer("BAD", 7), 7);
    EXPECT_EQ(tcp.Integer("MISSING", 7), 7);
    EXPECT_EQ(LinkSettings(ini, "RS232").Text("CONFIG", ""), "COM2:9600,N,8,1");
}

TEST(LinkSettingsTest, WritesDefaultsForAMissingSectionAndKeepsTheRest) {
    ScratchDir dir;
    const std::string ini = dir.File("kurvitex.ini");
    WriteWholeFile(ini, "; Kurvitex\n[TRANSFER]\nSS_TYPE=4\nDLL_NAME=ktx_tcp.so\n");
    const LinkSettings tcp(ini, "TCP");
    EXPECT_TRUE(tcp.WriteDefaultsIfMissing({{"HOST", "127.0.0.1"}, {"PORT", "5025"}}));
    const LinkSettings again(ini, "TCP");
    EXPECT_EQ(again.Text("HOST", ""), "127.0.0.1");
    EXPECT_EQ(again.Integer("PORT", 0), 5025);
    EXPECT_EQ(LinkSettings(ini, "TRANSFER").Text("DLL_NAME", ""), "ktx_tcp.so");
    // Appended to the file as it stood, byte for byte, with its line ends.
    EXPECT_EQ(ReadWholeFile(ini),
              "; Kurvitex\n[TRANSFER]\nSS_TYPE=4\nDLL_NAME=ktx_tcp.so\n"
              "[TCP]\nHOST=127.0.0.1\nPORT=5025\n");

    // A Windows file without a final line end keeps its CR LF, duplicates and odd spacing; a
    // symbolic link stays a link to the file it names.
    const std::string real = dir.File("real.ini");
    WriteWholeFile(real, "[X]\r\nA = 1\r\nA=2\r\n[Y]\r\nB=3");
    const std::string link = dir.File("link.ini");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    EXPECT_TRUE(LinkSettings(link, "USBTMC").WriteDefaultsIfMissing({{"DEVICE", "/dev/usbtmc0"}}));
    EXPECT_EQ(ReadWholeFile(real),
              "[X]\r\nA = 1\r\nA=2\r\n[Y]\r\nB=3\r\n[USBTMC]\r\nDEVICE=/dev/usbtmc0\r\n");
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // A section that exists is left as the user wrote it.
    WriteWholeFile(ini, "[TCP]\nHOST=instrument\n");
    EXPECT_TRUE(LinkSettings(ini, "TCP").WriteDefaultsIfMissing({{"PORT", "5025"}}));
    EXPECT_EQ(ReadWholeFile(ini), "[TCP]\nHOST=instrument\n");
}

TEST(LinkSettingsTest, MissingFileReadsAsDefaultsAndIsNotCreated) {
    ScratchDir dir;
    const std::string ini = dir.File("absent.ini");
    const LinkSettings settings(ini, "TCP");
    EXPECT_EQ(settings.Text("HOST", "127.0.0.1"), "127.0.0.1");
    EXPECT_TRUE(settings.WriteDefaultsIfMissing({{"HOST", "127.0.0.1"}}));
    EXPECT_EQ(ReadWholeFile(ini), "");
}

}  // namespace
}  // namespace ktx::linklib::test

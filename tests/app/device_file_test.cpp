// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/device_file.h"

#include <gtest/gtest.h>

#include "app/profile_file.h"
#include "test_files.h"

namespace ktx {
namespace {

TEST(DeviceFile, DefaultsOfAMissingFile) {
    EXPECT_EQ(ReadDeviceType("/no/such/kt_x.ini"), 1);
    EXPECT_EQ(ReadDeviceName("/no/such/kt_x.ini"), "NONAME");
    EXPECT_EQ(ReadInterfaces("/no/such/kt_x.ini"), 0);
}

TEST(DeviceFile, InterfacesAndName) {
    test::TempDir dir;
    const auto path = dir.Path("kt_tds.ini");
    test::WriteFile(path, std::string("[DEVICE]\nNAME=TDS_3012\nTYPE=10\n[INTERFACE]\nRS232=1\n"
                                      "GPIB=1\nLAN=1\n"));
    EXPECT_EQ(ReadDeviceType(path), 10);
    EXPECT_EQ(ReadDeviceName(path), "TDS_3012");
    EXPECT_EQ(ReadInterfaces(path), kInterfaceRs232 | kInterfaceGpib | kInterfaceLan);
}

struct ComCase {
    std::string before;
    int port;
    std::string after;
    friend void PrintTo(const ComCase& c, std::ostream* os) { *os << c.before; }
};

class WriteComPortTest : public ::testing::TestWithParam<ComCase> {};

INSTANTIATE_TEST_SUITE_P(Configs, WriteComPortTest,
                         ::testing::Values(ComCase{"COM2:9600,N,8,1", 3, "COM3:9600,N,8,1"},
                                           ComCase{"COM2", 3, "COM2"},  // exactly four: kept
                                           ComCase{"NONE", 1, "NONE"},
                                           ComCase{"XCOM1:19200", 4, "XCOM4:19200"},
                                           ComCase{"12COM", 2, "12COM"}));

TEST_P(WriteComPortTest, RewritesThePortDigit) {
    test::TempDir dir;
    const auto path = dir.Path("kt_ths.ini");
    test::WriteFile(path, "[RS232]\nCONFIG=" + GetParam().before + "\n");
    ASSERT_TRUE(WriteComPort(path, GetParam().port));
    EXPECT_EQ(ProfileFile(path).ReadString("RS232", "CONFIG", ""), GetParam().after);
}

TEST(DeviceFile, WriteComPortWritesTheDefaultBackWhenMissing) {
    test::TempDir dir;
    const auto path = dir.Path("kt_ths.ini");
    test::WriteFile(path, std::string("[DEVICE]\nTYPE=20\n"));
    ASSERT_TRUE(WriteComPort(path, 2));
    EXPECT_EQ(ProfileFile(path).ReadString("RS232", "CONFIG", ""), "NONE");
}

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/device_file.h"

#include <gtest/gtest.h>

#include "config/profile_file.h"
#include "test_files.h"

namespace ktx {
namespace {

TEST(DeviceFile, DefaultsOfAMissingFile) {
    const std::string gone = "/no/such/kt_x.ini";
    EXPECT_EQ(ReadDeviceType(gone), 1);
    EXPECT_EQ(ReadDeviceName(gone), "NONAME");
    EXPECT_EQ(ReadInterfaces(gone), 0);
    EXPECT_EQ(ReadEncoding(gone), kEncodingAscii);
    EXPECT_EQ(ReadDeviceWait(gone), 0);
    EXPECT_EQ(ReadDeviceWait(gone, kPictureWaitDefault), 1000);
    EXPECT_EQ(ReadDeviceTimeout(gone), 10);
    EXPECT_FALSE(ReadColourCapable(gone));
    EXPECT_EQ(ReadPictureFormat(gone).format, kPicturePcx);
    EXPECT_EQ(ReadPictureFormat(gone).ext, "PCX");
    const SourceList sources = ReadSources(gone);
    EXPECT_TRUE(sources.names.empty());
    EXPECT_EQ(sources.write, 0);
    EXPECT_EQ(sources.writeCount, 100);
    const MemorySizes memory = ReadMemory(gone);
    EXPECT_EQ(memory.size, "1000");
    EXPECT_TRUE(memory.items.empty());
    EXPECT_TRUE(ReadMeasures(gone).empty());
    EXPECT_TRUE(ReadExportFormats(gone).empty());
}

// One key of [DEVICE], [TRANSFER] or [COLOR] and what the accessor makes of it.
struct ValueCase {
    const char* label;
    std::string lines;  // file text
    int encoding;
    int pictureFormat;
    std::string pictureExt;
    bool colour;
};

class DeviceValues : public ::testing::TestWithParam<ValueCase> {};

INSTANTIATE_TEST_SUITE_P(
    Keys, DeviceValues,
    ::testing::Values(
        ValueCase{"Empty", "", kEncodingAscii, kPicturePcx, "PCX", false},
        ValueCase{"Byte", "[DEVICE]\nENCDG=BYT\n", kEncodingByte, kPicturePcx, "PCX", false},
        ValueCase{"ByteLowerLong", "[DEVICE]\nENCDG=byte\n", kEncodingByte, kPicturePcx, "PCX",
                  false},
        ValueCase{"Word", "[DEVICE]\nENCDG=Wor\n", kEncodingWord, kPicturePcx, "PCX", false},
        ValueCase{"ShortIsText", "[DEVICE]\nENCDG=BY\n", kEncodingAscii, kPicturePcx, "PCX", false},
        ValueCase{"RibIsText", "[DEVICE]\nENCDG=RIB\n", kEncodingAscii, kPicturePcx, "PCX", false},
        ValueCase{"Bmp", "[TRANSFER]\nMODE=BMP\n", kEncodingAscii, kPictureBmp, "BMP", false},
        ValueCase{"BmpColour", "[TRANSFER]\nMODE=BMPCOLOR\n[COLOR]\nENABLE=1\n", kEncodingAscii,
                  kPictureBmp, "BMP", true},
        ValueCase{"PngInside", "[TRANSFER]\nMODE=xPNG\n", kEncodingAscii, kPicturePng, "XPN",
                  false},
        // The format test is case-sensitive; the extension is upper-cased.
        ValueCase{"LowerBmpIsPcx", "[TRANSFER]\nMODE=bmp\n", kEncodingAscii, kPicturePcx, "BMP",
                  false},
        ValueCase{"BmpBeforePng", "[TRANSFER]\nMODE=PNGBMP\n", kEncodingAscii, kPictureBmp, "PNG",
                  false},
        ValueCase{"ShortMode", "[TRANSFER]\nMODE=PC\n", kEncodingAscii, kPicturePcx, "PC", false},
        ValueCase{"ColourTwoIsNotOne", "[COLOR]\nENABLE=2\n", kEncodingAscii, kPicturePcx, "PCX",
                  false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_P(DeviceValues, Read) {
    test::TempDir dir;
    const auto path = dir.Path("kt_x.ini");
    test::WriteFile(path, GetParam().lines);
    EXPECT_EQ(ReadEncoding(path), GetParam().encoding);
    const PictureFormat p = ReadPictureFormat(path);
    EXPECT_EQ(p.format, GetParam().pictureFormat);
    EXPECT_EQ(p.ext, GetParam().pictureExt);
    EXPECT_EQ(ReadColourCapable(path), GetParam().colour);
}

TEST(DeviceFile, WaitAndTimeout) {
    test::TempDir dir;
    const auto path = dir.Path("kt_x.ini");
    test::WriteFile(path, std::string("[DEVICE]\nWAIT=250\nTMO=30\n"));
    EXPECT_EQ(ReadDeviceWait(path), 250);
    EXPECT_EQ(ReadDeviceWait(path, kPictureWaitDefault), 250);  // a written value wins
    EXPECT_EQ(ReadDeviceTimeout(path), 30);
    EXPECT_EQ(ReadDeviceTimeoutMs(path), 30000);
    EXPECT_EQ(ReadDeviceTimeoutMs(dir.Path("missing.ini")), 10000);  // the default, 10 s
}

// TMO is seconds; the library takes 16-bit milliseconds.
TEST(DeviceFile, TimeoutInMilliseconds) {
    const std::pair<int, int> cases[] = {{10, 10000}, {20, 20000},     {1, 1000},  {65, 65000},
                                         {66, 65535}, {100000, 65535}, {0, 10000}, {-3, 10000}};
    for (const auto& [seconds, ms] : cases) {
        EXPECT_EQ(DeviceTimeoutMs(seconds), ms) << seconds;
    }
}

TEST(DeviceFile, Lists) {
    test::TempDir dir;
    const auto path = dir.Path("kt_x.ini");
    test::WriteFile(path, std::string("[SOURCES]\nCOUNT=4\nS1=CH1\nS2=CH2\nS3=REF1\nS4=REF2\n"
                                      "WRITE=3\nWRITEANZ=1\n"
                                      "[MEMORY]\nSIZE=2500\nITEMCNT=3\nI1=500\nI2=1000\nI3=2500\n"
                                      "[MEASURES]\nCOUNT=2\nM1=FREQ\nM2=PK2PK\n"
                                      "[EXPORT]\nCOUNT=2\nE1=bmpcolor\nF1=bmp\nE2=TIFF\nF2=tif\n"));
    const SourceList s = ReadSources(path);
    EXPECT_EQ(s.names, (std::vector<std::string>{"CH1", "CH2", "REF1", "REF2"}));
    EXPECT_EQ(s.write, 3);
    EXPECT_EQ(s.writeCount, 1);
    const MemorySizes m = ReadMemory(path);
    EXPECT_EQ(m.size, "2500");
    EXPECT_EQ(m.items, (std::vector<int>{500, 1000, 2500}));
    EXPECT_EQ(ReadMeasures(path), (std::vector<std::string>{"FREQ", "PK2PK"}));
    const auto e = ReadExportFormats(path);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].name, "BMPCOLOR");
    EXPECT_EQ(e[0].ext, "BMP");
    EXPECT_EQ(e[1].name, "TIFF");
    EXPECT_EQ(e[1].ext, "TIF");
}

// COUNT is not trusted: negative gives no entries, huge ones stop at kMaxListEntries.
TEST(DeviceFile, ListCountsAreBounded) {
    test::TempDir dir;
    const auto path = dir.Path("kt_x.ini");
    test::WriteFile(path, std::string("[SOURCES]\nCOUNT=-3\n[MEASURES]\nCOUNT=2000000000\n"
                                      "M1=FREQ\n[MEMORY]\nITEMCNT=99999999999\n"));
    EXPECT_TRUE(ReadSources(path).names.empty());
    const auto measures = ReadMeasures(path);
    ASSERT_EQ(measures.size(), static_cast<std::size_t>(kMaxListEntries));
    EXPECT_EQ(measures[0], "FREQ");
    EXPECT_EQ(measures[1], "");
    // Beyond the range of an int, a count is no number at all: no list.
    EXPECT_TRUE(ReadMemory(path).items.empty());
}

TEST(DeviceFile, RangeSectionInEitherSpelling) {
    test::TempDir dir;
    const auto latin = dir.Path("kt_l.ini");
    const auto utf8 = dir.Path("kt_u.ini");
    test::WriteFile(latin, std::string("[RANGE\xB0"
                                       "C]\nCOUNT=1\n"));
    test::WriteFile(utf8, std::string("[RANGE\xC2\xB0"
                                      "C]\nCOUNT=1\n"));
    const std::string askLatin =
        "RANGE\xB0"
        "C";
    const std::string askUtf8 =
        "RANGE\xC2\xB0"
        "C";
    for (const auto& ask : {askLatin, askUtf8}) {
        EXPECT_EQ(RangeSectionSpelling(ProfileFile(latin), ask), askLatin);
        EXPECT_EQ(RangeSectionSpelling(ProfileFile(utf8), ask), askUtf8);
    }
    EXPECT_EQ(RangeSectionSpelling(ProfileFile(latin), "RANGEV"), "RANGEV");
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

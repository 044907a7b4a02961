// SPDX-License-Identifier: GPL-3.0-or-later
// `ktx picture` and `ktx hardcopy`: the picture written in the format the target's suffix
// names, a refused suffix, and a hard copy through the in-process simulator.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/ktx_commands.h"
#include "images/picture_codec.h"
#include "picture_test_support.h"
#include "test_files.h"

namespace ktx {
namespace {

int Ktx(std::vector<std::string> args, std::string* err = nullptr) {
    std::ostringstream out;
    std::ostringstream errors;
    const int code = RunKtx(args, {KTX_PROGRAM_DIR}, out, errors);
    if (err != nullptr) {
        *err = errors.str();
    }
    return code;
}

TEST(KtxPictureTest, WritesTheSuffixesFormatAndRefusesOthers) {
    test::TempDir dir;
    const RgbImage reference = test::ReadPpm(test::ImageData("planes4.ref.ppm"));
    for (const char* target : {"a.png", "b.bmp"}) {
        ASSERT_EQ(Ktx({"picture", test::ImageData("planes4.pcx"), dir.Path(target)}), kExitOk);
        RgbImage image;
        std::string reason;
        ASSERT_TRUE(LoadPictureFile(dir.Path(target), image, reason)) << reason;
        EXPECT_EQ(image.rgb, reference.rgb) << target;
        EXPECT_EQ(SniffPicture(test::ReadFile(dir.Path(target))), KindOfName(target));
    }
    std::string err;
    EXPECT_EQ(Ktx({"picture", test::ImageData("planes4.pcx"), dir.Path("c.gif")}, &err),
              kExitUsage);
    EXPECT_NE(err.find("ungültiger Dateiname:"), std::string::npos) << err;
    test::Bytes png = test::ReadFile(test::ImageData("rgba.png"));
    png.resize(60);  // the header, but no pixels
    test::WriteFile(dir.Path("cut.png"), png);
    EXPECT_EQ(Ktx({"picture", dir.Path("cut.png"), dir.Path("d.bmp")}, &err), kExitFailure);
    EXPECT_NE(err.find("ungültiges Dateiformat"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("d.bmp")));
}

TEST(KtxHardcopyTest, FetchesThroughTheSimulatorAndConvertsByTheTargetsSuffix) {
    test::TempDir dir;
    const std::string driver = std::string(KTX_DRIVER_DIR) + "/kt_tds210.ini";
    ASSERT_EQ(Ktx({"hardcopy", dir.Path("s.pcx"), "--link", "sim", "--device", driver}), kExitOk);
    EXPECT_EQ(SniffPicture(test::ReadFile(dir.Path("s.pcx"))), PictureKind::Pcx);
    ASSERT_EQ(Ktx({"hardcopy", dir.Path("s.png"), "--format", "bmp", "--colour", "--link", "sim",
                   "--device", driver}),
              kExitOk);
    RgbImage image;
    std::string reason;
    ASSERT_TRUE(LoadPictureFile(dir.Path("s.png"), image, reason)) << reason;
    EXPECT_EQ(image.width, 640);
    std::string err;
    EXPECT_EQ(Ktx({"hardcopy", dir.Path("t.bmp"), "--format", "gif", "--link", "sim"}, &err),
              kExitUsage);
}

}  // namespace
}  // namespace ktx

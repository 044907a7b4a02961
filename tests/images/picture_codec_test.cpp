// SPDX-License-Identifier: GPL-3.0-or-later
// PNG through libpng's simplified API against ImageMagick's own flattening over black, PNGs
// that are broken, and writing in the format the file name's suffix names.
#include "images/picture_codec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "picture_test_support.h"
#include "test_files.h"

namespace ktx {
namespace {

class PngReferenceTest : public ::testing::TestWithParam<const char*> {};

TEST_P(PngReferenceTest, IsImageMagicksFlatteningOverBlack) {
    const test::Bytes png = test::ReadFile(test::ImageData(std::string(GetParam()) + ".png"));
    RgbImage image;
    std::string error;
    ASSERT_TRUE(DecodePng(png, image, error)) << error;
    const RgbImage reference = test::ReadPpm(test::ImageData(std::string(GetParam()) + ".ref.ppm"));
    ASSERT_EQ(image.width, reference.width);
    ASSERT_EQ(image.height, reference.height);
    ASSERT_EQ(image.rgb.size(), reference.rgb.size());
    // Rounding of the 16-bit samples and of the blend may differ by one.
    for (std::size_t i = 0; i < image.rgb.size(); ++i) {
        ASSERT_LE(std::abs(image.rgb[i] - reference.rgb[i]), 1) << "byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(ImageMagick, PngReferenceTest,
                         ::testing::Values("palette", "grey", "greyalpha", "deep16", "rgba"));

// Where the chunk `type` starts in `png` (its length field), or 0.
std::size_t ChunkAt(const test::Bytes& png, const char* type) {
    for (std::size_t at = 8; at + 8 <= png.size();) {
        const std::size_t length =
            std::size_t{png[at]} << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
        if (std::memcmp(&png[at + 4], type, 4) == 0) {
            return at;
        }
        at += 12 + length;
    }
    return 0;
}

TEST(PictureCodecTest, BrokenPngsFailWithAReasonAndNeverEndTheProgram) {
    const test::Bytes png = test::ReadFile(test::ImageData("rgba.png"));
    const std::size_t idat = ChunkAt(png, "IDAT");
    ASSERT_GT(idat, 0u);
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{8}, std::size_t{20}, idat, idat + 30}) {
        RgbImage image;
        std::string error;
        EXPECT_FALSE(DecodePng(std::span(png.data(), size), image, error)) << size;
        EXPECT_FALSE(error.empty()) << size;
    }
    test::Bytes garbled = png;
    garbled[idat + 20] ^= 0x55;  // inside the compressed pixels: the chunk's CRC fails
    RgbImage image;
    std::string error;
    EXPECT_FALSE(DecodePng(garbled, image, error));
}

TEST(PictureCodecTest, SavesInTheFormatTheSuffixNames) {
    test::TempDir dir;
    RgbImage image = test::ReadPpm(test::ImageData("planes4.ref.ppm"));
    for (const char* name : {"x.png", "x.PNG", "y.bmp", "y.Bmp"}) {
        FileError error;
        bool unsupported = true;
        ASSERT_TRUE(SavePictureFile(image, dir.Path(name), error, unsupported)) << name;
        RgbImage back;
        std::string reason;
        ASSERT_TRUE(LoadPictureFile(dir.Path(name), back, reason)) << reason;
        EXPECT_EQ(back.rgb, image.rgb) << name;
        const test::Bytes bytes = test::ReadFile(dir.Path(name));
        EXPECT_EQ(SniffPicture(bytes), KindOfName(name)) << name;
    }
    FileError error;
    bool unsupported = false;
    EXPECT_FALSE(SavePictureFile(image, dir.Path("z.gif"), error, unsupported));
    EXPECT_TRUE(unsupported);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("z.gif")));
}

TEST(PictureCodecTest, BmpWhoseHeaderPromisesMoreThanTheFileHoldsIsRefused) {
    const test::Bytes good = EncodeBmp(test::ReadPpm(test::ImageData("mono.ref.ppm")));
    RgbImage image;
    std::string error;
    ASSERT_TRUE(DecodeBmp(good, image, error));
    EXPECT_FALSE(DecodeBmp(std::span(good.data(), good.size() - 1), image, error));
    test::Bytes wide = good;
    wide[20] = 0x7F;  // 8 million pixels wide: more than any picture
    EXPECT_FALSE(DecodeBmp(wide, image, error));
}

}  // namespace
}  // namespace ktx

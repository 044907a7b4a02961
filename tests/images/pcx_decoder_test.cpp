// SPDX-License-Identifier: GPL-3.0-or-later
// The PCX decoder against netpbm (pictures written by ppmtopcx, decoded independently by
// pcxtoppm, pixel for pixel), hand-made files for the corner cases of the format, and headers
// and data that must not be trusted.
#include "images/pcx_decoder.h"

#include <gtest/gtest.h>

#include "images/picture_codec.h"
#include "picture_test_support.h"
#include "test_files.h"

namespace ktx {
namespace {

using test::MakePcx;
using test::PcxLayout;

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

struct ReferenceCase {
    const char* name;
    int bitsPerPixel;  // of the bitmap made
    std::uint32_t stride;
};

class PcxReferenceTest : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(PcxReferenceTest, DecodesAsPcxtoppmDoes) {
    const ReferenceCase& c = GetParam();
    const test::Bytes pcx = test::ReadFile(test::ImageData(std::string(c.name) + ".pcx"));
    const std::vector<std::uint8_t> bmp = DecodePcxToBmp(pcx);
    ASSERT_FALSE(bmp.empty());
    // 37 pixels wide: the stride comes from the width, not from the padded bytes per line.
    EXPECT_EQ(bmp[28], c.bitsPerPixel);
    EXPECT_EQ(Le32(bmp, 34), c.stride * 23);
    RgbImage image;
    std::string error;
    ASSERT_TRUE(DecodeBmp(bmp, image, error)) << error;
    const RgbImage reference = test::ReadPpm(test::ImageData(std::string(c.name) + ".ref.ppm"));
    ASSERT_EQ(image.width, reference.width);
    ASSERT_EQ(image.height, reference.height);
    EXPECT_EQ(image.rgb, reference.rgb);
}

INSTANTIATE_TEST_SUITE_P(Netpbm, PcxReferenceTest,
                         ::testing::Values(ReferenceCase{"mono", 1, 8},
                                           ReferenceCase{"planes4", 4, 20},
                                           ReferenceCase{"colour256", 8, 40}),
                         [](const auto& info) { return std::string(info.param.name); });

// Hand-made 8-bit files: the pixel indices of each row, top row first.
struct RowsCase {
    const char* name;
    PcxLayout layout;
    std::vector<std::uint8_t> data;
    std::vector<std::vector<std::uint8_t>> rows;
};

class PcxRowsTest : public ::testing::TestWithParam<RowsCase> {};

TEST_P(PcxRowsTest, GivesTheseRows) {
    const RowsCase& c = GetParam();
    const std::vector<std::uint8_t> bmp = DecodePcxToBmp(MakePcx(c.layout, c.data));
    ASSERT_FALSE(bmp.empty());
    const std::uint32_t offset = Le32(bmp, 10);
    const int height = static_cast<int>(c.rows.size());
    const std::size_t stride = Le32(bmp, 34) / height;
    for (int k = 0; k < height; ++k) {
        const std::size_t row = offset + stride * (height - 1 - k);  // bottom-up
        const std::vector<std::uint8_t> got(bmp.begin() + row,
                                            bmp.begin() + row + c.rows[k].size());
        EXPECT_EQ(got, c.rows[k]) << "line " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    HandMade, PcxRowsTest,
    ::testing::Values(
        // A run that goes past the end of a line goes on in the next (as pcxtoppm reads it).
        RowsCase{"RunAcrossLineEnd",
                 {8, 1, 0, 0, 3, 1, 4},
                 {0xC6, 0x11, 0x22, 0x22},
                 {{0x11, 0x11, 0x11, 0x11}, {0x11, 0x11, 0x22, 0x22}}},
        // Three pixels in four bytes a line: the pad byte is no pixel of the next line.
        RowsCase{"PaddedBytesPerLine",
                 {8, 1, 0, 0, 2, 1, 4},
                 {1, 2, 3, 0x99, 4, 5, 6, 0x99},
                 {{1, 2, 3}, {4, 5, 6}}},
        RowsCase{"RunCountZeroAndLiteralBelowC0",
                 {8, 1, 0, 0, 7, 0, 8},
                 {0xC5, 0x00, 0xC0, 0x33, 0xBF, 0x07, 0xC1, 0xC7},
                 {{0, 0, 0, 0, 0, 0xBF, 0x07, 0xC7}}},
        // Pixel data cut short: the rest reads as zeros.
        RowsCase{"TruncatedData", {8, 1, 0, 0, 3, 1, 4}, {1, 2}, {{1, 2, 0, 0}, {0, 0, 0, 0}}},
        RowsCase{"RunCutBeforeItsValue", {8, 1, 0, 0, 3, 0, 4}, {9, 0xC3}, {{9, 0, 0, 0}}},
        // XMin and YMin other than 0: the size is what lies between.
        RowsCase{"OriginNotZero", {8, 1, 100, 200, 101, 200, 2}, {7, 8}, {{7, 8}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PcxDecoderTest, SixteenColoursTakeTheHeaderPaletteByPlaneBits) {
    // One line of 8 pixels: pixel 0 has only plane 0 set (colour 1), pixel 1 planes 0 and 3
    // (colour 9), the rest none.
    const std::vector<std::uint8_t> bmp =
        DecodePcxToBmp(MakePcx({1, 4, 0, 0, 7, 0, 2}, {0xC1, 0xC0, 0, 0, 0, 0, 0, 0x40, 0}));
    ASSERT_FALSE(bmp.empty());
    // Header palette entry 1 is bytes 19..21 (15, 20, 25 here), stored blue, green, red, 0.
    const std::size_t palette = 14 + 40;
    EXPECT_EQ(bmp[palette + 4], 25);
    EXPECT_EQ(bmp[palette + 5], 20);
    EXPECT_EQ(bmp[palette + 6], 15);
    EXPECT_EQ(bmp[Le32(bmp, 10)], 0x19);
}

TEST(PcxDecoderTest, TwoFiftySixWithoutTheEndPaletteIsBlackNotOutOfBounds) {
    const std::vector<std::uint8_t> bmp =
        DecodePcxToBmp(MakePcx({8, 1, 0, 0, 1, 0, 2}, {5, 6}, false));
    ASSERT_FALSE(bmp.empty());
    EXPECT_EQ(std::vector<std::uint8_t>(bmp.begin() + 54, bmp.begin() + 54 + 1024),
              std::vector<std::uint8_t>(1024, 0));
}

struct RejectCase {
    const char* name;
    std::vector<std::uint8_t> file;
};

class PcxRejectTest : public ::testing::TestWithParam<RejectCase> {};

TEST_P(PcxRejectTest, IsNoPictureToTheDecoder) {
    EXPECT_TRUE(DecodePcxToBmp(GetParam().file).empty());
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> file, std::size_t size) {
    file.resize(size);
    return file;
}

INSTANTIATE_TEST_SUITE_P(
    Distrust, PcxRejectTest,
    ::testing::Values(RejectCase{"XMaxBeforeXMin", MakePcx({8, 1, 10, 0, 5, 3, 4}, {1})},
                      RejectCase{"YMaxBeforeYMin", MakePcx({8, 1, 0, 10, 3, 5, 4}, {1})},
                      RejectCase{"Huge", MakePcx({8, 1, 0, 0, 65535, 65535, 65535}, {1})},
                      RejectCase{"ShorterThanTheHeader",
                                 Cut(MakePcx({8, 1, 0, 0, 3, 1, 4}, {}), 70)},
                      RejectCase{"NoBytesPerLine", MakePcx({8, 1, 0, 0, 3, 1, 0}, {1})},
                      RejectCase{"TwoBitsOnePlane", MakePcx({2, 1, 0, 0, 3, 1, 1}, {1})},
                      RejectCase{"EightBitsThreePlanes", MakePcx({8, 3, 0, 0, 3, 1, 4}, {1})}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ktx

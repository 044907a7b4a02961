// SPDX-License-Identifier: GPL-3.0-or-later
// Curve encodings against byte layouts written out by hand, and decoding back.
#include "curve_codec.h"

#include <gtest/gtest.h>

namespace ktx::sim {
namespace {

struct LayoutCase {
    const char* name;
    int width;
    std::string bytes;  // expected data bytes for the levels 0x1234 and -2 (0xFFFE)
};

class SimCodecLayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(SimCodecLayoutTest, EncodesTheDocumentedByteLayout) {
    const LayoutCase& c = GetParam();
    const auto format = EncodingFromName(c.name, DataFormat{false, true, true, c.width});
    ASSERT_TRUE(format.has_value());
    const std::vector<std::int16_t> levels = {0x1234, -2};
    const std::string count = std::to_string(c.bytes.size());
    EXPECT_EQ(EncodeCurve(levels, *format), "#1" + count + c.bytes);

    // Decoding gives the levels back (one byte per point keeps only the upper byte).
    const auto decoded = DecodeCurve(EncodeCurve(levels, *format), *format);
    ASSERT_TRUE(decoded.has_value());
    const std::vector<std::int16_t> expected =
        c.width == 2 ? levels : std::vector<std::int16_t>{0x1200, -256};
    EXPECT_EQ(*decoded, expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SimCodecLayoutTest,
                         testing::Values(LayoutCase{"RIB", 2, std::string("\x12\x34\xFF\xFE", 4)},
                                         LayoutCase{"RPB", 2, std::string("\x92\x34\x7F\xFE", 4)},
                                         LayoutCase{"SRI", 2, std::string("\x34\x12\xFE\xFF", 4)},
                                         LayoutCase{"SRP", 2, std::string("\x34\x92\xFE\x7F", 4)},
                                         LayoutCase{"RIBINARY", 1, std::string("\x12\xFF", 2)},
                                         LayoutCase{"rpbinary", 1, std::string("\x92\x7F", 2)},
                                         LayoutCase{"SRIbinary", 1, std::string("\x12\xFF", 2)},
                                         LayoutCase{"SRP", 1, std::string("\x92\x7F", 2)}),
                         [](const testing::TestParamInfo<LayoutCase>& info) {
                             return std::string(info.param.name) + "_" +
                                    std::to_string(info.param.width);
                         });

TEST(SimCodecTest, AsciiPrintsSignedValuesOfTheWidth) {
    const std::vector<std::int16_t> levels = {0, -32768, 32767, 255};
    EXPECT_EQ(EncodeCurve(levels, DataFormat{true, true, true, 2}), "0,-32768,32767,255");
    EXPECT_EQ(EncodeCurve(levels, DataFormat{true, true, true, 1}), "0,-128,127,0");
    EXPECT_EQ(EncodeCurve({}, DataFormat{true, true, true, 2}), "");
}

TEST(SimCodecTest, TruncatedBlockAnnouncesMoreThanItCarries) {
    const std::vector<std::int16_t> levels(100, 7);
    const std::string block = EncodeCurve(levels, DataFormat{false, true, true, 2}, true);
    EXPECT_EQ(block.substr(0, 5), "#3200");
    EXPECT_EQ(block.size(), 5u + 100u);
}

TEST(SimCodecTest, RejectsDataThatIsNoCurve) {
    const DataFormat ascii{true, true, true, 2};
    EXPECT_FALSE(DecodeCurve("1,2,x", ascii).has_value());
    EXPECT_FALSE(DecodeCurve("1.5E2", ascii).has_value());
    EXPECT_FALSE(DecodeCurve("#x12", ascii).has_value());
    EXPECT_EQ(DecodeCurve(" 1, -2 ,3\r\n", ascii), (std::vector<std::int16_t>{1, -2, 3}));
    // Values beyond the width are clamped, never wrapped.
    EXPECT_EQ(DecodeCurve("99999,-99999", ascii), (std::vector<std::int16_t>{32767, -32768}));
    // A short block gives what came; an odd byte of a two-byte block is dropped.
    EXPECT_EQ(DecodeCurve(std::string("#18\x00\x01\x00", 6), DataFormat{false, true, true, 2}),
              (std::vector<std::int16_t>{1}));
}

TEST(SimCodecTest, EncodingNamesBothForms) {
    EXPECT_EQ(EncodingName(DataFormat{false, true, true, 1}, true), "RIBINARY");
    EXPECT_EQ(EncodingName(DataFormat{false, false, false, 1}, false), "SRP");
    EXPECT_EQ(EncodingName(DataFormat{true, true, true, 1}, true), "ASCII");
    EXPECT_FALSE(EncodingFromName("BIN", DataFormat{}).has_value());
}

}  // namespace
}  // namespace ktx::sim

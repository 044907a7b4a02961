// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/wave_file.h"

#include <gtest/gtest.h>

#include "test_files.h"
#include "waveform/real6.h"
#include "waveform/time_field.h"

namespace ktx {
namespace {

using test::Bytes;

// 12.345 as a little-endian IEEE single.
const Bytes kVersion12345 = {0x1F, 0x85, 0x45, 0x41};

Bytes OneColumnFile(int points, Bytes version = kVersion12345) {
    Bytes f = test::Concat({{0x21, 0x16}, version, {'V', 0, 0, 0, 0, 0}});
    for (int i = 0; i < points; ++i) {
        const TimeField x = SecondsToTimeField(i * 0.001);
        const Real6 y = Real6::FromDouble(i);
        f.insert(f.end(), x.bytes.begin(), x.bytes.end());
        f.insert(f.end(), y.bytes.begin(), y.bytes.end());
    }
    return f;
}

TEST(WaveHeader, MakeHeaderBytes) {
    const UnitStrings units = {"V", "Hz", "#", "db"};
    const auto h1 = MakeHeader1(ReferenceHeader(WaveLayout::OneColumn), units);
    const Bytes expected1 = {0x21, 0x16, 0x1F, 0x85, 0x45, 0x41, 'V', 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(h1.begin(), h1.end()), expected1);

    // A unit of more than 5 characters is cut so the slot keeps its zero byte.
    const auto h4 = MakeHeader4(ReferenceHeader(WaveLayout::FourColumn), {"Volts!", "Hz", "#", ""});
    const Bytes expected4 = {0x42, 0x2C, 0x1F, 0x85, 0x45, 0x41, 'V', 'o', 'l', 't',
                             's',  0,    'H',  'z',  0,    0,    0,   0,   '#', 0,
                             0,    0,    0,    0,    0,    0,    0,   0,   0,   0};
    EXPECT_EQ(Bytes(h4.begin(), h4.end()), expected4);
}

TEST(WaveHeader, ReadChecksTagVersionAndCutsUnits) {
    Bytes buf = test::Concat({{0x42, 0x2C},
                              kVersion12345,
                              {'V', 'o', 'l', 't', 's', 'x'},
                              {'H', 'z', 0, 'j', 'u', 'n'},
                              {'#', 0, 0, 0, 0, 0},
                              {0, 'a', 'b', 0, 0, 0}});
    UnitStrings units;
    ASSERT_TRUE(ReadWaveHeader(buf.data(), ReferenceHeader(WaveLayout::FourColumn), units));
    // At most 5 characters up to a zero byte, of which the first 4 are kept.
    EXPECT_EQ(units[0], "Volt");
    EXPECT_EQ(units[1], "Hz");
    EXPECT_EQ(units[2], "#");
    EXPECT_EQ(units[3], "");
    EXPECT_FALSE(ReadWaveHeader(buf.data(), ReferenceHeader(WaveLayout::OneColumn), units));
    EXPECT_FALSE(ReadWaveHeader(buf.data(), ReferenceHeader(WaveLayout::Spectrum), units));

    WaveLayout layout;
    ASSERT_TRUE(DetectLayout(buf.data(), layout, units));
    EXPECT_EQ(layout, WaveLayout::FourColumn);
    buf[0] = 0x16;
    buf[1] = 0x21;
    ASSERT_TRUE(DetectLayout(buf.data(), layout, units));
    EXPECT_EQ(layout, WaveLayout::Math);
}

struct VersionCase {
    Bytes version;
    bool accepted;
    friend void PrintTo(const VersionCase& c, std::ostream* os) {
        *os << (c.accepted ? "accepted" : "rejected");
    }
};

class WaveHeaderVersion : public ::testing::TestWithParam<VersionCase> {};

INSTANTIATE_TEST_SUITE_P(Versions, WaveHeaderVersion,
                         ::testing::Values(VersionCase{{0x06, 0x81, 0x45, 0x41}, false},  // 12.344
                                           VersionCase{{0x1F, 0x85, 0x45, 0x41}, true},   // 12.345
                                           VersionCase{{0x1F, 0x85, 0x55, 0x41}, true},   // 13.345
                                           VersionCase{{0x00, 0x00, 0xC0, 0x7F}, false},  // NaN
                                           VersionCase{{0x00, 0x00, 0x80, 0xC1}, false}));  // -16

TEST_P(WaveHeaderVersion, AcceptsOnlyVersionsFromTheReferenceOn) {
    const Bytes f = OneColumnFile(4, GetParam().version);
    UnitStrings units;
    EXPECT_EQ(ReadWaveHeader(f.data(), ReferenceHeader(WaveLayout::OneColumn), units),
              GetParam().accepted);
}

TEST(CountWaveFile, NeedsSixtyBytesAndIgnoresAPartialRecord) {
    test::TempDir dir;
    const auto path = dir.Path("w.ktx");
    test::WriteFile(path, OneColumnFile(3));  // 48 bytes: too short to be recognised
    EXPECT_EQ(CountWaveFile(path), 0);
    test::WriteFile(path, OneColumnFile(4));
    EXPECT_EQ(CountWaveFile(path), 5);
    Bytes partial = OneColumnFile(10);
    partial.resize(partial.size() + 7);
    test::WriteFile(path, partial);
    EXPECT_EQ(CountWaveFile(path), 11);

    Bytes four = test::Concat({{0x42, 0x2C}, kVersion12345, Bytes(24, 0), Bytes(30 * 3, 0)});
    test::WriteFile(path, four);
    EXPECT_EQ(CountWaveFile(path), 4);

    Bytes wrong = OneColumnFile(10);
    wrong[0] = 'X';
    test::WriteFile(path, wrong);
    EXPECT_EQ(CountWaveFile(path), 0);
    EXPECT_EQ(CountWaveFile(dir.Path("missing.ktx")), 0);
    EXPECT_EQ(CountWaveFile(dir.Path("")), 0);  // the folder itself
}

}  // namespace
}  // namespace ktx

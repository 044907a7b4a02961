// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces the math functions stream through: reading a stretch of a file ahead in blocks,
// writing a result behind the computation, and the inline time conversion of the inner loops,
// each against the plain thing it replaces.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "analysis/read_ahead.h"
#include "analysis/record_bytes.h"
#include "analysis/result_writer.h"
#include "analysis/write_behind.h"
#include "test_files.h"

namespace ktx {
namespace {

test::Bytes Pattern(std::size_t size) {
    test::Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) {
        b[i] = static_cast<std::uint8_t>((i * 131 + i / 251) & 0xFF);
    }
    return b;
}

struct StretchCase {
    const char* name;
    std::size_t fileSize;
    std::uint64_t offset;
    std::uint64_t bytes;
    std::size_t blockBytes;
    bool isShort;  // the file ends before the stretch does
};

class ReadAheadTest : public ::testing::TestWithParam<StretchCase> {};

// The blocks joined are the file's bytes from the offset; blocks are full but for the last.
TEST_P(ReadAheadTest, BlocksJoinToTheStretch) {
    const StretchCase& c = GetParam();
    test::TempDir dir;
    const test::Bytes file = Pattern(c.fileSize);
    test::WriteFile(dir.Path("f.bin"), file);
    ReadAhead in(dir.Path("f.bin"));
    ASSERT_TRUE(in.IsOpen());
    // Twice: the second Start rewinds.
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(in.Start(c.offset, c.bytes, c.blockBytes));
        test::Bytes joined;
        std::vector<std::size_t> sizes;
        for (auto block = in.Next(); !block.empty(); block = in.Next()) {
            joined.insert(joined.end(), block.begin(), block.end());
            sizes.push_back(block.size());
        }
        const std::size_t end = std::min<std::size_t>(c.fileSize, c.offset + c.bytes);
        EXPECT_EQ(joined, test::Bytes(file.begin() + static_cast<std::ptrdiff_t>(c.offset),
                                      file.begin() + static_cast<std::ptrdiff_t>(end)));
        for (std::size_t i = 0; i + 1 < sizes.size(); ++i) {
            EXPECT_EQ(sizes[i], c.blockBytes);
        }
        EXPECT_EQ(in.Short(), c.isShort);
        EXPECT_TRUE(in.Next().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stretches, ReadAheadTest,
    ::testing::Values(StretchCase{"ManyBlocks", 1'000'000, 12, 999'000, 12 * 1000, false},
                      StretchCase{"MoreBlocksThanTheRing", 100'000, 0, 100'000, 4096, false},
                      StretchCase{"OneShortBlock", 5000, 30, 600, 3000, false},
                      StretchCase{"EndsInsideTheStretch", 50'000, 1000, 60'000, 8192, true},
                      StretchCase{"Empty", 100, 100, 0, 4096, false}),
    [](const ::testing::TestParamInfo<StretchCase>& info) { return std::string(info.param.name); });

TEST(ReadAheadStop, StopsEarlyAndRefusesAnOffsetPastTheEndOrBlocksTooLarge) {
    test::TempDir dir;
    test::WriteFile(dir.Path("f.bin"), Pattern(400'000));
    ReadAhead in(dir.Path("f.bin"));
    ASSERT_TRUE(in.Start(0, 400'000, 1000));
    EXPECT_EQ(in.Next().size(), 1000u);
    in.Stop();  // with the ring full and the reader waiting: must not hang
    EXPECT_TRUE(in.Next().empty());
    EXPECT_FALSE(in.Start(400'001, 10, 1000));
    EXPECT_FALSE(in.LackedMemory());
    // Blocks no memory can hold (four of them would not even fit an address) are a lack of
    // memory, not a short file; a sound stretch afterwards reads as ever.
    const std::size_t huge = static_cast<std::size_t>(-1) / ReadAhead::kDepth + 1;
    EXPECT_FALSE(in.Start(0, huge, huge));
    EXPECT_TRUE(in.LackedMemory());
    ASSERT_TRUE(in.Start(0, 400'000, 1000));
    EXPECT_EQ(in.Next().size(), 1000u);
    EXPECT_FALSE(ReadAhead(dir.Path("missing.bin")).IsOpen());
}

struct WriteCase {
    const char* name;
    std::vector<std::size_t> submits;  // bytes handed over, in turn
};

class WriteBehindTest : public ::testing::TestWithParam<WriteCase> {};

// Small and large hand-overs, mixed: the file holds the header and every byte in order.
TEST_P(WriteBehindTest, FileHoldsEverythingInOrder) {
    test::TempDir dir;
    test::RecordingNotifier notifier;
    const std::size_t capacity = 300'000;
    const test::Bytes all = Pattern(capacity * GetParam().submits.size());
    const std::uint8_t header[12] = {0x21, 0x16, 1, 2, 3, 4, 'V', 0, 0, 0, 0, 0};
    ResultWriter file(dir.Path("r.ktx"), notifier);
    ASSERT_TRUE(file.Begin({}, header, sizeof header));
    test::Bytes expected(header, header + sizeof header);
    std::size_t at = 0;
    {
        WriteBehind out(file, capacity);
        for (const std::size_t n : GetParam().submits) {
            std::memcpy(out.Buffer(), all.data() + at, n);
            out.Submit(n);
            expected.insert(expected.end(), all.begin() + static_cast<std::ptrdiff_t>(at),
                            all.begin() + static_cast<std::ptrdiff_t>(at + n));
            at += n;
        }
        out.Finish();
    }
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(test::ReadFile(dir.Path("r.ktx")), expected);
    EXPECT_TRUE(notifier.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Submits, WriteBehindTest,
    ::testing::Values(WriteCase{"Large", {300'000, 300'000, 300'000, 300'000, 123'456}},
                      WriteCase{"SmallBetweenLarge", {10, 300'000, 65'535, 65'536, 7, 300'000}},
                      WriteCase{"OnlySmall", {1, 2, 3, 4, 5, 6, 7, 8, 9}},
                      WriteCase{"Nothing", {}}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

// A write that fails half way (the disk is full) fails the commit with message 41 and leaves
// the old target as it was.
TEST(WriteBehindFailure, FullDiskKeepsTheOldTarget) {
    test::TempDir dir;
    test::RecordingNotifier notifier;
    const std::string target = dir.Path("r.ktx");
    test::WriteFile(target, std::string("old"));
    ResultWriter file(target, notifier);
    const std::uint8_t header[12] = {0x21, 0x16};
    ASSERT_TRUE(file.Begin({}, header, sizeof header));
    {
        const test::FileSizeLimit full(500'000);
        WriteBehind out(file, 200'000);
        for (int i = 0; i < 5; ++i) {
            std::memset(out.Buffer(), i, 200'000);
            out.Submit(200'000);
        }
        out.Finish();
    }
    EXPECT_FALSE(file.Commit());
    ASSERT_FALSE(notifier.shown.empty());
    EXPECT_EQ(notifier.shown.back().stringId, 10041);
    EXPECT_EQ(test::ReadFile(target), test::FromText("old"));
}

test::Bytes TimeBytes(std::uint8_t hours, std::uint8_t minutes, std::uint32_t secondsBits) {
    test::Bytes t = {hours, minutes};
    for (int i = 0; i < 4; ++i) {
        t.push_back(static_cast<std::uint8_t>(secondsBits >> (8 * i)));
    }
    return t;
}

std::uint32_t Bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

// The inner loops' time conversion is TimeFieldToSeconds, to the bit, also where the single
// lies at or beyond what a 6-byte real holds, or is no number.
TEST(SecondsOf, SameBitsAsTimeFieldToSeconds) {
    const std::vector<test::Bytes> cases = {
        TimeBytes(0, 0, Bits(1e-7f)),     TimeBytes(0, 0, Bits(-3.25f)),
        TimeBytes(0, 0, Bits(59.999f)),   TimeBytes(0, 0, Bits(0.0f)),
        TimeBytes(0, 0, Bits(-0.0f)),     TimeBytes(0, 0, 0x00000001),  // the smallest subnormal
        TimeBytes(0, 0, 0x00800000),  // the smallest normal, 2^-126
        TimeBytes(0, 0, 0x7E800000),  // 2^126
        TimeBytes(0, 0, 0x7EFFFFFF),  // just below 2^127: still held exactly
        TimeBytes(0, 0, 0x7F000000),  // 2^127: saturates
        TimeBytes(0, 0, 0xFF7FFFFF),  // the most negative single
        TimeBytes(0, 0, 0x7F800000),  // infinity
        TimeBytes(0, 0, 0x7FC00000),  // NaN
        TimeBytes(1, 2, Bits(5.5f)),      TimeBytes(0, 1, Bits(-0.5f)),
        TimeBytes(255, 255, Bits(1e30f)),
    };
    for (const test::Bytes& c : cases) {
        TimeField t;
        std::memcpy(t.bytes.data(), c.data(), 6);
        const double expected = TimeFieldToSeconds(t);
        const double got = SecondsOf(c.data());
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(expected))
            << got << " vs " << expected;
    }
}

// The inner loops' encoding is Real6::FromDouble, to the byte: rounding ties, carries into the
// exponent, the smallest and largest magnitudes, infinities, NaN, signed zeros, and a sweep of
// pseudo-random bit patterns.
TEST(PutReal6, SameBytesAsFromDouble) {
    std::vector<double> values = {
        0.0,
        -0.0,
        1.0,
        -1.5,
        1.7e37,
        -1.7e37,
        Real6::kMax,
        -Real6::kMax,
        std::nextafter(Real6::kMax, 1e300),
        1e300,
        Real6::kMinPositive,
        std::nextafter(Real6::kMinPositive, 0.0),
        std::ldexp(1.0, -129),
        std::ldexp(1.0 + std::ldexp(1.0, -40), 0),    // a tie: to even
        std::ldexp(1.0 + std::ldexp(3.0, -40), 0),    // a tie: up
        std::ldexp(2.0 - std::ldexp(1.0, -45), 126),  // carries past kMax
        std::ldexp(2.0 - std::ldexp(1.0, -45), 3),    // carries into 2^4
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::denorm_min(),
    };
    std::uint64_t x = 0x243F6A8885A308D3ull;
    for (int i = 0; i < 20000; ++i) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        values.push_back(std::bit_cast<double>(x));
    }
    for (const double v : values) {
        std::uint8_t got[6];
        PutReal6(got, v);
        const Real6 expected = Real6::FromDouble(v);
        EXPECT_EQ(test::Bytes(got, got + 6),
                  test::Bytes(expected.bytes.begin(), expected.bytes.end()))
            << v;
    }
}

}  // namespace
}  // namespace ktx

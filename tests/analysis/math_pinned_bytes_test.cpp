// SPDX-License-Identifier: GPL-3.0-or-later
// The result files of one- and two-channel math, pinned byte for byte: every function over a
// table of sources whose records are built from the file layout alone (a time field of hours,
// minutes and an IEEE single; a 6-byte real of exponent byte and 40-bit field), with a
// pseudo-random generator. The sources are long enough that the readers' and writers' blocks
// end in the middle of a period, start at an odd record and meet the smoothing's re-summations.
// The checksums were taken from the straightforward record-by-record computation; any change
// of a result byte, however small, fails here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/channel_math.h"
#include "analysis/two_channel_math.h"
#include "test_files.h"

namespace ktx {
namespace {

// splitmix64: a fixed, well-known sequence, so the sources are the same on every machine.
class Random {
  public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

  private:
    std::uint64_t m_state;
};

// FNV-1a over the whole file.
std::uint64_t Fnv1a(const test::Bytes& bytes) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (const std::uint8_t b : bytes) {
        h = (h ^ b) * 0x100000001B3ull;
    }
    return h;
}

void PutFloat(std::uint8_t* p, float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

// Exponent byte, then the 39-bit fraction and the sign in bit 39, little-endian.
void PutReal6(std::uint8_t* p, std::uint8_t exponent, std::uint64_t fraction, bool negative) {
    const std::uint64_t field =
        (fraction & ((std::uint64_t{1} << 39) - 1)) | (static_cast<std::uint64_t>(negative) << 39);
    p[0] = exponent;
    for (int i = 0; i < 5; ++i) {
        p[1 + i] = static_cast<std::uint8_t>(field >> (8 * i));
    }
}

// Tag, version 12.345 as a single, unit slots of 5 characters and a zero byte.
test::Bytes Header(bool fourColumns, const std::vector<std::string>& units) {
    test::Bytes h(fourColumns ? 30 : 12, 0);
    h[0] = fourColumns ? 0x42 : 0x21;
    h[1] = fourColumns ? 0x2C : 0x16;
    PutFloat(h.data() + 2, 12.345f);
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::memcpy(h.data() + 6 + 6 * i, units[i].data(),
                    std::min<std::size_t>(units[i].size(), 5));
    }
    return h;
}

enum class Kind {
    Measured,   // rising times of 0.1 us steps, values of moderate size, a few zeros
    Recording,  // times of a long recording (hours and minutes used), repeated stamps
    Bytes,      // every byte random: NaN and infinite times, huge and tiny values, zeros
};

// `points` records of a one-column file, or of a four-column file with all columns filled.
test::Bytes MakeSource(Kind kind, bool fourColumns, std::int64_t points, std::uint64_t seed) {
    Random rnd(seed);
    test::Bytes file =
        Header(fourColumns, fourColumns ? std::vector<std::string>{"V", "A", "mV", "W"}
                                        : std::vector<std::string>{"V"});
    const std::size_t size = fourColumns ? 30 : 12;
    std::vector<std::uint8_t> rec(size);
    double seconds = 0.0;
    for (std::int64_t i = 0; i < points; ++i) {
        switch (kind) {
            case Kind::Measured:
                rec[0] = rec[1] = 0;
                PutFloat(rec.data() + 2, static_cast<float>(static_cast<double>(i) * 1e-7 - 1e-3));
                break;
            case Kind::Recording: {
                if (rnd.Next() % 5 != 0) {  // every fifth stamp repeats the one before
                    seconds += 0.25 + static_cast<double>(rnd.Next() % 1000) * 0.01;
                }
                const auto h = static_cast<std::uint64_t>(seconds / 3600.0);
                const auto m = static_cast<std::uint64_t>((seconds - 3600.0 * h) / 60.0);
                rec[0] = static_cast<std::uint8_t>(h);
                rec[1] = static_cast<std::uint8_t>(m);
                PutFloat(rec.data() + 2,
                         static_cast<float>(seconds - 3600.0 * static_cast<double>(h) -
                                            60.0 * static_cast<double>(m)));
                break;
            }
            case Kind::Bytes:
                for (int b = 0; b < 6; ++b) {
                    rec[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(rnd.Next());
                }
                break;
        }
        for (std::size_t off = 6; off < size; off += 6) {
            const std::uint64_t r = rnd.Next();
            if (kind == Kind::Bytes) {
                for (int b = 0; b < 6; ++b) {
                    rec[off + static_cast<std::size_t>(b)] =
                        static_cast<std::uint8_t>(r >> (8 * b));
                }
            } else if (r % 97 == 0) {
                // Zero: exponent 0, whatever the other bytes hold.
                PutReal6(rec.data() + off, 0, r >> 8, (r >> 60) & 1);
            } else {
                PutReal6(rec.data() + off, static_cast<std::uint8_t>(118 + r % 24), r >> 20,
                         (r >> 8) & 1);
            }
        }
        file.insert(file.end(), rec.begin(), rec.end());
    }
    return file;
}

struct Source {
    const char* name;
    Kind kind;
    bool fourColumns;
    std::int64_t points;
    std::uint64_t seed;
};

// More records than one read or write block holds.
constexpr Source kSources[] = {
    {"measured.ktx", Kind::Measured, false, 150'001, 1},
    {"recording.ktx", Kind::Recording, true, 70'003, 2},
    {"bytes.ktx", Kind::Bytes, false, 90'011, 3},
    {"other.ktx", Kind::Measured, false, 150'001, 4},
};

class MathPinnedBytesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const Source& s : kSources) {
            test::WriteFile(Path(s.name), MakeSource(s.kind, s.fourColumns, s.points, s.seed));
        }
    }
    std::string Path(const std::string& name) const { return m_dir.Path(name); }

    test::TempDir m_dir;
    test::RecordingNotifier m_notifier;
};

struct OneChannelCase {
    const char* source;
    int column;
    MathFunction function;
    int factor;
    std::int64_t start;  // -1: the whole file
    std::int64_t stop;
    std::int64_t records;
    std::uint64_t checksum;
    // 0 makes the distribution read the file twice instead of keeping the values in memory.
    std::uint64_t memoryBudget = kDefaultFftMemoryBudget;
};

constexpr auto kDiff = MathFunction::Differentiate;
constexpr auto kInt = MathFunction::Integrate;
constexpr auto kInv = MathFunction::Invert;
constexpr auto kSmooth = MathFunction::Smooth;
constexpr auto kHist = MathFunction::Distribution;

const OneChannelCase kOneChannel[] = {
    {"measured.ktx", 0, kDiff, 5, -1, 0, 149'999, 0x11933B1641FE4296},
    {"measured.ktx", 0, kInt, 5, -1, 0, 149'999, 0x74ED0D0E30C030A9},
    {"measured.ktx", 0, kInv, 5, -1, 0, 150'000, 0xAB164045900B13A2},
    {"measured.ktx", 0, kSmooth, 3, -1, 0, 149'998, 0xE2E5F0166F21990D},
    {"measured.ktx", 0, kSmooth, 99, 77'777, 149'000, 71'124, 0x0FBEDF3B9B37F572},
    {"measured.ktx", 0, kHist, 5, -1, 0, 256, 0x6A1B905034277B28},
    {"measured.ktx", 0, kHist, 5, 12'345, 98'766, 256, 0x57A2814F38B7ACC4},
    {"measured.ktx", 0, kHist, 5, 12'345, 98'766, 256, 0x57A2814F38B7ACC4, 0},
    {"recording.ktx", 2, kDiff, 5, 3, 70'002, 69'997, 0x4D85F6F42AB939BF},
    {"recording.ktx", 2, kInt, 5, 3, 70'002, 69'997, 0x7C3FA4F5E4634B10},
    {"recording.ktx", 1, kInv, 5, 1, 70'000, 69'998, 0x5E0E855C8ACD629B},
    {"recording.ktx", 3, kSmooth, 21, -1, 0, 69'982, 0x195713A1D2189A5C},
    {"recording.ktx", 0, kHist, 5, -1, 0, 256, 0xC47CB551B67DE58A},
    {"bytes.ktx", 0, kDiff, 5, -1, 0, 90'009, 0x5433BFF696B0529D},
    {"bytes.ktx", 0, kInt, 5, -1, 0, 90'009, 0x7FEBC550C2444A34},
    {"bytes.ktx", 0, kInv, 5, 5, 90'011, 90'006, 0x50926630DF5704F7},
    {"bytes.ktx", 0, kSmooth, 7, -1, 0, 90'004, 0x372918A0F550DAA8},
    {"bytes.ktx", 0, kHist, 5, -1, 0, 256, 0xAEFF68237FCDA1FE},
};

class OneChannelPinnedTest : public MathPinnedBytesTest,
                             public ::testing::WithParamInterface<OneChannelCase> {};

TEST_P(OneChannelPinnedTest, ResultBytesUnchanged) {
    const OneChannelCase& c = GetParam();
    const std::string source = Path(c.source);
    const auto layout = DetectSource(source);
    ASSERT_TRUE(layout.has_value());
    MathRequest r;
    r.source = source;
    r.layout = *layout;
    r.column = c.column;
    r.period =
        c.start < 0 ? ValidatePeriod(0, layout->DataRecords()) : ValidatePeriod(c.start, c.stop);
    r.function = c.function;
    r.smoothing = c.factor;
    r.target = Path(c.function == kHist ? "out.mth" : "out.ktx");
    r.protectedFiles = {source};
    r.memoryBudget = c.memoryBudget;
    const MathOutcome o = RunMath(r, m_notifier, NoProgress());
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.records, c.records);
    const std::uint64_t sum = Fnv1a(test::ReadFile(r.target));
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%016llX", static_cast<unsigned long long>(sum));
    EXPECT_EQ(sum, c.checksum) << "checksum " << hex;
}

INSTANTIATE_TEST_SUITE_P(Table, OneChannelPinnedTest, ::testing::ValuesIn(kOneChannel));

struct TwoChannelCase {
    const char* source1;
    int column1;
    const char* source2;
    int column2;
    Math2Function function;
    std::int64_t records;
    std::uint64_t checksum;
};

const TwoChannelCase kTwoChannel[] = {
    {"measured.ktx", 0, "other.ktx", 0, Math2Function::Add, 150'001, 0x5035C69C85432CBF},
    {"measured.ktx", 0, "other.ktx", 0, Math2Function::Subtract, 150'001, 0xFF8C56F0C649EBC6},
    {"measured.ktx", 0, "other.ktx", 0, Math2Function::Multiply, 150'001, 0x3A087EEAE77E166A},
    {"measured.ktx", 0, "other.ktx", 0, Math2Function::Divide, 150'001, 0x31CAF5BB562A3EA6},
    {"bytes.ktx", 0, "recording.ktx", 2, Math2Function::Add, 70'003, 0xEAA0A4893701D3EF},
    {"recording.ktx", 1, "bytes.ktx", 0, Math2Function::Multiply, 70'003, 0xA13B60EFE2369247},
    {"bytes.ktx", 0, "measured.ktx", 0, Math2Function::Divide, 90'011, 0x85DBDB512C3F7B10},
    {"recording.ktx", 3, "recording.ktx", 0, Math2Function::Divide, 70'003, 0xE273FFB3B9616B56},
};

class TwoChannelPinnedTest : public MathPinnedBytesTest,
                             public ::testing::WithParamInterface<TwoChannelCase> {};

TEST_P(TwoChannelPinnedTest, ResultBytesUnchanged) {
    const TwoChannelCase& c = GetParam();
    Math2Request r;
    const std::string s1 = Path(c.source1);
    const std::string s2 = Path(c.source2);
    r.source1 = {s1, *DetectSource(s1), c.column1};
    r.source2 = {s2, *DetectSource(s2), c.column2};
    r.function = c.function;
    r.target = Path("out2.ktx");
    r.protectedFiles = {s1, s2};
    const Math2Outcome o = RunMath2(r, m_notifier, NoProgress());
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.records, c.records);
    const std::uint64_t sum = Fnv1a(test::ReadFile(r.target));
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%016llX", static_cast<unsigned long long>(sum));
    EXPECT_EQ(sum, c.checksum) << "checksum " << hex;
}

INSTANTIATE_TEST_SUITE_P(Table, TwoChannelPinnedTest, ::testing::ValuesIn(kTwoChannel));

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// `ktx compress` and `ktx cut` give the files the view's own processing gives.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/ktx_commands.h"
#include "test_files.h"
#include "view/view_test_files.h"
#include "view/wave_processing.h"

namespace ktx {
namespace {

struct KtxRun {
    int code;
    std::string out;
    std::string err;
};

KtxRun Ktx(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunKtx(args, KtxEnvironment{}, out, err);
    return {code, out.str(), err.str()};
}

struct CliCase {
    const char* name;
    std::vector<std::string> args;  // after the command and the two file names
    const char* command;
    int code;
    const char* out;
};

class KtxViewCommand : public ::testing::TestWithParam<CliCase> {};

TEST_P(KtxViewCommand, RunsOrRefuses) {
    const CliCase& c = GetParam();
    test::TempDir dir;
    ASSERT_TRUE(test::WriteRampFile(dir.Path("in.ktx"), 160000));
    std::vector<std::string> args{c.command, dir.Path("in.ktx"), dir.Path("out.ktx")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const KtxRun r = Ktx(args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_EQ(r.out, c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KtxViewCommand,
    ::testing::Values(
        CliCase{"sample", {"--sample"}, "compress", kExitOk, "Faktor 2\n"},
        CliCase{"peak", {"--peak"}, "compress", kExitOk, "Faktor 10\n"},
        CliCase{"no_mode", {}, "compress", kExitUsage, ""},
        CliCase{"both_modes", {"--peak", "--sample"}, "compress", kExitUsage, ""},
        CliCase{"cut", {"--from", "10", "--count", "20"}, "cut", kExitOk, ""},
        CliCase{"cut_no_count", {"--from", "10"}, "cut", kExitUsage, ""},
        CliCase{"cut_bad_number", {"--from", "x", "--count", "2"}, "cut", kExitUsage, ""},
        CliCase{"cut_negative", {"--from", "-1", "--count", "2"}, "cut", kExitUsage, ""},
        CliCase{"cut_past_end", {"--from", "160000", "--count", "2"}, "cut", kExitFailure, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KtxViewCommand, SameBytesAsTheViewProcessing) {
    test::TempDir dir;
    ASSERT_TRUE(test::WriteSineFile(dir.Path("in.ktx"), 123457, 7.0));
    SilentNotifier silent;
    ASSERT_EQ(Ktx({"compress", dir.Path("in.ktx"), dir.Path("cli.ktx"), "--peak"}).code, kExitOk);
    ASSERT_GT(PeakCompress(dir.Path("in.ktx"), dir.Path("lib.ktx"), NoProgress(), silent), 0);
    EXPECT_EQ(test::ReadFile(dir.Path("cli.ktx")), test::ReadFile(dir.Path("lib.ktx")));

    ASSERT_EQ(
        Ktx({"cut", dir.Path("in.ktx"), dir.Path("cut.ktx"), "--from", "5", "--count", "100000"})
            .code,
        kExitOk);
    // Limited to 79 999 points.
    EXPECT_EQ(test::ReadFile(dir.Path("cut.ktx")).size(), 80000u * kOneColumnRecord);
}

TEST(KtxViewCommand, NoWaveformFileFails) {
    test::TempDir dir;
    test::WriteFile(dir.Path("x"), std::string(200, 'x'));
    const KtxRun r = Ktx({"compress", dir.Path("x"), dir.Path("y"), "--sample"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find("ungültiges Dateiformat"), std::string::npos);
}

}  // namespace
}  // namespace ktx

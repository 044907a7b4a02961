// SPDX-License-Identifier: GPL-3.0-or-later
// `ktx fft`, `ktx math` and `ktx math2`: the same files the dialogs write, from ".ktx" and
// foreign sources, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <sstream>

#include "analysis/analysis_test_files.h"
#include "cli/ktx_commands.h"
#include "test_files.h"
#include "view/view_test_files.h"

namespace ktx {
namespace {

struct KtxRun {
    int code;
    std::string out;
    std::string err;
};

class KtxAnalysisCli : public ::testing::Test {
  protected:
    void SetUp() override {
        // One period of cos + 10 % third harmonic, 1 ms apart.
        ASSERT_TRUE(test::WriteOneColumnFile(
            m_dir.Path("in.ktx"), 1000, [](std::int64_t i) { return i * 1e-3; },
            [](std::int64_t i) {
                const double p = 2 * std::numbers::pi * i / 1000;
                return 0.5 + std::cos(p) + 0.1 * std::cos(3 * p);
            }));
    }
    KtxRun Ktx(std::vector<std::string> args) {
        std::ostringstream out, err;
        const int code = RunKtx(args, KtxEnvironment{m_dir.Path("home")}, out, err);
        return {code, out.str(), err.str()};
    }
    std::string P(const std::string& name) const { return m_dir.Path(name); }

    test::TempDir m_dir;
};

TEST_F(KtxAnalysisCli, FftPrintsMeanKAndThd) {
    const KtxRun r = Ktx({"fft", P("in.ktx"), P("out.fft"), "--harmonics", "10"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out,
              "Harmonische:\t10\nGrundfrequenz:\t1.001Hz\nMittelwert:\t500mV\nK:\t9.95037 %\n"
              "THD:\t0.100000\n");
    const ResultTable t = test::ReadResult(P("out.fft"), WaveLayout::Spectrum);
    EXPECT_EQ(t.rows.size(), 11u);
}

TEST_F(KtxAnalysisCli, ForeignSourceIsConvertedPrivately) {
    // Tab text "x<TAB>y": converted into a file of its own, never the shared conversion file.
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += std::to_string(i * 0.001) + "\t" +
                std::to_string(std::sin(2 * std::numbers::pi * i / 200)) + "\n";
    }
    test::WriteFile(P("in.txt"), text);
    const KtxRun r = Ktx({"fft", P("in.txt"), P("t.fft"), "--window", "hann"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_FALSE(std::filesystem::exists(P("home/ktx_tmp.tmp")));
    const KtxRun m = Ktx({"math", "inv", P("in.txt"), P("inv.ktx")});
    ASSERT_EQ(m.code, kExitOk) << m.err;
    EXPECT_EQ(m.out, "200 Punkte\n");
    // The text reader's unit "Px" comes along.
    EXPECT_EQ(test::ReadOneColumn(P("inv.ktx")).unit, "Px");
}

TEST_F(KtxAnalysisCli, MathAndMath2) {
    KtxRun r = Ktx({"math", "smooth", P("in.ktx"), P("s.ktx"), "--factor", "9", "--start", "10",
                    "--stop", "110"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "92 Punkte\n");
    r = Ktx({"math", "hist", P("in.ktx"), P("h.mth")});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "256 Punkte\n");
    r = Ktx({"math2", "mul", P("in.ktx"), P("s.ktx"), P("p.ktx")});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "92 Punkte\n");
    EXPECT_EQ(r.err, "Dateilänge unterschiedlich!\n");
    EXPECT_EQ(test::ReadOneColumn(P("p.ktx")).unit, "V*V");
}

struct Refusal {
    const char* name;
    std::vector<std::string> args;  // "IN" stands for the source, "DIR/" for the folder
    int code;
    const char* err;  // the start of what is said
};
class KtxAnalysisRefusal : public KtxAnalysisCli, public ::testing::WithParamInterface<Refusal> {};

TEST_P(KtxAnalysisRefusal, SaysWhy) {
    std::vector<std::string> args;
    for (const std::string& a : GetParam().args) {
        args.push_back(a == "IN" ? P("in.ktx") : a.rfind("DIR/", 0) == 0 ? P(a.substr(4)) : a);
    }
    const KtxRun r = Ktx(args);
    EXPECT_EQ(r.code, GetParam().code);
    EXPECT_EQ(r.err.substr(0, std::string(GetParam().err).size()), GetParam().err) << r.err;
    EXPECT_EQ(test::ReadOneColumn(P("in.ktx")).y.size(), 1000u);  // the source is untouched
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KtxAnalysisRefusal,
    ::testing::Values(
        Refusal{
            "FftWrongExtension", {"fft", "IN", "DIR/x.ktx"}, kExitFailure, "ungültiger Dateiname:"},
        Refusal{"FftBadWindow",
                {"fft", "IN", "DIR/x.fft", "--window", "kaiser"},
                kExitUsage,
                "--window"},
        Refusal{"FftTooFewHarmonics",
                {"fft", "IN", "DIR/x.fft", "--harmonics", "5"},
                kExitUsage,
                "--harmonics"},
        Refusal{"FftAdjacentCursors",
                {"fft", "IN", "DIR/x.fft", "--start", "5", "--stop", "6"},
                kExitFailure,
                "keine gültige Auswahl"},
        Refusal{"FftMissingSource",
                {"fft", "DIR/none.ktx", "DIR/x.fft"},
                kExitFailure,
                "ungültiger Dateiname:"},
        Refusal{"FftAbsentColumn", {"fft", "IN", "DIR/x.fft", "--column", "2"}, kExitFailure, ""},
        Refusal{"MathTargetIsSource",
                {"math", "inv", "IN", "IN"},
                kExitFailure,
                "ungültiger Dateiname:"},
        Refusal{"MathTargetThroughDotSlash",
                {"math", "inv", "IN", "DIR/./in.ktx"},
                kExitFailure,
                "ungültiger Dateiname:"},
        Refusal{"MathUnknownFunction",
                {"math", "sqrt", "IN", "DIR/x.ktx"},
                kExitUsage,
                "Unbekannte Funktion"},
        Refusal{"MathHistToKtx",
                {"math", "hist", "IN", "DIR/x.ktx"},
                kExitFailure,
                "ungültiges Dateiformat"},
        Refusal{"SmoothTooFew",
                {"math", "smooth", "IN", "DIR/x.ktx", "--factor", "21", "--stop", "20"},
                kExitFailure,
                "keine gültige Auswahl"},
        Refusal{"Math2WrongExtension",
                {"math2", "add", "IN", "IN", "DIR/x.fft"},
                kExitFailure,
                "ungültiger Dateiname:"},
        Refusal{"Math2MissingTarget", {"math2", "add", "IN", "IN"}, kExitUsage, "Aufruf:"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ktx

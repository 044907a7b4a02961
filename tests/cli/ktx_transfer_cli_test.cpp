// SPDX-License-Identifier: GPL-3.0-or-later
// `ktx read` and `ktx write` against the in-process simulated instrument: the files they make,
// the options they take, and the messages for what the file dialog would have refused.
#include "cli/ktx_transfer_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/ktx_commands.h"
#include "test_files.h"
#include "waveform/waveform_record.h"

namespace ktx {
namespace {

using ::testing::HasSubstr;

class KtxTransfer : public ::testing::Test {
  protected:
    struct Result {
        int code;
        std::string out;
        std::string err;
    };
    // "@" in an argument stands for the test's folder.
    Result Ktx(std::vector<std::string> args) {
        for (std::string& a : args) {
            if (const auto at = a.find('@'); at != std::string::npos) {
                a.replace(at, 1, m_dir.Path(""));
            }
        }
        std::ostringstream out, err;
        const int code = RunKtx(args, KtxEnvironment{KTX_PROGRAM_DIR}, out, err);
        return {code, out.str(), err.str()};
    }

    test::TempDir m_dir;
};

TEST_F(KtxTransfer, ReadsOneFilePerSource) {
    const auto r = Ktx(
        {"read", "CH1", "CH2", "@x.fms", "--link", "sim", "--stop", "2500", "--timeout", "300"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, m_dir.Path("x_CH1.fms") + "\n" + m_dir.Path("x_CH2.fms") + "\n2500 Punkte\n");
    EXPECT_TRUE(std::filesystem::exists(m_dir.Path("x_CH2.fms")));
}

TEST_F(KtxTransfer, ReadsAWaveformFileOfTheNamedFamily) {
    const auto r = Ktx({"read", "CH2", "@w.ktx", "--link", "sim", "--type", "14", "--start", "0",
                        "--stop", "500"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    test::RecordingNotifier notes;
    const auto rec = LoadWaveform(m_dir.Path("w.ktx"), false, {}, notes);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->pointCount, 500);
    EXPECT_EQ(rec->units[0], "V");
}

TEST_F(KtxTransfer, TextOptionsShapeTheTable) {
    const auto r = Ktx({"read", "CH1", "CH3", "@t.txt", "--link", "sim", "--stop", "3", "--sep",
                        "tab", "--dec", ".", "--eol", "crlf", "--timeout", "300"});
    ASSERT_EQ(r.code, kExitOk) << r.err;
    const test::Bytes bytes = test::ReadFile(m_dir.Path("t.txt"));
    const std::string text(bytes.begin(), bytes.end());
    // Three rows of x and two columns, 23 characters each.
    ASSERT_EQ(text.size(), 3u * (3 * 23 + 2 + 2));
    EXPECT_EQ(text.substr(23, 1), "\t");
    EXPECT_EQ(text.substr(2, 1), ".");
    EXPECT_EQ(text.substr(3 * 23 + 2, 2), "\r\n");
}

TEST_F(KtxTransfer, WritesAWaveformFileIntoAReference) {
    test::WriteFile(m_dir.Path("c.wfm"), ":CURVE 1,2,3,4,5,6,7,8\r\n");
    const auto r = Ktx({"write", "@c.wfm", "REF2", "--link", "sim", "--device",
                        std::string(KTX_DRIVER_DIR) + "/kt_tds210.ini"});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.err, "");
}

struct RefusedCase {
    const char* name;
    std::vector<std::string> args;
    int code;
    const char* says;
};

class KtxTransferRefuses : public KtxTransfer, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(KtxTransferRefuses, WhatTheDialogWouldRefuse) {
    const RefusedCase& c = GetParam();
    const auto r = Ktx(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_THAT(r.err, HasSubstr(c.says));
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path("")));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, KtxTransferRefuses,
    ::testing::Values(
        RefusedCase{"NoSource", {"read", "@x.ktx", "--link", "sim"}, kExitUsage, "Aufruf:"},
        RefusedCase{"UnknownFormat",
                    {"read", "CH1", "@x.ktx", "--format", "csv", "--link", "sim"},
                    kExitUsage,
                    "--format"},
        RefusedCase{"ExtensionNotOfTheFormat",
                    {"read", "CH1", "@x.txt", "--format", "ktx", "--link", "sim"},
                    kExitUsage,
                    "ungültiger Dateiname:"},
        RefusedCase{"StartNoInteger",
                    {"read", "CH1", "@x.ktx", "--start", "1e3", "--link", "sim"},
                    kExitUsage,
                    "ungültiger Startwert: 1e3"},
        RefusedCase{"StopNoInteger",
                    {"read", "CH1", "@x.ktx", "--stop", "viel", "--link", "sim"},
                    kExitUsage,
                    "ungültiger Stopwert: viel"},
        RefusedCase{"StopBeyondTheMemory",
                    {"read", "CH1", "@x.ktx", "--stop", "2501", "--link", "sim", "--device",
                     std::string(KTX_DRIVER_DIR) + "/kt_tds210.ini"},
                    kExitUsage,
                    "Speicherbereich zu groß"},
        RefusedCase{"ElevenSources",
                    {"read", "CH1", "CH2", "CH3", "CH4", "REF1", "REF2", "REF3", "REF4", "MATH",
                     "CH1", "CH2", "@x.ktx", "--link", "sim"},
                    kExitUsage,
                    "keine gültige Auswahl"},
        RefusedCase{"WriteMissingFile",
                    {"write", "@none.wfm", "REF1", "--link", "sim"},
                    kExitFailure,
                    "ungültiger Dateiname:"},
        // A source the instrument does not know: its preamble never comes.
        RefusedCase{"UnknownSource",
                    {"read", "CH9", "@x.ktx", "--link", "sim", "--timeout", "200"},
                    kExitFailure,
                    "Operation fehlgeschlagen"},
        RefusedCase{"UnknownLink",
                    {"read", "CH1", "@x.ktx", "--link", "carrier-pigeon"},
                    kExitUsage,
                    "Unbekannte Verbindung"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ktx

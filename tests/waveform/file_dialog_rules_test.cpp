// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/file_dialog_rules.h"

#include <gtest/gtest.h>

#include "test_files.h"

namespace ktx {
namespace {

TEST(FileDialogRules, FormatByExtension) {
    EXPECT_EQ(FormatFromExtension(".wfm"), kFormatWfm);
    EXPECT_EQ(FormatFromExtension(".XLS"), kFormatXls);
    EXPECT_EQ(FormatFromExtension(".fms"), kFormatFms);
    EXPECT_EQ(FormatFromExtension(".Ktx"), kFormatKtx);
    EXPECT_EQ(FormatFromExtension(".txt"), kFormatTxt);
    EXPECT_EQ(FormatFromExtension(".csv"), -1);
}

TEST(FileDialogRules, WritableSourcesStartAtWriteAndStopAtCount) {
    test::TempDir dir;
    const auto path = dir.Path("kt.ini");
    test::WriteFile(path, std::string("[MEMORY]\nSIZE=2500\nITEMCNT=2\nI1=500\nI2=2500\n"
                                      "[SOURCES]\nCOUNT=6\nS1=CH1\nS2=CH2\nS3=MATH\nS4=REF1\n"
                                      "S5=REF2\nS6=REF3\nWRITE=4\nWRITEANZ=2\n"));
    const auto read = ReadFileDialogChoices(path, kModeRead);
    EXPECT_EQ(read.sources.size(), 6u);
    EXPECT_EQ(read.memorySize, "2500");
    EXPECT_EQ(read.memoryItems, (std::vector<int>{500, 2500}));
    const auto write = ReadFileDialogChoices(path, kModeWrite);
    EXPECT_EQ(write.sources, (std::vector<std::string>{"REF1", "REF2"}));

    test::WriteFile(path, std::string("[SOURCES]\nCOUNT=2\nS1=CH1\nS2=REF1\nWRITE=2\n"));
    EXPECT_EQ(ReadFileDialogChoices(path, kModeWrite).sources, (std::vector<std::string>{"REF1"}));
    test::WriteFile(path, std::string("[SOURCES]\nCOUNT=2\nS1=CH1\nS2=REF1\nWRITE=0\n"));
    EXPECT_TRUE(ReadFileDialogChoices(path, kModeWrite).sources.empty());
}

struct CheckCase {
    const char* what;
    FileDialogInput input;
    bool exists;
    int message;
    int requested;
    friend void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.what; }
};

FileDialogInput Read(const char* name, const char* ext, std::size_t sources, const char* start,
                     const char* stop) {
    return FileDialogInput{kModeRead, "/data", name, ext, sources, start, stop, "2500"};
}

class FileDialogCheckTest : public ::testing::TestWithParam<CheckCase> {};

INSTANTIATE_TEST_SUITE_P(
    Steps, FileDialogCheckTest,
    ::testing::Values(
        CheckCase{"ok", Read("x.wfm", ".wfm", 2, "0", "2500"), false, 0, 2500},
        CheckCase{"extension of another filter", Read("x.txt", ".wfm", 1, "0", "10"), false, 42, 0},
        CheckCase{"extension in other case", Read("X.WFM", ".wfm", 1, "0", "10"), false, 0, 10},
        CheckCase{"wildcard", Read("*.wfm", ".wfm", 1, "0", "10"), false, 42, 0},
        CheckCase{"no source", Read("x.wfm", ".wfm", 0, "0", "10"), false, 14, 0},
        CheckCase{"eleven sources", Read("x.wfm", ".wfm", 11, "0", "10"), false, 14, 0},
        CheckCase{"bad start", Read("x.wfm", ".wfm", 1, "a", "10"), false, 43, 0},
        CheckCase{"bad stop", Read("x.wfm", ".wfm", 1, "0", "1e3"), false, 44, 0},
        CheckCase{"stop above memory", Read("x.wfm", ".wfm", 1, "0", "2501"), false, 15, 0},
        CheckCase{"stop below start", Read("x.wfm", ".wfm", 1, "100", "50"), false, 0, -50},
        CheckCase{"write: file missing",
                  FileDialogInput{kModeWrite, "/data", "x.wfm", ".wfm", 1, "", "", "1000"}, false,
                  42, 0},
        CheckCase{"write: no destination",
                  FileDialogInput{kModeWrite, "/data", "x.wfm", ".wfm", 0, "", "", "1000"}, true,
                  13, 0},
        CheckCase{"write: ok",
                  FileDialogInput{kModeWrite, "/data", "x.wfm", ".wfm", 1, "", "", "1000"}, true, 0,
                  0}));

TEST_P(FileDialogCheckTest, FirstFailingStepDecides) {
    const FileDialogCheck r = CheckFileDialog(GetParam().input, GetParam().exists);
    EXPECT_EQ(r.message, GetParam().message);
    if (r.message == 0) {
        EXPECT_EQ(r.requested, GetParam().requested);
    }
}

TEST(FileDialogRules, ExistingTargetIsConfirmedBeforeTheLaterChecks) {
    const FileDialogCheck r = CheckFileDialog(Read("x.wfm", ".wfm", 0, "0", "10"), true);
    EXPECT_TRUE(r.confirmOverwrite);
    EXPECT_EQ(r.message, 14);
    EXPECT_EQ(r.fileName, "/data/x.wfm");
}

}  // namespace
}  // namespace ktx

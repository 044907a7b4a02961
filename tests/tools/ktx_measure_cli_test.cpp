// SPDX-License-Identifier: GPL-3.0-or-later
// `ktx measure` and `ktx dmm` against the simulated instrument: what each prints for the
// device families and options, and Ctrl+C in the middle of a long series (the real program
// in a process of its own gets SIGINT after its first reading).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "cli/ktx_commands.h"

extern char** environ;

namespace ktx {
namespace {

const std::string kDriver = KTX_DRIVER_DIR;

struct CliCase {
    const char* name;
    std::vector<std::string> args;
    int code;
    const char* out;  // exact standard output; "*U": every line ends in the unit U
    int lines = 1;    // with "*U": how many lines
};

class KtxMeasureCliTest : public testing::TestWithParam<CliCase> {};

TEST_P(KtxMeasureCliTest, PrintsTheReading) {
    std::vector<std::string> args = GetParam().args;
    args.insert(args.end(), {"--link", "sim"});
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunKtx(args, {KTX_PROGRAM_DIR}, out, err), GetParam().code) << err.str();
    const std::string expected = GetParam().out;
    if (expected.rfind('*', 0) == 0) {
        std::istringstream lines(out.str());
        std::string line;
        int count = 0;
        while (std::getline(lines, line)) {
            ++count;
            EXPECT_EQ(line.substr(line.size() - (expected.size() - 1)), expected.substr(1));
        }
        EXPECT_EQ(count, GetParam().lines);
    } else {
        EXPECT_EQ(out.str(), expected) << err.str();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, KtxMeasureCliTest,
    testing::Values(
        // Three readings of CH4's frequency (type 2: slot IMM), one a line.
        CliCase{"Count",
                {"measure", "freq", "ch4", "--count", "3", "--device", kDriver + "/kt_tds380.ini"},
                0,
                "*Hz",
                3},
        CliCase{"NoSuchSource", {"measure", "FREQ", "CH9"}, 1, ""},
        CliCase{"BadCount", {"measure", "FREQ", "CH1", "--count", "0"}, 2, ""},
        CliCase{
            "DmmRange",
            {"dmm", "--function", "DCV", "--range", "4", "--device", kDriver + "/kt_ths720p.ini"},
            0,
            "*V"},  // 1.5 V, drifting with the simulator's clock
        CliCase{"DmmOverRange",
                {"dmm", "--function", "OHMS", "--range", "400", "--device",
                 kDriver + "/kt_ths720p.ini"},
                0,
                "over Range\n"},
        CliCase{
            "HandheldRange",
            {"dmm", "--function", "05", "--range", "03", "--device", kDriver + "/kt_ths3014.ini"},
            0,
            "*OHM"},
        CliCase{
            "HandheldRangeNotInTable",
            {"dmm", "--function", "03", "--range", "05", "--device", kDriver + "/kt_ths3014.ini"},
            1,
            ""},
        CliCase{"RangeAndAuto", {"dmm", "--range", "4", "--auto"}, 2, ""}),
    [](const testing::TestParamInfo<CliCase>& info) { return info.param.name; });

TEST(KtxMeasureInterruptTest, CtrlCEndsTheSeriesAfterTheReadingUnderWay) {
    int outPipe[2];
    int errPipe[2];
    ASSERT_EQ(pipe(outPipe), 0);
    ASSERT_EQ(pipe(errPipe), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    const std::string tool = KTX_TOOL;
    std::vector<std::string> args = {tool,      "measure", "PK2PK",  "CH1",
                                     "--count", "1000000", "--link", "sim"};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    FILE* out = fdopen(outPipe[0], "r");
    char line[256];
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);  // the first reading is out
    kill(pid, SIGINT);
    int lines = 1;
    while (std::fgets(line, sizeof line, out) != nullptr) {
        ++lines;
    }
    std::fclose(out);
    std::string err;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(errPipe[0], buffer, sizeof buffer)) > 0) {
        err.append(buffer, static_cast<std::size_t>(n));
    }
    close(errPipe[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal, not by itself";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(err.find("(abgebrochen)"), std::string::npos) << err;
    EXPECT_NE(err.find(std::to_string(lines) + " von 1000000 Messungen"), std::string::npos) << err;
}

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// `ktx log` and `ktx scan` run as the user runs them, against the simulated instrument: a
// counted run, several sources, and Ctrl+C in the middle of a long log, after which the file
// must be closed and whole.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "test_files.h"
#include "waveform/wave_file.h"

namespace ktx {
namespace {

struct ToolRun {
    int code = -1;
    std::string err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& errFile) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int e = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(e, 2);
        std::vector<char*> argv{const_cast<char*>(KTX_TOOL)};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(KTX_TOOL, argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits for the process, killing it after 60 s: a run that hangs fails the test.
ToolRun Finish(pid_t pid, const std::string& errFile) {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(errFile)};
}

const std::vector<std::string> kSim{"--link", "sim", "--type", "12"};

std::vector<std::string> With(std::vector<std::string> args) {
    args.insert(args.end(), kSim.begin(), kSim.end());
    return args;
}

TEST(KtxLogCli, CountedRunsWriteTheirFiles) {
    test::TempDir dir;
    const std::string err = dir.Path("err.txt");
    const std::string log = dir.Path("werte.ktx");
    ToolRun r = Finish(Spawn(With({"log", log, "--channel", "FREQ:CH1", "PK2PK:CH2", "--interval",
                                   "0.1", "--count", "3"}),
                             err),
                       err);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(CountWaveFile(log), 4) << r.err;
    EXPECT_NE(r.err.find("Messung 3 von 3"), std::string::npos) << r.err;

    const std::string folder = dir.Path("scans");
    std::filesystem::create_directories(folder);
    r = Finish(Spawn(With({"scan", folder, "AB", "--source", "CH1", "CH2", "--count", "2",
                           "--interval", "0", "--start", "1", "--stop", "100"}),
                     err),
               err);
    EXPECT_EQ(r.code, 0) << r.err;
    for (const char* name :
         {"AB___000_CH1.ktx", "AB___000_CH2.ktx", "AB___001_CH1.ktx", "AB___001_CH2.ktx"}) {
        EXPECT_EQ(CountWaveFile(folder + "/" + name), 101) << name << r.err;
    }
    // Existing files are not overwritten without being asked, and a script cannot answer.
    r = Finish(Spawn(With({"scan", folder, "AB", "--source", "CH1", "--count", "1"}), err), err);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(CountWaveFile(folder + "/AB___000.ktx"), 1001) << r.err;
    r = Finish(Spawn(With({"scan", folder, "AB", "--source", "CH1", "--count", "1"}), err), err);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("Soll existierende Datei überschrieben werden?"), std::string::npos);

    r = Finish(Spawn(With({"log", log, "--channel", "FREQ"}), err), err);
    EXPECT_EQ(r.code, 2) << r.err;
}

TEST(KtxLogCli, CtrlCEndsALongLogWithTheFileWhole) {
    test::TempDir dir;
    const std::string err = dir.Path("err.txt");
    const std::string log = dir.Path("lang.ktx");
    const pid_t pid = Spawn(
        With({"log", log, "--channel", "MEAN:CH1", "--interval", "0.1", "--count", "1000000"}),
        err);
    // Until a few records are on the disk (at most 30 s), then Ctrl+C.
    for (int i = 0; i < 3000 && CountWaveFile(log) < 4; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGINT);
    const ToolRun r = Finish(pid, err);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("abgebrochen"), std::string::npos) << r.err;
    const std::int64_t records = CountWaveFile(log);
    EXPECT_GE(records, 4);
    EXPECT_EQ(std::filesystem::file_size(log),
              static_cast<std::uintmax_t>(records) * kFourColumnRecord);
}

}  // namespace
}  // namespace ktx

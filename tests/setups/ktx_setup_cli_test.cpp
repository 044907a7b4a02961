// SPDX-License-Identifier: GPL-3.0-or-later
// `ktx setup` and `ktx convert` as a script uses them: exit codes, what goes to the output and
// the error stream, folders converted whole with failures named per file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli/ktx_commands.h"
#include "test_files.h"

namespace ktx {
namespace {

namespace fs = std::filesystem;

class KtxSetupCli : public ::testing::Test {
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

TEST_F(KtxSetupCli, ReadsAndWritesASetup) {
    const auto read = Ktx({"setup", "read", "@a.set", "--link", "sim", "--type", "12"});
    ASSERT_EQ(read.code, kExitOk) << read.err;
    EXPECT_EQ(read.err, "");
    const test::Bytes bytes = test::ReadFile(m_dir.Path("a.set"));
    ASSERT_GE(bytes.size(), 2048u);
    EXPECT_EQ(read.out, std::to_string(bytes.size()) + " Bytes\n");

    const auto write = Ktx({"setup", "write", "@a.set", "--link", "sim", "--type", "12"});
    EXPECT_EQ(write.code, kExitOk) << write.err;
    EXPECT_EQ(write.err, "");
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    int code;
    const char* said;  // part of the error stream
};

class KtxSetupUsage : public KtxSetupCli, public testing::WithParamInterface<UsageCase> {};

TEST_P(KtxSetupUsage, FailsWithAClearWord) {
    const UsageCase& c = GetParam();
    const auto r = Ktx(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, KtxSetupUsage,
    testing::Values(
        UsageCase{"MissingSetup",
                  {"setup", "write", "@none.set", "--link", "sim"},
                  kExitFailure,
                  "Datei nicht gefunden"},
        UsageCase{"NoSuchVerb", {"setup", "send", "@a.set"}, kExitUsage, "ktx setup read"},
        UsageCase{"NoTarget", {"convert", "@"}, kExitUsage, "ktx convert"},
        UsageCase{"FromDoesNotFitTo",
                  {"convert", "--to", "ktx", "--from", "ktx", "@"},
                  kExitUsage,
                  "passen nicht zusammen"},
        UsageCase{"UnknownTarget", {"convert", "--to", "doc", "@"}, kExitUsage, "--to erwartet"},
        UsageCase{"DirIsNoFolder",
                  {"convert", "--to", "ktx", "@", "--dir", "@nowhere"},
                  kExitUsage,
                  "kein Ordner"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KtxSetupCli, ConvertsAFolderIntoAnotherAndNamesTheBadFile) {
    if (test::CorpusDir().empty()) {
        GTEST_SKIP() << "no corpus beside the checkout";
    }
    for (const char* name : {"TEK00000.ISF", "example.isf"}) {
        fs::copy_file(test::CorpusDir() + "/isf/" + name, m_dir.Path(name));
    }
    fs::copy_file(test::CorpusDir() + "/csv/tek0001CH1.csv", m_dir.Path("tek0001CH1.csv"));
    test::WriteFile(m_dir.Path("junk.isf"), "nothing an instrument wrote");
    fs::create_directory(m_dir.Path("out"));
    const auto r = Ktx({"convert", "--to", "ktx", "@", "--dir", "@out"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find("junk.isf"), std::string::npos) << r.err;
    for (const char* name : {"TEK00000.ktx", "example.ktx", "tek0001CH1.ktx"}) {
        EXPECT_TRUE(fs::is_regular_file(m_dir.Path(std::string("out/") + name))) << name;
        EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
    }
    EXPECT_NE(r.out.find("Konvertierung beendet: 3 geschrieben, 1 fehlgeschlagen"),
              std::string::npos)
        << r.out;

    // And back to text: only the waveform files of the folder, each beside itself.
    const auto text = Ktx({"convert", "--to", "txt", "@out", "--sep", "tab", "--eol", "crlf"});
    EXPECT_EQ(text.code, kExitOk) << text.err;
    const test::Bytes t = test::ReadFile(m_dir.Path("out/example.txt"));
    const std::string whole(t.begin(), t.end());
    EXPECT_EQ(whole.rfind("Time\t", 0), 0u) << whole.substr(0, 40);
    EXPECT_EQ(whole.substr(whole.size() - 2), "\r\n");
    EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 10001);
}

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// `ktx import` and `ktx export` end to end: a real instrument file in, text out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/ktx_commands.h"
#include "test_files.h"

namespace ktx {
namespace {

struct FileRun {
    int code;
    std::string out;
    std::string err;
};

FileRun Ktx(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunKtx(args, KtxEnvironment{}, out, err);
    return {code, out.str(), err.str()};
}

std::string Text(const std::string& path) {
    const auto b = test::ReadFile(path);
    return std::string(b.begin(), b.end());
}

TEST(KtxFileCommands, ImportThenExportEveryForm) {
    if (test::CorpusDir().empty()) {
        GTEST_SKIP() << "corpus not beside the checkout";
    }
    test::TempDir dir;
    FileRun r = Ktx({"import", test::CorpusDir() + "/isf/TEK00000.ISF", dir.Path("w.ktx")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "2000 Punkte\n");

    r = Ktx({"export", dir.Path("w.ktx"), dir.Path("w.txt"), "--format", "txt", "--sep", ";",
             "--dec", ",", "--eol", "crlf"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string txt = Text(dir.Path("w.txt"));
    EXPECT_EQ(txt.substr(0, 49), "-8,00000011920929E-0001; 4,40000000000055E-0001\r\n");
    EXPECT_EQ(std::count(txt.begin(), txt.end(), '\n'), 2000);

    r = Ktx({"export", dir.Path("w.ktx"), dir.Path("w.xls"), "--format", "xls", "--dec", "."});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Text(dir.Path("w.xls")).substr(0, 49),
              "-8.00000011920929E-0001\t 4.40000000000055E-0001\r\n");

    r = Ktx({"export", dir.Path("w.ktx"), dir.Path("w.fms"), "--format", "fms"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string fms = Text(dir.Path("w.fms"));
    EXPECT_EQ(fms.size(), 2000u * 48);
    EXPECT_EQ(fms.find('\n'), std::string::npos);

    // A .ktx file is checked and copied.
    r = Ktx({"import", dir.Path("w.ktx"), dir.Path("copy.ktx")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(test::ReadFile(dir.Path("copy.ktx")), test::ReadFile(dir.Path("w.ktx")));
}

// A FastFrame file: the first frame by default and said so, any other on request, all of them
// into numbered files.
TEST(KtxFileCommands, FramesOfAFastFrameFile) {
    if (test::CorpusDir().empty()) {
        GTEST_SKIP() << "corpus not beside the checkout";
    }
    test::TempDir dir;
    const std::string wfm = test::CorpusDir() + "/wfm/sample_ff1.wfm";
    FileRun r = Ktx({"import", wfm, dir.Path("w.ktx")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "1000 Punkte (Kurve 1 von 5; die übrigen mit --frame N oder --all)\n");

    r = Ktx({"import", wfm, dir.Path("three.ktx"), "--frame", "3"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "1000 Punkte (Kurve 3 von 5; die übrigen mit --frame N oder --all)\n");

    r = Ktx({"import", wfm, dir.Path("f.ktx"), "--all"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (int k = 1; k <= 5; ++k) {
        const std::string file = dir.Path("f_" + std::to_string(k) + ".ktx");
        EXPECT_NE(r.out.find(file + "\n1000 Punkte (Kurve " + std::to_string(k) + " von 5)\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(test::ReadFile(file).size(), 1001u * 12);
    }
    EXPECT_EQ(test::ReadFile(dir.Path("f_1.ktx")), test::ReadFile(dir.Path("w.ktx")));
    EXPECT_EQ(test::ReadFile(dir.Path("f_3.ktx")), test::ReadFile(dir.Path("three.ktx")));
    EXPECT_NE(test::ReadFile(dir.Path("f_3.ktx")), test::ReadFile(dir.Path("w.ktx")));

    r = Ktx({"import", wfm, dir.Path("six.ktx"), "--frame", "6"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_EQ(r.err, "keine gültige Auswahl Kurve 6 von 5\n");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("six.ktx")));
    EXPECT_EQ(Ktx({"import", wfm, dir.Path("x.ktx"), "--frame", "0"}).code, kExitUsage);
}

TEST(KtxFileCommands, FailuresAndUsage) {
    test::TempDir dir;
    test::WriteFile(dir.Path("bad.isf"), std::string("garbage"));
    FileRun r = Ktx({"import", dir.Path("bad.isf"), dir.Path("w.ktx")});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_EQ(r.err, "ungültiges Dateiformat\n");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("w.ktx")));

    test::WriteFile(dir.Path("x.dat"), std::string("1,2\n"));
    r = Ktx({"import", dir.Path("x.dat"), dir.Path("w.ktx")});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_EQ(r.err, "ungültiges Dateiformat " + dir.Path("x.dat") + "\n");

    EXPECT_EQ(Ktx({"import", dir.Path("missing.isf"), dir.Path("w.ktx")}).code, kExitFailure);
    EXPECT_EQ(Ktx({"import", dir.Path("bad.isf")}).code, kExitUsage);
    EXPECT_EQ(Ktx({"export", dir.Path("a.ktx"), dir.Path("o")}).code, kExitUsage);
    EXPECT_EQ(Ktx({"export", dir.Path("a.ktx"), dir.Path("o"), "--format", "pdf"}).code,
              kExitUsage);
    EXPECT_EQ(
        Ktx({"export", dir.Path("a.ktx"), dir.Path("o"), "--format", "txt", "--sep", ";;"}).code,
        kExitUsage);
    EXPECT_EQ(
        Ktx({"export", dir.Path("a.ktx"), dir.Path("o"), "--format", "txt", "--eol", "x"}).code,
        kExitUsage);
    r = Ktx({"export", dir.Path("bad.isf"), dir.Path("o"), "--format", "txt"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find("ungültiges Dateiformat"), std::string::npos);
}

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ktx_commands.h"

#include <gtest/gtest.h>

#include <sstream>

#include "test_files.h"

namespace ktx {
namespace {

using test::Bytes;

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

class KtxTool : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) { return m_dir.Path(name); }
    test::TempDir m_dir;
};

TEST_F(KtxTool, CurveInfoAndDumpRoundTrip) {
    test::WriteFile(Path("raw"), test::Concat({test::FromText(":CURVE #18"),
                                               {0x00, 0x10, 0xFF, 0xF0, 0x00, 0x00, 0x00, 0x01}}));
    KtxRun r = Ktx({"curve", Path("raw"), Path("w.ktx"), "--xincr", "1e-6", "--pt-off", "1",
                    "--yoff", "0", "--ymult", "0.5"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "4 Punkte\n");

    r = Ktx({"info", Path("w.ktx")});
    ASSERT_EQ(r.code, 0) << r.err;
    // The whole text, ending with its line feed: the next output starts on a line of its own.
    EXPECT_EQ(r.out,
              "Format:\teinspaltig\nVersion:\t12.345\nEinheiten:\tV # # #\nPunkte:\t4\n"
              "Spalte:\t0\nErstes x:\t0 s\nLetztes x:\t3.0000001061125658e-06 s\nyMin:\t-8\n"
              "yMax:\t8\nZeitskala:\t1000000\nAbtastachse:\tnein\n");

    r = Ktx({"dump", Path("w.ktx")});
    ASSERT_EQ(r.code, 0) << r.err;
    // x of the second point is 1e-6 stored as a single, shown with all its digits.
    EXPECT_EQ(r.out,
              "0\t8\n9.9999999747524271e-07\t-8\n1.9999999949504854e-06\t0\n"
              "3.0000001061125658e-06\t0.5\n");
}

TEST_F(KtxTool, AsciiAndRawCurves) {
    test::WriteFile(Path("raw"), ":CURVE 4,5,6,7\r");
    KtxRun r = Ktx({"curve", Path("raw"), Path("a.ktx"), "--xincr", "1", "--pt-off", "0", "--yoff",
                    "4", "--ymult", "2", "--ascii"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Ktx({"dump", Path("a.ktx")}).out, "1\t0\n2\t2\n3\t4\n4\t6\n");

    r = Ktx({"curve", Path("raw"), Path("p.ktx"), "--xincr", "1", "--pt-off", "0", "--yoff", "4",
             "--ymult", "2", "--raw"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(Ktx({"info", Path("p.ktx")}).out.find("Abtastachse:\tja"), std::string::npos);
}

TEST_F(KtxTool, FourColumnFileTakesAColumn) {
    Bytes f = {0x42, 0x2C, 0x1F, 0x85, 0x45, 0x41, 'V', 0, 0, 0,   0, 0, 'A', 0, 0,
               0,    0,    0,    '#',  0,    0,    0,   0, 0, '#', 0, 0, 0,   0, 0};
    for (int i = 1; i <= 4; ++i) {
        f.insert(f.end(), {0, 0, 0, 0, 0x80, 0x3F});  // 1 s
        f.insert(f.end(), {0x81, 0, 0, 0, 0, 0});     // 1
        f.insert(f.end(), {0x82, 0, 0, 0, 0, 0});     // 2
        f.insert(f.end(), 12, 0);
    }
    test::WriteFile(Path("four.ktx"), f);
    EXPECT_EQ(Ktx({"dump", Path("four.ktx")}).out, "1\t1\n1\t1\n1\t1\n1\t1\n");
    EXPECT_EQ(Ktx({"dump", Path("four.ktx"), "--column", "1"}).out, "1\t2\n1\t2\n1\t2\n1\t2\n");
    EXPECT_EQ(Ktx({"dump", Path("four.ktx"), "--column", "4"}).code, kExitFailure);
}

struct BadInput {
    const char* name;
    Bytes content;
    const char* message;  // the catalogue text on stderr
    friend void PrintTo(const BadInput& b, std::ostream* os) { *os << b.name; }
};

class KtxBadInput : public KtxTool, public ::testing::WithParamInterface<BadInput> {};

INSTANTIATE_TEST_SUITE_P(
    Files, KtxBadInput,
    ::testing::Values(
        BadInput{"empty", {}, "ungültiges Dateiformat"},
        BadInput{"truncated_block", test::Concat({test::FromText(":CURVE #41000"), Bytes(10, 1)}),
                 "ungültiges Dateiformat"},
        BadInput{"long_run", test::FromText(":CURVE 1,22222222222222222,3"),
                 "Fehler bei Umwandlung"},
        BadInput{"bad_count", test::FromText(":CURVE #4x000"), "ungültiges Dateiformat"},
        BadInput{"wrong_tag", test::FromText(":WFMPRE:NR_PT 3;:CURVE 1,2"),
                 "ungültiges Dateiformat"}));

TEST_P(KtxBadInput, CurveFailsWithAMessage) {
    test::WriteFile(Path("raw"), GetParam().content);
    const bool ascii = GetParam().content.size() > 8 && GetParam().content[7] != '#';
    std::vector<std::string> args = {"curve",    Path("raw"), Path("out.ktx"), "--xincr", "1",
                                     "--pt-off", "0",         "--yoff",        "0",       "--ymult",
                                     "1"};
    if (ascii) {
        args.push_back("--ascii");
    }
    const KtxRun r = Ktx(args);
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
}

TEST_P(KtxBadInput, InfoAndDumpRejectNonWaveformFiles) {
    test::WriteFile(Path("f.ktx"), GetParam().content);
    for (const char* cmd : {"info", "dump"}) {
        const KtxRun r = Ktx({cmd, Path("f.ktx")});
        EXPECT_EQ(r.code, kExitFailure);
        EXPECT_NE(r.err.find("ungültiges Dateiformat"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
}

TEST_F(KtxTool, HeaderWithWrongVersionOrTagAndDirectories) {
    Bytes f = {0x21, 0x16, 0x06, 0x81, 0x45, 0x41, 'V', 0, 0, 0, 0, 0};  // version 12.344
    f.resize(12 * 10, 0);
    test::WriteFile(Path("old.ktx"), f);
    EXPECT_EQ(Ktx({"info", Path("old.ktx")}).code, kExitFailure);
    f[0] = 0x22;
    f[2] = 0x1F;
    f[3] = 0x85;
    test::WriteFile(Path("tag.ktx"), f);
    EXPECT_EQ(Ktx({"info", Path("tag.ktx")}).code, kExitFailure);

    // A folder is no file to read: refused as such, not as a file of the wrong format.
    KtxRun r = Ktx({"info", Path("")});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_NE(r.err.find("Dateizugriff verweigert"), std::string::npos) << r.err;
    r = Ktx({"curve", Path(""), Path("x.ktx"), "--xincr", "1", "--pt-off", "0", "--yoff", "0",
             "--ymult", "1"});
    EXPECT_EQ(r.code, kExitFailure);
    r = Ktx({"dump", Path("missing.ktx")});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_EQ(r.err, "Datei nicht gefunden " + Path("missing.ktx") + "\n");
}

TEST_F(KtxTool, UsageErrors) {
    EXPECT_EQ(Ktx({}).code, kExitUsage);
    EXPECT_EQ(Ktx({"frobnicate"}).code, kExitUsage);
    EXPECT_EQ(Ktx({"info"}).code, kExitUsage);
    EXPECT_EQ(Ktx({"curve", "a", "b", "--xincr", "1"}).code, kExitUsage);
    EXPECT_EQ(
        Ktx({"curve", "a", "b", "--xincr", "1", "--pt-off", "0", "--yoff", "0", "--ymult", "abc"})
            .code,
        kExitUsage);
    EXPECT_EQ(Ktx({"curve", "a", "b", "--xincr", "1", "--pt-off", "0", "--yoff", "0", "--ymult",
                   "1", "--ascii", "--raw"})
                  .code,
              kExitUsage);
    EXPECT_EQ(Ktx({"curve", "a", "b", "--xincr", "1", "--pt-off", "0", "--yoff", "0", "--ymult",
                   "1", "--flags", "1FF"})
                  .code,
              kExitUsage);
    EXPECT_EQ(Ktx({"dump", "x", "--column"}).code, kExitUsage);
}

}  // namespace
}  // namespace ktx

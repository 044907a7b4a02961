// SPDX-License-Identifier: GPL-3.0-or-later
// `ktx validate`: one line per file, exit code 1 when any fails, 2 on usage errors.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/ktx_commands.h"
#include "test_files.h"

namespace ktx {
namespace {

struct KtxResult {
    int code;
    std::string out;
    std::string err;
};

KtxResult Ktx(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunKtx(args, KtxEnvironment{}, out, err);
    return {code, out.str(), err.str()};
}

class KtxValidate : public ::testing::Test {
  protected:
    KtxValidate() {
        test::WriteFile(Good(), std::string("[DEVICE]\nNAME=TDS_1012\nTYPE=12\n[INTERFACE]\n"
                                            "RS232=0\nGPIB=1\n"));
        test::WriteFile(Bad(), std::string("[DEVICE]\nNAME=THS_3014\nTYPE=20\n[INTERFACE]\n"
                                           "RS232=1\nGPIB=0\n[RS232]\nCONFIG=COM1\n[CONVLIB]\n"
                                           "NAME=x.dll\n[MEASDMM]\nCOUNT=2\nLOGCOUNT=2\n"
                                           "RANGECOUNT=2\nD1=V\nS1=01\nV1=V;\nD2=A\nS2=003\n"));
    }
    std::string Good() { return m_dir.Path("kt_good.ini"); }
    std::string Bad() { return m_dir.Path("kt_bad.ini"); }
    test::TempDir m_dir;
};

TEST_F(KtxValidate, AllValid) {
    const KtxResult r = Ktx({"validate", Good(), Good()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, Good() + ": ok\n" + Good() + ": ok\n");
}

TEST_F(KtxValidate, OneFaultyFileFailsTheRunButAllAreChecked) {
    const KtxResult r = Ktx({"validate", Bad(), Good(), m_dir.Path("kt_gone.ini")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, Bad() + ": ungültiger Eintrag für MEASDMM S2\n" + Good() + ": ok\n" +
                         m_dir.Path("kt_gone.ini") + ": Datei nicht gefunden\n");
}

TEST_F(KtxValidate, UsageErrors) {
    for (const auto& args :
         {std::vector<std::string>{"validate"}, std::vector<std::string>{"validate", "--raw", "x"},
          std::vector<std::string>{"validate", "x", "--column"}}) {
        const KtxResult r = Ktx(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("ktx validate DATEI"), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace ktx

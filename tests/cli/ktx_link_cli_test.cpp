// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ktx_link_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QLibrary>

#include <filesystem>
#include <sstream>

#include "cli/ktx_commands.h"
#include "link/fake_link.h"
#include "test_files.h"

namespace ktx {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

struct LinkOptionCase {
    const char* option = "";
    bool ok = false;
    const char* library = "";
    const char* section = "";
    const char* key = "";
    const char* value = "";
    friend void PrintTo(const LinkOptionCase& c, std::ostream* os) { *os << c.option; }
};

class LinkOptionTest : public ::testing::TestWithParam<LinkOptionCase> {};

INSTANTIATE_TEST_SUITE_P(
    Options, LinkOptionTest,
    ::testing::Values(
        LinkOptionCase{"tcp:192.0.2.7:4000", true, "ktx_tcp.so", "TCP", "PORT", "4000"},
        LinkOptionCase{"tcp:::1:5025", true, "ktx_tcp.so", "TCP", "HOST", "::1"},
        LinkOptionCase{"tcp:localhost", false}, LinkOptionCase{"tcp::5025", false},
        LinkOptionCase{"tcp:host:port", false},
        LinkOptionCase{"serial:/dev/ttyUSB0", true, "ktx_serial.so", "RS232", "CONFIG",
                       "COM1:9600,N,8,1"},
        LinkOptionCase{"serial:/dev/pts/3:COM2:19200,E,7,1", true, "ktx_serial.so", "SERIAL",
                       "DEVICE", "/dev/pts/3"},
        LinkOptionCase{"serial", false}, LinkOptionCase{"sim", true, "ktx_sim.so", "", "", ""},
        LinkOptionCase{"sim:TDS 2024", true, "ktx_sim.so", "SIM", "MODEL", "TDS 2024"},
        LinkOptionCase{"usbtmc:/dev/usbtmc1", true, "ktx_usbtmc.so", "USBTMC", "DEVICE",
                       "/dev/usbtmc1"},
        LinkOptionCase{"usbtmc", false},
        LinkOptionCase{"gpib:5", true, "ktx_gpib.so", "GPIB", "BOARD", "0"},
        LinkOptionCase{"gpib:1:7", true, "ktx_gpib.so", "GPIB", "PAD", "7"},
        LinkOptionCase{"gpib:x", false},
        LinkOptionCase{"vxi11:host", true, "ktx_vxi.so", "VXI11", "DEVICE", "inst0"},
        LinkOptionCase{"vxi11:192.0.2.7:inst1", true, "ktx_vxi.so", "VXI11", "DEVICE", "inst1"},
        LinkOptionCase{"vxi11:host:inst1:5000", true, "ktx_vxi.so", "VXI11", "PORT", "5000"},
        LinkOptionCase{"vxi11:host:5000", true, "ktx_vxi.so", "VXI11", "HOST", "host"},
        LinkOptionCase{"vxi11:", false}, LinkOptionCase{"vxi11:host:1:2", false},
        LinkOptionCase{"vxi11:host:a:b", false},
        LinkOptionCase{"prologix:/dev/ttyUSB0:7", true, "ktx_prologix.so", "PROLOGIX", "DEVICE",
                       "/dev/ttyUSB0"},
        LinkOptionCase{"prologix:192.0.2.7:9", true, "ktx_prologix.so", "PROLOGIX", "PORT", "1234"},
        LinkOptionCase{"prologix:host:4000:9", true, "ktx_prologix.so", "PROLOGIX", "ADDRESS", "9"},
        LinkOptionCase{"prologix:host", false}, LinkOptionCase{"prologix:host:x:9", false},
        LinkOptionCase{"prologix::9", false}));

TEST_P(LinkOptionTest, NamesLibraryAndSettings) {
    const LinkOptionCase& c = GetParam();
    LinkChoice choice;
    ASSERT_EQ(ParseLinkOption(c.option, choice), c.ok);
    if (!c.ok) {
        return;
    }
    EXPECT_EQ(choice.library, c.library);
    if (*c.section) {
        EXPECT_EQ(choice.sections[c.section][c.key], c.value);
    }
}

// The fake interface library, reached from a program folder of the test's own through a
// symbolic link, so the loader and the test share one instance and its script.
class KtxLinkCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string lib = std::string(KTX_FAKE_LINK_DIR) + "/ktx_fake.so";
        std::filesystem::create_symlink(lib, m_home.Path("ktx_fake.so"));
        m_fakeLib.setFileName(QString::fromStdString(lib));
        ASSERT_TRUE(m_fakeLib.load());
        m_script = reinterpret_cast<FakeLinkScript* (*)()>(m_fakeLib.resolve("ktx_fake_script"))();
        m_script->Reset();
    }

    void WriteIni(const std::string& text) { test::WriteFile(m_home.Path("kurvitex.ini"), text); }

    struct Result {
        int code;
        std::string out;
        std::string err;
    };
    Result Ktx(std::vector<std::string> args) {
        std::ostringstream out, err;
        const int code = RunKtx(args, KtxEnvironment{m_home.Path("")}, out, err);
        return {code, out.str(), err.str()};
    }

    test::TempDir m_home;
    QLibrary m_fakeLib;
    FakeLinkScript* m_script = nullptr;
};

TEST_F(KtxLinkCommand, IdnFromKurvitexIni) {
    WriteIni("[DEVICE]\nINIFILE=NONE\n[TRANSFER]\nSS_TYPE=1\nDLL_NAME=KTX_FAKE.SO\n");
    m_script->answers = {"TEKTRONIX,TDS 210,0,CF:91.1CT"};
    const auto r = Ktx({"idn"});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, "TEKTRONIX,TDS 210,0,CF:91.1CT\n");
    EXPECT_THAT(m_script->calls, Contains("open " + m_home.Path("kurvitex.ini") + " 0"));
    EXPECT_THAT(m_script->calls, Contains("write 7 *IDN?"));
}

TEST_F(KtxLinkCommand, HandheldInstrumentUsesItsOwnFileAndIdentification) {
    test::WriteFile(m_home.Path("kt_ths.ini"),
                    std::string("[DEVICE]\nTYPE=20\n[RS232]\nCONFIG=COM1:19200,N,8,1\n"));
    WriteIni("[DEVICE]\nINIFILE=" + m_home.Path("kt_ths.ini") +
             "\n[TRANSFER]\nSS_TYPE=1\nDLL_NAME=ktx_fake.so\n");
    m_script->answers = {"THS3014 V1.05"};
    const auto r = Ktx({"idn"});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_THAT(m_script->calls, Contains("open " + m_home.Path("kt_ths.ini") + " 0"));
    EXPECT_THAT(m_script->calls, Contains("write 7 !V?"));
}

TEST_F(KtxLinkCommand, FailuresSayWhy) {
    WriteIni("[TRANSFER]\nSS_TYPE=0\n");
    auto r = Ktx({"query", "*IDN?"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_EQ(r.err, "Bitte Schnittstellenauswahl überprüfen\n");

    WriteIni("[TRANSFER]\nSS_TYPE=1\nDLL_NAME=ktx_missing.so\n");
    r = Ktx({"send", "*RST"});
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_EQ(r.err, "IO- Bibliothek konnte nicht geladen werden\nkeine gültige Schnittstelle\n");

    WriteIni("[TRANSFER]\nSS_TYPE=1\nDLL_NAME=ktx_fake.so\n");
    r = Ktx({"query", "*IDN?"});  // the fake has no answer scripted: the read fails
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_EQ(r.err, "Gerät nicht angeschlossen\n");

    EXPECT_EQ(Ktx({"query"}).code, kExitUsage);
    EXPECT_EQ(Ktx({"idn", "--link", "bogus:1"}).code, kExitUsage);
    EXPECT_EQ(Ktx({"idn", "--timeout", "70000"}).code, kExitUsage);
}

TEST_F(KtxLinkCommand, ReceiveAndTimeout) {
    WriteIni("[TRANSFER]\nSS_TYPE=2\nDLL_NAME=ktx_fake.so\n");
    const auto r = Ktx({"receive", "CURV?", m_home.Path("c.bin"), "--timeout", "250"});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_THAT(m_script->calls, Contains("timeout 250"));
    // Into a temporary file next to the target, renamed onto it once complete.
    EXPECT_THAT(m_script->calls, Contains(AllOf(StartsWith("receive " + m_home.Path("c.bin") + "."),
                                                EndsWith(".part"))));
    EXPECT_TRUE(std::filesystem::exists(m_home.Path("c.bin")));
}

TEST(KtxHelp, PrintsTheUsageAndSucceedsWhereverItIsAsked) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"-h"},
                                                 {"query", "--help"},
                                                 {"receive", "CURV?", "--help"},
                                                 {"read", "CH1", "x.ktx", "-h", "--link", "sim"}}) {
        std::ostringstream out, err;
        EXPECT_EQ(RunKtx(args, KtxEnvironment{}, out, err), kExitOk) << args[0];
        EXPECT_THAT(out.str(), StartsWith("Aufruf:\n"));
        EXPECT_EQ(err.str(), "");
    }
}

#ifdef KTX_PROGRAM_DIR

struct CauseCase {
    const char* name;
    const char* sim;  // the [SIM] fault settings
    std::vector<std::string> args;
    const char* cause;  // what stderr names after "Gerät nicht angeschlossen"
    friend void PrintTo(const CauseCase& c, std::ostream* os) { *os << c.name; }
};

// The simulated instrument in-process, with its carrier faults set in kurvitex.ini.
class KtxLinkCause : public ::testing::TestWithParam<CauseCase> {};

// A failed command says why, and a failed receive leaves the file it was to replace untouched.
TEST_P(KtxLinkCause, SaysWhyAndKeepsTheOldFile) {
    const CauseCase& c = GetParam();
    test::TempDir home;
    std::filesystem::create_symlink(std::string(KTX_PROGRAM_DIR) + "/ktx_sim.so",
                                    home.Path("ktx_sim.so"));
    test::WriteFile(home.Path("kurvitex.ini"),
                    "[TRANSFER]\nSS_TYPE=4\nDLL_NAME=ktx_sim.so\n[SIM]\nRECORDLENGTH=10000\n" +
                        std::string(c.sim));
    const std::string target = home.Path("old.bin");
    test::WriteFile(target, std::string("the previous content"));
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) {
        if (arg == "@TARGET@") {
            arg = target;
        }
    }
    std::ostringstream out, err;
    EXPECT_EQ(RunKtx(args, KtxEnvironment{home.Path("")}, out, err), kExitFailure);
    EXPECT_EQ(err.str(), std::string("Gerät nicht angeschlossen (") + c.cause + ")\n");
    const test::Bytes kept = test::ReadFile(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the previous content");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(home.Path(""))) {
        ++files;
    }
    EXPECT_EQ(files, 3);  // kurvitex.ini, the library, the old file: no part left behind
}

INSTANTIATE_TEST_SUITE_P(
    Faults, KtxLinkCause,
    ::testing::Values(
        // 20 000 bytes announced, the line drops after 10 007 bytes of the response.
        CauseCase{
            "BlockCutShort",
            "DROPAFTER=10007\n",
            {"receive", "DATA:ENC RIB;WID 2;START 1;STOP 10000;:HEADER ON;:CURV?", "@TARGET@"},
            "Block kürzer als angekündigt: 9993 von 20000 Bytes"},
        CauseCase{"SetupCutShort",
                  "DROPAFTER=100\n",
                  {"receive", "SET?", "@TARGET@"},
                  "Verbindung vom Gerät geschlossen"},
        CauseCase{"Silent",
                  "SILENT=1\n",
                  {"receive", "CURV?", "@TARGET@", "--timeout", "300"},
                  "Zeitüberschreitung nach 300 ms"},
        CauseCase{"SilentQuery",
                  "SILENT=1\n",
                  {"query", "*IDN?", "--timeout", "300"},
                  "Zeitüberschreitung nach 300 ms"}),
    [](const auto& info) { return std::string(info.param.name); });

#endif  // KTX_PROGRAM_DIR

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated instrument end to end through the interface libraries' tables: in-process
// (ktx_sim.so), and when the ktx-sim server is built, over TCP and a pseudo-terminal, with
// every fault switch.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ktx_link.h"
#include "link_settings.h"
#include "link_test_support.h"

namespace ktx::linklib::test {
namespace {

// The instrument's response to "CURV?" with HEADER ON: ":CURVE #<d><len><len bytes>".
// Returns the announced length, -1 when the file is not such a response.
long long CurveBlockLength(const std::string& file) {
    const std::string prefix = ":CURVE #";
    if (file.compare(0, prefix.size(), prefix) != 0 || file.size() < prefix.size() + 1) {
        return -1;
    }
    const std::size_t digits = static_cast<std::size_t>(file[prefix.size()] - '0');
    if (digits < 1 || digits > 9 || file.size() < prefix.size() + 1 + digits) {
        return -1;
    }
    const std::string length = file.substr(prefix.size() + 1, digits);
    const long long announced = std::atoll(length.c_str());
    const long long have = static_cast<long long>(file.size() - prefix.size() - 1 - digits);
    return have == announced ? announced : -1;
}

// A link opened through one library's table, with the program's routines on top.
class Session {
  public:
    Session(const KtxLinkOps* ops, const std::string& ini) : m_ops(ops) {
        std::int32_t port = 0;
        m_handle = ops->LinkOpen(ini.c_str(), 0, &port);
        m_port = port;
    }
    ~Session() {
        if (m_handle != 0) {
            m_ops->LinkClose(m_handle);
        }
    }
    std::uint16_t Handle() const { return m_handle; }
    int Port() const { return m_port; }
    bool Send(const std::string& command) {
        return m_ops->LinkWrite(m_handle, command.c_str()) != 0;
    }
    bool SendRaw(const std::string& text) {
        return m_ops->LinkWriteRaw(m_handle, text.c_str()) != 0;
    }
    std::string Query(const std::string& command) {
        char buffer[KTX_LINK_READ_BUFFER];
        m_ops->LinkClear(m_handle);
        if (!Send(command) || m_ops->LinkRead(m_handle, buffer) == 0) {
            return {};
        }
        return buffer;
    }
    bool ReceiveToFile(const std::string& file, const std::string& command) {
        Send(command);
        m_ops->LinkClear(m_handle);
        return m_ops->LinkReceiveFile(m_handle, file.c_str()) != 0;
    }
    bool ReadData(const std::string& command, std::vector<char>& data) {
        Send(command);
        m_ops->LinkClear(m_handle);
        return m_ops->LinkReadData(m_handle, data.data(),
                                   static_cast<std::uint32_t>(data.size())) != 0;
    }
    std::uint16_t SetTimeout(std::uint16_t ms) { return m_ops->LinkSetTimeout(m_handle, ms); }
    static const KtxLinkOps* Ops(const Session& session) { return session.m_ops; }

  private:
    const KtxLinkOps* m_ops;
    std::uint16_t m_handle = 0;
    int m_port = -1;
};

// What every carrier of the simulator must get right.
void ExpectCurveTransfer(Session& session, const std::string& file, long long points) {
    ASSERT_TRUE(session.Send("DATA:ENC RIB"));
    ASSERT_TRUE(session.Send("DATA:WID 2"));
    ASSERT_TRUE(session.Send("DATA:START 1"));
    ASSERT_TRUE(session.Send("DATA:STOP " + std::to_string(points)));
    ASSERT_TRUE(session.Send("HEADER ON"));
    ASSERT_TRUE(session.ReceiveToFile(file, "CURV?"));
    EXPECT_EQ(CurveBlockLength(ReadWholeFile(file)), 2 * points);
    ASSERT_TRUE(session.Send("HEADER OFF"));
    EXPECT_NE(session.Query("*IDN?"), "");
}

// Calls expected to fail run with a short time-out, calls expected to succeed with a long one
// (it only costs time when they fail), so a busy machine does not make the test flaky.
constexpr std::uint16_t kFailFastMs = 200;
constexpr std::uint16_t kPatientMs = 3000;

void ExpectFaultsAreSurvived(Session& session, const std::string& file) {
    session.SetTimeout(kPatientMs);
    const std::string identity = session.Query("*IDN?");
    ASSERT_NE(identity, "");
    std::vector<char> data(200);

    ASSERT_TRUE(session.Send("KTXSIM:FAULT SILENT"));
    session.SetTimeout(kFailFastMs);
    EXPECT_EQ(session.Query("*IDN?"), "");
    EXPECT_FALSE(session.ReceiveToFile(file, "CURV?"));
    ASSERT_TRUE(session.Send("KTXSIM:FAULT NONE"));
    session.SetTimeout(kPatientMs);
    EXPECT_EQ(session.Query("*IDN?"), identity);

    ASSERT_TRUE(session.Send("DATA:ENC RIB;WID 1;START 1;STOP 400"));
    ASSERT_TRUE(session.Send("KTXSIM:FAULT TRUNCATE"));
    session.SetTimeout(kFailFastMs);
    EXPECT_FALSE(session.ReceiveToFile(file, "CURV?"));
    EXPECT_FALSE(session.ReadData("CURV?", data));  // the block never completes
    ASSERT_TRUE(session.Send("KTXSIM:FAULT NONE"));
    session.SetTimeout(kPatientMs);
    EXPECT_EQ(session.Query("*IDN?"), identity);
    EXPECT_TRUE(session.ReadData("CURV?", data));

    ASSERT_TRUE(session.Send("KTXSIM:FAULT GARBAGE"));
    session.SetTimeout(kFailFastMs);
    EXPECT_FALSE(session.ReadData("CURV?", data));
    session.Query("*IDN?");  // any answer or none, but it ends
    ASSERT_TRUE(session.Send("KTXSIM:FAULT NONE"));
    session.SetTimeout(kPatientMs);
    EXPECT_EQ(session.Query("*IDN?"), identity);

    // An answer later than the time-out is lost, and does not pose as the next one: the link
    // lets it pass before the next command goes out.
    ASSERT_TRUE(session.Send("DATA:ENC RIB;WID 2"));
    const std::string ymult = session.Query("WFMPRE:YMULT?");
    ASSERT_NE(ymult, "");
    ASSERT_TRUE(session.Send("KTXSIM:DELAY 700"));
    session.SetTimeout(500);
    EXPECT_EQ(session.Query("*IDN?"), "");
    session.SetTimeout(kPatientMs);
    EXPECT_EQ(session.Query("WFMPRE:YMULT?"), ymult);  // not the identification
    EXPECT_EQ(session.Query("*IDN?"), identity);
    EXPECT_EQ(session.Query("WFMPRE:YMULT?"), ymult);
    ASSERT_TRUE(session.Send("KTXSIM:DELAY 0"));
    EXPECT_EQ(session.Query("HEADER?"), session.Query("HEADER?"));

    // Once the line is dropped every call fails, none hangs. (Carriers count the bytes from
    // the switch or from the connection; either way the second answer is cut.)
    session.SetTimeout(kFailFastMs);
    ASSERT_TRUE(session.Send("KTXSIM:DROP 10"));
    session.Query("*IDN?");
    EXPECT_EQ(session.Query("*IDN?"), "");
    EXPECT_EQ(session.Query("*IDN?"), "");
    EXPECT_FALSE(session.ReadData("CURV?", data));
}

// A set-up as the set-up transfer sends it: groups up to and including ";:", or cut at
// `limit` characters, each sent without terminator; one empty write ends the message.
std::vector<std::string> SetupGroups(const std::string& setup, std::size_t limit) {
    std::vector<std::string> groups;
    std::string group;
    for (const char c : setup) {
        group += c;
        if ((group.size() >= 2 && group.compare(group.size() - 2, 2, ";:") == 0) ||
            group.size() >= limit) {
            groups.push_back(group);
            group.clear();
        }
    }
    if (!group.empty()) {
        groups.push_back(group);
    }
    return groups;
}

// "SET?" read back after sending a set-up in groups equals what was sent, and the instrument
// saw no malformed command: the groups arrived as one message.
void ExpectSetupInGroupsArrivesWhole(Session& session, const std::string& file) {
    session.SetTimeout(kPatientMs);
    ASSERT_TRUE(session.Send("HEADER ON"));
    ASSERT_TRUE(session.ReceiveToFile(file, "SET?"));
    const std::string setup = ReadWholeFile(file);
    ASSERT_GT(SetupGroups(setup, 481).size(), 10u);
    for (const std::size_t limit : {481, 37}) {  // 37: every command path cut somewhere
        ASSERT_TRUE(session.Send("*CLS;:DATA:STOP 17;:SELECT:CH2 ON;:ACQUIRE:STOPAFTER SEQUENCE"));
        ASSERT_TRUE(session.ReceiveToFile(file, "SET?"));
        ASSERT_NE(ReadWholeFile(file), setup);
        for (const std::string& group : SetupGroups(setup, limit)) {
            ASSERT_TRUE(session.SendRaw(group));
        }
        ASSERT_TRUE(session.Send(""));
        EXPECT_EQ(session.Query("*ESR?"), "0") << "limit " << limit;
        ASSERT_TRUE(session.ReceiveToFile(file, "SET?"));
        EXPECT_EQ(ReadWholeFile(file), setup) << "limit " << limit;
    }
    ASSERT_TRUE(session.Send("HEADER OFF"));
}

// A curve holding every byte value (line feed, carriage return, ESC and "+" among them) sent
// into a reference memory as one file comes back unchanged.
void ExpectBinaryCurveRoundTrips(Session& session, const std::string& file) {
    session.SetTimeout(kPatientMs);
    std::string curve;
    for (int i = 0; i < 256; ++i) {
        curve += static_cast<char>(i);
    }
    ASSERT_TRUE(session.Send("HEADER OFF;:DATA:ENC RIB;WID 1;DESTINATION REF2"));
    WriteWholeFile(file, "CURVE #3256" + curve);
    Session::Ops(session)->LinkSendFile(session.Handle(), file.c_str());
    EXPECT_EQ(session.Query("*ESR?"), "0");
    std::vector<char> back(256);
    ASSERT_TRUE(session.Send("DATA:SOURCE REF2;START 1;STOP 256"));
    ASSERT_TRUE(session.ReadData("CURV?", back));
    EXPECT_EQ(std::string(back.data(), back.size()), curve);
}

#ifdef KTX_HAVE_SIM_LINK

class LinkSimLibraryTest : public ::testing::Test {
  protected:
    LinkSimLibraryTest() : m_library("ktx_sim.so") {}
    std::string Ini(const std::string& text) {
        const std::string path = m_dir.File("kurvitex.ini");
        WriteWholeFile(path, text);
        return path;
    }
    ScratchDir m_dir;
    LoadedLinkLibrary m_library;
};

TEST_F(LinkSimLibraryTest, IdentifiesAndSendsCurves) {
    ASSERT_NE(m_library.Ops(), nullptr) << m_library.Error();
    Session session(m_library.Ops(), Ini("[SIM]\nTYPE=1\nSEED=7\nRECORDLENGTH=2500\n"));
    ASSERT_NE(session.Handle(), 0);
    EXPECT_EQ(session.Port(), 0);
    EXPECT_NE(session.Query("*IDN?"), "");
    ExpectCurveTransfer(session, m_dir.File("curve.tmp"), 2500);
}

TEST_F(LinkSimLibraryTest, WritesItsSectionIntoTheConfigurationFile) {
    ASSERT_NE(m_library.Ops(), nullptr) << m_library.Error();
    const std::string ini = Ini("[TRANSFER]\nSS_TYPE=8\n");
    Session session(m_library.Ops(), ini);
    ASSERT_NE(session.Handle(), 0);
    const std::string text = ReadWholeFile(ini);
    EXPECT_NE(text.find("[SIM]"), std::string::npos);
    EXPECT_NE(text.find("SS_TYPE"), std::string::npos);
}

TEST_F(LinkSimLibraryTest, SilentInstrumentFailsTheReadAtTheTimeOut) {
    ASSERT_NE(m_library.Ops(), nullptr) << m_library.Error();
    Session session(m_library.Ops(), Ini("[SIM]\nSILENT=1\n"));
    ASSERT_NE(session.Handle(), 0);
    EXPECT_EQ(session.SetTimeout(150), 1000);
    EXPECT_EQ(session.Query("*IDN?"), "");
    std::vector<char> data(16);
    EXPECT_FALSE(session.ReadData("CURV?", data));
}

TEST_F(LinkSimLibraryTest, FaultSwitchesThroughTheCommandLanguage) {
    ASSERT_NE(m_library.Ops(), nullptr) << m_library.Error();
    Session session(m_library.Ops(), Ini("[SIM]\nRECORDLENGTH=500\n"));
    ASSERT_NE(session.Handle(), 0);
    ExpectFaultsAreSurvived(session, m_dir.File("curve.tmp"));
}

TEST_F(LinkSimLibraryTest, SetupSentInGroupsArrivesAsOneMessage) {
    ASSERT_NE(m_library.Ops(), nullptr) << m_library.Error();
    Session session(m_library.Ops(), Ini("[SIM]\nRECORDLENGTH=500\n"));
    ASSERT_NE(session.Handle(), 0);
    ExpectSetupInGroupsArrivesWhole(session, m_dir.File("setup.set"));
}

TEST_F(LinkSimLibraryTest, BadSettingsOpenNothing) {
    ASSERT_NE(m_library.Ops(), nullptr) << m_library.Error();
    Session session(m_library.Ops(), Ini("[SIM]\nRECORDLENGTH=0\n"));
    EXPECT_EQ(session.Handle(), 0);
}

// --- the simulated instrument is the selected one -------------------------------------------

// A program folder of the test's own: the shipped kurvitex.ini and definition files.
class SimProgramFolder {
  public:
    SimProgramFolder() {
        std::filesystem::create_directory(m_dir.File("Driver"));
        for (const auto& entry : std::filesystem::directory_iterator(KTX_DRIVER_DIR)) {
            std::filesystem::copy_file(entry.path(),
                                       m_dir.File("Driver/" + entry.path().filename().string()));
        }
        std::filesystem::copy_file(KTX_SHIPPED_INI, Ini());
    }
    std::string Ini() const { return m_dir.File("kurvitex.ini"); }
    std::string Driver(const std::string& name) const { return m_dir.File("Driver/" + name); }
    // Replaces kurvitex.ini as the program does (a new file renamed over the old one).
    void WriteIni(const std::string& text) const {
        WriteWholeFile(Ini() + ".new", text);
        std::filesystem::rename(Ini() + ".new", Ini());
    }
    void Select(const std::string& inifile, const std::string& more = "") const {
        WriteIni("[DEVICE]\nINIFILE=" + inifile + "\n" + more);
    }

  private:
    ScratchDir m_dir;
};

// The presence check of each family and a text its answer must hold.
struct Presence {
    const char* query;
    const char* holds;
};
Presence PresenceOf(int type, const char* model) {
    if (type == 20) {
        return {"!V?", model};
    }
    if (type == 30) {
        return {"COMU?", "ON.."};
    }
    return {"*IDN?", model};
}

struct SelectionCase {
    const char* name;
    const char* kurvitexIni;  // nullptr: the shipped one; "%D" stands for the Driver folder
    const char* handed;       // nullptr: kurvitex.ini, else this definition file is handed over
    int type;
    const char* model;
};

class LinkSimSelectionTest : public ::testing::TestWithParam<SelectionCase> {
  protected:
    LinkSimSelectionTest() : m_library("ktx_sim.so") {}
    SimProgramFolder m_folder;
    LoadedLinkLibrary m_library;
};

TEST_P(LinkSimSelectionTest, PlaysTheSelectedInstrumentUnlessTheUserChoseAnother) {
    const SelectionCase& c = GetParam();
    ASSERT_NE(m_library.Ops(), nullptr) << m_library.Error();
    if (c.kurvitexIni != nullptr) {
        std::string text = c.kurvitexIni;
        for (std::size_t at; (at = text.find("%D")) != std::string::npos;) {
            text.replace(at, 2, m_folder.Driver(""));
        }
        m_folder.WriteIni(text);
    }
    const std::string before = c.handed ? ReadWholeFile(m_folder.Driver(c.handed)) : "";
    Session session(m_library.Ops(), c.handed ? m_folder.Driver(c.handed) : m_folder.Ini());
    ASSERT_NE(session.Handle(), 0);
    session.SetTimeout(kPatientMs);
    const Presence presence = PresenceOf(c.type, c.model);
    const std::string answer = session.Query(presence.query);
    EXPECT_NE(answer.find(presence.holds), std::string::npos) << answer;
    if (c.handed) {
        EXPECT_EQ(ReadWholeFile(m_folder.Driver(c.handed)), before)
            << "a definition file is never written";
    } else if (c.kurvitexIni != nullptr &&
               std::string(c.kurvitexIni).find("[SIM]") == std::string::npos) {
        // The keys to edit are written; TYPE and MODEL are not, or they would count as chosen.
        const LinkSettings written(m_folder.Ini(), "SIM");
        EXPECT_TRUE(written.Has("SEED"));
        EXPECT_TRUE(written.Has("DRIP"));
        EXPECT_FALSE(written.Has("TYPE"));
        EXPECT_FALSE(written.Has("MODEL"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Selections, LinkSimSelectionTest,
    testing::Values(
        SelectionCase{"ShippedSettings", nullptr, nullptr, 1, "TDS 210"},
        SelectionCase{"RelativeName", "[DEVICE]\nINIFILE=Driver/kt_tds3012.ini\n", nullptr, 10,
                      "TDS 3012"},
        SelectionCase{"AbsoluteName", "[DEVICE]\nINIFILE=%Dkt_dpo2024.ini\n", nullptr, 14,
                      "DPO 2024"},
        SelectionCase{"HandheldSelected", "[DEVICE]\nINIFILE=Driver/kt_ths3014.ini\n", nullptr, 20,
                      "THS3014"},
        SelectionCase{"MeterSelected", "[DEVICE]\nINIFILE=Driver/kt_dmm4020.ini\n", nullptr, 30,
                      ""},
        // What an older build wrote into every kurvitex.ini it opened.
        SelectionCase{"OldDefaultsAreNoChoice",
                      "[DEVICE]\nINIFILE=Driver/kt_tds1012.ini\n[SIM]\nMODEL=\nTYPE=1\nSEED=1\n"
                      "RECORDLENGTH=2500\nSILENT=0\nGARBAGE=0\nTRUNCATE=0\nDROPAFTER=-1\n"
                      "DELAY=0\n",
                      nullptr, 12, "TDS 1012"},
        SelectionCase{"ChosenTypeWins", "[DEVICE]\nINIFILE=Driver/kt_tds1012.ini\n[SIM]\nTYPE=14\n",
                      nullptr, 14, "DPO 2024"},
        SelectionCase{"ChosenModelWins",
                      "[DEVICE]\nINIFILE=Driver/kt_tds1012.ini\n[SIM]\nMODEL=TDS 2002B\n", nullptr,
                      12, "TDS 2002B"},
        SelectionCase{"VanishedFileIsFamilyOne", "[DEVICE]\nINIFILE=Driver/kt_gone.ini\n", nullptr,
                      1, "TDS 210"},
        SelectionCase{"HandheldHandedItsOwnFile", "[DEVICE]\nINIFILE=Driver/kt_ths3014.ini\n",
                      "kt_ths3014.ini", 20, "THS3014"},
        // A definition file that kurvitex.ini does not select is played as it is.
        SelectionCase{"HandedFileOverStrangeSettings", nullptr, "kt_ths3014.ini", 20, "THS3014"}),
    [](const testing::TestParamInfo<SelectionCase>& info) { return info.param.name; });

// The program does not reopen the link after "Geräteauswahl": the simulator notices the new
// selection by itself, also when it was opened with a handheld's own definition file.
class LinkSimFollowTest : public ::testing::TestWithParam<const char*> {};

TEST_P(LinkSimFollowTest, BecomesEachNewlySelectedInstrument) {
    const LoadedLinkLibrary library("ktx_sim.so");
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    const SimProgramFolder folder;
    const std::string start = GetParam();
    folder.Select("Driver/" + start);
    const bool handheld = start == "kt_ths3014.ini";
    Session session(library.Ops(), handheld ? folder.Driver(start) : folder.Ini());
    ASSERT_NE(session.Handle(), 0);
    session.SetTimeout(kPatientMs);
    struct Step {
        const char* file;
        int type;
        const char* model;
    };
    for (const Step& step :
         {Step{"kt_tds3012.ini", 10, "TDS 3012"}, Step{"kt_ths3014.ini", 20, "THS3014"},
          Step{"kt_dmm4020.ini", 30, ""}, Step{"kt_ths720p.ini", 9, "THS720P"},
          Step{"kt_tds210.ini", 1, "TDS 210"}}) {
        SCOPED_TRACE(step.file);
        folder.Select(std::string("Driver/") + step.file);
        const Presence presence = PresenceOf(step.type, step.model);
        const std::string answer = session.Query(presence.query);
        EXPECT_NE(answer.find(presence.holds), std::string::npos) << answer;
    }
    // A choice written later wins from the next message on.
    folder.Select("Driver/kt_tds210.ini", "[SIM]\nTYPE=14\n");
    EXPECT_NE(session.Query("*IDN?").find("DPO 2024"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Starts, LinkSimFollowTest,
                         testing::Values("kt_tds210.ini", "kt_ths3014.ini"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             const std::string file = info.param;
                             return file.substr(3, file.size() - 7);
                         });

// Each [SIM] fault key reaches the switches the command language reports.
struct FaultKeyCase {
    const char* key;
    const char* query;
};

class LinkSimFaultKeyTest : public ::testing::TestWithParam<FaultKeyCase> {};

TEST_P(LinkSimFaultKeyTest, KeyReachesTheSwitch) {
    const LoadedLinkLibrary library("ktx_sim.so");
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    const ScratchDir dir;
    const std::string ini = dir.File("kurvitex.ini");
    WriteWholeFile(ini, std::string("[SIM]\n") + GetParam().key + "=7\n");
    Session session(library.Ops(), ini);
    ASSERT_NE(session.Handle(), 0);
    session.SetTimeout(kPatientMs);
    EXPECT_EQ(session.Query(GetParam().query), "7");
}

INSTANTIATE_TEST_SUITE_P(Keys, LinkSimFaultKeyTest,
                         testing::Values(FaultKeyCase{"DELAY", "KTXSIM:DELAY?"},
                                         FaultKeyCase{"DRIP", "KTXSIM:DRIP?"},
                                         FaultKeyCase{"DROPAFTER", "KTXSIM:DROP?"}),
                         [](const testing::TestParamInfo<FaultKeyCase>& info) {
                             return std::string(info.param.key);
                         });

#endif  // KTX_HAVE_SIM_LINK

#ifdef KTX_SIM_EXECUTABLE

// ktx-sim as a child process; it ends when its standard input closes.
class SimServer {
  public:
    explicit SimServer(const std::vector<std::string>& arguments) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            std::vector<char*> argv;
            std::string program = KTX_SIM_EXECUTABLE;
            argv.push_back(program.data());
            std::vector<std::string> copy = arguments;
            for (std::string& argument : copy) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        m_stdin = in[1];
        m_stdout = out[0];
        m_firstLine = ReadLine(5000);
    }
    ~SimServer() {
        if (m_stdin >= 0) {
            ::close(m_stdin);  // --exit-on-stdin-eof
        }
        if (m_pid > 0) {
            int status = 0;
            for (int i = 0; i < 100 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i) {
                ::poll(nullptr, 0, 20);
            }
            if (::waitpid(m_pid, &status, WNOHANG) == 0) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
            }
        }
        if (m_stdout >= 0) {
            ::close(m_stdout);
        }
    }
    const std::string& FirstLine() const { return m_firstLine; }

  private:
    std::string ReadLine(int timeoutMs) {
        std::string line;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_stdout, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                continue;
            }
            char c = 0;
            if (::read(m_stdout, &c, 1) != 1) {
                break;
            }
            if (c == '\n') {
                return line;
            }
            line += c;
        }
        return line;
    }

    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    std::string m_firstLine;
};

class LinkSimServerTest : public ::testing::TestWithParam<std::string> {
  protected:
    // Starts ktx-sim for the transport under test and writes the matching settings.
    std::unique_ptr<SimServer> Start(const std::string& ini, int* expectedPort) {
        std::unique_ptr<SimServer> server;
        if (GetParam() == "tcp") {
            server = std::make_unique<SimServer>(std::vector<std::string>{
                "--tcp", "127.0.0.1:0", "--record-length", "1000000", "--exit-on-stdin-eof"});
            const std::string& line = server->FirstLine();
            const std::size_t colon = line.rfind(':');
            if (line.rfind("LISTEN ", 0) != 0 || colon == std::string::npos) {
                return nullptr;
            }
            *expectedPort = std::atoi(line.c_str() + colon + 1);
            WriteWholeFile(ini, "[TCP]\nHOST=127.0.0.1\nPORT=" + line.substr(colon + 1) + "\n");
        } else if (GetParam() == "vxi11") {
            // The core port is named: the port mapper's port 111 may belong to someone else.
            server = std::make_unique<SimServer>(
                std::vector<std::string>{"--vxi11", "127.0.0.1:0", "--no-portmapper",
                                         "--record-length", "1000000", "--exit-on-stdin-eof"});
            const std::string& line = server->FirstLine();
            const std::size_t colon = line.find(':');
            if (line.rfind("VXI11 ", 0) != 0 || colon == std::string::npos) {
                return nullptr;
            }
            *expectedPort = std::atoi(line.c_str() + colon + 1);
            WriteWholeFile(ini,
                           "[VXI11]\nHOST=127.0.0.1\nPORT=" + std::to_string(*expectedPort) + "\n");
        } else if (GetParam() == "prologix-tcp" || GetParam() == "prologix-pty") {
            // The instrument listens at GPIB address 7 behind the emulated adapter.
            const bool tcp = GetParam() == "prologix-tcp";
            server = std::make_unique<SimServer>(std::vector<std::string>{
                "--" + GetParam(), tcp ? "127.0.0.1:0" : m_dir.File("ttyGPIB"), "--gpib-address",
                "7", "--record-length", "1000000", "--exit-on-stdin-eof"});
            const std::string& line = server->FirstLine();
            const std::size_t space = line.find(' ');
            if (line.rfind("PROLOGIX", 0) != 0 || space == std::string::npos) {
                return nullptr;
            }
            *expectedPort = 7;
            WriteWholeFile(ini,
                           tcp ? "[PROLOGIX]\nHOST=127.0.0.1\nADDRESS=7\nPORT=" +
                                     line.substr(line.rfind(':') + 1) + "\n"
                               : "[PROLOGIX]\nADDRESS=7\nDEVICE=" + line.substr(space + 1) + "\n");
        } else {
            const std::string link = m_dir.File("ttyKTX");
            server = std::make_unique<SimServer>(std::vector<std::string>{
                "--pty", link, "--record-length", "1000000", "--exit-on-stdin-eof"});
            if (server->FirstLine().rfind("PTY ", 0) != 0) {
                return nullptr;
            }
            *expectedPort = 2;
            WriteWholeFile(ini, "[RS232]\nCONFIG=COM2:115200,N,8,1\n[SERIAL]\nDEVICE=" +
                                    server->FirstLine().substr(4) + "\n");
        }
        return server;
    }
    static std::string Library() {
        if (GetParam() == "vxi11") {
            return "ktx_vxi.so";
        }
        return GetParam().rfind("prologix", 0) == 0 ? "ktx_prologix.so"
                                                    : "ktx_" + GetParam() + ".so";
    }
    ScratchDir m_dir;
};

TEST_P(LinkSimServerTest, TextAnswersAndAMultiMegabyteBlock) {
    const LoadedLinkLibrary library(Library());
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    const std::string ini = m_dir.File("kurvitex.ini");
    int expectedPort = 0;
    const auto server = Start(ini, &expectedPort);
    ASSERT_NE(server, nullptr);
    Session session(library.Ops(), ini);
    ASSERT_NE(session.Handle(), 0);
    EXPECT_EQ(session.Port(), expectedPort);
    EXPECT_NE(session.Query("*IDN?"), "");
    // 2 bytes x 1 000 000 points; over the pseudo-terminal a smaller record keeps it quick.
    ExpectCurveTransfer(session, m_dir.File("curve.tmp"),
                        GetParam() == "serial" ? 200000 : 1000000);
}

TEST_P(LinkSimServerTest, FaultSwitches) {
    const LoadedLinkLibrary library(Library());
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    const std::string ini = m_dir.File("kurvitex.ini");
    int expectedPort = 0;
    const auto server = Start(ini, &expectedPort);
    ASSERT_NE(server, nullptr);
    Session session(library.Ops(), ini);
    ASSERT_NE(session.Handle(), 0);
    ExpectFaultsAreSurvived(session, m_dir.File("curve.tmp"));
}

TEST_P(LinkSimServerTest, SetupSentInGroupsArrivesAsOneMessage) {
    const LoadedLinkLibrary library(Library());
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    const std::string ini = m_dir.File("kurvitex.ini");
    int expectedPort = 0;
    const auto server = Start(ini, &expectedPort);
    ASSERT_NE(server, nullptr);
    Session session(library.Ops(), ini);
    ASSERT_NE(session.Handle(), 0);
    ExpectSetupInGroupsArrivesWhole(session, m_dir.File("setup.set"));
}

TEST_P(LinkSimServerTest, BinaryDataPassesUnchanged) {
    const LoadedLinkLibrary library(Library());
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    const std::string ini = m_dir.File("kurvitex.ini");
    int expectedPort = 0;
    const auto server = Start(ini, &expectedPort);
    ASSERT_NE(server, nullptr);
    Session session(library.Ops(), ini);
    ASSERT_NE(session.Handle(), 0);
    ExpectBinaryCurveRoundTrips(session, m_dir.File("ref.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Transports, LinkSimServerTest,
                         ::testing::Values("tcp", "serial", "vxi11", "prologix-tcp",
                                           "prologix-pty"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// ktx-sim --vxi11 as an instrument on the LAN: found through its port mapper when it could
// take port 111, refusing device names it does not have.
class LinkVxi11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        m_server = std::make_unique<SimServer>(
            std::vector<std::string>{"--vxi11", "127.0.0.1:0", "--exit-on-stdin-eof"});
        const std::string& line = m_server->FirstLine();
        ASSERT_EQ(line.rfind("VXI11 ", 0), 0u) << line;
        m_corePort = std::atoi(line.c_str() + line.find(':') + 1);
        m_portMapper = line.ends_with("PORTMAPPER 111");
    }
    std::string Ini(const std::string& keys) {
        const std::string ini = m_dir.File("kurvitex.ini");
        WriteWholeFile(ini, "[VXI11]\nHOST=127.0.0.1\n" + keys);
        return ini;
    }
    ScratchDir m_dir;
    std::unique_ptr<SimServer> m_server;
    int m_corePort = 0;
    bool m_portMapper = false;
};

TEST_F(LinkVxi11Test, FindsTheCoreChannelThroughThePortMapper) {
    if (!m_portMapper) {
        GTEST_SKIP() << "port 111 is taken here (rpcbind or another simulator)";
    }
    const LoadedLinkLibrary library("ktx_vxi.so");
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    Session session(library.Ops(), Ini("DEVICE=INST0\n"));
    ASSERT_NE(session.Handle(), 0);
    EXPECT_EQ(session.Port(), m_corePort);
    EXPECT_NE(session.Query("*IDN?"), "");
}

TEST_F(LinkVxi11Test, UnknownDeviceNameOpensNothing) {
    const LoadedLinkLibrary library("ktx_vxi.so");
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    Session session(library.Ops(),
                    Ini("DEVICE=gpib0,7\nPORT=" + std::to_string(m_corePort) + "\n"));
    EXPECT_EQ(session.Handle(), 0);
    EXPECT_EQ(library.Ops()->LinkLastError(0, nullptr, nullptr), KTX_LINK_E_NOT_FOUND);
}

// An instrument on a raw socket where an adapter was expected: the open fails after the
// adapter's answer time instead of taking the instrument's silence for a link.
TEST(LinkPrologixTest, NoAdapterBehindTheAddressOpensNothing) {
    SimServer server({"--tcp", "127.0.0.1:0", "--exit-on-stdin-eof"});
    const std::string& line = server.FirstLine();
    ASSERT_EQ(line.rfind("LISTEN ", 0), 0u) << line;
    const LoadedLinkLibrary library("ktx_prologix.so");
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    ScratchDir dir;
    const std::string ini = dir.File("kurvitex.ini");
    WriteWholeFile(ini,
                   "[PROLOGIX]\nHOST=127.0.0.1\nPORT=" + line.substr(line.rfind(':') + 1) + "\n");
    Session session(library.Ops(), ini);
    EXPECT_EQ(session.Handle(), 0);
    EXPECT_EQ(library.Ops()->LinkLastError(0, nullptr, nullptr), KTX_LINK_E_TIMEOUT);
}

// An instrument slower than the adapter's own read time-out (3 s): the adapter gives its read
// up, the library asks again, and the answer still comes within the link's longer time-out.
TEST(LinkPrologixTest, AnswerSlowerThanTheAdaptersReadTimeOutArrives) {
    SimServer server({"--prologix-tcp", "127.0.0.1:0", "--exit-on-stdin-eof"});
    const std::string& line = server.FirstLine();
    ASSERT_EQ(line.rfind("PROLOGIX ", 0), 0u) << line;
    const LoadedLinkLibrary library("ktx_prologix.so");
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    ScratchDir dir;
    const std::string ini = dir.File("kurvitex.ini");
    WriteWholeFile(ini,
                   "[PROLOGIX]\nHOST=127.0.0.1\nPORT=" + line.substr(line.rfind(':') + 1) + "\n");
    Session session(library.Ops(), ini);
    ASSERT_NE(session.Handle(), 0);
    session.SetTimeout(kPatientMs);
    const std::string identity = session.Query("*IDN?");
    ASSERT_NE(identity, "");
    ASSERT_TRUE(session.Send("KTXSIM:DELAY 3600"));
    session.SetTimeout(8000);
    EXPECT_EQ(session.Query("*IDN?"), identity);
}

TEST_F(LinkVxi11Test, LinksOfOneInstrumentKeepTheirAnswers) {
    const LoadedLinkLibrary library("ktx_vxi.so");
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    const std::string ini = Ini("PORT=" + std::to_string(m_corePort) + "\n");
    Session first(library.Ops(), ini);
    Session second(library.Ops(), ini);
    ASSERT_NE(first.Handle(), 0);
    ASSERT_NE(second.Handle(), 0);
    first.SetTimeout(kPatientMs);
    second.SetTimeout(kPatientMs);
    const std::string identity = first.Query("*IDN?");
    const std::string width = second.Query("DATA:WID?");
    ASSERT_NE(identity, "");
    ASSERT_NE(width, "");
    // Both ask before either reads: each gets its own answer.
    ASSERT_TRUE(first.Send("*IDN?"));
    ASSERT_TRUE(second.Send("DATA:WID?"));
    char buffer[KTX_LINK_READ_BUFFER];
    ASSERT_EQ(library.Ops()->LinkRead(second.Handle(), buffer), 1);
    EXPECT_EQ(buffer, width);
    ASSERT_EQ(library.Ops()->LinkRead(first.Handle(), buffer), 1);
    EXPECT_EQ(buffer, identity);
}

#endif  // KTX_SIM_EXECUTABLE

}  // namespace
}  // namespace ktx::linklib::test

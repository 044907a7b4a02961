// SPDX-License-Identifier: GPL-3.0-or-later
// End to end: the real ktx-sim executable as a child process, reached over a plain TCP socket
// and over its pseudo-terminal.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "fault_switches.h"
#include "sim_server.h"
#include "sim_test_support.h"
#include "waveform_generator.h"

namespace ktx::sim {
namespace {

// Generous: only there so that a broken server fails the test instead of hanging it.
constexpr int kPatienceMs = 20000;

// Reads until `want` bytes or until the peer closes; empty on timeout.
std::string ReadBytes(int fd, std::size_t want) {
    std::string out;
    char buffer[65536];
    while (out.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kPatienceMs) <= 0) {
            break;
        }
        const ssize_t n = read(fd, buffer, std::min(sizeof buffer, want - out.size()));
        if (n <= 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

std::string ReadLine(int fd) {
    std::string out;
    while (out.empty() || out.back() != '\n') {
        const std::string byte = ReadBytes(fd, 1);
        if (byte.empty()) {
            break;
        }
        out += byte;
    }
    return out;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

int PortOf(const std::string& announcement) {
    const std::string prefix = "LISTEN 127.0.0.1:";
    if (announcement.rfind(prefix, 0) != 0) {
        return -1;
    }
    return std::stoi(announcement.substr(prefix.size()));
}

// ktx-sim as a child; it ends when its standard input closes (--exit-on-stdin-eof).
class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> arguments) {
        int in[2];
        int out[2];
        if (pipe(in) != 0 || pipe(out) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            close(in[0]);
            close(in[1]);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv;
            std::string program = KTX_SIM_EXE;
            argv.push_back(program.data());
            arguments.push_back("--exit-on-stdin-eof");
            for (std::string& argument : arguments) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_stdin = in[1];
        m_stdout = out[0];
        m_announcement = ReadLine(m_stdout);
    }

    ~SimProcess() { Stop(); }

    // Closes the child's standard input and waits for it; true when it exited by itself.
    bool Stop() {
        if (m_pid <= 0) {
            return false;
        }
        close(m_stdin);
        int status = 0;
        bool exited = false;
        for (int i = 0; i < kPatienceMs / 10; ++i) {
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
                m_pid = -1;
                break;
            }
            usleep(10000);
        }
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        close(m_stdout);
        return exited;
    }

    const std::string& Announcement() const { return m_announcement; }
    int Port() const { return PortOf(m_announcement); }

    // The largest resident memory the server has had, in kB (VmHWM); -1 when unknown.
    long PeakMemoryKb() const {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmHWM:", 0) == 0) {
                return std::atol(line.c_str() + 6);
            }
        }
        return -1;
    }

  private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    std::string m_announcement;
};

int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Asks for a 1 000 000-point two-byte curve and checks the block against CH1's levels.
void ExpectMillionPointCurve(int fd) {
    ASSERT_TRUE(WriteAll(fd, "DATA:SOURCE CH1;ENC RIB;WID 2;START 1;STOP 1000000\nCURV?\n"));
    const std::string answer = ReadBytes(fd, 9 + 2'000'000 + 1);
    ASSERT_EQ(answer.size(), 9u + 2'000'000u + 1u);
    EXPECT_EQ(answer.substr(0, 9), "#72000000");
    EXPECT_EQ(answer.back(), '\n');
    const auto values = test::DecodeBlock(test::Chomp(answer), {true, true, 2});
    ASSERT_TRUE(values.has_value());
    const std::vector<std::int16_t> levels = GenerateInput(0, 1'000'000, 5, 0);
    EXPECT_EQ(*values, test::ExpectedWire(levels, {true, true, 2}));
}

TEST(SimServerTest, TcpServesIdentificationAndAMillionPointCurve) {
    SimProcess sim(
        {"--tcp", "127.0.0.1:0", "--type", "14", "--seed", "5", "--record-length", "1000000"});
    const int port = PortOf(sim.Announcement());
    ASSERT_GT(port, 0) << sim.Announcement();
    const int fd = Connect(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, "*IDN?\n"));
    EXPECT_EQ(ReadLine(fd), "TEKTRONIX,DPO 2024,C010123,CF:91.1CT FV:v1.52\n");
    ExpectMillionPointCurve(fd);

    // A half command dies with its connection; the settings survive it.
    ASSERT_TRUE(WriteAll(fd, "HEADER ON\nDATA:SOU"));
    close(fd);
    const int second = Connect(port);
    ASSERT_GE(second, 0);
    ASSERT_TRUE(WriteAll(second, "RCE CH2\nDATA:SOURCE?;:HOR:RECO?\n"));
    EXPECT_EQ(ReadLine(second), ":DATA:SOURCE CH1;:HORIZONTAL:RECORDLENGTH 1000000\n");
    close(second);
    EXPECT_TRUE(sim.Stop());
}

TEST(SimServerTest, TcpDropsTheConnectionAfterTheSwitchedByteCount) {
    SimProcess sim({"--tcp", "127.0.0.1:0", "--drop-after", "20"});
    const int fd = Connect(PortOf(sim.Announcement()));
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, "*IDN?\n"));
    // 20 bytes of the identification, then the end of the connection.
    EXPECT_EQ(ReadBytes(fd, 1000), "TEKTRONIX,TDS 210,0,");
    close(fd);
    // The next connection is cut the same way; switching through the language lifts it.
    const int again = Connect(PortOf(sim.Announcement()));
    ASSERT_GE(again, 0);
    ASSERT_TRUE(WriteAll(again, "KTXSIM:DROP -1;:KTXSIM:FAULT GARBAGE\n*IDN?\n"));
    const std::string junk = ReadLine(again);
    EXPECT_FALSE(junk.empty());
    EXPECT_EQ(junk.find("TEKTRONIX"), std::string::npos);
    close(again);
}

TEST(SimServerTest, DropSwitchCountsFromWhenItIsSet) {
    SimProcess sim({"--tcp", "127.0.0.1:0"});
    const int fd = Connect(PortOf(sim.Announcement()));
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, "*IDN?\n"));
    ASSERT_EQ(ReadLine(fd).size(), 56u);
    // More bytes than the new limit have gone already; the limit still allows five more.
    ASSERT_TRUE(WriteAll(fd, "KTXSIM:DROP 5\n*IDN?\n"));
    EXPECT_EQ(ReadBytes(fd, 1000), "TEKTR");
    close(fd);
}

TEST(SimServerTest, SilentAndDelayedInstrumentFromTheCommandLine) {
    SimProcess sim({"--tcp", "127.0.0.1:0", "--silent", "--delay", "30", "--type", "20"});
    const int fd = Connect(PortOf(sim.Announcement()));
    ASSERT_GE(fd, 0);
    // The first question gets no answer at all; after the switch the next one is answered
    // (held back a little, but whole).
    ASSERT_TRUE(WriteAll(fd, "!V?\nKTXSIM:FAULT NONE\n!V?\n"));
    EXPECT_EQ(ReadLine(fd), "THS3014 V1.05\n");
    close(fd);
}

TEST(SimServerTest, HardcopyButtonSendsType19sPictureUnasked) {
    SimProcess sim({"--tcp", "127.0.0.1:0", "--type", "19", "--hardcopy-button", "100"});
    const int fd = Connect(PortOf(sim.Announcement()));
    ASSERT_GE(fd, 0);
    // Nothing is asked: within a press or two the 256-colour PCX arrives, ending in its palette.
    const std::string picture = ReadBytes(fd, 128);
    ASSERT_EQ(picture.size(), 128u);
    EXPECT_EQ(picture.substr(0, 4), std::string("\x0a\x05\x01\x08", 4));
    close(fd);
}

TEST(SimServerTest, RefusesAnAddressThatIsNotNumeric) {
    SimProcess sim({"--tcp", "example.invalid:0"});
    EXPECT_EQ(sim.Announcement(), "");
}

TEST(SimServerTest, PseudoTerminalCarriesBinaryBlocksUnchanged) {
    const std::string link = testing::TempDir() + "ktx-sim-pty-" + std::to_string(getpid());
    {
        SimProcess sim({"--pty", link, "--seed", "5", "--record-length", "1000000"});
        ASSERT_EQ(sim.Announcement(), "PTY " + link + "\n");
        const int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios settings{};
        tcgetattr(fd, &settings);
        cfmakeraw(&settings);
        tcsetattr(fd, TCSANOW, &settings);
        ASSERT_TRUE(WriteAll(fd, "*IDN?\n"));
        EXPECT_EQ(ReadLine(fd), "TEKTRONIX,TDS 210,0,CF:91.1CT FV:v1.16 TDS2CM:CMV:v1.04\n");
        ExpectMillionPointCurve(fd);
        close(fd);
        EXPECT_TRUE(sim.Stop());
    }
    struct stat info {};
    EXPECT_NE(lstat(link.c_str(), &info), 0) << "the link must go with the server";
}

// --- several clients on one instrument ---------------------------------------------------

// A client that sends single bytes as single segments (no Nagle delay).
int ConnectUnbuffered(int port) {
    const int fd = Connect(port);
    const int one = 1;
    if (fd >= 0) {
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

// Everything that arrives until the peer closes or `want` bytes are in, and in how many reads.
struct Arrivals {
    std::string bytes;
    int reads = 0;
};
Arrivals ReadArrivals(int fd, std::size_t want) {
    Arrivals arrivals;
    char buffer[65536];
    while (arrivals.bytes.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kPatienceMs) <= 0) {
            break;
        }
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        arrivals.bytes.append(buffer, static_cast<std::size_t>(n));
        ++arrivals.reads;
    }
    return arrivals;
}

constexpr const char* kIdentity = "TEKTRONIX,TDS 210,0,CF:91.1CT FV:v1.16 TDS2CM:CMV:v1.04\n";

TEST(SimServerClientsTest, AClientHoldingItsConnectionDoesNotStopAnotherReadingACurve) {
    SimProcess sim({"--tcp", "127.0.0.1:0", "--seed", "5", "--record-length", "1000000"});
    const int holder = Connect(sim.Port());
    ASSERT_GE(holder, 0);
    ASSERT_TRUE(WriteAll(holder, "*IDN?\n"));
    EXPECT_EQ(ReadLine(holder), kIdentity);
    // Half a command, then the holder goes quiet with its connection open.
    ASSERT_TRUE(WriteAll(holder, "DATA:SOU"));

    const int reader = Connect(sim.Port());
    ASSERT_GE(reader, 0);
    ExpectMillionPointCurve(reader);
    // The reader's end clears its own connection only: the holder's half command survives.
    close(reader);
    ASSERT_TRUE(WriteAll(holder, "RCE CH2;:DATA:SOURCE?\n"));
    EXPECT_EQ(ReadLine(holder), "CH2\n");
    close(holder);
    EXPECT_TRUE(sim.Stop());
}

TEST(SimServerClientsTest, InterleavedClientsGetOnlyTheirOwnAnswers) {
    SimProcess sim({"--tcp", "127.0.0.1:0"});
    const int a = ConnectUnbuffered(sim.Port());
    const int b = ConnectUnbuffered(sim.Port());
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    // Byte by byte, in turn; each message sets the shared source and reads it back.
    const std::string first = "DATA:SOURCE CH2;:DATA:SOURCE?;:*IDN?\n";
    const std::string second = "DATA:SOURCE REF3;:DATA:SOURCE?;:HOR:RECO?;:SEL:CH1?\n";
    for (std::size_t i = 0; i < std::max(first.size(), second.size()); ++i) {
        if (i < first.size()) {
            ASSERT_TRUE(WriteAll(a, first.substr(i, 1)));
        }
        if (i < second.size()) {
            ASSERT_TRUE(WriteAll(b, second.substr(i, 1)));
        }
    }
    EXPECT_EQ(ReadLine(a), "CH2;" + std::string(kIdentity));
    EXPECT_EQ(ReadLine(b), "REF3;2500;1\n");

    // A message runs whole when it is complete: another client's message that arrives
    // in the middle of it runs before it, never inside it.
    ASSERT_TRUE(WriteAll(a, "DATA:SOURCE CH4;"));
    ASSERT_TRUE(WriteAll(b, "DATA:SOURCE MATH;:DATA:SOURCE?\n"));
    EXPECT_EQ(ReadLine(b), "MATH\n");
    ASSERT_TRUE(WriteAll(a, ":DATA:SOURCE?\n"));
    EXPECT_EQ(ReadLine(a), "CH4\n");
    close(a);
    close(b);
}

TEST(SimServerClientsTest, EachConnectionCountsItsOwnDropInsideABlock) {
    SimProcess sim({"--tcp", "127.0.0.1:0", "--drop-after", "1000"});
    const int a = Connect(sim.Port());
    const int b = Connect(sim.Port());
    const int c = Connect(sim.Port());
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_GE(c, 0);
    // c lifts the switch for itself only.
    ASSERT_TRUE(WriteAll(c, "KTXSIM:DROP -1;:*IDN?\n"));
    EXPECT_EQ(ReadLine(c), kIdentity);
    ASSERT_TRUE(WriteAll(a, "DATA:ENC RIB;WID 2;STOP 2500;:CURV?\n"));
    // 1000 bytes of the 5007-byte block, then the end of the connection.
    const std::string cut = ReadBytes(a, 6000);
    EXPECT_EQ(cut.size(), 1000u);
    EXPECT_EQ(cut.substr(0, 6), "#45000");
    // b counts from its own start: its identification passes, the block is cut 56 bytes sooner.
    ASSERT_TRUE(WriteAll(b, "*IDN?\n"));
    EXPECT_EQ(ReadLine(b), kIdentity);
    ASSERT_TRUE(WriteAll(b, "CURV?\n"));
    EXPECT_EQ(ReadBytes(b, 6000), cut.substr(0, 1000 - 56));
    ASSERT_TRUE(WriteAll(c, "CURV?\n"));
    const std::string whole = ReadBytes(c, 5007);
    EXPECT_EQ(whole.size(), 5007u);
    EXPECT_EQ(whole.substr(0, 1000), cut);
    close(a);
    close(b);
    close(c);
}

TEST(SimServerClientsTest, ALateAnswerKeepsItsConnectionsOrderAndHoldsUpNoOtherClient) {
    SimProcess sim({"--tcp", "127.0.0.1:0"});
    const int slow = Connect(sim.Port());
    const int late = Connect(sim.Port());
    const int other = Connect(sim.Port());
    ASSERT_GE(slow, 0);
    ASSERT_GE(late, 0);
    ASSERT_GE(other, 0);
    // Ten minutes: were the delay shared, the other client would wait past the test's patience.
    ASSERT_TRUE(WriteAll(slow, "KTXSIM:DELAY 600000\n*IDN?\n"));
    // The host asks its next question while the late answer is still out: both come, in order.
    ASSERT_TRUE(WriteAll(late, "KTXSIM:DELAY 200\n*IDN?\nHOR:RECO?\n"));
    ASSERT_TRUE(WriteAll(other, "*IDN?\n"));
    EXPECT_EQ(ReadLine(other), kIdentity);
    EXPECT_EQ(ReadLine(late), kIdentity);
    EXPECT_EQ(ReadLine(late), "2500\n");
    close(slow);
    close(late);
    close(other);
}

TEST(SimServerClientsTest, DripSpreadsAnAnswerOverManyArrivals) {
    SimProcess sim({"--tcp", "127.0.0.1:0", "--drip", "20"});
    const int fd = Connect(sim.Port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, "*IDN?\n"));
    const Arrivals arrivals = ReadArrivals(fd, std::string(kIdentity).size());
    EXPECT_EQ(arrivals.bytes, kIdentity);
    // One byte every 20 ms: the answer cannot arrive in one piece. (The exact schedule is
    // checked on a clock of the test's own in answer_queue_test.cpp.)
    EXPECT_GT(arrivals.reads, 1);
    close(fd);
}

TEST(SimServerClientsTest, ConnectionsBeyondTheLimitAreClosedAtOnce) {
    SimProcess sim({"--tcp", "127.0.0.1:0"});
    std::vector<int> clients;
    for (std::size_t i = 0; i < SimServer::kMaxConnections; ++i) {
        clients.push_back(Connect(sim.Port()));
        ASSERT_GE(clients.back(), 0);
    }
    const int extra = Connect(sim.Port());
    ASSERT_GE(extra, 0);
    ASSERT_TRUE(WriteAll(extra, "*IDN?\n"));
    EXPECT_EQ(ReadBytes(extra, 100), "") << "end of file, not an answer";
    close(extra);
    // Every admitted client is served; once one leaves, a newcomer is served too.
    for (int fd : clients) {
        ASSERT_TRUE(WriteAll(fd, "*IDN?\n"));
        EXPECT_EQ(ReadLine(fd), kIdentity);
    }
    close(clients.back());
    clients.pop_back();
    // The server notices the leaving client before (or with) the new one; a few tries bound
    // the case where the newcomer was faster.
    std::string answer;
    for (int attempt = 0; attempt < 50 && answer.empty(); ++attempt) {
        const int newcomer = Connect(sim.Port());
        ASSERT_GE(newcomer, 0);
        WriteAll(newcomer, "*IDN?\n");
        answer = ReadLine(newcomer);
        close(newcomer);
    }
    EXPECT_EQ(answer, kIdentity);
    for (int fd : clients) {
        close(fd);
    }
}

TEST(SimServerClientsTest, ASlowReaderMakesTheServerHoldLittleAndLosesNothing) {
    SimProcess sim({"--tcp", "127.0.0.1:0", "--record-length", "1000000"});
    const int slow = Connect(sim.Port());
    ASSERT_GE(slow, 0);
    const std::size_t answer = 9 + 2'000'000 + 1;
    // One curve read in full first: the record and its answer have been in memory once.
    ASSERT_TRUE(WriteAll(slow, "DATA:ENC RIB;WID 2;STOP 1000000\nCURV?\n"));
    ASSERT_EQ(ReadBytes(slow, answer).size(), answer);
    const long before = sim.PeakMemoryKb();
    ASSERT_GT(before, 0);
    // 50 curves of 2 MB asked for at once, nothing read yet.
    std::string questions;
    for (int i = 0; i < 50; ++i) {
        questions += "CURV?\n";
    }
    ASSERT_TRUE(WriteAll(slow, questions));
    const int other = Connect(sim.Port());
    ASSERT_GE(other, 0);
    ASSERT_TRUE(WriteAll(other, "*IDN?\n"));
    EXPECT_EQ(ReadLine(other), kIdentity);
    // The 100 MB wait in the slow reader's questions, not in the server. (The server holds
    // about 4 MB of them; the rest of the margin is for a sanitizer's quarantine of the
    // answers that went into the socket buffers.)
    EXPECT_LT(sim.PeakMemoryKb() - before, 48 * 1024) << "kB more than before";
    const std::string all = ReadBytes(slow, 50 * answer);
    ASSERT_EQ(all.size(), 50 * answer);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(all.substr(i * answer, 9), "#72000000") << i;
    }
    close(slow);
    close(other);
}

TEST(SimServerOptionsTest, HelpNamesEverySwitchAndEndsWell) {
    std::FILE* help = popen(KTX_SIM_EXE " --help", "r");
    ASSERT_NE(help, nullptr);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, help)) > 0;) {
        text.append(buffer, n);
    }
    const int status = pclose(help);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (const FaultSwitchName& name : FaultSwitchNames()) {
        EXPECT_NE(text.find(name.option), std::string::npos) << name.option;
    }
    for (const char* option : {"--tcp", "--pty", "--type", "--model", "--seed", "--record-length",
                               "--exit-on-stdin-eof"}) {
        EXPECT_NE(text.find(option), std::string::npos) << option;
    }
    const int unknown = std::system(KTX_SIM_EXE " --no-such-option 2>/dev/null");
    EXPECT_TRUE(WIFEXITED(unknown) && WEXITSTATUS(unknown) == 2) << unknown;
}

}  // namespace
}  // namespace ktx::sim

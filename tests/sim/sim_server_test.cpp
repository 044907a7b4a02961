// SPDX-License-Identifier: GPL-3.0-or-later
// End to end: the real ktx-sim executable as a child process, reached over a plain TCP socket
// and over its pseudo-terminal.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

int PortOf(const std::string& announcement) {
    const std::string prefix = "LISTEN 127.0.0.1:";
    if (announcement.rfind(prefix, 0) != 0) {
        return -1;
    }
    return std::stoi(announcement.substr(prefix.size()));
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

}  // namespace
}  // namespace ktx::sim

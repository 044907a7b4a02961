// SPDX-License-Identifier: GPL-3.0-or-later
// The built interface libraries as the program sees them: loaded with dlopen, used only
// through their operation table. Real transports run against a fake instrument on a loopback
// socket and on a pseudo-terminal.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <ostream>

#include <sstream>
#include <string>
#include <vector>

#include "fake_instrument.h"
#include "ktx_link.h"
#include "link_test_support.h"

namespace ktx::linklib::test {
namespace {

std::vector<std::string> BuiltLibraries() {
    std::vector<std::string> names;
    std::stringstream list(KTX_LINK_LIBRARIES);
    std::string name;
    while (std::getline(list, name, ',')) {
        names.push_back(name);
    }
    return names;
}

class LinkLibraryTableTest : public ::testing::TestWithParam<std::string> {};

TEST_P(LinkLibraryTableTest, ExportsACompleteTable) {
    const LoadedLinkLibrary library(GetParam());
    const KtxLinkOps* ops = library.Ops();
    ASSERT_NE(ops, nullptr) << library.Error();
    EXPECT_EQ(ops->version, KTX_LINK_VERSION);
    ASSERT_EQ(ops->count, KTX_LINK_OPERATIONS);
    EXPECT_NE(ops->LinkOpen, nullptr);
    EXPECT_NE(ops->LinkWrite, nullptr);
    EXPECT_NE(ops->LinkRead, nullptr);
    EXPECT_NE(ops->LinkReceiveFile, nullptr);
    EXPECT_NE(ops->LinkSendFile, nullptr);
    EXPECT_NE(ops->LinkClose, nullptr);
    EXPECT_NE(ops->LinkClear, nullptr);
    EXPECT_NE(ops->LinkSetTimeout, nullptr);
    EXPECT_NE(ops->LinkReadData, nullptr);
    EXPECT_NE(ops->LinkWriteRaw, nullptr);
    EXPECT_NE(ops->LinkLastError, nullptr);
}

TEST_P(LinkLibraryTableTest, HandlesThatWereNeverOpenedFailQuietly) {
    const LoadedLinkLibrary library(GetParam());
    const KtxLinkOps* ops = library.Ops();
    ASSERT_NE(ops, nullptr) << library.Error();
    char buffer[KTX_LINK_READ_BUFFER] = "x";
    for (const std::uint16_t handle : {std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{65535}}) {
        EXPECT_EQ(ops->LinkWrite(handle, "*IDN?"), 0);
        EXPECT_EQ(ops->LinkRead(handle, buffer), 0);
        EXPECT_STREQ(buffer, "");
        EXPECT_EQ(ops->LinkReceiveFile(handle, "/nonexistent/x"), 0);
        EXPECT_EQ(ops->LinkSendFile(handle, "/nonexistent/x"), 0);
        EXPECT_EQ(ops->LinkReadData(handle, buffer, 4), 0);
        EXPECT_EQ(ops->LinkSetTimeout(handle, 500), 0);
        EXPECT_EQ(ops->LinkClose(handle), 0);
        ops->LinkClear(handle);
        EXPECT_EQ(ops->LinkWriteRaw(handle, "*IDN?"), 0);
        if (handle != 0) {  // handle 0 asks why the latest open failed
            EXPECT_EQ(ops->LinkLastError(handle, nullptr, nullptr), KTX_LINK_E_NO_LINK);
        }
    }
}

TEST_P(LinkLibraryTableTest, OnlyTheTableIsExported) {
    const std::string path = std::string(KTX_LINK_LIBRARY_DIR) + "/" + GetParam();
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    EXPECT_EQ(::dlsym(handle, "_ZN3ktx7linklib10StreamLink4ReadEPc"), nullptr);
    ::dlclose(handle);
}

INSTANTIATE_TEST_SUITE_P(Built, LinkLibraryTableTest, ::testing::ValuesIn(BuiltLibraries()),
                         [](const auto& info) {
                             return info.param.substr(0, info.param.find('.'));
                         });

// A TCP port on which nobody listens: bound, then released.
int UnusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

struct OpenFailureCase {
    std::string name;
    std::string library;
    std::string ini;
    std::int32_t cause;  // what LinkLastError(0, ...) says afterwards
};

void PrintTo(const OpenFailureCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkOpenFailureTest : public ::testing::TestWithParam<OpenFailureCase> {};

TEST_P(LinkOpenFailureTest, ReturnsNoHandle) {
    if (GetParam().library == "ktx_gpib.so") {
        if (void* gpib = ::dlopen("libgpib.so.0", RTLD_NOW | RTLD_LOCAL)) {
            ::dlclose(gpib);
            GTEST_SKIP() << "linux-gpib is installed here";
        }
    }
    const LoadedLinkLibrary library(GetParam().library);
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    ScratchDir dir;
    std::string ini = GetParam().ini;
    const std::size_t mark = ini.find("@PORT@");
    if (mark != std::string::npos) {
        ini.replace(mark, 6, std::to_string(UnusedPort()));
    }
    const std::string path = dir.File("kurvitex.ini");
    WriteWholeFile(path, ini);
    std::int32_t port = -7;
    EXPECT_EQ(library.Ops()->LinkOpen(path.c_str(), 0, &port), 0);
    EXPECT_EQ(port, -7);
    EXPECT_EQ(library.Ops()->LinkLastError(0, nullptr, nullptr), GetParam().cause);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LinkOpenFailureTest,
    ::testing::Values(
        OpenFailureCase{"TcpRefused", "ktx_tcp.so", "[TCP]\nHOST=127.0.0.1\nPORT=@PORT@\n",
                        KTX_LINK_E_REFUSED},
        OpenFailureCase{"TcpBadPort", "ktx_tcp.so", "[TCP]\nPORT=70000\n", KTX_LINK_E_SETTINGS},
        OpenFailureCase{"TcpUnknownHost", "ktx_tcp.so", "[TCP]\nHOST=no.such.host.invalid\n",
                        KTX_LINK_E_NOT_FOUND},
        OpenFailureCase{"SerialMissingDevice", "ktx_serial.so",
                        "[RS232]\nCONFIG=COM1:9600,N,8,1\n[SERIAL]\nDEVICE=/dev/nonexistent-tty\n",
                        KTX_LINK_E_NOT_FOUND},
        OpenFailureCase{"SerialBadConfig", "ktx_serial.so",
                        "[RS232]\nCONFIG=COM1:9600,Q,8,1\n[SERIAL]\nDEVICE=/dev/null\n",
                        KTX_LINK_E_SETTINGS},
        OpenFailureCase{"SerialNotATerminal", "ktx_serial.so",
                        "[RS232]\nCONFIG=COM1:9600,N,8,1\n[SERIAL]\nDEVICE=/dev/null\n",
                        KTX_LINK_E_SETTINGS},
        OpenFailureCase{"UsbtmcMissingDevice", "ktx_usbtmc.so",
                        "[USBTMC]\nDEVICE=/dev/usbtmc-nonexistent\n", KTX_LINK_E_NOT_FOUND},
        OpenFailureCase{"VxiRefused", "ktx_vxi.so", "[VXI11]\nHOST=127.0.0.1\nPORT=@PORT@\n",
                        KTX_LINK_E_REFUSED},
        OpenFailureCase{"VxiBadPort", "ktx_vxi.so", "[VXI11]\nPORT=70000\n", KTX_LINK_E_SETTINGS},
        OpenFailureCase{"VxiNoDeviceName", "ktx_vxi.so", "[VXI11]\nDEVICE=\nPORT=@PORT@\n",
                        KTX_LINK_E_SETTINGS},
        OpenFailureCase{"VxiUnknownHost", "ktx_vxi.so",
                        "[VXI11]\nHOST=no.such.host.invalid\nPORT=1024\n", KTX_LINK_E_NOT_FOUND},
        OpenFailureCase{"PrologixRefused", "ktx_prologix.so",
                        "[PROLOGIX]\nHOST=127.0.0.1\nPORT=@PORT@\n", KTX_LINK_E_REFUSED},
        OpenFailureCase{"PrologixMissingDevice", "ktx_prologix.so",
                        "[PROLOGIX]\nDEVICE=/dev/nonexistent-tty\n", KTX_LINK_E_NOT_FOUND},
        OpenFailureCase{"PrologixBadAddress", "ktx_prologix.so",
                        "[PROLOGIX]\nHOST=127.0.0.1\nADDRESS=31\n", KTX_LINK_E_SETTINGS},
        OpenFailureCase{"GpibWithoutLinuxGpib", "ktx_gpib.so", "[GPIB]\nBOARD=0\nPAD=1\n",
                        KTX_LINK_E_DRIVER},
        OpenFailureCase{"GpibBadAddress", "ktx_gpib.so", "[GPIB]\nPAD=31\n", KTX_LINK_E_SETTINGS}),
    [](const auto& info) { return info.param.name; });

// The same exchanges over each real transport.
class LinkTransportTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        m_fake = std::make_unique<FakeInstrument>(GetParam() == "tcp" ? FakeInstrument::OnTcp()
                                                                      : FakeInstrument::OnPty());
        ASSERT_TRUE(m_fake->Ok());
        m_fake->Start();
        m_library = std::make_unique<LoadedLinkLibrary>("ktx_" + GetParam() + ".so");
        ASSERT_NE(m_library->Ops(), nullptr) << m_library->Error();
        m_ini = m_dir.File("kurvitex.ini");
        if (GetParam() == "tcp") {
            WriteWholeFile(m_ini,
                           "[TCP]\nHOST=127.0.0.1\nPORT=" + std::to_string(m_fake->Port()) + "\n");
            m_expectedPort = m_fake->Port();
        } else {
            WriteWholeFile(m_ini, "[RS232]\nCONFIG=COM3:115200,N,8,1\n[SERIAL]\nDEVICE=" +
                                      m_fake->Device() + "\n");
            m_expectedPort = 3;
        }
    }

    std::string Query(std::uint16_t handle, const char* command) {
        const KtxLinkOps* ops = m_library->Ops();
        char buffer[KTX_LINK_READ_BUFFER];
        ops->LinkClear(handle);
        if (ops->LinkWrite(handle, command) == 0 || ops->LinkRead(handle, buffer) == 0) {
            return {};
        }
        return buffer;
    }

    ScratchDir m_dir;
    std::unique_ptr<FakeInstrument> m_fake;
    std::unique_ptr<LoadedLinkLibrary> m_library;
    std::string m_ini;
    int m_expectedPort = 0;
};

TEST_P(LinkTransportTest, AnswersBlocksAndTimeOuts) {
    const KtxLinkOps* ops = m_library->Ops();
    std::int32_t port = 0;
    const std::uint16_t handle = ops->LinkOpen(m_ini.c_str(), 0, &port);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(port, m_expectedPort);
    EXPECT_EQ(ops->LinkSetTimeout(handle, 1000), 1000);

    EXPECT_EQ(Query(handle, "*IDN?"), FakeInstrument::kIdentity);

    // A multi-megabyte block into a file, then the next answer is clean.
    const std::size_t size = GetParam() == "tcp" ? 6 * 1024 * 1024 : 1024 * 1024;
    const std::string command = "BLOCK? " + std::to_string(size);
    const std::string file = m_dir.File("curve.tmp");
    ASSERT_EQ(ops->LinkWrite(handle, command.c_str()), 1);
    ops->LinkClear(handle);
    ASSERT_EQ(ops->LinkReceiveFile(handle, file.c_str()), 1);
    const std::string digits = std::to_string(size);
    EXPECT_TRUE(ReadWholeFile(file) == ":CURVE #" + std::to_string(digits.size()) + digits +
                                           FakeInstrument::BlockData(size));
    EXPECT_EQ(Query(handle, "*IDN?"), FakeInstrument::kIdentity);

    // Part of a block into memory.
    std::vector<char> data(1000);
    ASSERT_EQ(ops->LinkWrite(handle, "BLOCK? 4000"), 1);
    ops->LinkClear(handle);
    ASSERT_EQ(ops->LinkReadData(handle, data.data(), 1000), 1);
    EXPECT_EQ(std::string(data.data(), data.size()),
              FakeInstrument::BlockData(4000).substr(0, 1000));
    EXPECT_EQ(Query(handle, "*IDN?"), FakeInstrument::kIdentity);

    // No answer: fails at the time-out, and the link still works afterwards.
    EXPECT_EQ(ops->LinkSetTimeout(handle, 150), 1000);
    EXPECT_EQ(Query(handle, "NOANSWER?"), "");
    EXPECT_EQ(Query(handle, "*IDN?"), FakeInstrument::kIdentity);

    EXPECT_EQ(ops->LinkClose(handle), 1);
    EXPECT_EQ(ops->LinkWrite(handle, "*IDN?"), 0);
}

TEST_P(LinkTransportTest, SeveralLinksGetTheirOwnHandles) {
    const KtxLinkOps* ops = m_library->Ops();
    std::int32_t port = 0;
    const std::uint16_t first = ops->LinkOpen(m_ini.c_str(), 0, &port);
    ASSERT_NE(first, 0);
    const std::uint16_t second = ops->LinkOpen(m_ini.c_str(), 0, &port);
    if (GetParam() == "tcp") {
        // The fake takes one connection; a second socket still connects (backlog).
        EXPECT_NE(second, 0);
        EXPECT_NE(second, first);
        EXPECT_EQ(ops->LinkClose(second), 1);
    } else {
        // Two links on one serial line would take each other's answers.
        EXPECT_EQ(second, 0);
        EXPECT_EQ(ops->LinkLastError(0, nullptr, nullptr), KTX_LINK_E_BUSY);
    }
    EXPECT_EQ(Query(first, "*IDN?"), FakeInstrument::kIdentity);
    EXPECT_EQ(ops->LinkClose(first), 1);
    EXPECT_EQ(ops->LinkClose(first), 0);
}

TEST(LinkTcpTest, HangUpFailsTheReadWithoutWaitingForever) {
    FakeInstrument fake = FakeInstrument::OnTcp();
    ASSERT_TRUE(fake.Ok());
    fake.Start();
    const LoadedLinkLibrary library("ktx_tcp.so");
    ASSERT_NE(library.Ops(), nullptr) << library.Error();
    ScratchDir dir;
    const std::string ini = dir.File("kurvitex.ini");
    WriteWholeFile(ini, "[TCP]\nPORT=" + std::to_string(fake.Port()) + "\n");
    const KtxLinkOps* ops = library.Ops();
    std::int32_t port = 0;
    const std::uint16_t handle = ops->LinkOpen(ini.c_str(), 0, &port);
    ASSERT_NE(handle, 0);
    ops->LinkSetTimeout(handle, 5000);
    ASSERT_EQ(ops->LinkWrite(handle, "HANGUP"), 1);
    char buffer[KTX_LINK_READ_BUFFER];
    EXPECT_EQ(ops->LinkRead(handle, buffer), 0);
    EXPECT_EQ(ops->LinkClose(handle), 1);
}

INSTANTIATE_TEST_SUITE_P(Transports, LinkTransportTest, ::testing::Values("tcp", "serial"));

}  // namespace
}  // namespace ktx::linklib::test

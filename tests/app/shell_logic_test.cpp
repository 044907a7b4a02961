// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell_logic.h"

#include <gtest/gtest.h>
#include <QLibrary>

#include "config/profile_file.h"
#include "link/command_transport.h"
#include "link/fake_link.h"
#include "test_files.h"

namespace ktx {
namespace {

struct MenuCase {
    int deviceType;
    int mode;
    bool control;
    bool connected;
    // expected
    bool modus, remoteScope, remoteMeter, setupWaveform, telecom, instrumentMenus, scanButton;
    friend void PrintTo(const MenuCase& c, std::ostream* os) {
        *os << "type " << c.deviceType << " mode " << c.mode << (c.control ? " control" : "")
            << (c.connected ? " connected" : "");
    }
};

class MenuStateTest : public ::testing::TestWithParam<MenuCase> {};

INSTANTIATE_TEST_SUITE_P(
    DeviceTypes, MenuStateTest,
    ::testing::Values(
        //        type mode ctl  conn   modus scope meter setup tele  menus scan
        MenuCase{0, 0, false, false, false, true, false, true, false, false, false},
        MenuCase{1, 0, false, true, false, true, false, true, false, true, true},
        MenuCase{1, 0, true, true, false, true, false, true, false, false, false},
        MenuCase{9, 0, false, true, true, true, false, true, false, true, true},
        MenuCase{9, 1, false, true, true, false, true, true, false, true, false},
        MenuCase{12, 0, false, true, false, true, false, true, true, true, true},
        MenuCase{19, 0, false, true, false, true, false, true, false, true, true},
        MenuCase{20, 1, false, true, false, false, true, false, false, true, false},
        MenuCase{30, 1, false, false, false, false, true, false, false, false, false},
        MenuCase{30, 1, true, true, false, false, true, false, false, false, false}));

TEST_P(MenuStateTest, VisibilityAndEnableState) {
    const MenuCase& c = GetParam();
    ProgramState s;
    s.deviceType = c.deviceType;
    s.operatingMode = c.mode;
    s.controlMode = c.control;
    s.deviceConnected = c.connected;
    const MenuState m = ComputeMenuState(s, 0, false);
    EXPECT_EQ(m.modusVisible, c.modus);
    EXPECT_EQ(m.remoteScopeVisible, c.remoteScope);
    EXPECT_EQ(m.scannerVisible, c.remoteScope);
    EXPECT_EQ(m.remoteMeterVisible, c.remoteMeter);
    EXPECT_EQ(m.setupVisible, c.setupWaveform);
    EXPECT_EQ(m.waveformVisible, c.setupWaveform);
    EXPECT_EQ(m.telecomVisible, c.telecom);
    EXPECT_EQ(m.instrumentMenusEnabled, c.instrumentMenus);
    EXPECT_EQ(m.scanButtonEnabled, c.scanButton);
    EXPECT_EQ(m.optionsEnabled, !c.control);
    EXPECT_EQ(m.controlButtonEnabled, c.connected);  // control mode never disables its own button
}

TEST(MenuState, ChildWindowsAndColour) {
    ProgramState s;
    MenuState m = ComputeMenuState(s, 0, false);
    EXPECT_FALSE(m.childCommandsEnabled);
    EXPECT_TRUE(m.saveAsVisible);
    EXPECT_FALSE(m.saveVisible);
    m = ComputeMenuState(s, 2, true);
    EXPECT_TRUE(m.childCommandsEnabled);
    EXPECT_TRUE(m.saveVisible);
    EXPECT_FALSE(m.saveAsVisible);

    // Not capable: greyed and unchecked whatever kurvitex.ini says.
    s.colourEnabled = true;
    m = ComputeMenuState(s, 0, false);
    EXPECT_FALSE(m.colourEnabled);
    EXPECT_FALSE(m.colourChecked);
    s.colourCapable = true;
    m = ComputeMenuState(s, 0, false);
    EXPECT_TRUE(m.colourEnabled);
    EXPECT_TRUE(m.colourChecked);
}

TEST(StatusTexts, DeviceAndInterface) {
    EXPECT_EQ(DeviceStatusText("TDS 210", 1, 0), "TDS 210");
    EXPECT_EQ(DeviceStatusText("THS720P", 9, 0), "THS720P  Oscilloscope");
    EXPECT_EQ(DeviceStatusText("THS720P", 9, 1), "THS720P  DMM");
    EXPECT_EQ(InterfaceStatusText("ktx_serial.so", 1, 2), "ktx_serial  COM2 ");
    EXPECT_EQ(InterfaceStatusText("ktx_gpib.so", 2, 7), "ktx_gpib  DEV7 ");
    EXPECT_EQ(InterfaceStatusText("GPIBLIB", 2, 7), "GPIBLIB  DEV7 ");
    EXPECT_EQ(InterfaceStatusText("", 0, 0), "  DEV0 ");
}

TEST(DeviceName, UnderscoreNamesMatchBothPartsInAnyOrder) {
    EXPECT_TRUE(DeviceNameMatches("TDS_3012", "TEKTRONIX,TDS 3012,0,CF:91.1CT"));
    EXPECT_TRUE(DeviceNameMatches("TDS_3012", "3012 series TDS"));
    EXPECT_FALSE(DeviceNameMatches("TDS_3012", "TEKTRONIX,TDS 3014,0"));
    EXPECT_TRUE(DeviceNameMatches("TDS 210", "TEKTRONIX,TDS 210,0"));
    EXPECT_FALSE(DeviceNameMatches("TDS 210", "TEKTRONIX,TDS210,0"));
    EXPECT_TRUE(DeviceNameMatches("THS_3014", "THS3014 V1.05"));
}

TEST(AppEntries, CountIsCappedAtTenAndTheTenthUsesTheColonKey) {
    test::TempDir dir;
    const auto path = dir.Path("kurvitex.ini");
    test::WriteFile(path, std::string("[TRANSFER]\nSS_TYPE=0\n"));
    EXPECT_TRUE(ReadAppEntries(ProfileFile(path)).empty());

    std::string text = "[APP]\nANZ=3\n";
    for (int i = 1; i <= 9; ++i) {
        text += "F" + std::to_string(i) + "=/bin/p" + std::to_string(i) + "\nN" +
                std::to_string(i) + "=Eintrag " + std::to_string(i) + "\n";
    }
    text += "F:=/bin/p10\nN:=Eintrag 10\n";
    test::WriteFile(path, text);
    auto entries = ReadAppEntries(ProfileFile(path));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].caption, "Eintrag 3");

    test::WriteFile(path, std::string("[APP]\nANZ=25\n") + text.substr(text.find('\n', 7) + 1));
    entries = ReadAppEntries(ProfileFile(path));
    ASSERT_EQ(entries.size(), 10u);
    EXPECT_EQ(entries[9].path, "/bin/p10");
    EXPECT_EQ(entries[9].caption, "Eintrag 10");
}

TEST(InterfaceEntries, FilteredByTheInstrumentsInterfacesAndPreselected) {
    test::TempDir dir;
    const auto path = dir.Path("kurvitex.ini");
    test::WriteFile(path, std::string("[SSDLL]\nCNT=4\nT1=1\nN1=ktx_serial.so\nB1=RS232\n"
                                      "T2=2\nN2=ktx_gpib.so\nB2=GPIB\nT3=3\nN3=both.so\nB3=Beides\n"
                                      "T4=1\nN4=KTX_SERIAL.SO\nB4=RS232 (2)\n"));
    auto entries = ReadInterfaceEntries(ProfileFile(path), 1);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, "RS232");
    EXPECT_EQ(PreselectedInterface(entries, "ktx_serial.so"), 1);  // the last match, any case
    EXPECT_EQ(PreselectedInterface(entries, "other.so"), -1);
    EXPECT_EQ(ReadInterfaceEntries(ProfileFile(path), 3).size(), 4u);
    EXPECT_TRUE(ReadInterfaceEntries(ProfileFile(path), 0).empty());

    test::WriteFile(path, std::string("[SSDLL]\n"));
    EXPECT_TRUE(ReadInterfaceEntries(ProfileFile(path), 3).empty());
}

// The presence check against the scripted interface library.
class PresenceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_lib.setFileName(QString(KTX_FAKE_LINK_DIR) + "/ktx_fake.so");
        ASSERT_TRUE(m_lib.load());
        m_script = reinterpret_cast<FakeLinkScript* (*)()>(m_lib.resolve("ktx_fake_script"))();
        m_script->Reset();
    }
    Presence Check(int type, const std::string& name, const char* answer) {
        m_transport.OpenLink({KTX_FAKE_LINK_DIR, "ktx_fake.so", kLinkRs232, type}, false, "k.ini");
        m_script->calls.clear();
        if (answer) {
            m_script->answers = {answer};
        }
        const Presence p = CheckInstrumentPresence(m_transport, type, name);
        m_transport.CloseLink();
        return p;
    }

    QLibrary m_lib;
    FakeLinkScript* m_script = nullptr;
    test::RecordingNotifier m_notifier;
    CommandTransport m_transport{m_notifier, [](int) {}};
};

TEST_F(PresenceTest, QueryByFamily) {
    EXPECT_EQ(Check(0, "X", nullptr), Presence::NotAsked);
    EXPECT_EQ(Check(19, "X", nullptr), Presence::Connected);
    EXPECT_TRUE(m_script->calls.empty() || m_script->calls.back() == "close");
    EXPECT_EQ(Check(30, "X", "COMU ON.."), Presence::Connected);
    EXPECT_EQ(Check(30, "X", "COMU OFF"), Presence::NotConnected);
    EXPECT_EQ(Check(20, "THS_3014", "THS3014 V1.05"), Presence::Connected);
    EXPECT_EQ(Check(1, "TDS 210", "TEKTRONIX,TDS 210,0"), Presence::Connected);
    EXPECT_EQ(Check(1, "TDS 210", "TEKTRONIX,TDS 380,0"), Presence::WrongDevice);
    // An answer without a "T" is no identification.
    EXPECT_EQ(Check(1, "TDS 210", "garbage 123"), Presence::NotConnected);
    EXPECT_EQ(Check(1, "TDS 210", nullptr), Presence::NotConnected);
}

}  // namespace
}  // namespace ktx

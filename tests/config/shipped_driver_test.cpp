// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument definitions shipped in data/Driver: every one passes the check, every
// simulated family has one, each is reachable through the simulator library and names the
// instrument the way its identification answer does.
#include <gtest/gtest.h>

#include <map>

#include "config/device_file.h"
#include "config/device_validator.h"
#include "config/instrument_list.h"
#include "config/profile_file.h"
#include "test_files.h"

namespace ktx {
namespace {

std::vector<InstrumentEntry> Shipped() {
    // ListInstruments wants the program folder, the parent of Driver.
    return ListInstruments(std::string(KTX_DRIVER_DIR) + "/..");
}

TEST(ShippedDrivers, EveryFilePassesTheCheck) {
    const auto list = Shipped();
    ASSERT_FALSE(list.empty()) << KTX_DRIVER_DIR;
    for (const auto& e : list) {
        test::RecordingNotifier notifier;
        EXPECT_TRUE(ValidateDeviceFile(e.path, notifier))
            << e.path << ": " << (notifier.shown.empty() ? "" : notifier.shown[0].text);
    }
}

TEST(ShippedDrivers, SimulatorReachesEveryFile) {
    for (const auto& e : Shipped()) {
        const ProfileFile f(e.path);
        EXPECT_TRUE(ReadInterfaces(e.path) & kInterfaceLan) << e.path;
        EXPECT_EQ(f.ReadInt("SIM", "TYPE", -1), ReadDeviceType(e.path)) << e.path;
    }
}

// What the simulator answers to the identification query of each family, and the rule the
// presence check applies: a name "A_B" matches when A and B both occur in the answer.
bool NameMatches(const std::string& name, const std::string& answer) {
    const auto bar = name.find('_');
    if (bar == std::string::npos) {
        return answer.find(name) != std::string::npos;
    }
    return answer.find(name.substr(0, bar)) != std::string::npos &&
           answer.find(name.substr(bar + 1)) != std::string::npos;
}

TEST(ShippedDrivers, OneFilePerFamilyNamedAsTheInstrumentAnswers) {
    const std::map<int, std::string> answers = {
        {1, "TEKTRONIX,TDS 210,0,CF:91.1CT FV:v1.16 TDS2CM:CMV:v1.04"},
        {2, "TEKTRONIX,TDS 380,0,CF:91.1CT FV:v2.01"},
        {9, "TEKTRONIX,THS720P,0,CF:91.1CT FV:v1.20"},
        {10, "TEKTRONIX,TDS 3012,0,CF:91.1CT FV:v3.41 TDS3FFT:v1.00"},
        {12, "TEKTRONIX,TDS 1012,0,CF:91.1CT FV:v2.12 TDS2CM:CMV:v1.04"},
        {14, "TEKTRONIX,DPO 2024,C010001,CF:91.1CT FV:v1.52"},
        {19, ""},  // cannot identify itself
        {20, "THS3014 V1.05"},
        {30, ""},  // answers COMU? only
    };
    std::map<int, int> perType;
    for (const auto& e : Shipped()) {
        const int type = ReadDeviceType(e.path);
        ++perType[type];
        const auto it = answers.find(type);
        ASSERT_NE(it, answers.end()) << e.path << " type " << type;
        if (!it->second.empty()) {
            EXPECT_TRUE(NameMatches(e.name, it->second)) << e.name << " / " << it->second;
        }
    }
    for (const auto& [type, answer] : answers) {
        EXPECT_EQ(perType[type], 1) << "type " << type;
    }
}

}  // namespace
}  // namespace ktx

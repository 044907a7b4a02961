// SPDX-License-Identifier: GPL-3.0-or-later
// Which instrument the in-process simulator plays, from the user's [SIM] entries and the
// selected definition file, and the identification that follows from it.
#include <gtest/gtest.h>

#include "sim_family.h"
#include "sim_instrument.h"
#include "sim_test_support.h"

namespace ktx::sim {
namespace {

struct IdentityChoiceCase {
    const char* name;
    SimChoice user;
    std::optional<SelectedInstrument> selected;
    int type;
    const char* identification;  // what the presence check of that family gets
};

class SimIdentityChoiceTest : public testing::TestWithParam<IdentityChoiceCase> {};

TEST_P(SimIdentityChoiceTest, PlaysWhatTheUserChoseOrSelected) {
    const IdentityChoiceCase& c = GetParam();
    const SimIdentity identity = ChooseIdentity(c.user, c.selected);
    EXPECT_EQ(identity.deviceType, c.type);
    SimConfig config;
    config.deviceType = identity.deviceType;
    config.model = identity.model;
    SimInstrument sim(config);
    const char* query = c.type == 20 ? "!V?" : "*IDN?";
    EXPECT_EQ(test::Chomp(test::Ask(sim, query)), c.identification);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, SimIdentityChoiceTest,
    testing::Values(
        IdentityChoiceCase{
            "NothingAtAll", {}, {}, 1, "TEKTRONIX,TDS 210,0,CF:91.1CT FV:v1.16 TDS2CM:CMV:v1.04"},
        IdentityChoiceCase{"SelectedFileWins",
                           {},
                           SelectedInstrument{10, "TDS_3012"},
                           10,
                           "TEKTRONIX,TDS 3012,0,CF:91.1CT FV:v3.41 TDS3FFT:v1.00 TDS3TRG:v1.00"},
        IdentityChoiceCase{"HandheldKeepsItsOwnModelText",
                           {},
                           SelectedInstrument{20, "THS_3014"},
                           20,
                           "THS3014 V1.05"},
        IdentityChoiceCase{"DualModeKeepsItsOwnModelText",
                           {},
                           SelectedInstrument{9, "THS_720P"},
                           9,
                           "TEKTRONIX,THS720P,0,CF:91.1CT FV:v1.11"},
        // An instrument the user added: its NAME becomes the model, so its name check passes.
        IdentityChoiceCase{"UserAddedModel",
                           {},
                           SelectedInstrument{12, "TDS_2024B"},
                           12,
                           "TEKTRONIX,TDS 2024B,0,CF:91.1CT FV:v2.12 TDS2CM:CMV:v1.04"},
        IdentityChoiceCase{"NameWithoutUnderscore",
                           {},
                           SelectedInstrument{14, "MSO4104"},
                           14,
                           "TEKTRONIX,MSO4104,C010123,CF:91.1CT FV:v1.52"},
        IdentityChoiceCase{"DefaultNameGivesTheFamilyModel",
                           {},
                           SelectedInstrument{2, "NONAME"},
                           2,
                           "TEKTRONIX,TDS 380,0,CF:91.1CT FV:v2.1e"},
        // What older versions wrote into every kurvitex.ini is no choice.
        IdentityChoiceCase{"OldDefaultTypeOneIsNoChoice",
                           {1, ""},
                           SelectedInstrument{14, "DPO_2024"},
                           14,
                           "TEKTRONIX,DPO 2024,C010123,CF:91.1CT FV:v1.52"},
        IdentityChoiceCase{"TypeOneWithAModelIsAChoice",
                           {1, "TDS 220"},
                           SelectedInstrument{14, "DPO_2024"},
                           1,
                           "TEKTRONIX,TDS 220,0,CF:91.1CT FV:v1.16 TDS2CM:CMV:v1.04"},
        IdentityChoiceCase{"ChosenTypeGetsItsFamilyModel",
                           {12, ""},
                           SelectedInstrument{10, "TDS_3012"},
                           12,
                           "TEKTRONIX,TDS 1012,0,CF:91.1CT FV:v2.12 TDS2CM:CMV:v1.04"},
        IdentityChoiceCase{"ChosenModelOnly",
                           {std::nullopt, "TDS 3014"},
                           SelectedInstrument{10, "TDS_3012"},
                           10,
                           "TEKTRONIX,TDS 3014,0,CF:91.1CT FV:v3.41 TDS3FFT:v1.00 TDS3TRG:v1.00"}),
    [](const testing::TestParamInfo<IdentityChoiceCase>& info) { return info.param.name; });

}  // namespace
}  // namespace ktx::sim

// SPDX-License-Identifier: GPL-3.0-or-later
// Acquisition control against the simulated instrument: Single and Dauer driven by a test
// clock (the timers tick when the test says so), the commands each button sends, the type-9
// display-mode switch, and the "Acquire" dialog's +/- steps per device family.
#include "tools/acquisition_control.h"

#include <gtest/gtest.h>

#include "config/profile_file.h"
#include "config/program_state.h"
#include "link/command_transport.h"
#include "test_files.h"
#include "tools/acquisition_settings.h"

namespace ktx {
namespace {

class TestTimer final : public ControlTimer {
  public:
    void Start() override { m_active = true; }
    void Stop() override { m_active = false; }
    bool Active() const override { return m_active; }

  private:
    bool m_active = false;
};

class SimLink {
  public:
    SimLink(const test::TempDir& dir, int type) : m_dir(dir), m_transport(m_notes) {
        const std::string ini = dir.Path("sim.ini");
        test::WriteFile(ini, "[SIM]\nTYPE=" + std::to_string(type) + "\n");
        m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_sim.so", 4, type}, false, ini);
        m_transport.LinkSetTimeout(300);
        m_transport.SendCommand("KTXSIM:LOG CLEAR");
    }
    CommandTransport& Transport() { return m_transport; }
    // The commands since the last call, "|" between them.
    std::string Log() {
        const std::string file = m_dir.Path("log.tmp");
        if (!m_transport.ReceiveToFile(file, "KTXSIM:LOG?", 0)) {
            return "<no log>";
        }
        m_transport.SendCommand("KTXSIM:LOG CLEAR");
        const test::Bytes bytes = test::ReadFile(file);
        std::string text(bytes.begin() + 2 + (bytes[1] - '0'), bytes.end());
        for (char& c : text) {
            c = c == '\n' ? '|' : c;
        }
        return text.empty() ? text : text.substr(0, text.size() - 1);
    }

  private:
    const test::TempDir& m_dir;
    test::RecordingNotifier m_notes;
    CommandTransport m_transport;
};

class AcquisitionControlTest : public ::testing::Test {
  protected:
    AcquisitionControlTest()
        : m_sim(m_dir, 1),
          m_control(m_sim.Transport(), m_getTim, m_snglTim,
                    {[this] { ++m_fetches; }, [this](const std::string& t) { m_panel = t; }}) {}

    // One second of the test clock: every running timer ticks once.
    void Second() {
        if (m_getTim.Active()) {
            m_control.get_timTimer();
        }
        if (m_snglTim.Active()) {
            m_control.sngl_timTimer();
        }
    }

    test::TempDir m_dir;
    SimLink m_sim;
    TestTimer m_getTim;
    TestTimer m_snglTim;
    AcquisitionControl m_control;
    int m_fetches = 0;
    std::string m_panel;
};

TEST_F(AcquisitionControlTest, SingleWaitsForTheTriggerThenFetchesOnceAndRearms) {
    m_control.SetControlMode(true);
    m_control.Single_buttonClick();
    EXPECT_EQ(m_sim.Log(), "ACQ:STOPA SEQ");
    Second();  // the sequence is still waiting
    EXPECT_EQ(m_panel, "Wait for Trig");
    EXPECT_EQ(m_fetches, 0);
    Second();
    EXPECT_EQ(m_panel, "Trigger");
    EXPECT_EQ(m_fetches, 1);
    EXPECT_FALSE(m_snglTim.Active());
    Second();
    EXPECT_EQ(m_fetches, 1);
    EXPECT_EQ(m_sim.Log(), "TRIG:STATE?|TRIG:STATE?");
    // Armed: the next press re-arms instead of setting stop-after again.
    m_control.Single_buttonClick();
    Second();
    EXPECT_EQ(m_fetches, 2);
    EXPECT_EQ(m_sim.Log(), "ACQ:STATE RUN|TRIG:STATE?");
    m_control.Run_buttonClick();
    EXPECT_EQ(m_sim.Log(), "ACQ:STOPA RUNST|ACQ:STATE RUN");
    EXPECT_FALSE(m_control.Armed());
    EXPECT_EQ(m_panel, "");
}

TEST_F(AcquisitionControlTest, DauerFetchesEveryThirdSecondUntilStop) {
    m_control.SetControlMode(true);
    m_control.Dauer_buttonClick();
    EXPECT_FALSE(m_control.DauerEnabled());
    EXPECT_TRUE(m_control.StopEnabled());
    std::vector<std::string> shown;
    for (int s = 0; s < 7; ++s) {
        Second();
        shown.push_back(m_panel);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"Wait:2s", "Wait:1s", "Wait:0s", "Wait:2s",
                                               "Wait:1s", "Wait:0s", "Wait:2s"}));
    EXPECT_EQ(m_fetches, 2);
    // Control mode off stops the timer, but Dauer and Stop keep their state until Stop.
    m_control.SetControlMode(false);
    Second();
    EXPECT_EQ(m_fetches, 2);
    EXPECT_FALSE(m_control.DauerEnabled());
    EXPECT_TRUE(m_control.StopEnabled());
    m_control.Stop_buttonClick();
    EXPECT_TRUE(m_control.DauerEnabled());
    EXPECT_FALSE(m_control.StopEnabled());
    EXPECT_EQ(m_sim.Log(), "");  // continuous fetching itself sends nothing
}

TEST(DisplayModeTest, AnswerNamesTheMode) {
    const struct {
        const char* answer;
        std::optional<int> mode;
    } cases[] = {{"SCO", kModeOscilloscope},     {"SCOPE\n", kModeOscilloscope},
                 {"METER", kModeMultimeter},     {":DIS:MOD MET", kModeMultimeter},
                 {"MET;SCO", kModeOscilloscope}, {"", std::nullopt},
                 {"sco", std::nullopt},          {"ME T", std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayModeFromAnswer(c.answer), c.mode) << c.answer;
    }
}

TEST(DisplayModeTest, Type9SwitchesReadsBackAndStoresTheMode) {
    test::TempDir dir;
    SimLink sim(dir, 9);
    test::RecordingNotifier notes;
    ProgramState state;
    state.deviceType = 9;
    state.iniFileName = dir.Path("kurvitex.ini");
    test::WriteFile(state.iniFileName, "[DEVICE]\nMODE=0\n");
    std::vector<int> waits;
    int statusShown = 0;
    const auto wait = [&](int ms) { waits.push_back(ms); };
    const auto shown = [&] { ++statusShown; };
    EXPECT_TRUE(SetDisplayMode(kModeMultimeter, sim.Transport(), notes, state, wait, shown));
    EXPECT_EQ(sim.Log(), "DIS:MOD?|DIS:MOD MET|CLEARM|DIS:MOD?");
    EXPECT_EQ(state.operatingMode, kModeMultimeter);
    EXPECT_EQ(waits, std::vector<int>{1000});
    EXPECT_EQ(statusShown, 2);
    EXPECT_EQ(ProfileFile(state.iniFileName).ReadInt("DEVICE", "MODE", -1), 1);
    // Already in multimeter mode: only the question.
    EXPECT_FALSE(SetDisplayMode(kModeMultimeter, sim.Transport(), notes, state, wait, shown));
    EXPECT_EQ(sim.Log(), "DIS:MOD?");
    EXPECT_TRUE(SetDisplayMode(kModeOscilloscope, sim.Transport(), notes, state, wait, shown));
    EXPECT_EQ(sim.Log(), "DIS:MOD?|DIS:MOD SCO|DIS:MOD?");
    EXPECT_TRUE(notes.shown.empty());
}

TEST(DisplayModeTest, UnreadableModeShowsMessage39AndKeepsTheStoredOne) {
    test::TempDir dir;
    SimLink sim(dir, 1);  // no display modes: the question goes unanswered
    test::RecordingNotifier notes;
    ProgramState state;
    state.operatingMode = kModeOscilloscope;
    state.iniFileName = dir.Path("kurvitex.ini");
    test::WriteFile(state.iniFileName, "[DEVICE]\nMODE=0\n");
    SetDisplayMode(
        kModeMultimeter, sim.Transport(), notes, state, [](int) {}, [] {});
    EXPECT_EQ(state.operatingMode, kModeOscilloscope);
    ASSERT_FALSE(notes.shown.empty());
    EXPECT_EQ(notes.shown.front().stringId, 10039);
    EXPECT_EQ(ProfileFile(state.iniFileName).ReadInt("DEVICE", "MODE", -1), 0);
}

TEST(SetupCommandsTest, FactorysetupStopsQuietlyWhenClearmFails) {
    test::TempDir dir;
    SimLink sim(dir, 1);
    test::RecordingNotifier notes;
    Autosetup(sim.Transport(), notes);
    Factorysetup(sim.Transport(), notes);
    EXPECT_EQ(sim.Log(), "AUTOS EXEC|CLEARM|FAC");
    EXPECT_TRUE(notes.shown.empty());
}

// The +/- buttons of the "Acquire" dialog: (type, start, button, presses) -> count.
struct StepCase {
    int type;
    bool envelope;
    bool plus;
    int start;
    int presses;
    int expected;
};

class AcquireStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(AcquireStepTest, Steps) {
    const StepCase& c = GetParam();
    AcquireDialogState s;
    s.deviceType = c.type;
    (c.envelope ? s.envelopes : s.averages) = c.start;
    for (int i = 0; i < c.presses; ++i) {
        if (c.envelope) {
            c.plus ? s.EnvelopePlus() : s.EnvelopeMinus();
        } else {
            c.plus ? s.AveragePlus() : s.AverageMinus();
        }
    }
    EXPECT_EQ(c.envelope ? s.envelopes : s.averages, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AcquireStepTest,
    ::testing::Values(StepCase{5, false, true, 16, 1, 17}, StepCase{9, false, true, 16, 1, 32},
                      StepCase{4, false, true, 255, 3, 256}, StepCase{9, false, true, 128, 3, 256},
                      StepCase{7, false, false, 3, 5, 2}, StepCase{9, false, false, 5, 1, 2},
                      StepCase{9, false, false, 2, 1, 2}, StepCase{9, true, true, 256, 1, 512},
                      StepCase{9, true, true, 512, 1, 512}, StepCase{6, true, true, 510, 5, 512},
                      StepCase{12, true, false, 512, 2, 128}, StepCase{6, true, false, 3, 2, 2},
                      // Counts off the doubling grid, as an instrument may report them, end at
                      // the range's bounds instead of leaving it.
                      StepCase{9, false, false, 3, 1, 2}, StepCase{12, true, false, 3, 1, 2},
                      StepCase{9, false, true, 200, 1, 256}, StepCase{9, true, true, 300, 1, 512},
                      StepCase{9, false, true, 10000, 1, 10000}));

// What the instrument answers to the count questions, as the dialog takes it. A negative or
// tiny count from a disturbed line must not reach "+", which doubles it (into an overflow).
struct CountCase {
    const char* answer;
    bool envelope;
    int count;
};

class AcquireCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(AcquireCountTest, AnswerGivesTheCountAndPlusStaysInRange) {
    const CountCase& c = GetParam();
    AcquireDialogState s;
    s.deviceType = 9;
    s.averages = s.envelopes = AcquireCountFromAnswer(c.answer, c.envelope);
    EXPECT_EQ(s.averages, c.count);
    for (int i = 0; i < 40; ++i) {
        s.AveragePlus();
        s.EnvelopePlus();
    }
    EXPECT_GE(s.averages, 2);
    EXPECT_GE(s.envelopes, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AcquireCountTest,
    ::testing::Values(CountCase{"64", false, 64}, CountCase{"0", true, kEnvelopeNoLimit},
                      CountCase{"0", false, 2}, CountCase{"1", false, 2}, CountCase{"-4", false, 2},
                      CountCase{"-1073741824", true, 2}, CountCase{"-2147483648", false, 2},
                      CountCase{"10000", false, 10000}, CountCase{"", false, 2},
                      CountCase{"16 ", false, 2}, CountCase{"99999999999", false, 2},
                      CountCase{"AVE", true, 2}));

TEST(AcquireDialogTest, EnvelopeNoLimitIsShownAsNlAndSentAsInfi) {
    test::TempDir dir;
    SimLink sim(dir, 9);
    test::RecordingNotifier notes;
    AcquireDialogState s;
    s.deviceType = 9;
    sim.Transport().SendCommand("ACQ:MOD AVERAGE;NUMEN INFI;NUMAV 64");
    sim.Log();
    ReadAcquireState(sim.Transport(), s);
    EXPECT_EQ(s.mode, 4);  // AVERAGE checks Average
    EXPECT_EQ(s.EnvelopeText(), "nl");
    EXPECT_EQ(s.AverageText(), "64");
    EXPECT_EQ(sim.Log(), "ACQ:MOD?|ACQ:NUMAV?|ACQ:NUMEN?");
    s.envelopes = 256;
    s.EnvelopePlus();
    EXPECT_EQ(s.EnvelopeText(), "nl");
    std::vector<int> waits;
    ASSERT_TRUE(
        TransferAcquireState(sim.Transport(), notes, 3, s, [&](int ms) { waits.push_back(ms); }));
    EXPECT_EQ(waits, std::vector<int>{500});
    EXPECT_EQ(sim.Log(), "ACQ:MOD ENV|ACQ:NUMAV 64|ACQ:NUMEN INFI|ACQ:MOD?|ACQ:NUMAV?|ACQ:NUMEN?");
    EXPECT_EQ(s.mode, 3);
}

TEST(AcquireDialogTest, Type2NeverAsksOrSendsTheEnvelope) {
    test::TempDir dir;
    SimLink sim(dir, 2);
    test::RecordingNotifier notes;
    AcquireDialogState s;
    s.deviceType = 2;
    EXPECT_FALSE(s.EnvelopeEnabled());
    EXPECT_FALSE(s.HiResEnabled());
    ReadAcquireState(sim.Transport(), s);
    ASSERT_TRUE(TransferAcquireState(sim.Transport(), notes, 1, s, [](int) {}));
    EXPECT_EQ(sim.Log(), "ACQ:MOD?|ACQ:NUMAV?|ACQ:MOD SAM|ACQ:NUMAV 16|ACQ:MOD?|ACQ:NUMAV?");
    // No mode chosen: message 14 and nothing sent.
    EXPECT_FALSE(TransferAcquireState(sim.Transport(), notes, 0, s, [](int) {}));
    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0].stringId, 10014);
    EXPECT_EQ(sim.Log(), "");
}

}  // namespace
}  // namespace ktx

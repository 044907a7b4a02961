// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/acquisition_control.h"

#include "config/notifier.h"
#include "config/profile_file.h"
#include "config/program_state.h"
#include "link/command_transport.h"

namespace ktx {

namespace {

constexpr int kMsgAutosetup = 35;
constexpr int kMsgFactorysetup = 36;
constexpr int kMsgModeNotRead = 39;
constexpr int kModeSettleMs = 1000;

}  // namespace

AcquisitionControl::AcquisitionControl(CommandTransport& transport, ControlTimer& getTim,
                                       ControlTimer& snglTim, AcquisitionHooks hooks)
    : m_transport(transport), m_getTim(getTim), m_snglTim(snglTim), m_hooks(std::move(hooks)) {}

void AcquisitionControl::Show(const std::string& text) {
    if (m_hooks.showState) {
        m_hooks.showState(text);
    }
}

void AcquisitionControl::SetControlMode(bool on) {
    if (on) {
        m_armed = false;
        return;
    }
    // Dauer and Stop keep their state until Stop is pressed.
    m_getTim.Stop();
    m_snglTim.Stop();
    Show("");
}

void AcquisitionControl::Single_buttonClick() {
    // The first press stops after one sequence; once armed, a press re-arms.
    if (!m_armed) {
        m_transport.SendCommand("ACQ:STOPA SEQ");
        m_armed = true;
    } else {
        m_transport.SendCommand("ACQ:STATE RUN");
    }
    m_snglTim.Start();
}

void AcquisitionControl::sngl_timTimer() {
    if (m_transport.Query("TRIG:STATE?").find("SAV") != std::string::npos) {
        m_snglTim.Stop();
        Show("Trigger");
        if (m_hooks.fetchPicture) {
            m_hooks.fetchPicture();
        }
    } else {
        Show("Wait for Trig");
    }
}

void AcquisitionControl::Run_buttonClick() {
    m_snglTim.Stop();
    m_transport.SendCommand("ACQ:STOPA RUNST");
    m_transport.SendCommand("ACQ:STATE RUN");
    m_armed = false;
    Show("");
}

void AcquisitionControl::Dauer_buttonClick() {
    m_getTim.Start();
    m_countdown = kFetchEverySeconds;
    m_dauerEnabled = false;
    m_stopEnabled = true;
}

void AcquisitionControl::get_timTimer() {
    --m_countdown;
    Show("Wait:" + std::to_string(m_countdown) + "s");
    if (m_countdown <= 0) {
        if (m_hooks.fetchPicture) {
            m_hooks.fetchPicture();
        }
        m_countdown = kFetchEverySeconds;
    }
}

void AcquisitionControl::Stop_buttonClick() {
    m_getTim.Stop();
    Show("");
    m_dauerEnabled = true;
    m_stopEnabled = false;
}

void Autosetup(CommandTransport& transport, Notifier& notifier) {
    if (!transport.SendCommand("AUTOS EXEC")) {
        ShowErrorMsg(notifier, kMsgAutosetup, 1);
    }
}

void Factorysetup(CommandTransport& transport, Notifier& notifier) {
    if (transport.SendCommand("CLEARM") && !transport.SendCommand("FAC")) {
        ShowErrorMsg(notifier, kMsgFactorysetup, 6);
    }
}

std::optional<int> DisplayModeFromAnswer(const std::string& answer) {
    if (answer.find("SCO") != std::string::npos) {
        return kModeOscilloscope;
    }
    if (answer.find("MET") != std::string::npos) {
        return kModeMultimeter;
    }
    return std::nullopt;
}

bool ReadDisplayMode(CommandTransport& transport, Notifier& notifier, int& operatingMode) {
    const std::optional<int> mode = DisplayModeFromAnswer(transport.Query("DIS:MOD?"));
    if (!mode) {
        ShowErrorMsg(notifier, kMsgModeNotRead, 4);
        return false;
    }
    operatingMode = *mode;
    return true;
}

bool SetDisplayMode(int mode, CommandTransport& transport, Notifier& notifier, ProgramState& state,
                    const std::function<void(int ms)>& wait,
                    const std::function<void()>& modeRead) {
    auto read = [&] {
        if (ReadDisplayMode(transport, notifier, state.operatingMode) && modeRead) {
            modeRead();
        }
    };
    read();
    if (mode == state.operatingMode) {
        return false;
    }
    if (mode == kModeMultimeter) {
        transport.SendCommand("DIS:MOD MET");
        transport.SendCommand("CLEARM");
    } else {
        transport.SendCommand("DIS:MOD SCO");
    }
    wait(kModeSettleMs);
    read();
    if (mode != state.operatingMode) {
        wait(kModeSettleMs);
        read();
    }
    ProfileFile(state.iniFileName)
        .WriteString("DEVICE", "MODE", std::to_string(state.operatingMode));
    return true;
}

}  // namespace ktx

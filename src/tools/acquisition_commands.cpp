// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/acquisition_commands.h"

#include <QAction>
#include <QWidget>

#include "app/child_window.h"
#include "app/icons.h"
#include "app/shell.h"
#include "app/wait_routines.h"
#include "config/program_state.h"
#include "link/command_transport.h"
#include "tools/tacq_dlg.h"

namespace ktx {

QtControlTimer::QtControlTimer(QObject* parent, const char* name, int ms)
    : m_timer(new QTimer(parent)) {
    m_timer->setObjectName(QString::fromUtf8(name));
    m_timer->setInterval(ms);
}

AcquisitionCommands::AcquisitionCommands(Shell& shell, ShellServices& services)
    : m_shell(shell),
      m_getTim(shell.Window(), "get_tim", AcquisitionControl::kTimerMs),
      m_snglTim(shell.Window(), "sngl_tim", AcquisitionControl::kTimerMs) {
    m_control = std::make_unique<AcquisitionControl>(
        shell.Transport(), m_getTim, m_snglTim,
        AcquisitionHooks{[&services] { services.FetchPicture(); },
                         [this](const std::string& text) { m_shell.SetStatusText(text); }});
    // Each tick runs to its end, the fetch included, before the next is served: a tick that
    // came while a fetch was running is not queued up behind it.
    QObject::connect(m_getTim.Timer(), &QTimer::timeout, m_getTim.Timer(), [this] {
        TransferCursorScope busy;
        m_control->get_timTimer();
    });
    QObject::connect(m_snglTim.Timer(), &QTimer::timeout, m_snglTim.Timer(), [this] {
        TransferCursorScope busy;
        m_control->sngl_timTimer();
    });
    shell.Claim(QStringLiteral("Steuerung1"), [this] { SteuerungClick(); });
    shell.Claim(QStringLiteral("Single_button"), [this] {
        TransferCursorScope busy;
        m_control->Single_buttonClick();
    });
    shell.Claim(QStringLiteral("Run_button"), [this] {
        TransferCursorScope busy;
        m_control->Run_buttonClick();
    });
    shell.Claim(QStringLiteral("Dauer_button"), [this] {
        m_control->Dauer_buttonClick();
        ShowButtons();
    });
    shell.Claim(QStringLiteral("Stop_button"), [this] {
        m_control->Stop_buttonClick();
        ShowButtons();
    });
    shell.Claim(QStringLiteral("Autosetup1"), [this] {
        TransferCursorScope busy;
        Autosetup(m_shell.Transport(), m_shell.Messages());
    });
    shell.Claim(QStringLiteral("Factorysetup1"), [this] {
        TransferCursorScope busy;
        Factorysetup(m_shell.Transport(), m_shell.Messages());
    });
    shell.Claim(QStringLiteral("DMM1"), [this] { SetDisplayModeClick(kModeMultimeter); });
    shell.Claim(QStringLiteral("Scope1"), [this] { SetDisplayModeClick(kModeOscilloscope); });
    shell.Claim(QStringLiteral("Acquire1"), [this] { AcquireClick(); });
}

AcquisitionCommands::~AcquisitionCommands() = default;

void AcquisitionCommands::ShowButtons() {
    m_shell.Action(QStringLiteral("Dauer_button"))->setEnabled(m_control->DauerEnabled());
    m_shell.Action(QStringLiteral("Stop_button"))->setEnabled(m_control->StopEnabled());
}

void AcquisitionCommands::SteuerungClick() {
    ProgramState& state = m_shell.State();
    state.controlMode = !state.controlMode;
    const bool on = state.controlMode;
    m_shell.Action(QStringLiteral("Steuerung1"))->setChecked(on);
    m_shell.Action(QStringLiteral("Steu_button"))
        ->setIcon(MakeIcon(on ? IconKind::ControlOn : IconKind::ControlOff));
    if (QWidget* panel = m_shell.Window()->findChild<QWidget*>(QStringLiteral("Steu_panel"))) {
        panel->setVisible(on);
    }
    m_control->SetControlMode(on);
    m_shell.UpdateMenuItems();
}

void AcquisitionCommands::SetDisplayModeClick(int mode) {
    bool changed = false;
    {
        TransferCursorScope busy;
        changed = SetDisplayMode(
            mode, m_shell.Transport(), m_shell.Messages(), m_shell.State(),
            [](int ms) { WaitWithCursor(ms); }, [this] { m_shell.ShowStatus(); });
    }
    if (changed) {
        m_shell.ApplyDeviceMenus();
        m_shell.UpdateMenuItems();
    }
    m_shell.ShowStatus();  // the check marks follow the mode, not the click
}

void AcquisitionCommands::AcquireClick() {
    TAcq_dlg dialog(m_shell.Transport(), m_shell.Messages(), m_shell.State().deviceType,
                    m_shell.Window());
    dialog.exec();
}

}  // namespace ktx

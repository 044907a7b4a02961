// SPDX-License-Identifier: GPL-3.0-or-later
// The MDI main window: menus, tool bar, acquisition panel and status line; the start-up
// sequence, the presence check and the menu state by instrument, connection and control mode.
// It owns the program-wide state and the link for the whole run.
#pragma once

#include <QMainWindow>
#include <QMap>
#include <memory>
#include <vector>

#include "app/child_window.h"
#include "app/shell_logic.h"
#include "config/program_state.h"
#include "link/command_transport.h"
#include "view/tktxview.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QTextEdit;
class QPrinter;
class QToolBar;
class QWidget;

namespace ktx {

class Notifier;
class SplashForm;
class StatusLine;

struct MainFormOptions {
    bool showSplash = true;
    // Where messages go; the window's own message boxes when null (tests record them).
    Notifier* notifier = nullptr;
};

class TMainForm : public QMainWindow, public ShellServices, public WaveViewHost {
    Q_OBJECT
  public:
    TMainForm(ProgramState state, MainFormOptions options = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    ProgramState& State() { return m_state; }
    CommandTransport& Transport() { return m_transport; }
    StatusLine* Status() const { return m_status; }
    QMdiArea* MdiArea() const { return m_mdi; }
    // Actions and menus by their component names ("Fernbedienung1", "Get_button", ...).
    QAction* Action(const QString& name) const { return m_actions.value(name); }
    QMenu* Menu(const QString& name) const { return m_menus.value(name); }

    // The steps the first activation runs: splash and presence check.
    void FirstActivation();
    void CheckInstrument();
    void ApplyDeviceMenus();
    void UpdateMenuItems();
    void ApplyConnectionState();
    void ShowStatus();

    // ShellServices
    void FetchPicture() override;
    void OpenFileByExtension(const std::string& fileName) override;
    ProgressSink& Progress() override;
    void ImageWindowClosing() override;

    // WaveViewHost
    bool RequestRange(const RangeRequest& request) override;
    void RequestRecompression(const RecompressionRequest& request) override;

    // Opens a waveform view on what `setup` describes; false when there was nothing to show.
    bool OpenView(const ViewSetup& setup);

  protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenus();
    void BuildToolBar();
    void BuildAcquisitionPanel();
    void BuildApplicationMenu();
    void Startup();
    void ApplyMenuState();
    void NotConnected();
    void ReadDisplayMode();
    void NotYet(const QString& what);
    KtxChildWindow* ActiveChild() const;
    void WithActiveChild(void (KtxChildWindow::*call)());

    QAction* AddAction(QMenu* menu, const QString& name, const QString& caption);
    QMenu* AddMenu(QMenu* parent, const QString& name, const QString& caption);

    // Menu commands.
    void ToggleColour();
    void SelectInterface();
    void InterfaceSettings();
    void SelectInstrument();
    void ShowTestDialog();
    void ShowHardwareInfo();
    void ShowAbout();
    void ShowHelp();
    void PrinterSetup();
    void PrintActive();
    void ShowViewer();
    // "&Einlesen WF" (mode 3) and "&Ausgeben WF" (mode 2).
    void TransferWaveform(int mode);
    void SetStatusText(const std::string& text);
    ViewFiles Files() const;
    void MinimiseAll();
    void ArrangeIcons();

    ProgramState m_state;
    MainFormOptions m_options;
    std::unique_ptr<Notifier> m_ownNotifier;
    Notifier& m_notifier;
    CommandTransport m_transport;
    QMdiArea* m_mdi;
    StatusLine* m_status;
    QToolBar* m_speedPanel = nullptr;
    QWidget* m_steuPanel = nullptr;
    QTextEdit* m_memo1 = nullptr;
    SplashForm* m_splash = nullptr;
    std::unique_ptr<QPrinter> m_printer;
    bool m_showAfterReading = false;  // "Anzeigen" of the waveform file dialog, kept per run
    QMap<QString, QAction*> m_actions;
    QMap<QString, QMenu*> m_menus;
    std::vector<AppEntry> m_appEntries;
    bool m_firstActivation = true;
    bool m_splashWait = true;
};

}  // namespace ktx

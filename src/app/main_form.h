// SPDX-License-Identifier: GPL-3.0-or-later
// The MDI main window: menus, tool bar, acquisition panel and status line; the start-up
// sequence, the presence check and the menu state by instrument, connection and control mode.
// It owns the program-wide state and the link for the whole run and dispatches menu commands to
// the subsystems (link, waveform, view, ...), each of which claims its own actions.
#pragma once

#include <QMainWindow>
#include <QMap>
#include <QSet>
#include <memory>

#include "app/child_window.h"
#include "app/shell.h"
#include "config/program_state.h"
#include "link/command_transport.h"

class QMdiArea;
class QMenu;
class QTextEdit;
class QToolBar;

namespace ktx {

class AcquisitionCommands;
class LoggerCommands;
class LiveCommands;
class AnalysisCommands;
class ImageCommands;
class MeasureCommands;
class LinkCommands;
class ShellCommands;
class SplashForm;
class ViewCommands;
class WaveformCommands;

struct MainFormOptions {
    bool showSplash = true;
    // Where messages go; the window's own message boxes when null (tests record them).
    Notifier* notifier = nullptr;
};

class TMainForm : public QMainWindow, public Shell, public ShellServices {
    Q_OBJECT
  public:
    TMainForm(ProgramState state, MainFormOptions options = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    QMdiArea* MdiArea() const { return m_mdi; }
    // Menus by their component names ("Fernbedienung1", ...).
    QMenu* Menu(const QString& name) const { return m_menus.value(name); }

    // The steps the first activation runs: splash and presence check.
    void FirstActivation();
    void ApplyConnectionState();

    // Shell
    ProgramState& State() override { return m_state; }
    CommandTransport& Transport() override { return m_transport; }
    Notifier& Messages() override { return m_notifier; }
    StatusLine& Status() override { return *m_status; }
    QWidget* Window() override { return this; }
    void Claim(const QString& actionName, std::function<void()> handler) override;
    QAction* Action(const QString& name) const override { return m_actions.value(name); }
    QMdiSubWindow* AddDocument(QWidget* child, IconKind icon) override;
    KtxChildWindow* ActiveChild() const override;
    void OpenFileByExtension(const std::string& fileName) override;
    void UpdateMenuItems() override;
    void ApplyDeviceMenus() override;
    void CheckInstrument() override;
    void ShowStatus() override;
    void SetStatusText(const std::string& text) override;

    // ShellServices
    void FetchPicture() override;
    ProgressSink& Progress() override;
    void ImageWindowClosing() override;

    ImageCommands& Images() { return *m_imageCommands; }
    AcquisitionCommands& Acquisition() { return *m_acquisitionCommands; }
    LoggerCommands& Loggers() { return *m_loggerCommands; }

  protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenus();
    void BuildWindowMenu();
    void BuildToolBar();
    void BuildAcquisitionPanel();
    void ClaimOwnActions();
    void SayNotYetForTheRest();
    void Startup();
    void ApplyMenuState();
    void NotConnected();
    void ReadDisplayMode();
    void NotYet(const QString& what);
    void WithActiveChild(void (KtxChildWindow::*call)());
    // "&Nebeneinander" (tile) or "Ü&berlappend" (cascade), inside the client area as it is.
    void ArrangeDocuments(bool tile);
    QSize UsableDocumentSize() const;
    int DocumentStep() const;
    void MinimiseAll();
    void ArrangeIcons();

    QAction* AddAction(QMenu* menu, const QString& name, const QString& caption);
    QMenu* AddMenu(QMenu* parent, const QString& name, const QString& caption);

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
    QMap<QString, QAction*> m_actions;
    QMap<QString, QMenu*> m_menus;
    QSet<QString> m_claimed;
    // The subsystems' commands, made after the menus they claim actions of.
    std::unique_ptr<ShellCommands> m_shellCommands;
    std::unique_ptr<LinkCommands> m_linkCommands;
    std::unique_ptr<WaveformCommands> m_waveformCommands;
    std::unique_ptr<ViewCommands> m_viewCommands;
    std::unique_ptr<AnalysisCommands> m_analysisCommands;
    std::unique_ptr<ImageCommands> m_imageCommands;
    std::unique_ptr<AcquisitionCommands> m_acquisitionCommands;
    std::unique_ptr<MeasureCommands> m_measureCommands;
    std::unique_ptr<LoggerCommands> m_loggerCommands;
    std::unique_ptr<LiveCommands> m_liveCommands;
    bool m_firstActivation = true;
    bool m_splashWait = true;
};

}  // namespace ktx

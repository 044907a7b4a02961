// SPDX-License-Identifier: GPL-3.0-or-later
// What a subsystem's menu commands may use of the main window. The main window builds the menus
// and buttons (their names and captions), owns the program-wide state and the link, and hands
// itself to each subsystem as a Shell; the subsystem claims the actions it serves and keeps its
// dialogs to itself. Actions nobody claims say "noch nicht verfügbar".
//
// User-interface thread only.
#pragma once

#include <QString>
#include <functional>
#include <string>

class QAction;
class QMdiSubWindow;
class QWidget;

namespace ktx {

class CommandTransport;
class KtxChildWindow;
class Notifier;
class StatusLine;
struct ProgramState;
enum class IconKind;

class Shell {
  public:
    virtual ~Shell() = default;

    virtual ProgramState& State() = 0;
    virtual CommandTransport& Transport() = 0;
    virtual Notifier& Messages() = 0;
    // Progress bar, counter and the status line's texts.
    virtual StatusLine& Status() = 0;
    // The parent for dialogs.
    virtual QWidget* Window() = 0;

    // Runs `handler` when the action (or tool button) of that component name is triggered.
    virtual void Claim(const QString& actionName, std::function<void()> handler) = 0;
    virtual QAction* Action(const QString& name) const = 0;

    // Shows `child` as a document window of the client area, fully visible at a usable size.
    virtual QMdiSubWindow* AddDocument(QWidget* child, IconKind icon) = 0;
    virtual KtxChildWindow* ActiveChild() const = 0;
    // Opens a file in the view its extension calls for.
    virtual void OpenFileByExtension(const std::string& fileName) = 0;

    // After the instrument, the link or the open windows changed.
    virtual void UpdateMenuItems() = 0;
    virtual void ApplyDeviceMenus() = 0;
    virtual void CheckInstrument() = 0;
    virtual void ShowStatus() = 0;
    // Time_panel: the transfer or processing step in progress.
    virtual void SetStatusText(const std::string& text) = 0;
};

}  // namespace ktx

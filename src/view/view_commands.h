// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform views' side of the main window: opening files in the view their extension calls
// for ("&Viewer", the command line, dropped files, finished transfers), the views' requests to
// cut and recompress, and printing ("&Drucken", "&Drucker").
#pragma once

#include <QPrinter>
#include <memory>
#include <string>

#include "view/tktxview.h"

namespace ktx {

class Shell;

class ViewCommands final : public WaveViewHost {
  public:
    // Claims the actions; the shell outlives this object.
    explicit ViewCommands(Shell& shell);
    ~ViewCommands() override;

    // Imports foreign formats first; files of more than 80 000 records open compressed.
    void OpenFile(const std::string& fileName);
    // Opens a waveform view on what `setup` describes; false when there was nothing to show.
    bool OpenView(const ViewSetup& setup);
    void ShowViewer();
    // Prints the active document; without a printer into a PDF file the user names.
    void PrintActive();
    void PrinterSetup();

    // WaveViewHost
    bool RequestRange(const RangeRequest& request) override;
    void RequestRecompression(const RecompressionRequest& request) override;
    ProgressSink& Progress() override;

  private:
    ViewFiles Files() const;
    QPrinter& Printer();

    Shell& m_shell;
    // The views' own files, in the scratch folder.
    std::shared_ptr<ViewFileStore> m_store;
    std::unique_ptr<QPrinter> m_printer;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The contract between the main window and its document windows (waveform, FFT and math views,
// the image window): what the main window asks of the active child, and what a child may ask
// of the main window.
#pragma once

#include <string>

namespace ktx {

class ProgressSink;

// Implemented by every MDI child.
class KtxChildWindow {
  public:
    virtual ~KtxChildWindow() = default;
    virtual void PrintYourself() = 0;  // "&Drucken", Druckbutton
    virtual void SaveYourself() = 0;   // "Speichern &unter...", "&Speichern", SaveBtn
    virtual void CopyYourself() = 0;   // Copybutton: to the clipboard
    virtual bool IsImageWindow() const { return false; }
};

// Implemented by the main window for its children.
class ShellServices {
  public:
    virtual ~ShellServices() = default;
    // Fetch a screen picture from the instrument now.
    virtual void FetchPicture() = 0;
    // Open a file in the view its extension calls for (.KTX/.WFM waveform view, .FFT, .MTH).
    virtual void OpenFileByExtension(const std::string& fileName) = 0;
    // The status line's progress bar and byte counter.
    virtual ProgressSink& Progress() = 0;
    // The image window is closing: forget it.
    virtual void ImageWindowClosing() = 0;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis side of the main window: "&FFT" and "&Math" > "1Kanal" / "2Kanal" (and the speed
// buttons fftButton, M1button, M2Button, which run them), and opening ".fft" and ".mth" files in
// their views.
#pragma once

#include <string>

namespace ktx {

class Shell;

class AnalysisCommands {
  public:
    // Claims the actions; the shell outlives this object.
    explicit AnalysisCommands(Shell& shell);

    void ShowFftDialog();
    void ShowMathDialog();
    void ShowMath2Dialog();

  private:
    Shell& m_shell;
    std::string m_folder;  // the folder the dialogs show first (empty: the working folder)
};

// Opens `path` in the FFT view (".fft") or the math view (".mth") as a document of the main
// window; false when the extension is neither or the view could not load the file (it has said
// why).
bool OpenAnalysisView(Shell& shell, const std::string& path);

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform transfer's menu commands: "&Einlesen WF" (instrument to file) and "&Ausgeben WF"
// (file to the instrument's reference memory).
#pragma once

namespace ktx {

class Shell;

class WaveformCommands {
  public:
    // Claims the actions; the shell outlives this object.
    explicit WaveformCommands(Shell& shell);

    // kModeRead or kModeWrite of the waveform file dialog.
    void TransferWaveform(int mode);

  private:
    Shell& m_shell;
    bool m_showAfterReading = false;  // "Anzeigen" of the waveform file dialog, kept per run
};

}  // namespace ktx

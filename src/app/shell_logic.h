// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window shows, computed without a window: which menus and buttons are visible
// and enabled, the status line texts, the "Application" menu entries, and the presence check.
#pragma once

#include <string>
#include <vector>

#include "config/program_state.h"

namespace ktx {

class CommandTransport;
class ProfileFile;

struct MenuState {
    // By instrument and operating mode.
    bool modusVisible = false;        // "&Modus"
    bool remoteScopeVisible = false;  // "&Fernbedienung" of the oscilloscope
    bool remoteMeterVisible = false;  // "&Fernbedienung" of the multimeter
    bool scannerVisible = false;      // "&Scanner"
    bool setupVisible = false;        // "&Setup"
    bool waveformVisible = false;     // "&Waveform"
    bool erfassungVisible = false;    // "&Erfassung"
    bool telecomVisible = false;      // "&Telecom"

    // By control mode and open windows.
    bool optionsEnabled = true;         // "&Optionen", "&Datei", "&Tools", FFT, M1, M2
    bool saveVisible = false;           // "&Speichern" (image window active)
    bool saveAsVisible = true;          // "Speichern &unter..."
    bool childCommandsEnabled = false;  // save as, print, copy, the "&Fenster" commands
    bool controlButtonVisible = true;   // Steu_button
    bool colourEnabled = false;         // "&Farbe zulassen"
    bool colourChecked = false;

    // By connection.
    bool instrumentMenusEnabled = false;  // Setup, Waveform, Fernbedienung, Modus, Scanner,
                                          // Datenlogger, Messen, Bild holen
    bool scanButtonEnabled = false;
    bool controlButtonEnabled = false;
};

// ApplyDeviceMenus, UpdateMenuItems and ApplyConnectionState in one.
MenuState ComputeMenuState(const ProgramState& state, int childCount, bool imageWindowActive);

// dev_panel: the instrument's name; for type 9 two blanks and the mode ("Oscilloscope", "DMM").
std::string DeviceStatusText(const std::string& deviceName, int deviceType, int operatingMode);
// sst_panel: the library name before its first ".", a blank, " COM<port>" (RS232) or
// " DEV<port>", and a final blank.
std::string InterfaceStatusText(const std::string& linkLibrary, int linkType, int linkPort);

// The identification answer names the instrument: NAME occurs in it, or, for a NAME of two
// parts joined by "_", both parts occur in it (in any order).
bool DeviceNameMatches(const std::string& deviceName, const std::string& answer);

enum class Presence {
    NotAsked,      // no instrument selected: nothing was asked
    Connected,     // it answered and is the selected one
    WrongDevice,   // it answered, but is another instrument (still counts as connected)
    NotConnected,  // no answer
};

// The presence check: "COMU?" for type 30, "!V?" for type 20, "*IDN?" otherwise; type 19 cannot
// identify itself and is taken as present.
Presence CheckInstrumentPresence(CommandTransport& transport, int deviceType,
                                 const std::string& deviceName);

struct AppEntry {
    std::string path;     // what to start: a program, document or folder
    std::string caption;  // menu caption
};

struct InterfaceEntry {
    int kinds = 0;        // [SSDLL] T<n>: interface bits; becomes LinkType when chosen
    std::string library;  // N<n>
    std::string text;     // B<n>, shown in the list
};

// The interface libraries [SSDLL] offers for an instrument whose interface mask is `mask`: an
// entry is offered only when every bit of its T<n> is set in the mask.
std::vector<InterfaceEntry> ReadInterfaceEntries(const ProfileFile& ini, int mask);
// The entry to preselect: the last whose library equals `linkLibrary` ignoring case; -1: none.
int PreselectedInterface(const std::vector<InterfaceEntry>& entries,
                         const std::string& linkLibrary);

// The user's "Application" menu: [APP] ANZ entries (at most 10), keys F1..F9, N1..N9 and, for a
// tenth entry, "F:" and "N:" (the character after "9").
std::vector<AppEntry> ReadAppEntries(const ProfileFile& ini);

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The hard-copy sequences: `FetchScreenPicture`'s transfer (the picture to show) and
// `ExportScreenPicture` (the instrument's own file format into a file the user named), per
// device type. Each step runs only while every step before it succeeded; one message (40) says
// that the picture could not be read, and settings changed for the picture (ink saver,
// compression) go back to what was read of them in every case. Received files go to a
// temporary name next to their target first, so a failed fetch leaves nothing half written.
//
// UI-free: the shell passes the pause (WaitWithCursor) and what shows the type-19 instructions.
// User-interface thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "config/device_file.h"

namespace ktx {

class CommandTransport;
class Notifier;
struct ProgramState;

constexpr int kMsgPictureNotRead = 40;
constexpr int kMsgDisplayLibrary = 45;
constexpr int kMsgFormatNotImplemented = 302;
// The type-10 family's scratch file on the instrument.
constexpr const char* kInstrumentPictureFile = "c:\\KTX.TMP";

struct PictureFetchHooks {
    std::function<void(int ms)> wait;                 // WaitWithCursor
    std::function<void(bool show)> showInstructions;  // type 19: "Interaktives Bildlesen:"
};

class ScreenPictureFetch {
  public:
    ScreenPictureFetch(CommandTransport& transport, Notifier& notifier, const ProgramState& state,
                       PictureFetchHooks hooks = {});

    // Runs the transfer of `FetchScreenPicture` and returns the file that now holds the new
    // picture (its extension says how to read it); empty when there is none (a message has
    // been shown where one is due).
    std::string Fetch();

    // `ExportScreenPicture` once the user chose `format` and `target`. False on failure
    // (message shown).
    bool Export(const ExportFormat& format, const std::string& target);

    // The file name of the temporary picture with another extension ("png" -> ktx_tmp.png).
    std::string TempPictureAs(const std::string& ext) const;

  private:
    std::string FetchHardcopy();
    std::string FetchExported();
    std::string FetchInteractive();
    std::string FetchDisplayText();
    std::string PortCommand() const;
    // "HEADER OFF", the query, "HEADER ON": the answer (empty when none came).
    std::string QueryWithoutHeader(const std::string& query);
    // Queries "ACQ:STATE?" and stops the acquisition; true when it was running.
    bool StopAcquisition();
    void Wait(int ms);

    CommandTransport& m_transport;
    Notifier& m_notifier;
    const ProgramState& m_state;
    PictureFetchHooks m_hooks;
};

// "FILES:PRI" of the instrument's picture file, as the type-10 family takes it.
std::string PrintFileCommand();

// `IsBmpFile`: at least 3 bytes, the first two "BM".
bool IsBmpFile(const std::string& fileName);

// The display conversion of the handheld family: loads the library `name` from `programDir`
// (".DLL" names as ".so"), converts `displayText` into `targetFile` (through a temporary file)
// and unloads it. Message 45 when the library or its entry point is missing (then `loaded` is
// false); false without a message when the conversion failed.
bool ConvertDisplayText(const std::string& programDir, const std::string& name,
                        const std::string& displayText, const std::string& targetFile,
                        Notifier& notifier, bool& loaded);

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/screen_picture_fetch.h"

#include <QLibrary>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <system_error>

#include "config/notifier.h"
#include "config/profile_file.h"
#include "config/program_state.h"
#include "config/safe_file.h"
#include "images/ktx_conversion.h"
#include "images/picture_codec.h"
#include "link/command_transport.h"
#include "link/link_library.h"

namespace ktx {

namespace {

constexpr int kTypeAbortFirst = 2;
constexpr int kTypeFileSystem = 10;
constexpr int kTypeInkSaver = 12;
constexpr int kTypeImageFile = 14;
constexpr int kTypeInteractive = 19;
constexpr int kTypeHandheld = 20;
constexpr int kAbortWaitMs = 2000;
constexpr int kDefaultPictureWaitMs = 1000;
constexpr std::size_t kDisplayAnswerLength = 44;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string WithExtension(const std::string& fileName, const std::string& ext) {
    std::filesystem::path path(fileName);
    path.replace_extension("." + ext);
    return path.string();
}

// Receives the response to `command` as the picture `target`, which it replaces only when the
// response starts like a picture (BMP, PCX, PNG). An instrument that answers a hard copy with
// text (an error report, a disturbed line) would otherwise put a dozen bytes of text where the
// window expects its picture, and the fetch would count as done.
bool ReceivePicture(CommandTransport& transport, const std::string& target,
                    const std::string& command, int delayMs) {
    SafeFile file(target);
    if (!file.Begin() || !transport.ReceiveToFile(file.TempPath(), command, delayMs)) {
        return false;  // the temporary file goes with `file`
    }
    std::uint8_t head[8] = {};
    std::size_t got = 0;
    if (std::FILE* in = std::fopen(file.TempPath().c_str(), "rb")) {
        got = std::fread(head, 1, sizeof head, in);
        std::fclose(in);
    }
    if (SniffPicture(std::span<const std::uint8_t>(head, got)) == PictureKind::Unknown) {
        file.Discard();
        return false;
    }
    return file.Commit();
}

}  // namespace

std::string PrintFileCommand() {
    return "FILES:PRI " + Quoted(kInstrumentPictureFile) + ", GPIB";
}

bool IsBmpFile(const std::string& fileName) {
    FileError error;
    std::FILE* f = OpenSourceFile(fileName, error);
    if (f == nullptr) {
        return false;
    }
    unsigned char head[3] = {};
    const std::size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return n == 3 && head[0] == 'B' && head[1] == 'M';
}

bool ConvertDisplayText(const std::string& programDir, const std::string& name,
                        const std::string& displayText, const std::string& targetFile,
                        Notifier& notifier, bool& loaded) {
    loaded = false;
    std::string path = name.empty() ? std::string() : FindFileIgnoringCase(programDir, name);
    if (path.empty() && !name.empty()) {
        // Instrument files written for Windows name a ".DLL".
        path =
            FindFileIgnoringCase(programDir, std::filesystem::path(name).stem().string() + ".so");
    }
    QLibrary library(QString::fromStdString(path));
    const auto convert = path.empty() || !library.load()
                             ? nullptr
                             : reinterpret_cast<KtxConvertDisplayFunction>(
                                   library.resolve(KTX_CONVERT_DISPLAY_SYMBOL));
    if (convert == nullptr) {
        ShowErrorMsg(notifier, kMsgDisplayLibrary, 17);
        return false;
    }
    loaded = true;
    SafeFile target(targetFile);
    bool ok = target.Begin();
    if (ok) {
        std::string text = displayText;
        text.resize(KTX_DISPLAY_TEXT_LENGTH, ' ');
        ok = convert(text.c_str(), target.TempPath().c_str()) != 0 && IsBmpFile(target.TempPath());
        ok = ok ? target.Commit() : (target.Fail(EIO), false);
    }
    library.unload();
    return ok;
}

ScreenPictureFetch::ScreenPictureFetch(CommandTransport& transport, Notifier& notifier,
                                       const ProgramState& state, PictureFetchHooks hooks)
    : m_transport(transport), m_notifier(notifier), m_state(state), m_hooks(std::move(hooks)) {}

void ScreenPictureFetch::Wait(int ms) {
    if (m_hooks.wait) {
        m_hooks.wait(ms);
    }
}

std::string ScreenPictureFetch::TempPictureAs(const std::string& ext) const {
    return WithExtension(m_state.tempPicture, ext);
}

std::string ScreenPictureFetch::PortCommand() const {
    // The hard copy goes to the interface the program listens on; instruments on LAN and USB
    // take it as their remote interface like GPIB.
    return m_state.linkType == kLinkRs232 ? "HARDC:PORT RS232" : "HARDC:PORT GPIB";
}

std::string ScreenPictureFetch::QueryWithoutHeader(const std::string& query) {
    m_transport.SendCommand("HEADER OFF");
    const std::string answer = m_transport.Query(query);
    m_transport.SendCommand("HEADER ON");
    return answer;
}

bool ScreenPictureFetch::StopAcquisition() {
    const bool running = m_transport.Query("ACQ:STATE?").find('0') == std::string::npos;
    m_transport.SendCommand("ACQ:STATE STOP");
    return running;
}

std::string ScreenPictureFetch::Fetch() {
    const int type = m_state.deviceType;
    if (type >= kTypeHandheld) {
        return FetchDisplayText();
    }
    if (type == kTypeInteractive) {
        return FetchInteractive();
    }
    if (type == kTypeFileSystem) {
        return FetchExported();
    }
    return FetchHardcopy();
}

std::string ScreenPictureFetch::FetchHardcopy() {
    const int type = m_state.deviceType;
    const bool colour = m_state.colourEnabled;
    bool ok = false;
    // What was read of the settings the picture changes; only that goes back.
    std::optional<std::string> inkSaver;
    std::optional<std::string> compression;
    std::string target;
    auto inkSaverExchange = [&](bool onUnlessOne) {
        const std::string answer = QueryWithoutHeader("HARDCopy:INKSaver?");
        if (!answer.empty()) {
            inkSaver = answer;
        }
        // PCX switches the ink saver on whenever its state was read, BMP and PNG when it was
        // not on already.
        if (onUnlessOne ? answer != "1" : !answer.empty()) {
            ok = m_transport.SendCommand("HARDCopy:INKSaver ON");
        }
    };
    if (m_transport.SendCommand(PortCommand())) {
        switch (m_state.pictureFormat) {
            case kPicturePcx:
                ok = m_transport.SendCommand(colour ? "HARDC:FORM PCXcolor" : "HARDC:FORM PCX");
                if (ok && type == kTypeInkSaver && !colour) {
                    inkSaverExchange(false);
                }
                target = TempPictureAs("pcx");
                break;
            case kPictureBmp:
                ok = m_transport.SendCommand(colour ? "HARDC:FORM BMPcolor" : "HARDC:FORM BMP");
                if (ok && type == kTypeInkSaver && !colour) {
                    inkSaverExchange(true);
                }
                target = m_state.tempPicture;
                break;
            default:
                ok = m_transport.SendCommand(type == kTypeImageFile ? "SAVE:IMAGE:FILEF PNG"
                                             : colour               ? "HARDC:FORM PNGcolor"
                                                                    : "HARDC:FORM PNG");
                if (ok && (type == kTypeInkSaver || type == kTypeImageFile)) {
                    inkSaverExchange(true);
                }
                target = TempPictureAs("png");
                break;
        }
        if (ok) {
            if (m_transport.SendCommand("HARDC:LAY PORTR") && type == kTypeInkSaver) {
                const std::string answer = QueryWithoutHeader("HARDCopy:COMPRESSion?");
                if (!answer.empty()) {
                    compression = answer;
                    ok = m_transport.SendCommand("HARDCopy:COMPRESSion OFF");
                }
            }
            if (type == kTypeAbortFirst) {
                m_transport.SendCommand("HARDC:ABORT");
                Wait(kAbortWaitMs);
            }
            const bool running = StopAcquisition();
            const int delay = type == kTypeAbortFirst
                                  ? ReadDeviceWait(m_state.deviceIniFile, kDefaultPictureWaitMs)
                                  : 0;
            // The picture decides: a failed restart is not the picture's failure.
            ok = ok && ReceivePicture(m_transport, target, "HARDC START", delay);
            if (running) {
                m_transport.SendCommand("ACQ:STATE RUN");
            }
        }
    }
    if (type == kTypeInkSaver && compression) {
        m_transport.SendCommand("HARDCopy:COMPRESSion " + *compression);
    }
    if (inkSaver) {
        m_transport.SendCommand("HARDCopy:INKSaver " + *inkSaver);
    }
    if (!ok) {
        ShowErrorMsg(m_notifier, kMsgPictureNotRead, 4);
        return {};
    }
    return target;
}

std::string ScreenPictureFetch::FetchExported() {
    bool ok = m_transport.SendCommand("EXP:FILEN " + Quoted(kInstrumentPictureFile));
    ok = ok && m_transport.SendCommand("EXP:FORM BMP");
    ok = ok && m_transport.SendCommand(m_state.colourEnabled ? "EXP:PALE COLO" : "EXP:PALE GRAY");
    const bool running = StopAcquisition();
    ok = ok && m_transport.SendCommand("EXP START");
    if (running) {
        m_transport.SendCommand("ACQ:STATE RUN");
    }
    ok = ok && ReceivePicture(m_transport, m_state.tempPicture, PrintFileCommand(), 0);
    if (!ok) {
        ShowErrorMsg(m_notifier, kMsgPictureNotRead, 4);
        return {};
    }
    return m_state.tempPicture;
}

std::string ScreenPictureFetch::FetchInteractive() {
    if (m_hooks.showInstructions) {
        m_hooks.showInstructions(true);
    }
    const bool ok = ReceivePicture(m_transport, m_state.tempPicture, "", 0);
    if (m_hooks.showInstructions) {
        m_hooks.showInstructions(false);
    }
    if (!ok) {
        ShowErrorMsg(m_notifier, kMsgPictureNotRead, 4);
        return {};
    }
    if (IsBmpFile(m_state.tempPicture)) {
        return m_state.tempPicture;
    }
    // Anything else the instrument sends is its PCX.
    const std::string pcx = TempPictureAs("pcx");
    std::error_code ec;
    std::filesystem::rename(m_state.tempPicture, pcx, ec);  // replaces an older one at once
    if (ec) {
        ShowErrorMsg(m_notifier, kMsgPictureNotRead, 4);
        return {};
    }
    return pcx;
}

std::string ScreenPictureFetch::FetchDisplayText() {
    const std::string answer = m_transport.Query("!S?");
    if (answer.size() != kDisplayAnswerLength) {
        return {};  // not a display dump: nothing happens
    }
    const std::string name = ProfileFile(m_state.deviceIniFile).ReadString("CONVLIB", "NAME", "");
    bool loaded = false;
    if (ConvertDisplayText(m_state.programDir, name, answer.substr(4, KTX_DISPLAY_TEXT_LENGTH),
                           m_state.tempPicture, m_notifier, loaded)) {
        return m_state.tempPicture;
    }
    if (loaded) {
        ShowErrorMsg(m_notifier, kMsgPictureNotRead, 4);
    }
    return {};
}

bool ScreenPictureFetch::Export(const ExportFormat& format, const std::string& target) {
    const int type = m_state.deviceType;
    if (type >= kTypeHandheld) {
        ShowInfoMsg(m_notifier, kMsgFormatNotImplemented, 11);
        return false;
    }
    bool ok = false;
    if (type == kTypeFileSystem) {
        ok = m_transport.SendCommand("EXP:FILEN " + Quoted(kInstrumentPictureFile));
        ok = ok && m_transport.SendCommand("EXP:FORM " + format.name);
        ok = ok && m_transport.SendCommand("EXP:PALE COLO");
        const bool running = StopAcquisition();
        ok = ok && m_transport.SendCommand("EXP START");
        if (running) {
            m_transport.SendCommand("ACQ:STATE RUN");
        }
        ok = ok && m_transport.ReceiveToFile(target, PrintFileCommand(), 0);
    } else if (m_transport.SendCommand(PortCommand())) {
        ok = m_transport.SendCommand(
            (type == kTypeImageFile ? "SAVE:IMAGE:FILEF " : "HARDC:FORM ") + format.name);
        if (ok && m_transport.SendCommand("HARDC:LAY PORTR") && type == kTypeAbortFirst) {
            m_transport.SendCommand("HARDC:ABORT");
        }
        if (type == kTypeAbortFirst) {
            Wait(kAbortWaitMs);
        }
        const bool running = StopAcquisition();
        ok = ok && m_transport.ReceiveToFile(target, "HARDC START", 0);
        if (running) {
            m_transport.SendCommand("ACQ:STATE RUN");
        }
    }
    if (!ok) {
        ShowErrorMsg(m_notifier, kMsgPictureNotRead, 4);
    }
    return ok;
}

}  // namespace ktx

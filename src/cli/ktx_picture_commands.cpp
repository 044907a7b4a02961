// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ktx_picture_commands.h"

#include <filesystem>
#include <ostream>
#include <random>

#include "cli/ktx_commands.h"
#include "cli/ktx_link_commands.h"
#include "cli/stream_notifier.h"
#include "config/message_catalog.h"
#include "config/program_state.h"
#include "images/picture_codec.h"
#include "images/screen_picture_fetch.h"
#include "link/command_transport.h"

namespace ktx {

namespace {

constexpr int kMsgBadFormat = 12;
constexpr int kMsgBadFileName = 42;
constexpr const char* kPictureUsage =
    "Aufruf:\n"
    "  ktx hardcopy ZIEL [--format pcx|bmp|png] [--colour] [VERBINDUNG]\n"
    "  ktx picture QUELLE ZIEL.bmp|ZIEL.png\n";

// Message 40 with the link's cause of the failure, where the link knows it.
class CauseNotifier final : public Notifier {
  public:
    CauseNotifier(Notifier& inner, const LinkSession& session)
        : m_inner(inner), m_session(session) {}
    void Show(Severity severity, const Notice& notice) override {
        const LinkFailure failure = m_session.LatestFailure();
        if (notice.stringId == MessageCatalog::kMessageBase + kMsgPictureNotRead &&
            notice.extra.empty() && failure.Known()) {
            ShowLinkFailure(m_inner, kMsgPictureNotRead, failure);
            return;
        }
        m_inner.Show(severity, notice);
    }
    bool Confirm(const Notice& notice) override { return m_inner.Confirm(notice); }

  private:
    Notifier& m_inner;
    const LinkSession& m_session;
};

bool WriteTarget(const std::vector<std::uint8_t>& bytes, const std::string& target,
                 Notifier& notifier) {
    SafeFile out(target);
    bool ok = out.Begin();
    if (ok) {
        std::FILE* f = std::fopen(out.TempPath().c_str(), "wb");
        ok = f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        ok = (f != nullptr && std::fclose(f) == 0) && ok;
        if (!ok) {
            out.Fail(EIO);
        }
    }
    ok = ok && out.Commit();
    if (!ok) {
        ShowErrorMsgText(notifier, out.Error().Message(), out.Error().Text(), 0);
    }
    return ok;
}

bool SaveImage(const RgbImage& image, const std::string& target, Notifier& notifier) {
    FileError error;
    bool unsupported = false;
    if (SavePictureFile(image, target, error, unsupported)) {
        return true;
    }
    if (unsupported) {
        ShowErrorMsgText(notifier, kMsgBadFileName, target, 0);
    } else {
        ShowErrorMsgText(notifier, error.Message(), error.Text(), 0);
    }
    return false;
}

int Picture(const std::vector<std::string>& positional, std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    if (positional.size() != 2) {
        err << kPictureUsage;
        return kExitUsage;
    }
    const PictureKind targetKind = KindOfName(positional[1]);
    if (targetKind != PictureKind::Bmp && targetKind != PictureKind::Png) {
        ShowErrorMsgText(notifier, kMsgBadFileName, positional[1], 0);
        return kExitUsage;
    }
    RgbImage image;
    std::string reason;
    if (!LoadPictureFile(positional[0], image, reason)) {
        ShowErrorMsgText(notifier, kMsgBadFormat, positional[0] + ": " + reason, 0);
        return kExitFailure;
    }
    if (!SaveImage(image, positional[1], notifier)) {
        return kExitFailure;
    }
    out << image.width << " x " << image.height << '\n';
    return kExitOk;
}

int Hardcopy(const std::vector<std::string>& positional,
             const std::map<std::string, std::string>& options, const KtxEnvironment& env,
             std::ostream& out, std::ostream& err) {
    StreamNotifier plain(err);
    if (positional.size() != 1) {
        err << kPictureUsage;
        return kExitUsage;
    }
    const std::string& target = positional[0];
    std::optional<int> format;
    if (const auto f = options.find("--format"); f != options.end()) {
        format = f->second == "pcx"   ? kPicturePcx
                 : f->second == "bmp" ? kPictureBmp
                 : f->second == "png" ? kPicturePng
                                      : -1;
        if (*format < 0) {
            err << "Unbekanntes Bildformat: " << f->second << '\n' << kPictureUsage;
            return kExitUsage;
        }
    }
    LinkSession session(plain);
    if (const int code = session.Open(options, env, err); code != kExitOk) {
        return code;
    }
    CauseNotifier notifier(plain, session);
    const LinkChoice& choice = session.Choice();
    // The picture is received into a folder of its own, never into a scratch file another
    // process (the program, another ktx) may be using.
    std::random_device rd;
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path() /
        ("ktx-hardcopy-" + std::to_string(rd()) + std::to_string(rd()));
    std::error_code ec;
    std::filesystem::create_directories(scratch, ec);
    struct Cleanup {
        std::filesystem::path path;
        ~Cleanup() {
            std::error_code e;
            std::filesystem::remove_all(path, e);
        }
    } cleanup{scratch};

    ProgramState state;
    state.programDir = env.programDir;
    state.deviceType = choice.deviceType;
    state.linkType = choice.linkType;
    state.deviceIniFile = choice.deviceFile;
    state.pictureFormat = format ? *format : ReadPictureFormat(choice.deviceFile).format;
    state.colourEnabled = options.count("--colour") > 0;
    state.tempPicture = (scratch / "ktx_tmp.bmp").string();
    ScreenPictureFetch fetch(session.Transport(), notifier, state);
    const std::string fetched = fetch.Fetch();
    if (fetched.empty()) {
        return kExitFailure;
    }
    std::vector<std::uint8_t> bytes;
    FileError fileError;
    if (!ReadWholeFile(fetched, bytes, fileError)) {
        ShowErrorMsgText(plain, fileError.Message(), fileError.Text(), 0);
        return kExitFailure;
    }
    const PictureKind kind = SniffPicture(bytes);
    const PictureKind targetKind = KindOfName(target);
    bool ok = false;
    if (targetKind == kind || targetKind == PictureKind::Unknown) {
        ok = WriteTarget(bytes, target, plain);  // as the instrument sent it
    } else {
        RgbImage image;
        std::string reason;
        if (!LoadPictureFile(fetched, image, reason)) {
            ShowErrorMsgText(plain, kMsgBadFormat, reason, 0);
            return kExitFailure;
        }
        ok = SaveImage(image, target, plain);
    }
    if (ok) {
        out << target << '\n';
    }
    return ok ? kExitOk : kExitFailure;
}

}  // namespace

bool IsPictureCommand(const std::string& command) {
    return command == "hardcopy" || command == "picture";
}

int RunPictureCommand(const std::string& command, const std::vector<std::string>& positional,
                      const std::map<std::string, std::string>& options, const KtxEnvironment& env,
                      std::ostream& out, std::ostream& err) {
    return command == "picture" ? Picture(positional, out, err)
                                : Hardcopy(positional, options, env, out, err);
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Screen pictures and acquisition settings of the simulated instrument:
//   HARDCopy:PORT, :FORMat, :LAYout, :ABOrt          settings (queries answer them)
//   HARDCopy STARt                                   the screen picture, raw, no terminator
//   HARDCopy:INKSaver, :COMPRESSion                  type 12 (INKSaver also 14); an empty
//                                                    argument is a command error
//   SAVe:IMAGe:FILEFormat                            type 14
//   EXPort:FILEName, :FORMat, :PALEtte, EXPort STARt type 10: the picture goes into a file
//                                                    of the instrument ("FILES:PRI" sends it)
//   ACQuire:MODe, :NUMAVg, :NUMENv (INFInite = 0)    acquisition settings with queries
//   !S?                                              type 20: "S00:" and the 40 characters
//                                                    of the display
//   KTXSIM:BUTTon [MS]                               type 19: the user presses the hard-copy
//                                                    button; the picture leaves MS ms later
//   KTXSIM:PICTure CUT|LF|HASH|NONe, :PAUSe <ms>     the picture fault switches
// Which picture a format gives depends on the family (older ones have 2 and 16 colours,
// newer ones 256 and grey levels); the picture fault switches apply to every picture sent.
#include <algorithm>
#include <array>
#include <cstdio>

#include "command_table.h"
#include "instrument_state.h"
#include "number_format.h"
#include "screen_picture.h"

namespace ktx::sim {

namespace {

using State = InstrumentState;

std::string FirstArgument(const Call& call) {
    return call.arguments.empty() ? std::string() : std::string(Trim(call.arguments.front()));
}

void Illegal(State& s) {
    s.Error(-224, "Illegal parameter value");
}

bool Family(State& s, std::initializer_list<int> types) {
    for (int t : types) {
        if (s.config.deviceType == t) {
            return true;
        }
    }
    s.Error(-113, "Undefined header");
    return false;
}

std::optional<bool> Switch(const std::string& text) {
    const std::string upper = ToUpper(text);
    if (upper == "ON" || upper == "1") {
        return true;
    }
    if (upper == "OFF" || upper == "0") {
        return false;
    }
    return std::nullopt;
}

// Takes a setting from `choices` (header-style mnemonics); the long form is stored.
bool Choose(State& s, const Call& call, std::initializer_list<const char*> choices,
            std::string& value) {
    if (call.command.query) {
        s.Answer(call, s.verbose ? value : ShortForm(value));
        return false;
    }
    const std::string argument = FirstArgument(call);
    for (const char* choice : choices) {
        if (MatchesMnemonic(choice, argument)) {
            value = LongForm(choice);
            return true;
        }
    }
    Illegal(s);
    return false;
}

// --- the picture ----------------------------------------------------------------------------

std::uint32_t Crc32(const std::string& bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const unsigned char b : bytes) {
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

std::string BigEndian(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

ScreenContent Content(State& s) {
    ScreenContent content;
    content.title = "KTXSIM " + s.config.model + (s.running ? "  RUN" : "  STOP");
    static constexpr const char* kChannels[] = {"CH1", "CH2", "CH3", "CH4"};
    for (int i = 0; i < 4; ++i) {
        if (!s.displayed[kChannels[i]]) {
            continue;
        }
        const ChannelScale scale = s.ScaleOf(kChannels[i]);
        content.traces.push_back({s.Levels(kChannels[i]), scale.positionDivisions, 2 + i});
        char label[32];
        std::snprintf(label, sizeof label, "CH%d %.2fV", i + 1, scale.voltsPerDivision);
        content.labels.emplace_back(label);
    }
    content.labels.emplace_back("M 1.00ms");
    return content;
}

std::optional<PictureEncoding> EncodingFor(int type, const std::string& format, bool& grey) {
    const bool newer = type == 12 || type == 14 || type == 19;
    grey = false;
    if (format == "PCX") {
        grey = newer;
        return newer ? PictureEncoding::Pcx256 : PictureEncoding::Pcx2;
    }
    if (format == "PCXCOLOR") {
        return newer ? PictureEncoding::Pcx256 : PictureEncoding::Pcx16;
    }
    if (format == "BMP") {
        grey = type != 1 && type != 2 && type != 9;
        return grey ? PictureEncoding::Bmp8 : PictureEncoding::Bmp1;
    }
    if (format == "BMPCOLOR") {
        return newer ? PictureEncoding::Bmp8 : PictureEncoding::Bmp4;
    }
    if (format == "PNG") {
        // The type-14 family's "SAVE:IMAGE:FILEF PNG" is its colour screen.
        grey = type != 14;
        return PictureEncoding::PngColour;
    }
    if (format == "PNGCOLOR") {
        return PictureEncoding::PngColour;
    }
    if (format == "EPSIMAGE") {
        return PictureEncoding::Eps;
    }
    return std::nullopt;  // TIFF, RLE: not drawn here
}

// The picture with the fault switches applied that change its bytes.
std::optional<std::string> Picture(State& s, const std::string& format, bool colour) {
    bool grey = false;
    const auto encoding = EncodingFor(s.config.deviceType, format, grey);
    if (!encoding) {
        s.Error(-221, "Settings conflict; format not available");
        return std::nullopt;
    }
    std::string bytes =
        EncodePicture(DrawScreen(Content(s)), *encoding, grey || !colour, s.hardcopy.inkSaver);
    const FaultSwitches& f = s.Faults();
    if (f.pictureHash) {
        if (bytes.rfind("BM", 0) == 0) {
            bytes.replace(6, 3, "#1x");  // reserved words of the file header
        } else if (bytes[0] == '\x0a') {
            bytes.replace(74, 3, "#1x");  // filler of the PCX header
        } else if (bytes[0] == '\x89') {
            const std::string data = std::string("Comment\0#1x", 11);
            const std::string chunk = "tEXt" + data;
            bytes.insert(33, BigEndian(static_cast<std::uint32_t>(data.size())) + chunk +
                                 BigEndian(Crc32(chunk)));
        } else {
            bytes.insert(bytes.find('\n') + 1, "%#1x\n");
        }
    }
    if (f.pictureLineFeed && (bytes.rfind("BM", 0) == 0 || bytes[0] == '\x0a')) {
        bytes.back() = '\x0a';  // the last pixels, or the last blue of the 256-colour palette
    }
    if (f.pictureCut) {
        bytes.resize(bytes.size() / 2);
    }
    return bytes;
}

// Sends the picture unframed, with the pause fault's gap after its first line feed.
void SendPicture(State& s, std::string bytes) {
    const int pause = s.Faults().picturePauseMs;
    const std::size_t lf = bytes.find('\n');
    if (pause > 0 && lf != std::string::npos && lf + 1 < bytes.size()) {
        std::string tail = bytes.substr(lf + 1);
        bytes.resize(lf + 1);
        s.AnswerUnframed(std::move(bytes));
        s.AnswerLater(std::move(tail), pause);
        return;
    }
    s.AnswerUnframed(std::move(bytes));
}

// --- hard copy ---------------------------------------------------------------------------

void HardcopyPort(State& s, const Call& call) {
    Choose(s, call, {"RS232", "GPIb", "CENtronics", "USB", "ETHERnet"}, s.hardcopy.port);
}

void HardcopyFormat(State& s, const Call& call) {
    Choose(s, call,
           {"PCX", "PCXcolor", "BMP", "BMPColor", "PNG", "PNGColor", "EPSImage", "TIFf", "RLE"},
           s.hardcopy.format);
}

void HardcopyLayout(State& s, const Call& call) {
    Choose(s, call, {"PORTRait", "LANdscape"}, s.hardcopy.layout);
}

void HardcopyStart(State& s, const Call& call) {
    if (!MatchesMnemonic("STARt", FirstArgument(call))) {
        Illegal(s);
        return;
    }
    if (auto picture = Picture(s, s.hardcopy.format, true)) {
        SendPicture(s, std::move(*picture));
    }
}

void OnOff(State& s, const Call& call, bool& value) {
    if (call.command.query) {
        s.Answer(call, value ? "1" : "0");
        return;
    }
    const std::string argument = FirstArgument(call);
    if (argument.empty()) {
        s.Error(-109, "Missing parameter");  // "HARDCopy:INKSaver " with nothing read
        return;
    }
    if (const auto on = Switch(argument)) {
        value = *on;
    } else {
        Illegal(s);
    }
}

void InkSaver(State& s, const Call& call) {
    if (Family(s, {12, 14})) {
        OnOff(s, call, s.hardcopy.inkSaver);
    }
}

void Compression(State& s, const Call& call) {
    if (Family(s, {12})) {
        OnOff(s, call, s.hardcopy.compression);
    }
}

void ImageFileFormat(State& s, const Call& call) {
    if (Family(s, {14})) {
        Choose(s, call, {"PNG", "BMP", "TIFf"}, s.hardcopy.format);
    }
}

// --- export to the instrument's files (type 10) --------------------------------------------

void ExportFileName(State& s, const Call& call) {
    if (!Family(s, {10})) {
        return;
    }
    if (call.command.query) {
        s.Answer(call, "\"" + s.hardcopy.exportFile + "\"");
        return;
    }
    s.hardcopy.exportFile = ToUpper(Unquote(FirstArgument(call)));
}

void ExportFormat(State& s, const Call& call) {
    if (Family(s, {10})) {
        Choose(s, call, {"BMP", "BMPColor", "PCX", "PCXcolor", "TIFf", "EPSImage", "RLE"},
               s.hardcopy.exportFormat);
    }
}

void ExportPalette(State& s, const Call& call) {
    if (!Family(s, {10})) {
        return;
    }
    std::string palette = s.hardcopy.exportColour ? "COLOR" : "GRAYSCALE";
    if (Choose(s, call, {"COLOr", "GRAYscale", "INKSaver"}, palette)) {
        s.hardcopy.exportColour = palette == "COLOR";
    }
}

void ExportStart(State& s, const Call& call) {
    if (!Family(s, {10})) {
        return;
    }
    if (!MatchesMnemonic("STARt", FirstArgument(call))) {
        Illegal(s);
        return;
    }
    // The palette chooses colour for the formats that have a colour variant.
    std::string format = s.hardcopy.exportFormat;
    if (s.hardcopy.exportColour && (format == "BMP" || format == "PCX")) {
        format += "COLOR";
    }
    if (auto picture = Picture(s, format, s.hardcopy.exportColour)) {
        s.files[s.hardcopy.exportFile] = std::move(*picture);
    }
}

// --- acquisition --------------------------------------------------------------------------

void AcquireMode(State& s, const Call& call) {
    const bool hires = s.config.deviceType == 10 || s.config.deviceType == 14;
    const bool envelope = s.config.deviceType > 2;
    std::string mode = s.acquire.mode;
    if (!Choose(s, call, {"SAMple", "PEAKdetect", "ENVelope", "AVErage", "HIRes"}, mode)) {
        return;
    }
    if ((mode == "HIRES" && !hires) || (mode == "ENVELOPE" && !envelope)) {
        Illegal(s);
        return;
    }
    s.acquire.mode = mode;
}

void AcquireCount(State& s, const Call& call, int& count, bool infinite) {
    if (call.command.query) {
        s.Answer(call, FormatNr1(count));
        return;
    }
    const std::string argument = FirstArgument(call);
    if (infinite && MatchesMnemonic("INFInite", argument)) {
        count = 0;
        return;
    }
    const auto value = ParseInteger(argument);
    if (!value || *value < 1 || *value > 10000) {
        Illegal(s);
        return;
    }
    count = static_cast<int>(*value);
}

void AcquireAverages(State& s, const Call& call) {
    AcquireCount(s, call, s.acquire.averages, false);
}

void AcquireEnvelopes(State& s, const Call& call) {
    if (s.config.deviceType <= 2) {
        s.Error(-113, "Undefined header");
        return;
    }
    AcquireCount(s, call, s.acquire.envelopes, true);
}

// --- the handheld family's display, the hard-copy button -------------------------------------

void DisplayText(State& s, const Call&) {
    if (!Family(s, {20})) {
        return;
    }
    static constexpr const char* kFunctions[] = {"DC V",   "AC V",   "DC A", "AC A", "OHM",  "CAP",
                                                 "TEMP C", "TEMP F", "FREQ", "CONT", "DIODE"};
    const int f = std::clamp(s.handheld.function, 1, 11);
    char display[64];
    std::snprintf(display, sizeof display, "%-8s%12s%-20s", kFunctions[f - 1],
                  f == 1 ? "1.5000 V" : "12.345", s.handheld.range == "A" ? "AUTO" : "MANUAL");
    std::string text(display);
    text.resize(40, ' ');
    s.AnswerRaw("S00:" + text);
}

void HardcopyButton(State& s, const Call& call) {
    if (!Family(s, {19})) {
        return;
    }
    const std::string argument = FirstArgument(call);
    const auto ms = argument.empty() ? std::optional<std::int64_t>(0) : ParseInteger(argument);
    if (!ms || *ms < 0 || *ms > 600000) {
        Illegal(s);
        return;
    }
    auto picture = Picture(s, s.hardcopy.format, true);
    if (!picture) {
        return;
    }
    if (*ms == 0 && s.Faults().picturePauseMs == 0) {
        s.AnswerUnframed(std::move(*picture));
    } else {
        s.AnswerLater(std::move(*picture), static_cast<int>(*ms));
    }
}

// KTXSIM:PICTure CUT|LF|HASH|NONe and KTXSIM:PICTure:PAUSe <ms>: the picture fault switches
// of this connection.
void SimPicture(State& s, const Call& call) {
    FaultSwitches& f = s.Faults();
    if (call.command.query) {
        std::string text;
        text += f.pictureCut ? "CUT," : "";
        text += f.pictureLineFeed ? "LF," : "";
        text += f.pictureHash ? "HASH," : "";
        s.Answer(call, text.empty() ? "NONE" : text.substr(0, text.size() - 1));
        return;
    }
    const std::string argument = FirstArgument(call);
    if (MatchesMnemonic("CUT", argument)) {
        f.pictureCut = true;
    } else if (MatchesMnemonic("LF", argument)) {
        f.pictureLineFeed = true;
    } else if (MatchesMnemonic("HASH", argument)) {
        f.pictureHash = true;
    } else if (MatchesMnemonic("NONe", argument)) {
        f.pictureCut = f.pictureLineFeed = f.pictureHash = false;
        f.picturePauseMs = 0;
    } else {
        Illegal(s);
    }
}

void SimPicturePause(State& s, const Call& call) {
    if (call.command.query) {
        s.Answer(call, FormatNr1(s.Faults().picturePauseMs));
        return;
    }
    const auto ms = ParseInteger(FirstArgument(call));
    if (!ms) {
        Illegal(s);
        return;
    }
    SetFaultSwitch(s.Faults(), FaultSwitch::PicturePause, *ms);
}

}  // namespace

void AppendPictureCommands(std::vector<CommandEntry>& table) {
    const std::vector<CommandEntry> entries = {
        {"HARDCopy", true, false, HardcopyStart, {}},
        {"HARDCopy:PORT", true, true, HardcopyPort, {}},
        {"HARDCopy:FORMat", true, true, HardcopyFormat, {}},
        {"HARDCopy:LAYout", true, true, HardcopyLayout, {}},
        {"HARDCopy:ABOrt", true, false, [](State&, const Call&) {}, {}},
        {"HARDCopy:INKSaver", true, true, InkSaver, {}},
        {"HARDCopy:COMPRESSion", true, true, Compression, {}},
        {"SAVe:IMAGe:FILEFormat", true, true, ImageFileFormat, {}},
        {"EXPort", true, false, ExportStart, {}},
        {"EXPort:FILEName", true, true, ExportFileName, {}},
        {"EXPort:FORMat", true, true, ExportFormat, {}},
        {"EXPort:PALEtte", true, true, ExportPalette, {}},
        {"ACQuire:MODe", true, true, AcquireMode, {}},
        {"ACQuire:NUMAVg", true, true, AcquireAverages, {}},
        {"ACQuire:NUMENv", true, true, AcquireEnvelopes, {}},
        {"!S", false, true, DisplayText, {}},
        {"KTXSIM:BUTTon", true, false, HardcopyButton, {}},
        {"KTXSIM:PICTure", true, true, SimPicture, {}},
        {"KTXSIM:PICTure:PAUSe", true, true, SimPicturePause, {}},
    };
    table.insert(table.end(), entries.begin(), entries.end());
}

}  // namespace ktx::sim

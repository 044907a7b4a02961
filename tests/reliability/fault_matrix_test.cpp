// SPDX-License-Identifier: GPL-3.0-or-later
// Every instrument exchange of the program against every fault of the simulated instrument, in
// process through the real command transport and interface library. For each pair: the
// exchange ends (a hang guard far above its time-out, not a timing test), a failure shows
// exactly one message and a success none, the file the exchange writes is either as it was
// before or complete and readable, no half-written file is left beside it, and once the fault
// is gone the same exchange works again on the same link (on a reopened one where the fault
// hung up).
//
// A new exchange is one line in kExchanges: its name, family, instrument file, the file it
// writes (prefilled with old content by the test) and a function that runs it and says
// whether it went through. An exchange that only happens within a session (a logger's sample,
// a live frame, a reading in an open multimeter dialog) gets a preparation run on a sound
// link; the fault is then switched on by command, as a cable pulled in the middle of logging.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config/device_file.h"
#include "config/profile_file.h"
#include "config/program_state.h"
#include "images/picture_codec.h"
#include "images/screen_picture_fetch.h"
#include "link/command_transport.h"
#include "setups/setup_transfer.h"
#include "test_files.h"
#include "tools/acquisition_control.h"
#include "tools/acquisition_settings.h"
#include "tools/data_logger.h"
#include "tools/measurement.h"
#include "tools/multimeter.h"
#include "tools/scanner.h"
#include "view/live_display.h"
#include "waveform/wave_file.h"
#include "waveform/waveform_record.h"
#include "waveform/waveform_transfer.h"

namespace ktx {
namespace {

constexpr std::uint16_t kTimeoutMs = 300;
// Far above what any exchange needs with one failed read; only a hang trips it.
constexpr auto kHangGuard = std::chrono::milliseconds(kTimeoutMs) + std::chrono::seconds(5);
constexpr const char* kOldContent = "old content, must survive a failed exchange\n";

// The simulated instrument of one family plus what an exchange needs of the program state.
class Rig {
  public:
    Rig(const test::TempDir& dir, int type, const std::string& driver)
        : dir(dir), transport(notes) {
        state.programDir = KTX_PROGRAM_DIR;
        state.deviceType = type;
        state.linkType = 4;
        state.deviceIniFile = driver.empty() ? "NONE" : std::string(KTX_DRIVER_DIR) + "/" + driver;
        if (!driver.empty()) {
            const PictureFormat format = ReadPictureFormat(state.deviceIniFile);
            state.pictureFormat = format.format;
            state.pictureExt = format.ext;
        }
        state.tempPicture = dir.Path("ktx_tmp.bmp");
        state.conversionFile = dir.Path("ktx_tmp.tmp");
        state.compressionFile = dir.Path("ktx_tmp1.tmp");
        state.iniFileName = dir.Path("kurvitex.ini");
    }

    // Opens the link with the fault switches `simKeys` ([SIM] lines) in force from the start.
    bool Open(const std::string& simKeys) {
        transport.CloseLink();
        const std::string ini = dir.Path("sim.ini");
        test::WriteFile(ini, "[SIM]\nTYPE=" + std::to_string(state.deviceType) +
                                 "\nSEED=5\nRECORDLENGTH=100\n" + simKeys);
        transport.OpenLink({KTX_PROGRAM_DIR, "ktx_sim.so", 4, state.deviceType}, false, ini);
        transport.LinkSetTimeout(kTimeoutMs);
        return transport.LinkHandle() != 0;
    }

    // The file the current exchange writes, as the exchange names it.
    std::string Path(const std::string& name) const { return dir.Path(name); }

    const test::TempDir& dir;
    test::RecordingNotifier notes;  // the transport's and the exchange's messages alike
    CommandTransport transport;
    ProgramState state;
    // What a preparation made for the exchange (a started logger, an opened dialog's state);
    // goes before the transport.
    std::shared_ptr<void> held;
};

using Run = std::function<bool(Rig&)>;

// What the exchange's target must look like after a failure.
enum class AfterFailure {
    Unchanged,    // as it was before the exchange
    WholeRecords  // a log: what was there stays, followed by whole records only
};

struct Exchange {
    const char* name;
    int type;
    const char* driver;  // shipped instrument file, or "" where the exchange needs none
    const char* target;  // the file the exchange writes (in the rig's folder), or ""
    Run run;
    // Its answers are large (curves, pictures): dripped one byte a millisecond they would take
    // minutes, so the drip fault runs on the small ones only (the link's hostile-peer test
    // covers dripping blocks).
    bool large = false;
    const char* oldContent = kOldContent;  // what the target holds before
    // Messages a failure shows: one, but the sequences the program follows show more on
    // purpose ("Quelle enthält keine Daten" before the summary "Operation fehlgeschlagen";
    // "Modus konnte nicht gelesen werden" after each of three reads), and a display text of
    // the wrong length (no answer at all, too) ends the handheld's fetch without a message.
    int fewestMessages = 1;
    int mostMessages = 1;
    // Runs on a sound link before the fault is switched on (a logger that has started, a dialog
    // that has read the instrument's state); what it shows is not the exchange's. The exchange
    // then meets the fault in the middle of a session, as a cable pulled while logging does.
    Run prepare = {};
    AfterFailure afterFailure = AfterFailure::Unchanged;
    // Where the instrument hangs up: inside the exchange's answers, which for a reading are
    // only a few bytes together.
    int dropAfter = 40;
};

// --- the exchanges ----------------------------------------------------------------------------

Run ReadWaveform(const char* source = "CH1") {
    return [source](Rig& rig) {
        TransferRequest r;
        r.mode = kModeRead;
        r.format = kFormatKtx;
        r.sources = {source};
        r.fileName = rig.Path("w.ktx");
        r.start = "0";
        r.stop = "100";  // the whole record: no message about the number of points
        r.requested = 100;
        TransferContext c = MakeTransferContext(rig.state);
        return ReadWaveforms(r, rig.transport, c, rig.notes, NoProgress()).ok;
    };
}

Run WriteWaveform() {
    return [](Rig& rig) {
        const std::string source = rig.Path("send.wfm");
        std::string text = ":CURVE ";
        for (int k = -50; k < 50; ++k) {
            text += std::to_string(k) + (k + 1 < 50 ? "," : "\r\n");
        }
        if (!std::filesystem::exists(source)) {
            test::WriteFile(source, text);
        }
        const std::string device = rig.Path("kt_dev.ini");
        test::WriteFile(device,
                        "[DEVICE]\nTYPE=" + std::to_string(rig.state.deviceType) + "\nENCDG=BYT\n");
        TransferRequest r;
        r.mode = kModeWrite;
        r.fileName = source;
        r.destination = "REF1";
        TransferContext c = MakeTransferContext(rig.state);
        c.deviceIniFile = device;
        return WriteWaveform(r, rig.transport, c, rig.notes, NoProgress()).ok;
    };
}

Run FetchHardcopy() {
    return [](Rig& rig) {
        if (rig.state.deviceType == 19) {
            rig.transport.SendCommand("KTXSIM:BUTTON 50");
        }
        ScreenPictureFetch fetch(rig.transport, rig.notes, rig.state, {[](int) {}, [](bool) {}});
        return !fetch.Fetch().empty();
    };
}

Run SendAcquireState() {
    return [](Rig& rig) {
        AcquireDialogState s;
        s.deviceType = rig.state.deviceType;
        return TransferAcquireState(rig.transport, rig.notes, 4, s, [](int) {});
    };
}

Run SwitchToMultimeter() {
    return [](Rig& rig) {
        rig.state.operatingMode = kModeOscilloscope;
        rig.transport.SendCommand("DIS:MOD SCO");
        SetDisplayMode(
            kModeMultimeter, rig.transport, rig.notes, rig.state, [](int) {}, [] {});
        return rig.state.operatingMode == kModeMultimeter;
    };
}

Run Autosetup() {
    return [](Rig& rig) {
        const std::size_t before = rig.notes.shown.size();
        ktx::Autosetup(rig.transport, rig.notes);
        return rig.notes.shown.size() == before;
    };
}

// "Messen" of the measurement dialog. The user answers the retry question "No".
Run Measure() {
    return [](Rig& rig) {
        rig.notes.confirmAnswer = false;
        const MeasurementChoices choices = ReadMeasurementChoices(rig.state.deviceIniFile);
        Measurement m(rig.transport, rig.notes, rig.state.deviceType, [](int) {});
        m.Open();
        MeasurementLabels labels;
        return m.Measure(choices.measures.at(0), choices.sources.at(0), labels);
    };
}

// The logger has started on "log.ktx" (first measurement of CH1, with type 9 also its
// multimeter, or the handheld's first function); the exchange is the next sample, after which
// the dialog is closed.
struct LoggerRun {
    LoggerSettings settings;
    SteadyLoggerClock clock;
    std::unique_ptr<DataLogger> logger;
};

Run StartLogger() {
    return [](Rig& rig) {
        auto run = std::make_shared<LoggerRun>();
        const LoggerChoices choices =
            ReadLoggerChoices(rig.state.deviceIniFile, rig.state.deviceType);
        ChannelChoice first;
        first.active = true;
        first.measure = choices.Exclamation() ? choices.scopeMeasures : 0;
        ApplyChannelChoice(run->settings, 0, first, choices, rig.notes);
        if (rig.state.deviceType == kScopeMeterType) {
            // The built-in multimeter on the second channel ("DMM:VAL?").
            ChannelChoice dmm{choices.scopeMeasures, static_cast<int>(choices.sources.size()) - 1,
                              true};
            ApplyChannelChoice(run->settings, 1, dmm, choices, rig.notes);
        }
        run->settings.interval = 100;
        run->settings.fileName = rig.Path("log.ktx");
        run->logger =
            std::make_unique<DataLogger>(rig.transport, rig.notes, run->settings, choices,
                                         run->clock, LoggerHooks{}, rig.state.conversionFile);
        run->logger->Open();
        const bool started = run->logger->Start(10);
        rig.held = run;
        return started && rig.notes.shown.empty();
    };
}

Run LoggerSample() {
    return [](Rig& rig) {
        DataLogger& logger = *std::static_pointer_cast<LoggerRun>(rig.held)->logger;
        const bool sampled = logger.Tick() == TickResult::Sampled;
        logger.Stop();
        return sampled;
    };
}

// One scan of CH1 into "AB___000.ktx"; the run is prepared in trigger mode, so no timing scan.
Run PrepareScanner() {
    return [](Rig& rig) {
        auto scanner = std::make_shared<Scanner>(
            rig.transport, rig.notes, NoProgress(), rig.state.deviceType, "100",
            rig.state.conversionFile, rig.state.compressionFile, ScannerHooks{});
        ScanRequest request;
        request.folder = rig.Path("");
        request.base = ScanBaseName("AB");
        request.sources = {"CH1"};
        request.startText = "1";
        request.stopText = "100";
        request.triggered = true;
        request.beep = false;
        const bool prepared = scanner->PrepareScan(request);
        // Only the question whether AB___000.ktx may be overwritten.
        const bool asked = rig.notes.shown.size() == 1 && rig.notes.shown[0].stringId == 10303;
        rig.held = scanner;
        return prepared && asked;
    };
}

Run Scan() {
    return [](Rig& rig) {
        return std::static_pointer_cast<Scanner>(rig.held)->ScanOnce(rig.Path("AB___000.ktx"));
    };
}

// "Mess" of the handheld's range dialog (opened before) ...
Run OpenHandheldMeter() {
    return [](Rig& rig) {
        auto meter = std::make_shared<HandheldMeter>(rig.transport,
                                                     ReadMeterDefinition(rig.state.deviceIniFile));
        meter->Open(rig.notes);
        rig.held = meter;
        return rig.notes.shown.empty();
    };
}

Run HandheldReading() {
    return [](Rig& rig) {
        HandheldMeter::Reading reading;
        return std::static_pointer_cast<HandheldMeter>(rig.held)->Measure(reading, rig.notes);
    };
}

// ... and of the type-9 multimeter's range dialog, opened in multimeter mode.
Run OpenDmm() {
    return [](Rig& rig) {
        rig.transport.SendCommand("DIS:MOD MET");
        auto dmm = std::make_shared<DmmRangeControl>(
            rig.transport, rig.notes, ReadMeterDefinition(rig.state.deviceIniFile), [](int) {});
        dmm->Open();
        rig.held = dmm;
        return dmm->FunctionIndex() > 0 && rig.notes.shown.empty();
    };
}

Run DmmReading() {
    return [](Rig& rig) {
        return !std::static_pointer_cast<DmmRangeControl>(rig.held)->Measure().empty();
    };
}

// One frame of the live display, after its set-up.
Run SetupLive() {
    return [](Rig& rig) {
        auto live = std::make_shared<LiveDisplay>(rig.transport, rig.notes);
        rig.held = live;
        return live->Setup({{"CH1", "CH2"}, "1", "100", 99});
    };
}

Run LiveFrame() {
    return [](Rig& rig) { return std::static_pointer_cast<LiveDisplay>(rig.held)->Fetch(); };
}

// "Einlesen Setup" into "w.set".
Run ReadSetupFile() {
    return [](Rig& rig) { return ReadSetup(rig.transport, rig.Path("w.set"), rig.notes); };
}

// "Ausgeben Setup" of a set-up the instrument's family takes.
Run SendSetup() {
    return [](Rig& rig) {
        const std::string source = rig.Path("send.set");
        if (!std::filesystem::exists(source)) {
            test::WriteFile(source,
                            ":DATA:SOURCE CH2;ENCDG RIBINARY;:HORIZONTAL:RECORDLENGTH "
                            "100;:ACQUIRE:STOPAFTER RUNSTOP;:SELECT:CH1 1;:SELECT:CH2 1\n");
        }
        return WriteSetup(rig.transport, source, rig.state.deviceType, rig.state.deviceIniFile,
                          rig.notes, NoProgress(), [](int) {});
    };
}

const std::vector<Exchange>& Exchanges() {
    static const std::vector<Exchange> kExchanges = {
        {"ReadWaveformType1", 1, "kt_tds210.ini", "w.ktx", ReadWaveform(), false, kOldContent, 1,
         2},
        {"ReadWaveformType2", 2, "kt_tds380.ini", "w.ktx", ReadWaveform(), false, kOldContent, 1,
         2},
        {"ReadWaveformType9", 9, "kt_ths720p.ini", "w.ktx", ReadWaveform(), false, kOldContent, 1,
         2},
        {"ReadWaveformType10", 10, "kt_tds3012.ini", "w.ktx", ReadWaveform(), true, kOldContent, 1,
         2},
        {"ReadWaveformType12", 12, "kt_tds1012.ini", "w.ktx", ReadWaveform(), true, kOldContent, 1,
         2},
        {"ReadWaveformType14", 14, "kt_dpo2024.ini", "w.ktx", ReadWaveform(), false, kOldContent, 1,
         2},
        {"WriteWaveformType1", 1, "kt_tds210.ini", "", WriteWaveform(), false},
        {"WriteWaveformType12", 12, "kt_tds1012.ini", "", WriteWaveform(), false},
        {"WriteWaveformType14", 14, "kt_dpo2024.ini", "", WriteWaveform(), false},
        {"HardcopyType1", 1, "kt_tds210.ini", "ktx_tmp.pcx", FetchHardcopy(), true},
        {"HardcopyType2", 2, "kt_tds380.ini", "ktx_tmp.pcx", FetchHardcopy(), true},
        {"HardcopyType9", 9, "kt_ths720p.ini", "ktx_tmp.pcx", FetchHardcopy(), true},
        {"HardcopyType10", 10, "kt_tds3012.ini", "ktx_tmp.bmp", FetchHardcopy(), true},
        {"HardcopyType12", 12, "kt_tds1012.ini", "ktx_tmp.bmp", FetchHardcopy(), true},
        {"HardcopyType14", 14, "kt_dpo2024.ini", "ktx_tmp.png", FetchHardcopy(), true},
        {"HardcopyType19", 19, "kt_tek2232.ini", "ktx_tmp.pcx", FetchHardcopy(), true},
        {"HardcopyType20", 20, "kt_ths3014.ini", "ktx_tmp.bmp", FetchHardcopy(), false, kOldContent,
         0, 1},
        {"AcquireSettingsType1", 1, "kt_tds210.ini", "", SendAcquireState(), false},
        {"AcquireSettingsType14", 14, "kt_dpo2024.ini", "", SendAcquireState(), false},
        {"DisplayModeType9", 9, "kt_ths720p.ini", "kurvitex.ini", SwitchToMultimeter(), false,
         "[DEVICE]\nMODE=0\n", 1, 3},
        {"AutosetupType1", 1, "kt_tds210.ini", "", Autosetup(), false},
        // Three messages at most: the retry question for the value, the one for the unit, which
        // is asked whatever the value gave, then "keine Messung möglich". A reading's answers
        // are short: the instrument hangs up after 16 bytes, inside them.
        {"MeasurementType1", 1, "kt_tds210.ini", "", Measure(), false, kOldContent, 1, 3, Run(),
         AfterFailure::Unchanged, 16},
        {"MeasurementType2", 2, "kt_tds380.ini", "", Measure(), false, kOldContent, 1, 3, Run(),
         AfterFailure::Unchanged, 16},
        // The logger has started; the fault meets its next sample. A failed sample still
        // writes its record (0 for the value not read) and ends logging.
        {"LoggerSampleType1", 1, "kt_tds210.ini", "log.ktx", LoggerSample(), false, kOldContent, 1,
         1, StartLogger(), AfterFailure::WholeRecords, 4},
        {"LoggerSampleType9", 9, "kt_ths720p.ini", "log.ktx", LoggerSample(), false, kOldContent, 1,
         1, StartLogger(), AfterFailure::WholeRecords, 12},
        {"LoggerSampleType20", 20, "kt_ths3014.ini", "log.ktx", LoggerSample(), false, kOldContent,
         1, 1, StartLogger(), AfterFailure::WholeRecords},
        {"ScanType1", 1, "kt_tds210.ini", "AB___000.ktx", Scan(), false, kOldContent, 1, 1,
         PrepareScanner()},
        {"ScanType14", 14, "kt_dpo2024.ini", "AB___000.ktx", Scan(), false, kOldContent, 1, 1,
         PrepareScanner()},
        // The handheld reads its state before every reading: "Messbereich konnte nicht gelesen
        // werden", then "keine Messung möglich".
        {"MultimeterReadingType20", 20, "kt_ths3014.ini", "", HandheldReading(), false, kOldContent,
         1, 2, OpenHandheldMeter()},
        {"MultimeterReadingType9", 9, "kt_ths720p.ini", "", DmmReading(), false, kOldContent, 1, 1,
         OpenDmm(), AfterFailure::Unchanged, 6},
        {"LiveFrameType1", 1, "kt_tds210.ini", "", LiveFrame(), false, kOldContent, 1, 1,
         SetupLive()},
        {"LiveFrameType14", 14, "kt_dpo2024.ini", "", LiveFrame(), false, kOldContent, 1, 1,
         SetupLive()},
        // A set-up is text of about 2 kB: dripped it takes under 3 s.
        {"SetupReadType1", 1, "kt_tds210.ini", "w.set", ReadSetupFile(), false},
        {"SetupReadType14", 14, "kt_dpo2024.ini", "w.set", ReadSetupFile(), false},
        // Sending a set-up asks nothing back, so the faults of answers leave it working: those
        // cells check that it goes through without a message and the instrument takes the next.
        {"SetupSendType1", 1, "kt_tds210.ini", "", SendSetup(), false},
        {"SetupSendType2", 2, "kt_tds380.ini", "", SendSetup(), false},
    };
    return kExchanges;
}

// --- the faults -------------------------------------------------------------------------------

struct Fault {
    const char* name;
    // [SIM] line the connection starts with, and the same as a command switching it on in the
    // middle of a session; "%" stands for the exchange's dropAfter.
    const char* simKey;
    const char* command;
    bool hangsUp;  // the instrument closes the line: the next exchange reopens it
    bool drips;
};

constexpr Fault kFaults[] = {
    {"Silent", "SILENT=1", "KTXSIM:FAULT SILENT", false, false},
    {"LateAnswer", "DELAY=1000", "KTXSIM:DELAY 1000", false, false},
    {"DropAfterBytes", "DROPAFTER=%", "KTXSIM:DROP %", true, false},
    {"TruncatedBlock", "TRUNCATE=1", "KTXSIM:FAULT TRUNCATE", false, false},
    {"Garbage", "GARBAGE=1", "KTXSIM:FAULT GARBAGE", false, false},
    {"CloseMidAnswer", "CLOSEMID=1", "KTXSIM:CLOSE 1", true, false},
    {"Drip", "DRIP=1", "KTXSIM:DRIP 1", false, true},
};

std::string WithCount(std::string text, int count) {
    if (const std::size_t at = text.find('%'); at != std::string::npos) {
        text.replace(at, 1, std::to_string(count));
    }
    return text;
}

// --- the checks -------------------------------------------------------------------------------

// The written file is complete and readable by the program's own readers.
bool Readable(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    if (ext == ".ktx") {
        test::RecordingNotifier quiet;
        return LoadWaveform(
                   path, false, [](const UnitStrings&) { return std::optional<int>(1); }, quiet)
            .has_value();
    }
    if (ext == ".ini") {
        return ProfileFile(path).ReadInt("DEVICE", "MODE", -1) == 1;
    }
    if (ext == ".set") {
        // A set-up as the instrument sent it: commands with long headers, printable text.
        const test::Bytes text = test::ReadFile(path);
        return !text.empty() && text[0] == ':' &&
               std::all_of(text.begin(), text.end(), [](std::uint8_t c) {
                   return (c >= 0x20 && c < 0x7f) || c == '\n' || c == '\r';
               });
    }
    RgbImage image;
    std::string error;
    return LoadPictureFile(path, image, error) && image.width > 0;
}

std::set<std::string> Names(const test::TempDir& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path(""))) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string Messages(const test::RecordingNotifier& notes) {
    std::string text;
    for (const test::Shown& s : notes.shown) {
        text += std::to_string(s.stringId) + " \"" + s.text + "\"; ";
    }
    return text;
}

using Cell = std::tuple<std::size_t, std::size_t>;

class FaultMatrix : public ::testing::TestWithParam<Cell> {};

TEST_P(FaultMatrix, EndsWithOneMessageKeepsTheFileAndRecovers) {
    const Exchange& exchange = Exchanges()[std::get<0>(GetParam())];
    const Fault& fault = kFaults[std::get<1>(GetParam())];
    if (fault.drips && exchange.large) {
        GTEST_SKIP() << "large answers are not dripped (minutes at one byte a millisecond)";
    }
    test::TempDir dir;
    Rig rig(dir, exchange.type, exchange.driver);
    const std::string target = *exchange.target ? rig.Path(exchange.target) : "";
    if (!target.empty()) {
        test::WriteFile(target, exchange.oldContent);
    }
    const auto prepare = [&] {
        if (exchange.prepare) {
            ASSERT_TRUE(exchange.prepare(rig)) << "preparation: " << Messages(rig.notes);
            rig.notes.shown.clear();
        }
    };
    if (exchange.prepare) {
        ASSERT_TRUE(rig.Open(""));
        prepare();
        ASSERT_FALSE(HasFatalFailure());
        rig.transport.SendCommand(WithCount(fault.command, exchange.dropAfter));
    } else {
        ASSERT_TRUE(rig.Open(WithCount(fault.simKey, exchange.dropAfter) + "\n"));
    }
    const test::Bytes kept = target.empty() ? test::Bytes{} : test::ReadFile(target);
    const std::set<std::string> before = Names(dir);

    const auto start = std::chrono::steady_clock::now();
    const bool ok = exchange.run(rig);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, kHangGuard) << "the exchange hung";

    if (ok) {
        EXPECT_TRUE(rig.notes.shown.empty()) << Messages(rig.notes);
        if (!target.empty()) {
            EXPECT_TRUE(Readable(target)) << "a success left an unreadable " << exchange.target;
        }
    } else {
        EXPECT_GE(static_cast<int>(rig.notes.shown.size()), exchange.fewestMessages)
            << Messages(rig.notes);
        EXPECT_LE(static_cast<int>(rig.notes.shown.size()), exchange.mostMessages)
            << Messages(rig.notes);
        if (!target.empty() && exchange.afterFailure == AfterFailure::Unchanged) {
            EXPECT_EQ(test::ReadFile(target), kept) << "a failure changed " << exchange.target;
        } else if (!target.empty()) {
            const test::Bytes now = test::ReadFile(target);
            ASSERT_GE(now.size(), kept.size());
            EXPECT_TRUE(std::equal(kept.begin(), kept.end(), now.begin()))
                << "a failure changed what " << exchange.target << " held";
            EXPECT_EQ((now.size() - kept.size()) % kFourColumnRecord, 0u)
                << "a record cut short in " << exchange.target;
            EXPECT_TRUE(Readable(target)) << exchange.target;
        }
    }
    // Nothing half-written beside the target: only the scratch files the program keeps and
    // the inputs the exchange made for itself.
    for (const std::string& name : Names(dir)) {
        const bool input = name == "send.wfm" || name == "kt_dev.ini" || name == "send.set";
        EXPECT_FALSE(name.ends_with(".part")) << "left behind: " << name;
        EXPECT_TRUE(before.count(name) != 0 || input || name.starts_with("ktx_tmp"))
            << "left behind: " << name;
    }

    // The fault goes; the same exchange then works.
    if (fault.hangsUp) {
        ASSERT_TRUE(rig.Open(""));
    } else {
        for (const char* clear : {"KTXSIM:FAULT NONE", "KTXSIM:DELAY 0", "KTXSIM:DRIP 0"}) {
            rig.transport.SendCommand(clear);
        }
    }
    rig.notes.shown.clear();
    prepare();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(exchange.run(rig)) << Messages(rig.notes);
    EXPECT_TRUE(rig.notes.shown.empty()) << Messages(rig.notes);
    if (!target.empty()) {
        EXPECT_TRUE(Readable(target)) << exchange.target;
    }
}

INSTANTIATE_TEST_SUITE_P(AllExchanges, FaultMatrix,
                         ::testing::Combine(::testing::Range<std::size_t>(0, Exchanges().size()),
                                            ::testing::Range<std::size_t>(0, std::size(kFaults))),
                         [](const ::testing::TestParamInfo<Cell>& info) {
                             return std::string(Exchanges()[std::get<0>(info.param)].name) + "_" +
                                    kFaults[std::get<1>(info.param)].name;
                         });

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The hard-copy sequences against the simulated instrument, in-process through the real
// command transport and interface library, for every device-type path of the fetch and the
// export: the exact commands the instrument receives (stop, fetch, restart, restore), the
// picture that arrives, message 40 when it does not, and the picture faults on the way.
#include "images/screen_picture_fetch.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "config/program_state.h"
#include "images/picture_codec.h"
#include "link/command_transport.h"
#include "test_files.h"

namespace ktx {
namespace {

constexpr int kMsgPictureNotReadId = 10040;

// One simulated instrument of the family of `driver` (a shipped instrument file).
class PictureInstrument {
  public:
    PictureInstrument(const test::TempDir& dir, const std::string& driver, int type,
                      const std::string& simKeys = "")
        : m_dir(dir), m_transport(m_linkNotes) {
        const std::string ini = dir.Path("sim.ini");
        test::WriteFile(ini, "[SIM]\nTYPE=" + std::to_string(type) + "\n" + simKeys);
        m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_sim.so", 4, type}, false, ini);
        m_transport.LinkSetTimeout(300);
        state.programDir = KTX_PROGRAM_DIR;
        state.deviceType = type;
        state.linkType = 4;
        state.deviceIniFile = std::string(KTX_DRIVER_DIR) + "/" + driver;
        const PictureFormat format = ReadPictureFormat(state.deviceIniFile);
        state.pictureFormat = format.format;
        state.pictureExt = format.ext;
        state.tempPicture = dir.Path("ktx_tmp.bmp");
    }

    CommandTransport& Transport() { return m_transport; }
    ScreenPictureFetch Fetcher() {
        return ScreenPictureFetch(m_transport, notes, state,
                                  {[this](int ms) { waits.push_back(ms); },
                                   [this](bool show) { instructions.push_back(show); }});
    }
    std::string Log() {
        m_transport.SendCommand("KTXSIM:FAULT NONE");
        const std::string file = m_dir.Path("sim.log");
        if (!m_transport.ReceiveToFile(file, "KTXSIM:LOG?", 0)) {
            return "<no log>";
        }
        const test::Bytes bytes = test::ReadFile(file);
        const std::string block(bytes.begin(), bytes.end());
        const std::size_t digits = static_cast<std::size_t>(block[1] - '0');
        std::string text = block.substr(2 + digits);
        for (char& c : text) {
            c = c == '\n' ? '|' : c;
        }
        return text.empty() ? text : text.substr(0, text.size() - 1);
    }
    void ClearLog() { m_transport.SendCommand("KTXSIM:LOG CLEAR"); }
    std::vector<int> Shown() const {
        std::vector<int> ids;
        for (const test::Shown& s : notes.shown) {
            ids.push_back(s.stringId);
        }
        return ids;
    }

    ProgramState state;
    test::RecordingNotifier notes;
    std::vector<int> waits;
    std::vector<bool> instructions;

  private:
    const test::TempDir& m_dir;
    test::RecordingNotifier m_linkNotes;
    CommandTransport m_transport;
};

struct FetchCase {
    const char* name;
    const char* driver;
    int type;
    bool colour;
    const char* log;   // the commands, "|" between them
    const char* file;  // the picture file the window is given
    int width;
};

class PictureFetchTest : public ::testing::TestWithParam<FetchCase> {
  protected:
    test::TempDir m_dir;
};

TEST_P(PictureFetchTest, SendsTheSequenceAndShowsThePicture) {
    const FetchCase& c = GetParam();
    PictureInstrument sim(m_dir, c.driver, c.type);
    sim.state.colourEnabled = c.colour;
    sim.ClearLog();
    if (c.type == 19) {
        sim.Transport().SendCommand("KTXSIM:BUTTON 100");  // pressed while the program waits
    }
    const std::string file = sim.Fetcher().Fetch();
    EXPECT_EQ(sim.Shown(), std::vector<int>{});
    ASSERT_EQ(file, m_dir.Path(c.file));
    EXPECT_EQ(sim.Log(), c.log);
    RgbImage image;
    std::string error;
    ASSERT_TRUE(LoadPictureFile(file, image, error)) << error;
    EXPECT_EQ(image.width, c.width);
    if (c.type == 2) {
        EXPECT_EQ(sim.waits, std::vector<int>{2000});  // after "HARDC:ABORT"
    }
    if (c.type == 19) {
        EXPECT_EQ(sim.instructions, (std::vector<bool>{true, false}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    DeviceTypes, PictureFetchTest,
    ::testing::Values(
        FetchCase{"Type1Pcx", "kt_tds210.ini", 1, false,
                  "HARDC:PORT GPIB|HARDC:FORM PCX|HARDC:LAY PORTR|ACQ:STATE?|ACQ:STATE STOP|"
                  "HARDC START|ACQ:STATE RUN",
                  "ktx_tmp.pcx", 640},
        FetchCase{"Type2AbortsFirst", "kt_tds380.ini", 2, false,
                  "HARDC:PORT GPIB|HARDC:FORM PCX|HARDC:LAY PORTR|HARDC:ABORT|ACQ:STATE?|"
                  "ACQ:STATE STOP|HARDC START|ACQ:STATE RUN",
                  "ktx_tmp.pcx", 640},
        FetchCase{"Type9Pcx", "kt_ths720p.ini", 9, false,
                  "HARDC:PORT GPIB|HARDC:FORM PCX|HARDC:LAY PORTR|ACQ:STATE?|ACQ:STATE STOP|"
                  "HARDC START|ACQ:STATE RUN",
                  "ktx_tmp.pcx", 640},
        FetchCase{"Type12BmpInkSaverAndCompression", "kt_tds1012.ini", 12, false,
                  "HARDC:PORT GPIB|HARDC:FORM BMP|HEADER OFF|HARDCopy:INKSaver?|HEADER ON|"
                  "HARDCopy:INKSaver ON|HARDC:LAY PORTR|HEADER OFF|HARDCopy:COMPRESSion?|"
                  "HEADER ON|HARDCopy:COMPRESSion OFF|ACQ:STATE?|ACQ:STATE STOP|HARDC START|"
                  "ACQ:STATE RUN|HARDCopy:COMPRESSion 1|HARDCopy:INKSaver 0",
                  "ktx_tmp.bmp", 640},
        FetchCase{"Type12ColourHasNoInkSaver", "kt_tds1012.ini", 12, true,
                  "HARDC:PORT GPIB|HARDC:FORM BMPcolor|HARDC:LAY PORTR|HEADER OFF|"
                  "HARDCopy:COMPRESSion?|HEADER ON|HARDCopy:COMPRESSion OFF|ACQ:STATE?|"
                  "ACQ:STATE STOP|HARDC START|ACQ:STATE RUN|HARDCopy:COMPRESSion 1",
                  "ktx_tmp.bmp", 640},
        FetchCase{"Type14Png", "kt_dpo2024.ini", 14, true,
                  "HARDC:PORT GPIB|SAVE:IMAGE:FILEF PNG|HEADER OFF|HARDCopy:INKSaver?|"
                  "HEADER ON|HARDCopy:INKSaver ON|HARDC:LAY PORTR|ACQ:STATE?|ACQ:STATE STOP|"
                  "HARDC START|ACQ:STATE RUN|HARDCopy:INKSaver 0",
                  "ktx_tmp.png", 640},
        FetchCase{"Type10ExportsThenPrintsTheFile", "kt_tds3012.ini", 10, true,
                  "EXP:FILEN \"c:\\KTX.TMP\"|EXP:FORM BMP|EXP:PALE COLO|ACQ:STATE?|"
                  "ACQ:STATE STOP|EXP START|ACQ:STATE RUN|FILES:PRI \"c:\\KTX.TMP\", GPIB",
                  "ktx_tmp.bmp", 640},
        FetchCase{"Type19WaitsForTheButton", "kt_tek2232.ini", 19, false, "", "ktx_tmp.pcx", 640},
        FetchCase{"Type20DisplayTextThroughThePlugin", "kt_ths3014.ini", 20, false, "!S?",
                  "ktx_tmp.bmp", 520}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExportCase {
    const char* name;
    const char* driver;
    int type;
    ExportFormat format;  // as [EXPORT] offers it
    const char* log;
    const char* target;
    PictureKind kind;
};

class PictureExportTest : public ::testing::TestWithParam<ExportCase> {
  protected:
    test::TempDir m_dir;
};

TEST_P(PictureExportTest, WritesTheInstrumentsFileUnchanged) {
    const ExportCase& c = GetParam();
    PictureInstrument sim(m_dir, c.driver, c.type);
    sim.ClearLog();
    ASSERT_TRUE(sim.Fetcher().Export(c.format, m_dir.Path(c.target)));
    EXPECT_EQ(sim.Log(), c.log);
    EXPECT_EQ(SniffPicture(test::ReadFile(m_dir.Path(c.target))), c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    DeviceTypes, PictureExportTest,
    ::testing::Values(
        ExportCase{"Type1Bmp",
                   "kt_tds210.ini",
                   1,
                   {"BMP", "BMP"},
                   "HARDC:PORT GPIB|HARDC:FORM BMP|HARDC:LAY PORTR|ACQ:STATE?|ACQ:STATE STOP|"
                   "HARDC START|ACQ:STATE RUN",
                   "scope.bmp",
                   PictureKind::Bmp},
        ExportCase{"Type2Pcx",
                   "kt_tds380.ini",
                   2,
                   {"PCX", "PCX"},
                   "HARDC:PORT GPIB|HARDC:FORM PCX|HARDC:LAY PORTR|HARDC:ABORT|ACQ:STATE?|"
                   "ACQ:STATE STOP|HARDC START|ACQ:STATE RUN",
                   "scope.pcx",
                   PictureKind::Pcx},
        ExportCase{"Type14Png",
                   "kt_dpo2024.ini",
                   14,
                   {"PNG", "PNG"},
                   "HARDC:PORT GPIB|SAVE:IMAGE:FILEF PNG|HARDC:LAY PORTR|ACQ:STATE?|"
                   "ACQ:STATE STOP|HARDC START|ACQ:STATE RUN",
                   "scope.png",
                   PictureKind::Png},
        ExportCase{"Type10ColourBmp",
                   "kt_tds3012.ini",
                   10,
                   {"BMPCOLOR", "BMP"},
                   "EXP:FILEN \"c:\\KTX.TMP\"|EXP:FORM BMPCOLOR|EXP:PALE COLO|ACQ:STATE?|"
                   "ACQ:STATE STOP|EXP START|ACQ:STATE RUN|FILES:PRI \"c:\\KTX.TMP\", GPIB",
                   "scope.bmp",
                   PictureKind::Bmp},
        ExportCase{"Type12Eps",
                   "kt_tds1012.ini",
                   12,
                   {"EPSIMAGE", "EPS"},
                   "HARDC:PORT GPIB|HARDC:FORM EPSIMAGE|HARDC:LAY PORTR|ACQ:STATE?|"
                   "ACQ:STATE STOP|HARDC START|ACQ:STATE RUN",
                   "scope.eps",
                   PictureKind::Unknown}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PictureFailureTest, SilentInstrumentShowsMessage40AndLeavesTheOldPicture) {
    test::TempDir dir;
    PictureInstrument sim(dir, "kt_tds1012.ini", 12);
    test::WriteFile(sim.state.tempPicture, "old picture");
    sim.Transport().SendCommand("KTXSIM:FAULT SILENT");
    sim.ClearLog();
    EXPECT_EQ(sim.Fetcher().Fetch(), "");
    EXPECT_EQ(sim.Shown(), std::vector<int>{kMsgPictureNotReadId});
    const test::Bytes old = test::ReadFile(sim.state.tempPicture);
    EXPECT_EQ(std::string(old.begin(), old.end()), "old picture");
    // Nothing was read of the ink saver and the compression: nothing is "restored" (an empty
    // "HARDCopy:INKSaver " would be a command error).
    const std::string text = sim.Log() + "|";
    EXPECT_NE(text.find("|HARDC START|ACQ:STATE RUN|"), std::string::npos) << text;
    for (const char* empty : {"INKSaver |", "INKSaver|", "COMPRESSion |", "COMPRESSion|"}) {
        EXPECT_EQ(text.find(empty), std::string::npos) << text;
    }
}

TEST(PictureFailureTest, Type10ShowsMessage40TooAndAFailedExportLeavesTheTarget) {
    test::TempDir dir;
    PictureInstrument sim(dir, "kt_tds3012.ini", 10);
    sim.Transport().SendCommand("KTXSIM:PICTURE CUT");
    EXPECT_EQ(sim.Fetcher().Fetch(), "");
    EXPECT_EQ(sim.Shown(), std::vector<int>{kMsgPictureNotReadId});
    const std::string target = dir.Path("keep.bmp");
    test::WriteFile(target, "the user's file");
    EXPECT_FALSE(sim.Fetcher().Export({"BMP", "BMP"}, target));
    const test::Bytes kept = test::ReadFile(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the user's file");
}

TEST(PictureFailureTest, DisplayTextOfAnotherLengthDoesNothing) {
    test::TempDir dir;
    PictureInstrument sim(dir, "kt_ths3014.ini", 20);
    sim.Transport().SendCommand("KTXSIM:FAULT GARBAGE");  // an answer, but not 44 characters
    EXPECT_EQ(sim.Fetcher().Fetch(), "");
    EXPECT_EQ(sim.Shown(), std::vector<int>{});
}

TEST(PictureFailureTest, MissingConversionLibraryShowsMessage45) {
    test::TempDir dir;
    PictureInstrument sim(dir, "kt_ths3014.ini", 20);
    const std::string driver = dir.Path("kt_other.ini");
    test::WriteFile(driver, "[DEVICE]\nTYPE=20\n[CONVLIB]\nNAME=nosuch.dll\n");
    sim.state.deviceIniFile = driver;
    EXPECT_EQ(sim.Fetcher().Fetch(), "");
    EXPECT_EQ(sim.Shown(), std::vector<int>{10045});
}

// A picture that ends in a line feed, pauses after one, or holds "#1": each arrives whole.
class PictureFaultTest : public ::testing::TestWithParam<const char*> {};

TEST_P(PictureFaultTest, ArrivesWholeAsWithoutTheFault) {
    test::TempDir dir;
    RgbImage clean;
    RgbImage faulty;
    for (RgbImage* image : {&clean, &faulty}) {
        PictureInstrument sim(dir, "kt_tds1012.ini", 12, image == &faulty ? GetParam() : "");
        sim.Transport().LinkSetTimeout(1000);  // longer than the pause
        sim.state.pictureFormat = kPicturePcx;
        sim.state.colourEnabled = true;  // 256 colours: the palette is the last thing sent
        const std::string file = sim.Fetcher().Fetch();
        ASSERT_FALSE(file.empty()) << GetParam();
        std::string error;
        ASSERT_TRUE(LoadPictureFile(file, *image, error)) << error;
        const test::Bytes bytes = test::ReadFile(file);
        if (image == &faulty && std::string(GetParam()).find("LF") != std::string::npos) {
            EXPECT_EQ(bytes.back(), 0x0A);  // the palette's last byte was kept
        }
    }
    EXPECT_EQ(faulty.rgb, clean.rgb);
}

INSTANTIATE_TEST_SUITE_P(Faults, PictureFaultTest,
                         ::testing::Values("PICTURELF=1\n", "PICTUREPAUSE=400\n",
                                           "PICTUREHASH=1\n"));

}  // namespace
}  // namespace ktx

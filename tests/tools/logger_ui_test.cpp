// SPDX-License-Identifier: GPL-3.0-or-later
// The logger and scanner dialogs on Qt's offscreen platform against the simulated instrument:
// logging runs from the dialog's own timer until Stop, the labels show the values, the file
// stays valid; the scanner writes its numbered files. With KTX_SCREENSHOT_DIR set, the logger
// is photographed while it logs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <filesystem>

#include "config/program_state.h"
#include "test_files.h"
#include "tools/tlog_dial.h"
#include "tools/tools_sim_link.h"
#include "tools/tscandlg.h"
#include "waveform/wave_file.h"

namespace ktx {
namespace {

// Runs the event loop until `done` or 20 s have passed.
template <typename Done>
bool RunUntil(Done&& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 20'000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return done();
}

struct UiRig {
    explicit UiRig(int type, const char* deviceFile) : sim(dir, type) {
        state.deviceType = type;
        state.deviceIniFile = std::string(KTX_DRIVER_DIR) + "/" + deviceFile;
        state.conversionFile = dir.Path("ktx_tmp.tmp");
        state.compressionFile = dir.Path("ktx_tmp1.tmp");
        state.instrumentChanged = true;
    }
    test::TempDir dir;
    test::ToolsSimLink sim;
    test::RecordingNotifier notes;
    ProgramState state;
};

TEST(LoggerDialog, LogsFromItsTimerUntilStop) {
    UiRig rig(12, "kt_tds1012.ini");
    LoggerSettings settings;
    settings.interval = 12345;  // from an earlier instrument: cleared on opening
    Tlog_dial dialog(rig.sim.Transport(), rig.notes, rig.state, settings);
    EXPECT_EQ(settings.interval, 0);
    EXPECT_FALSE(rig.state.instrumentChanged);
    dialog.show();
    auto* active = dialog.findChild<QCheckBox*>(QStringLiteral("Akt_check"));
    auto* messList = dialog.findChild<QListWidget*>(QStringLiteral("mess_list"));
    auto* sourceList = dialog.findChild<QListWidget*>(QStringLiteral("source_list"));
    active->click();
    sourceList->setCurrentRow(0);
    messList->setCurrentRow(0);  // FREQ of CH1
    dialog.findChild<QRadioButton*>(QStringLiteral("log_ch1"))->click();
    dialog.findChild<QCheckBox*>(QStringLiteral("Akt_check"))->click();
    messList->setCurrentRow(3);    // PK2PK
    sourceList->setCurrentRow(1);  // CH2
    dialog.findChild<QCheckBox*>(QStringLiteral("Beep_check"))->setChecked(false);
    dialog.ChooseFile(rig.dir.Path("messung.KTX"));
    EXPECT_EQ(settings.fileName, rig.dir.Path("messung.ktx"));
    EXPECT_EQ(settings.measurement[1], "PK2PK");
    EXPECT_EQ(settings.source[1], "CH2");

    dialog.Start_buttClick();
    ASSERT_TRUE(dialog.Logging());
    EXPECT_GE(dialog.Logger().TimerInterval(), 100);  // never a spinning timer
    auto* count = dialog.findChild<QSpinBox*>(QStringLiteral("cnt_edi"));
    EXPECT_FALSE(count->isEnabled());
    ASSERT_TRUE(RunUntil([&] { return count->value() <= 97; }));
    EXPECT_FALSE(dialog.findChild<QLabel*>(QStringLiteral("Value0"))->text().isEmpty());
    EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("Value0"))->text().endsWith("Hz"));
    EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("Value1"))->text().endsWith("V"));
    if (const char* shots = std::getenv("KTX_SCREENSHOT_DIR")) {
        dialog.grab().save(QString::fromUtf8(shots) + QStringLiteral("/screenshot-logger.png"));
    }
    dialog.Stop_buttClick();
    EXPECT_FALSE(dialog.Logging());
    EXPECT_TRUE(count->isEnabled());
    const std::int64_t records = CountWaveFile(settings.fileName);
    EXPECT_GE(records, 4);
    EXPECT_EQ(std::filesystem::file_size(settings.fileName),
              static_cast<std::uintmax_t>(records) * kFourColumnRecord);
    EXPECT_TRUE(rig.notes.shown.empty());
}

TEST(ScannerDialog, RunWritesTheNumberedFilesAndComesBackIdle) {
    UiRig rig(12, "kt_tds1012.ini");
    const std::string folder = rig.dir.Path("scans");
    std::filesystem::create_directories(folder);
    Tscandlg dialog(rig.sim.Transport(), rig.notes, rig.state);
    dialog.show();
    dialog.SetFolder(folder);
    dialog.SetBase("AB");
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Filelab"))->text(), "AB___000.ktx");
    dialog.findChild<QCheckBox*>(QStringLiteral("Beepcheck"))->setChecked(false);
    dialog.findChild<QSpinBox*>(QStringLiteral("sekspin"))->setValue(1);
    auto* count = dialog.findChild<QSpinBox*>(QStringLiteral("scanzahl"));
    count->setValue(2);
    dialog.StartButClick();
    ASSERT_TRUE(RunUntil([&] { return !dialog.Engine().Running(); }));
    EXPECT_EQ(count->value(), 2);
    EXPECT_TRUE(dialog.findChild<QPushButton*>(QStringLiteral("StartBut"))->isEnabled());
    EXPECT_GT(CountWaveFile(folder + "/AB___000.ktx"), 1);
    EXPECT_GT(CountWaveFile(folder + "/AB___001.ktx"), 1);
    EXPECT_TRUE(rig.notes.shown.empty());
}

}  // namespace
}  // namespace ktx

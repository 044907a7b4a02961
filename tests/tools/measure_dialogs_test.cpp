// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement and multimeter dialogs on Qt's offscreen platform against the simulated
// instrument: buttons and states, the handheld's continuous mode with its ticks on the fast
// timer's worker (results reach the labels through the event queue; STOP and closing while a
// tick runs). With KTX_SCREENSHOT_DIR set, each dialog is saved there as a picture.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include "tools/measure_test_support.h"
#include "tools/multimeter_dialogs.h"
#include "tools/tmess_dial.h"

namespace ktx {
namespace {

using test::DriverFile;

template <typename T>
T* Child(QWidget& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void Screenshot(QWidget& dialog, const char* name) {
    const QByteArray dir = qgetenv("KTX_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        return;
    }
    dialog.show();
    QApplication::processEvents();
    ASSERT_TRUE(dialog.grab().save(QString::fromUtf8(dir) + "/screenshot-" + name));
}

TEST(MeasureDialogsTest, MeasurementDialogMeasuresOnceAndContinuously) {
    test::TempDir dir;
    test::SimLink sim(dir, 1);
    Tmess_dial dialog(sim.Transport(), sim.Notes(), 1, DriverFile("kt_tds210.ini"));
    EXPECT_EQ(sim.Log(), "HEADER OFF|VERBOSE ON");
    auto* mess = Child<QPushButton>(dialog, "Mess_butt");
    auto* dauer = Child<QPushButton>(dialog, "Dauer_butt");
    auto* stop = Child<QPushButton>(dialog, "Stop_butt");
    auto* timer = Child<QTimer>(dialog, "D_tim");
    EXPECT_FALSE(stop->isEnabled());
    QTest::mouseClick(mess, Qt::LeftButton);
    EXPECT_TRUE(Child<QLabel>(dialog, "wert_lab")->text().endsWith(QStringLiteral("kHz")));
    EXPECT_EQ(Child<QLabel>(dialog, "mess_lab")->text(), QStringLiteral("FREQUENCY"));
    QTest::mouseClick(dauer, Qt::LeftButton);
    EXPECT_TRUE(timer->isActive());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_FALSE(mess->isEnabled());
    EXPECT_FALSE(Child<QListWidget>(dialog, "mess_list")->isEnabled());
    Screenshot(dialog, "measurement-dialog.png");
    QTest::mouseClick(stop, Qt::LeftButton);
    EXPECT_FALSE(timer->isActive());
    EXPECT_TRUE(dauer->isEnabled());
    EXPECT_TRUE(sim.Messages().empty());
}

TEST(MeasureDialogsTest, HandheldContinuousModeShowsTicksAndStopsAndClosesWhileRunning) {
    test::TempDir dir;
    test::SimLink sim(dir, 20);
    sim.Transport().Query("!T02,A");
    auto dialog = std::make_unique<Tmbx_dlg>(
        sim.Transport(), sim.Notes(), ReadMeterDefinition(DriverFile("kt_ths3014.ini")), nullptr);
    auto* lab1 = Child<QLabel>(*dialog, "Mess_lab1");
    auto* lab2 = Child<QLabel>(*dialog, "Mess_lab2");
    auto* run = Child<QPushButton>(*dialog, "RHbtn");
    EXPECT_EQ(Child<QListWidget>(*dialog, "Funk_lb")->currentRow(), 1);
    EXPECT_EQ(Child<QListWidget>(*dialog, "uni_lb")->currentRow(), 0);  // Auto
    QTest::mouseClick(run, Qt::LeftButton);
    EXPECT_EQ(run->text(), QStringLiteral("STOP"));
    EXPECT_FALSE(Child<QPushButton>(*dialog, "messbtn")->isEnabled());
    EXPECT_FALSE(Child<QListWidget>(*dialog, "Funk_lb")->isEnabled());
    // The first tick comes after a second, on the worker; its result arrives queued.
    QTRY_VERIFY_WITH_TIMEOUT(lab1->text().endsWith(QStringLiteral("V")), 10000);
    EXPECT_TRUE(lab2->text().endsWith(QStringLiteral("kHZ"))) << lab2->text().toStdString();
    Screenshot(*dialog, "multimeter-handheld.png");
    QTest::mouseClick(run, Qt::LeftButton);
    EXPECT_EQ(run->text(), QStringLiteral("RUN"));
    EXPECT_TRUE(Child<QPushButton>(*dialog, "messbtn")->isEnabled());
    // Running again and closing at once: the dialog goes while a tick may be under way.
    QTest::mouseClick(run, Qt::LeftButton);
    dialog->close();
    dialog.reset();
    QTest::qWait(1500);  // a tick that was still running finds the dialog gone
    EXPECT_EQ(sim.Messages(), std::vector<int>{});
}

TEST(MeasureDialogsTest, HandheldTickFailureLeavesContinuousModeWithOneMessage) {
    test::TempDir dir;
    test::SimLink sim(dir, 20);
    Tmbx_dlg dialog(sim.Transport(), sim.Notes(), ReadMeterDefinition(DriverFile("kt_ths3014.ini")),
                    nullptr);
    sim.Transport().LinkSetTimeout(100);
    sim.Transport().SendCommand("KTXSIM:FAULT SILENT");
    auto* run = Child<QPushButton>(dialog, "RHbtn");
    QTest::mouseClick(run, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(run->text(), QStringLiteral("RUN"), 15000);
    EXPECT_EQ(sim.Messages(), std::vector<int>{26});
}

TEST(MeasureDialogsTest, DmmRangeDialogShowsTheStateAndMeasures) {
    test::TempDir dir;
    test::SimLink sim(dir, 9);
    sim.Transport().SendCommand("KTXSIM:CLOCK 0;:DIS:MOD MET");
    Tmb_dlg dialog(sim.Transport(), sim.Notes(), ReadMeterDefinition(DriverFile("kt_ths720p.ini")),
                   nullptr);
    EXPECT_EQ(Child<QListWidget>(dialog, "Funk_lb")->currentRow(), 1);  // DCV
    EXPECT_TRUE(Child<QCheckBox>(dialog, "autocheck")->isChecked());
    auto* ranges = Child<QListWidget>(dialog, "uni_lb");
    ASSERT_EQ(ranges->count(), 6);
    QTest::mouseClick(ranges->viewport(), Qt::LeftButton, {},
                      ranges->visualItemRect(ranges->item(2)).center());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "autocheck")->isChecked());
    EXPECT_EQ(ranges->currentRow(), 2);
    QTest::mouseClick(Child<QPushButton>(dialog, "messbtn"), Qt::LeftButton);
    EXPECT_EQ(Child<QLabel>(dialog, "Messlab")->text(), QStringLiteral("1.5V"));
    Screenshot(dialog, "multimeter-dmm.png");
    EXPECT_TRUE(sim.Messages().empty());
}

TEST(MeasureDialogsTest, CaptureDialogReadsTheLoggersMode) {
    test::TempDir dir;
    test::SimLink sim(dir, 9);
    sim.Transport().SendCommand("DMM:LOGG:MODE PEAK;:DMM:MEASU:MEAS1:STATE ON;TYPE AVERAGE");
    Terf_dlg dialog(sim.Transport(), sim.Notes(), ReadMeterDefinition(DriverFile("kt_ths720p.ini")),
                    nullptr);
    EXPECT_TRUE(Child<QWidget>(dialog, "peakrad")->property("checked").toBool());
    EXPECT_TRUE(Child<QCheckBox>(dialog, "anz_check1")->isChecked());
    EXPECT_EQ(Child<QListWidget>(dialog, "mb_lb1")->currentRow(), 0);
    Screenshot(dialog, "multimeter-capture.png");
}

}  // namespace
}  // namespace ktx

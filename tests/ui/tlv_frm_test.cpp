// SPDX-License-Identifier: GPL-3.0-or-later
// The live window against the simulated instrument: frames follow each other through the
// event loop, the labels show the instrument's scaling in the sources' colours, Stop and
// closing end the run, and closing while a frame is running leaves that frame its buffers.
// The source dialog's checks as the user meets them.
#include "view/tlv_frm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/main_form.h"
#include "config/program_state.h"
#include "test_files.h"
#include "view/live_test_support.h"
#include "view/tktx_lva_dial.h"

namespace ktx {
namespace {

// Runs the event loop until `done` holds, at most `limitMs` (a bound for a broken run, not a
// measurement).
template <typename Done>
void RunUntil(Done done, int limitMs = 20000) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    poll.start(1);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
}

class LiveWindowTest : public ::testing::TestWithParam<test::SimCarrier> {
  protected:
    test::TempDir m_dir;
};

TEST_P(LiveWindowTest, FramesFollowEachOtherUntilStop) {
    test::LiveLink link(m_dir, GetParam());
    Tlv_frm window(link.Transport(), link.Notes(), KTX_DRIVER_DIR "/kt_tds210.ini");
    window.SetSourceChooser([] {
        return LiveSelection{{"CH1", "CH2", "MATH", "REF1"}, "0", "2500", 2500};
    });
    window.show();
    window.Button1Click();
    EXPECT_TRUE(window.Running());
    RunUntil([&] { return window.Frames() >= 5; });
    EXPECT_GE(window.Frames(), 5);
    window.Button2Click();
    QApplication::processEvents();
    const int frames = window.Frames();
    QApplication::processEvents();
    EXPECT_EQ(window.Frames(), frames);  // no frame after Stop
    EXPECT_FALSE(window.Running());
    EXPECT_TRUE(window.findChild<QPushButton*>("Button1")->isEnabled());

    const QString ms = window.findChild<QLabel*>("Label2")->text();
    EXPECT_TRUE(ms.endsWith("ms")) << ms.toStdString();
    EXPECT_EQ(window.findChild<QLabel*>("Xdiv_lab")->text(), "1ms/div");
    const std::pair<const char*, QColor> labels[] = {{"CH1 1V/div", QColor(0xFF, 0xFF, 0x00)},
                                                     {"CH2 500mV/div", QColor(0x00, 0xFF, 0xFF)},
                                                     {"MATH 1V/div", QColor(0xFF, 0x00, 0x00)},
                                                     {"REF1 1V/div", QColor(Qt::black)}};
    for (int i = 0; i < 4; ++i) {
        auto* label = window.findChild<QLabel*>(QStringLiteral("Ch%1div").arg(i + 1));
        ASSERT_TRUE(label);
        EXPECT_TRUE(label->isVisible());
        EXPECT_EQ(label->text(), labels[i].first);
        EXPECT_EQ(label->palette().color(QPalette::WindowText), labels[i].second);
    }
    // The drawing area is whole divisions plus one pixel and shows the curves' colours.
    auto* image = window.findChild<QWidget*>("Image1");
    EXPECT_EQ(image->width() % 10, 1);
    EXPECT_EQ(image->height() % 10, 1);
    const QImage shot = image->grab().toImage();
    bool yellow = false, aqua = false;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb c = shot.pixel(x, y) & 0xFFFFFF;
            yellow = yellow || c == 0xFFFF00;
            aqua = aqua || c == 0x00FFFF;
        }
    }
    EXPECT_TRUE(yellow && aqua);
    EXPECT_TRUE(link.Notes().shown.empty());
    window.close();
    EXPECT_FALSE(window.Live().BuffersHeld());
}

INSTANTIATE_TEST_SUITE_P(Carriers, LiveWindowTest,
                         ::testing::Values(test::SimCarrier::InProcess, test::SimCarrier::Tcp),
                         [](const auto& info) {
                             return info.param == test::SimCarrier::Tcp ? "Tcp" : "InProcess";
                         });

// Something inside an exchange lets events through (here the GPIB pause between commands):
// the window is closed while its frame is half done. The frame ends on buffers that are still
// there (the sanitizers see a use after free otherwise), then they go and no frame follows.
TEST(LiveWindowCloseTest, ClosingMidFrameLeavesTheFrameItsBuffers) {
    test::TempDir dir;
    Tlv_frm* target = nullptr;
    int pauses = 0;
    int closeAt = -1;
    auto wait = [&](int) {
        ++pauses;
        if (pauses == closeAt && target) {
            target->close();
            QApplication::processEvents();
        }
    };
    test::LiveLink link(dir, test::SimCarrier::InProcess, 1, wait, kLinkGpib);
    Tlv_frm window(link.Transport(), link.Notes(), KTX_DRIVER_DIR "/kt_tds210.ini");
    target = &window;
    window.SetSourceChooser([] { return LiveSelection{{"CH1", "CH2"}, "0", "2500", 2500}; });
    window.show();
    window.Button1Click();
    RunUntil([&] { return window.Frames() >= 2; });
    ASSERT_GE(window.Frames(), 2);
    const int framesBefore = window.Frames();
    closeAt = pauses + 3;  // inside the next frame, between the first source and the second
    RunUntil([&] { return !window.isVisible() && !window.Running(); });
    ASSERT_FALSE(window.isVisible());
    EXPECT_GE(pauses, closeAt);
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_FALSE(window.Running());
    EXPECT_FALSE(window.Live().BuffersHeld());
    EXPECT_LE(window.Frames(), framesBefore + 1);
}

// The menu item and the tool button open the live window over the main window, modally, on the
// instrument the main window has selected.
TEST(LiveWindowShellTest, MenuItemAndToolButtonOpenIt) {
    test::TempDir home;
    std::filesystem::create_symlink(std::string(KTX_PROGRAM_DIR) + "/ktx_sim.so",
                                    home.Path("ktx_sim.so"));
    std::filesystem::create_symlink(KTX_DRIVER_DIR, home.Path("Driver"));
    test::WriteFile(home.Path("kurvitex.ini"),
                    "[DEVICE]\nINIFILE=Driver/kt_tds210.ini\nTYPE=1\n[TRANSFER]\nSS_TYPE=4\n"
                    "DLL_NAME=ktx_sim.so\n");
    test::RecordingNotifier notes;
    TMainForm form(ReadStartupState(home.Path("")), MainFormOptions{false, &notes});
    form.FirstActivation();
    form.show();
    for (const char* name : {"Live1", "Live_button"}) {
        QString title;
        bool modal = false;
        int sources = 0;
        QTimer::singleShot(0, &form, [&] {
            auto* live = form.findChild<Tlv_frm*>();
            ASSERT_TRUE(live);
            title = live->windowTitle();
            modal = live->isModal();
            // Start shows the source dialog on the selected instrument's sources.
            QTimer::singleShot(0, live, [&, live] {
                auto* dialog = live->findChild<TKTX_lva_dial*>();
                ASSERT_TRUE(dialog);
                sources = dialog->findChild<QListWidget*>("Sourcelist")->count();
                dialog->reject();
                QTimer::singleShot(0, live, [live] { live->close(); });
            });
            live->findChild<QPushButton*>("Button1")->click();
        });
        QAction* action = form.findChild<QAction*>(name);
        ASSERT_TRUE(action) << name;
        action->trigger();
        EXPECT_EQ(title, "Live") << name;
        EXPECT_TRUE(modal) << name;
        EXPECT_EQ(sources, 5) << name;  // CH1, CH2, MATH, REF1, REF2
        EXPECT_FALSE(form.findChild<Tlv_frm*>()) << name;
    }
    EXPECT_TRUE(notes.shown.empty());
}

// --- the source dialog ------------------------------------------------------------------------

TEST(LiveSourceDialogTest, ElevenClicksSelectTenAndTheStopIsBounded) {
    test::TempDir dir;
    std::string sources = "[SOURCES]\nCOUNT=12\n";
    for (int i = 1; i <= 12; ++i) {
        sources += "S" + std::to_string(i) + "=CH" + std::to_string(i) + "\n";
    }
    const std::string file = dir.Path("kt_many.ini");
    test::WriteFile(file,
                    "[DEVICE]\nNAME=X\nTYPE=1\n[MEMORY]\nSIZE=2500\nITEMCNT=2\nI1=500\n"
                    "I2=2500\n" +
                        sources);
    test::RecordingNotifier notes;
    TKTX_lva_dial dialog(file, notes);
    dialog.show();
    auto* list = dialog.findChild<QListWidget*>("Sourcelist");
    auto* stop = dialog.findChild<QComboBox*>("Stopedi");
    ASSERT_TRUE(list && stop);
    EXPECT_EQ(dialog.windowTitle(), "Waveform");
    EXPECT_EQ(list->count(), 12);
    EXPECT_EQ(stop->currentText(), "500");  // the first record length is chosen
    for (int i = 0; i < 11; ++i) {
        list->scrollToItem(list->item(i));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(i)).center());
    }
    EXPECT_EQ(list->selectedItems().size(), 10);
    EXPECT_FALSE(list->item(10)->isSelected());

    stop->setEditText("3000");
    QTest::mouseClick(dialog.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0].stringId, 10015);
    EXPECT_EQ(stop->currentText(), "2500");
    EXPECT_TRUE(dialog.isVisible());

    dialog.findChild<QLineEdit*>("Startedi")->setText("2500");
    QTest::mouseClick(dialog.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    ASSERT_EQ(notes.shown.size(), 2u);
    EXPECT_EQ(notes.shown[1].stringId, 10044);  // nothing between start and stop
    EXPECT_TRUE(dialog.isVisible());

    dialog.findChild<QLineEdit*>("Startedi")->setText("500");
    QTest::mouseClick(dialog.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_TRUE(dialog.Selection());
    EXPECT_EQ(dialog.Selection()->points, 2000);
    EXPECT_EQ(dialog.Selection()->sources.size(), 10u);
}

}  // namespace
}  // namespace ktx

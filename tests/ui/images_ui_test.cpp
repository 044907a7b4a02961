// SPDX-License-Identifier: GPL-3.0-or-later
// The image window, the file manager and the control panel in the real main window against
// the simulated instrument: what a user sees after a fetch, a failed fetch, a comment edit,
// saving the fetched picture, and switching the control mode.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTextEdit>
#include <QTreeWidget>

#include <filesystem>

#include "app/main_form.h"
#include "config/program_state.h"
#include "images/image_commands.h"
#include "images/image_files.h"
#include "images/picture_codec.h"
#include "images/tdman.h"
#include "images/tmdichild.h"
#include "test_files.h"
#include "tools/acquisition_commands.h"

namespace ktx {
namespace {

constexpr int kMsgPictureNotRead = 10040;
constexpr int kMsgCommentChanged = 10305;

class ImagesUiTest : public ::testing::Test {
  protected:
    std::unique_ptr<TMainForm> Start(const std::string& driver, int type) {
        std::filesystem::create_symlink(std::string(KTX_PROGRAM_DIR) + "/ktx_sim.so",
                                        m_home.Path("ktx_sim.so"));
        test::WriteFile(m_home.Path("kurvitex.ini"),
                        std::string("[DEVICE]\nINIFILE=") + KTX_DRIVER_DIR + "/" + driver +
                            "\n[TRANSFER]\nSS_TYPE=4\nDLL_NAME=ktx_sim.so\n[SIM]\nTYPE=" +
                            std::to_string(type) + "\n");
        auto form = std::make_unique<TMainForm>(ReadStartupState(m_home.Path("")),
                                                MainFormOptions{false, &m_notifier});
        form->resize(1200, 900);
        form->show();
        form->FirstActivation();
        return form;
    }
    std::vector<int> Shown() const {
        std::vector<int> ids;
        for (const test::Shown& s : m_notifier.shown) {
            ids.push_back(s.stringId);
        }
        return ids;
    }

    test::TempDir m_home;
    test::RecordingNotifier m_notifier;
};

TEST_F(ImagesUiTest, FetchShowsTheCurrentPictureAndAFailedOneDoesNotPoseAsNew) {
    auto form = Start("kt_tds1012.ini", 12);
    ASSERT_TRUE(form->State().deviceConnected);
    form->Action("Get_button")->trigger();
    EXPECT_EQ(Shown(), std::vector<int>{});
    TMDIChild* window = form->Images().ImageWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "aktuelles Bild");
    EXPECT_EQ(window->Picture().width(), 640);
    EXPECT_TRUE(window->ShowsTempPicture());
    const QImage first = window->Picture();
    // The scratch file may change from now on: the window keeps what it showed.
    test::WriteFile(form->State().tempPicture, "overwritten");

    form->Transport().SendCommand("KTXSIM:FAULT SILENT");
    form->Action("Bildabholen1")->trigger();
    EXPECT_EQ(Shown(), std::vector<int>{kMsgPictureNotRead});
    ASSERT_EQ(form->Images().ImageWindow(), window);
    EXPECT_NE(window->windowTitle(), "aktuelles Bild");
    EXPECT_EQ(window->Picture(), first);
    form->Transport().SendCommand("KTXSIM:FAULT NONE");

    // Saving the fetched picture as "x.png" writes a PNG, with the comment beside it.
    window->Comment()->setPlainText("Motoranlauf");
    ASSERT_TRUE(window->SaveTempPictureAs(m_home.Path("x.png")));
    EXPECT_EQ(SniffPicture(test::ReadFile(m_home.Path("x.png"))), PictureKind::Png);
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadCommentLines(m_home.Path("x.dat"), lines));
    EXPECT_EQ(lines, std::vector<std::string>{"Motoranlauf"});
    EXPECT_EQ(window->windowTitle().toStdString(), m_home.Path("x.png"));
    EXPECT_FALSE(window->ShowsTempPicture());
    EXPECT_FALSE(window->SaveTempPictureAs(m_home.Path("x.gif")));
    EXPECT_EQ(m_notifier.shown.back().stringId, 10042);

    // Closing the window mid-way is noticed: the next fetch opens a new one.
    window->close();
    QApplication::processEvents();
    EXPECT_EQ(form->Images().ImageWindow(), nullptr);
    form->FetchPicture();
    ASSERT_NE(form->Images().ImageWindow(), nullptr);
    EXPECT_EQ(form->Images().ImageWindow()->windowTitle(), "aktuelles Bild");
}

TEST_F(ImagesUiTest, CommentsComeFromTheDatFileAndAChangeIsOfferedForSaving) {
    auto form = Start("kt_tds210.ini", 1);
    const std::string scope1 = m_home.Path("scope1.bmp");
    const std::string scope2 = m_home.Path("scope2.pcx");
    RgbImage image;
    image.width = 40;
    image.height = 30;
    image.rgb.assign(40 * 30 * 3, 200);
    test::WriteFile(scope1, EncodeBmp(image));
    test::WriteFile(m_home.Path("scope1.dat"), "erste Zeile\nzweite Zeile\n");
    test::WriteFile(scope2, test::ReadFile(std::string(KTX_IMAGE_DATA_DIR) + "/planes4.pcx"));
    TMDIChild* window = form->Images().OpenImageWindow("noname");
    ASSERT_TRUE(window->LoadFile(scope1));
    EXPECT_EQ(window->Comment()->toPlainText(), "erste Zeile\nzweite Zeile");
    EXPECT_NEAR(window->AspectRatio(), 40.0 / 30.0, 1e-9);
    window->Comment()->setPlainText("geändert");
    m_notifier.confirmAnswer = true;
    ASSERT_TRUE(window->LoadFile(scope2));
    EXPECT_EQ(Shown(), std::vector<int>{kMsgCommentChanged});
    EXPECT_EQ(window->Comment()->toPlainText(), "kein Kommentar");
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadCommentLines(m_home.Path("scope1.dat"), lines));
    EXPECT_EQ(lines, std::vector<std::string>{"geändert"});
    // A file that is no picture changes nothing.
    test::WriteFile(m_home.Path("junk.png"), "BM junk");
    EXPECT_FALSE(window->LoadFile(m_home.Path("junk.png")));
    EXPECT_EQ(window->windowTitle().toStdString(), scope2);
    EXPECT_EQ(window->Picture().width(), 37);

    Tdman manager(m_home.Path(""));
    QTreeWidget* files = manager.Files();
    ASSERT_EQ(files->topLevelItemCount(), 1);  // the BMP only
    EXPECT_EQ(files->topLevelItem(0)->text(0), "scope1.bmp");
    EXPECT_EQ(files->topLevelItem(0)->text(1), "geändert");
}

TEST_F(ImagesUiTest, ControlModeShowsThePanelAndLeavesOnlyTheAcquisitionEnabled) {
    auto form = Start("kt_tds210.ini", 1);
    QWidget* panel = form->findChild<QWidget*>("Steu_panel");
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->isVisible());
    form->Action("Steu_button")->trigger();
    EXPECT_TRUE(form->State().controlMode);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(form->Action("Steuerung1")->isChecked());
    for (const char* menu : {"Datei1", "Optionen1", "Tools1"}) {
        EXPECT_FALSE(form->Menu(menu)->menuAction()->isEnabled()) << menu;
    }
    form->Action("Dauer_button")->trigger();
    EXPECT_FALSE(form->Action("Dauer_button")->isEnabled());
    EXPECT_TRUE(form->Action("Stop_button")->isEnabled());
    form->Action("Steuerung1")->trigger();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(form->findChild<QTimer*>("get_tim")->isActive());
    EXPECT_TRUE(form->Menu("Datei1")->menuAction()->isEnabled());
}

TEST(ImageFitTest, ShrinksTheDimensionThatIsTooLarge) {
    // 640 x 480 in a picture area of 500 x 500 under a 60-pixel comment field.
    EXPECT_EQ(FitClientSize({500, 560}, 60, 640.0 / 480.0), QSize(500, 375 + 60));
    EXPECT_EQ(FitClientSize({900, 360}, 60, 640.0 / 480.0), QSize(400, 360));
    EXPECT_EQ(FitClientSize({900, 360}, 60, 0), QSize(900, 360));
}

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The set-up editor, the telecom library and the converter's dialog as a user works them, the
// first two against the simulated instrument in-process; and the menu items in the real main
// window.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <filesystem>

#include "app/main_form.h"
#include "config/program_state.h"
#include "convert/tkonvdlg.h"
#include "link/command_transport.h"
#include "setups/setup_dialogs.h"
#include "test_files.h"

namespace ktx {
namespace {

namespace fs = std::filesystem;

class SimDialogTest : public ::testing::Test {
  protected:
    SimDialogTest() : m_transport(m_notes) {
        const std::string ini = m_dir.Path("sim.ini");
        test::WriteFile(ini, "[SIM]\nTYPE=12\nTELECOM=1\n");
        m_transport.OpenLink({KTX_PROGRAM_DIR, "ktx_sim.so", 4, 12}, false, ini);
        m_transport.LinkSetTimeout(300);
    }
    SetupDialogContext Context() {
        return {m_transport,
                m_notes,
                NoProgress(),
                "NONE",
                m_dir.Path("edit.tmp"),
                [this] { ++m_pictures; }};
    }

    test::TempDir m_dir;
    test::RecordingNotifier m_notes;
    CommandTransport m_transport;
    int m_pictures = 0;
};

TEST_F(SimDialogTest, EditorListsTheSetupAndTestsAnEditedEntry) {
    TSet_edi editor(Context());
    ASSERT_GT(editor.SetList()->count(), 10);
    EXPECT_EQ(editor.SetList()->count(), static_cast<int>(editor.Entries().size()));
    EXPECT_EQ(editor.SetString()->text().toStdString(), editor.Entries()[0]);
    editor.SetList()->setCurrentRow(3);
    EXPECT_EQ(editor.SetString()->text().toStdString(), editor.Entries()[3]);
    EXPECT_FALSE(fs::exists(m_dir.Path("edit.tmp")));  // its scratch file goes at once

    editor.SetString()->setText(":CH3:SCALE 2");
    editor.TestClick();
    EXPECT_TRUE(m_notes.shown.empty());
    editor.LesenClick();
    bool found = false;
    for (const std::string& e : editor.Entries()) {
        found |= e.rfind("CH3:SCALE 2.0E0;", 0) == 0;  // the ":" ended the entry before
    }
    EXPECT_TRUE(found);
    EXPECT_TRUE(m_notes.shown.empty());

    m_transport.SendCommand("KTXSIM:FAULT SILENT");
    editor.LesenClick();
    EXPECT_EQ(editor.SetList()->count(), 0);
    ASSERT_EQ(m_notes.shown.size(), 1u);
    EXPECT_EQ(m_notes.shown[0].stringId, 10037);
}

TEST_F(SimDialogTest, TelecomShowsTheLibraryAndSendsTheChosenMask) {
    Ttelc_form telecom(Context(), KTX_TELECOM_DIR);
    ASSERT_EQ(telecom.List()->count(), 3);
    EXPECT_EQ(telecom.FileLabel(), "ds1.set");
    EXPECT_FALSE(telecom.HasPicture());
    telecom.List()->setCurrentRow(1);
    EXPECT_EQ(telecom.FileLabel(), "g703_e1.set");
    EXPECT_TRUE(telecom.HasPicture());
    EXPECT_TRUE(telecom.TransferClick());
    EXPECT_TRUE(m_notes.shown.empty());
    EXPECT_EQ(m_transport.Query("MASK:USER:LABEL?"), "\"ITU-T G.703 E1\"");

    m_transport.CloseLink();
    EXPECT_FALSE(telecom.TransferClick());
    ASSERT_EQ(m_notes.shown.size(), 1u);
    EXPECT_EQ(m_notes.shown[0].stringId, 10038);
}

TEST(ConvertDialogTest, SourceFormatChoosesFilesAndTargets) {
    if (test::CorpusDir().empty()) {
        GTEST_SKIP() << "no corpus beside the checkout";
    }
    test::TempDir dir;
    fs::copy_file(test::CorpusDir() + "/isf/TEK00000.ISF", dir.Path("A.ISF"));
    fs::copy_file(test::CorpusDir() + "/isf/example.isf", dir.Path("b.isf"));
    test::WriteFile(dir.Path("c.txt"), "not chosen");
    test::RecordingNotifier notes;
    TKonvdlg dialog(notes, NoProgress(), '.');
    dialog.SetFolder(dir.Path(""));
    EXPECT_TRUE(dialog.TextTargetsVisible());
    EXPECT_TRUE(dialog.ListedFiles().empty());
    dialog.SetSourceIndex(2);
    EXPECT_FALSE(dialog.TextTargetsVisible());
    EXPECT_EQ(dialog.ListedFiles(), (std::vector<std::string>{"A.ISF", "b.isf"}));
    dialog.SelectAll();
    dialog.OkClick();
    EXPECT_EQ(dialog.Summary().written, 2);
    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0].stringId, 10730);
    EXPECT_TRUE(fs::is_regular_file(dir.Path("A.ktx")));

    dialog.SetSourceIndex(0);
    EXPECT_EQ(dialog.ListedFiles(), (std::vector<std::string>{"A.ktx", "b.ktx"}));
    EXPECT_FALSE(dialog.OptionsEnabled());
    dialog.SetTargetIndex(2);
    EXPECT_TRUE(dialog.OptionsEnabled());
    dialog.SelectAll();
    dialog.OkClick();
    EXPECT_EQ(dialog.Summary().written, 2);
    EXPECT_TRUE(fs::is_regular_file(dir.Path("b.txt")));
}

TEST(SetupMenuTest, TelecomWithoutTheModuleSaysSo) {
    test::TempDir home;
    fs::create_symlink(std::string(KTX_PROGRAM_DIR) + "/ktx_sim.so", home.Path("ktx_sim.so"));
    test::WriteFile(home.Path("kurvitex.ini"),
                    std::string("[DEVICE]\nINIFILE=") + KTX_DRIVER_DIR +
                        "/kt_tds1012.ini\n[TRANSFER]\nSS_TYPE=4\nDLL_NAME=ktx_sim.so\n[SIM]\n"
                        "TYPE=12\n");
    test::RecordingNotifier notes;
    auto form = std::make_unique<TMainForm>(ReadStartupState(home.Path("")),
                                            MainFormOptions{false, &notes});
    form->FirstActivation();
    notes.shown.clear();
    form->Action("Telecom1")->trigger();
    ASSERT_EQ(notes.shown.size(), 1u);
    EXPECT_EQ(notes.shown[0].stringId, 10311);
}

}  // namespace
}  // namespace ktx

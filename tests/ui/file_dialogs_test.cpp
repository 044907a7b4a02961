// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform/file_dialogs.h"

#include <gtest/gtest.h>
#include <QListWidget>

#include "test_files.h"

namespace ktx {
namespace {

class FileDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string ini = "[MEMORY]\nSIZE=2500\n[SOURCES]\nCOUNT=12\nWRITE=5\n";
        for (int i = 1; i <= 12; ++i) {
            ini += "S" + std::to_string(i) + "=SRC" + std::to_string(i) + "\n";
        }
        test::WriteFile(m_dir.Path("kt.ini"), ini);
    }
    test::TempDir m_dir;
    test::RecordingNotifier m_notifier;
};

TEST_F(FileDialogTest, ElevenSourcesLeaveTen) {
    TKTX_file_dial dialog(kModeRead, 1, m_dir.Path("kt.ini"), false, m_notifier);
    EXPECT_EQ(dialog.windowTitle(), "Export Waveform");
    std::vector<int> rows;
    for (int i = 0; i < 11; ++i) {
        rows.push_back(i);
    }
    dialog.SelectSources(rows);
    EXPECT_EQ(dialog.Sources()->selectedItems().size(), 10);
}

TEST_F(FileDialogTest, ReadRequestCarriesTheChoices) {
    TKTX_file_dial dialog(kModeRead, 1, m_dir.Path("kt.ini"), true, m_notifier);
    dialog.SetFolder(m_dir.Path(""));
    dialog.SetFilterIndex(3);  // FAMOS
    dialog.SetFileName("x.fms");
    dialog.SelectSources({1});
    dialog.SetRange("0", "3000");
    dialog.Confirm();
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].text, "Speicherbereich zu groß");
    dialog.SetRange("10", "2500");
    dialog.Confirm();
    const TransferRequest r = dialog.Request();
    EXPECT_EQ(r.format, kFormatFms);
    EXPECT_EQ(r.fileName, m_dir.Path("x.fms"));
    EXPECT_EQ(r.sources, (std::vector<std::string>{"SRC2"}));
    EXPECT_EQ(r.requested, 2490);
    EXPECT_TRUE(r.show);
}

TEST_F(FileDialogTest, WritingOffersTheWritableSourcesAndNamesTheModel) {
    test::WriteFile(m_dir.Path("ref.wfm"), std::string(":CURVE 1,2,3\n"));
    TKTX_file_dial dialog(kModeWrite, 10, m_dir.Path("kt.ini"), false, m_notifier);
    EXPECT_EQ(dialog.windowTitle(), "Ausgeben Waveform");
    EXPECT_EQ(dialog.Sources()->count(), 8);  // SRC5..SRC12
    dialog.SetFolder(m_dir.Path(""));
    dialog.SetFileName("ref.wfm");
    EXPECT_FALSE(dialog.ModelLabel().isEmpty());
    // A type-10 instrument takes only its own binary files.
    EXPECT_FALSE(dialog.OkEnabled());
}

}  // namespace
}  // namespace ktx

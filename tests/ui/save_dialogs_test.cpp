// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/save_dialogs.h"

#include <gtest/gtest.h>
#include <QLineEdit>

#include "test_files.h"

namespace ktx {
namespace {

TEST(SaveDialog, RefusesStarsAndAsksBeforeOverwriting) {
    test::TempDir dir;
    test::RecordingNotifier notifier;
    TSvas_dlg dialog(notifier);
    dialog.SetFilter("Kurvitex Dateien (*.ktx)|*.KTX|Bitmap (*.bmp)|*.BMP");
    dialog.SetFolder(dir.Path(""));
    EXPECT_EQ(dialog.NameField()->text(), "*.*");

    dialog.Confirm();  // "*.*" with the mask's extension is still a wildcard
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].stringId, 10042);
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    test::WriteFile(dir.Path("LOG1.KTX"), std::string("x"));
    notifier.confirmAnswer = false;
    dialog.NameField()->setText("log1");
    dialog.Confirm();
    ASSERT_EQ(notifier.shown.size(), 2u);
    EXPECT_EQ(notifier.shown[1].text,
              "Soll die existierende Datei überschrieben werden:" + dir.Path("LOG1.KTX"));
    EXPECT_TRUE(dialog.FileName().empty());

    notifier.confirmAnswer = true;
    dialog.Confirm();
    EXPECT_EQ(dialog.FileName(), dir.Path("LOG1.KTX"));
    EXPECT_EQ(dialog.FilterIndex(), 0);
    EXPECT_EQ(dialog.SizeChoice(), 0);
}

// Names keep the case they were typed in: the question about an existing lower-case file must
// come, and the name handed back is that file's.
TEST(SaveDialog, AsksAboutTheFileAsTyped) {
    test::TempDir dir;
    test::RecordingNotifier notifier;
    TSvas_dlg dialog(notifier);
    dialog.SetFilter("Kurvitex Dateien (*.ktx)|*.KTX|Bitmap (*.bmp)|*.BMP");
    dialog.SetFolder(dir.Path(""));
    test::WriteFile(dir.Path("auswahl1.ktx"), std::string("x"));
    notifier.confirmAnswer = true;
    dialog.NameField()->setText("auswahl1.ktx");
    dialog.Confirm();
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].stringId, 10306);
    EXPECT_EQ(dialog.FileName(), dir.Path("auswahl1.ktx"));
}

TEST(ChannelDialog, OffersOnlyPresentColumns) {
    Tcseldlg dialog({"V", "#", "A", "#"});
    EXPECT_TRUE(dialog.ChannelEnabled(0));
    EXPECT_FALSE(dialog.ChannelEnabled(1));
    EXPECT_TRUE(dialog.ChannelEnabled(2));
    EXPECT_EQ(dialog.Channel(), 0);
    dialog.Choose(1);  // not offered: nothing changes
    EXPECT_EQ(dialog.Channel(), 0);
    dialog.Choose(2);
    EXPECT_EQ(dialog.Channel(), 2);

    Tcseldlg none({"#", "#", "#", "#"});
    EXPECT_EQ(none.Channel(), -1);
}

}  // namespace
}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/message_catalog.h"

#include <gtest/gtest.h>

#include "test_files.h"

namespace ktx {
namespace {

TEST(MessageCatalog, NumberedTexts) {
    EXPECT_EQ(MessageCatalog::Message(3), "in der Routine \"Hoch 10\"!");
    EXPECT_EQ(MessageCatalog::Message(12), "ungültiges Dateiformat");
    EXPECT_EQ(MessageCatalog::Message(41), "Schreibfehler");
    EXPECT_EQ(MessageCatalog::Message(115), "Fehler der Serial-Poll Statusschlange");
    EXPECT_EQ(MessageCatalog::Message(204), "Schnittstelle konnte nicht initialisiert werden ");
    EXPECT_EQ(MessageCatalog::Message(311), "Modul nicht vorhanden");
    EXPECT_EQ(MessageCatalog::ValidatorMessage(49), "ungültiger Eintrag für RANGE°C COUNT");
    EXPECT_EQ(MessageCatalog::ValidatorMessage(60), "ungültiger Eintrag für SOURCES WRITE");
    EXPECT_EQ(MessageCatalog::String(2061), "DMM");
    // No GPIB error 8 or 9 exists; unknown numbers give an empty text, never a crash.
    EXPECT_EQ(MessageCatalog::Message(108), "");
    EXPECT_EQ(MessageCatalog::Message(-5), "");
}

TEST(MessageCatalog, EveryMessageOfTheShellAndTheValidatorIsThere) {
    for (int n = 1; n <= 45; ++n) {
        EXPECT_FALSE(MessageCatalog::Message(n).empty()) << n;
    }
    for (int n = 300; n <= 311; ++n) {
        EXPECT_FALSE(MessageCatalog::Message(n).empty()) << n;
    }
    for (int k = 1; k <= 60; ++k) {
        EXPECT_FALSE(MessageCatalog::ValidatorMessage(k).empty()) << k;
    }
}

TEST(Notifier, JoinsTheExtraTextAsEachRoutineDoes) {
    test::RecordingNotifier n;
    ShowInfoMsg(n, 301, 0);
    ShowErrorMsgText(n, 12, "/tmp/a.ktx", 14);
    ConfirmMsgText(n, 306, "a.ktx", 0);
    ShowValidatorMsg(n, 35, 2);
    ShowValidatorMsg(n, 1);
    ASSERT_EQ(n.shown.size(), 5u);
    EXPECT_EQ(n.shown[0].text, "Gerät nicht angeschlossen");
    EXPECT_EQ(n.shown[1].text, "ungültiges Dateiformat /tmp/a.ktx");
    EXPECT_EQ(n.shown[2].text, "Soll die existierende Datei überschrieben werden:a.ktx");
    EXPECT_EQ(n.shown[3].text, "ungültiger Eintrag für MEASDMM S2");
    EXPECT_EQ(n.shown[4].text, "kein Devicename");
    EXPECT_EQ(n.shown[3].severity, Severity::Error);
}

}  // namespace
}  // namespace ktx

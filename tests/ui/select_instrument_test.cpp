// SPDX-License-Identifier: GPL-3.0-or-later
// A new user's first steps with the simulated instrument: the real main window with the real
// in-process simulator, every shipped instrument chosen in turn through "Optionen >
// Geräteauswahl", each found by the presence check, never "Gerät nicht angeschlossen".
#include <gtest/gtest.h>
#include <QApplication>
#include <QListWidget>
#include <QTimer>

#include <filesystem>

#include "app/main_form.h"
#include "app/select_instrument_dialog.h"
#include "app/status_line.h"
#include "test_files.h"

namespace ktx {
namespace {

struct StartCase {
    const char* name;
    // kurvitex.ini as the user has it; nullptr: the shipped one.
    const char* kurvitexIni;
};

class SelectInstrumentTest : public ::testing::TestWithParam<StartCase> {
  protected:
    // A program folder laid out like the build's: the shipped files and the simulator library.
    void SetUp() override {
        const std::filesystem::path driver = m_home.Path("Driver");
        std::filesystem::create_directory(driver);
        for (const auto& entry : std::filesystem::directory_iterator(KTX_DRIVER_DIR)) {
            std::filesystem::copy_file(entry.path(), driver / entry.path().filename());
        }
        std::filesystem::create_symlink(std::string(KTX_PROGRAM_DIR) + "/ktx_sim.so",
                                        m_home.Path("ktx_sim.so"));
        if (GetParam().kurvitexIni == nullptr) {
            std::filesystem::copy_file(KTX_SHIPPED_INI, m_home.Path("kurvitex.ini"));
        } else {
            test::WriteFile(m_home.Path("kurvitex.ini"), std::string(GetParam().kurvitexIni));
        }
    }

    // Chooses `row` in the real selection dialog; gives the name the list showed there.
    std::string Choose(TMainForm& form, int row) {
        std::string name;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<Tsel_oszi*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ASSERT_LT(row, dialog->List()->count());
            dialog->List()->setCurrentRow(row);
            name = dialog->List()->item(row)->text().toStdString();
            dialog->accept();
        });
        form.Action("Geraeteauswahl1")->trigger();
        return name;
    }

    test::TempDir m_home;
    test::RecordingNotifier m_notifier;
};

TEST_P(SelectInstrumentTest, EveryShippedInstrumentIsFoundAfterSelectingIt) {
    auto form = std::make_unique<TMainForm>(ReadStartupState(m_home.Path("")),
                                            MainFormOptions{false, &m_notifier});
    form->FirstActivation();
    EXPECT_TRUE(form->State().deviceConnected);
    ASSERT_TRUE(m_notifier.shown.empty()) << m_notifier.shown[0].text;

    const auto files = std::distance(std::filesystem::directory_iterator(m_home.Path("Driver")),
                                     std::filesystem::directory_iterator());
    ASSERT_GE(files, 9);
    // Forwards through the list and back to the first, so every instrument follows several
    // others, the handheld (whose link carries its own definition file) among them.
    for (int step = 0; step <= files; ++step) {
        const int row = step < files ? static_cast<int>(step) : 0;
        const std::string name = Choose(*form, row);
        SCOPED_TRACE(name);
        EXPECT_TRUE(form->State().deviceConnected);
        EXPECT_TRUE(m_notifier.shown.empty()) << m_notifier.shown[0].text;
        m_notifier.shown.clear();
        // The status line names it (type 9 adds its mode).
        EXPECT_TRUE(form->Status().DeviceText().startsWith(QString::fromStdString(name)))
            << form->Status().DeviceText().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Starts, SelectInstrumentTest,
    testing::Values(
        StartCase{"ShippedSettings", nullptr},
        // kurvitex.ini as an older build left it: its [SIM] defaults pinned family 1.
        StartCase{"OlderBuildsSettings",
                  "[DEVICE]\nINIFILE=Driver/kt_tds210.ini\nTYPE=1\n[TRANSFER]\nSS_TYPE=4\n"
                  "DLL_NAME=ktx_sim.so\n[SIM]\nMODEL=\nTYPE=1\nSEED=1\nRECORDLENGTH=2500\n"
                  "SILENT=0\nGARBAGE=0\nTRUNCATE=0\nDROPAFTER=-1\nDELAY=0\n"},
        // Started with the handheld: the link is opened with its own definition file.
        StartCase{"HandheldAtStart",
                  "[DEVICE]\nINIFILE=Driver/kt_ths3014.ini\nTYPE=20\n[TRANSFER]\nSS_TYPE=4\n"
                  "DLL_NAME=ktx_sim.so\n"}),
    [](const testing::TestParamInfo<StartCase>& info) { return info.param.name; });

}  // namespace
}  // namespace ktx

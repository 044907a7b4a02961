// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_form.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLibrary>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>

#include <filesystem>

#include "app/help_window.h"
#include "app/qt_notifier.h"
#include "app/save_dialogs.h"
#include "app/select_instrument_dialog.h"
#include "app/splash_form.h"
#include "app/status_line.h"
#include "config/profile_file.h"
#include "link/fake_link.h"
#include "link/link_dialogs.h"
#include "test_files.h"
#include "view/tktxview.h"
#include "view/view_test_files.h"
#include "waveform/file_dialogs.h"
#include "waveform/wave_file.h"

namespace ktx {
namespace {

// A program folder of the test's own, with the scripted interface library linked into it.
class MainFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string lib = std::string(KTX_FAKE_LINK_DIR) + "/ktx_fake.so";
        std::filesystem::create_symlink(lib, m_home.Path("ktx_fake.so"));
        m_lib.setFileName(QString::fromStdString(lib));
        ASSERT_TRUE(m_lib.load());
        m_script = reinterpret_cast<FakeLinkScript* (*)()>(m_lib.resolve("ktx_fake_script"))();
        m_script->Reset();
    }

    void WriteIni(const std::string& text) { test::WriteFile(m_home.Path("kurvitex.ini"), text); }
    // An instrument definition file named in kurvitex.ini with the fake library as interface.
    void UseInstrument(int type, const std::string& name, const std::string& extra = "") {
        test::WriteFile(m_home.Path("kt_dev.ini"),
                        "[DEVICE]\nNAME=" + name + "\nTYPE=" + std::to_string(type) + "\n" + extra);
        WriteIni("[DEVICE]\nINIFILE=kt_dev.ini\n[TRANSFER]\nSS_TYPE=1\nDLL_NAME=ktx_fake.so\n");
    }
    std::unique_ptr<TMainForm> Start() {
        auto form = std::make_unique<TMainForm>(ReadStartupState(m_home.Path("")),
                                                MainFormOptions{false, &m_notifier});
        form->FirstActivation();
        return form;
    }
    bool MenuVisible(TMainForm& f, const char* name) {
        return f.Menu(QString::fromUtf8(name))->menuAction()->isVisible();
    }
    bool MenuEnabled(TMainForm& f, const char* name) {
        return f.Menu(QString::fromUtf8(name))->menuAction()->isEnabled();
    }
    bool Enabled(TMainForm& f, const char* name) {
        return f.Action(QString::fromUtf8(name))->isEnabled();
    }

    test::TempDir m_home;
    QLibrary m_lib;
    FakeLinkScript* m_script = nullptr;
    test::RecordingNotifier m_notifier;
};

TEST_F(MainFormTest, StartsWithoutKurvitexIni) {
    auto form = Start();
    EXPECT_EQ(form->windowTitle(), "Kurvitex 4.8");
    EXPECT_FALSE(form->Transport().LibraryLoaded());
    EXPECT_EQ(form->Status().DeviceText(), "NONAME");
    EXPECT_EQ(form->Status().InterfaceText(), "  DEV0 ");
    // Type 1 by default: it is asked for and does not answer.
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].text, "Gerät nicht angeschlossen");
    EXPECT_FALSE(MenuEnabled(*form, "Waveform1"));
    EXPECT_FALSE(Enabled(*form, "Get_button"));
    EXPECT_TRUE(Enabled(*form, "view_button"));
    EXPECT_TRUE(form->Menu("Application1")->actions().isEmpty());
    EXPECT_TRUE(m_script->calls.empty());
}

TEST_F(MainFormTest, ConnectedInstrumentEnablesItsMenus) {
    UseInstrument(1, "TDS 210", "[INTERFACE]\nRS232=1\n");
    m_script->answers = {"TEKTRONIX,TDS 210,0,CF:91.1CT"};
    auto form = Start();
    EXPECT_TRUE(m_notifier.shown.empty()) << m_notifier.shown[0].text;
    EXPECT_TRUE(form->State().deviceConnected);
    EXPECT_EQ(form->Status().DeviceText(), "TDS 210");
    EXPECT_EQ(form->Status().InterfaceText(), "ktx_fake  COM3 ");
    EXPECT_TRUE(MenuEnabled(*form, "Waveform1"));
    EXPECT_TRUE(Enabled(*form, "Scan_but"));
    EXPECT_FALSE(MenuVisible(*form, "Modus1"));
    EXPECT_TRUE(MenuVisible(*form, "Fernbedienung1"));
    EXPECT_FALSE(MenuVisible(*form, "Fernbedienung2"));
    // No document open: the commands that need one are off, and say so when reached otherwise.
    EXPECT_FALSE(Enabled(*form, "Drucken1"));
    form->Action("Speichern1")->trigger();
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].text, "kein Fenster aktiv");
}

TEST_F(MainFormTest, DualModeInstrumentReadsItsDisplayMode) {
    UseInstrument(9, "THS_720", "[INTERFACE]\nRS232=1\n");
    m_script->answers = {"TEKTRONIX,THS720P,0,FV:v1.0", "METER"};
    auto form = Start();
    EXPECT_EQ(form->State().operatingMode, kModeMultimeter);
    EXPECT_EQ(form->Status().DeviceText(), "THS_720  DMM");
    EXPECT_TRUE(MenuVisible(*form, "Modus1"));
    EXPECT_TRUE(MenuVisible(*form, "Fernbedienung2"));
    EXPECT_FALSE(MenuVisible(*form, "Fernbedienung1"));
    EXPECT_TRUE(form->Action("DMM1")->isChecked());
    EXPECT_FALSE(form->Action("Steu_button")->isVisible());
}

TEST_F(MainFormTest, HandheldAndLineFeedFamilies) {
    UseInstrument(20, "THS_3014", "[RS232]\nCONFIG=COM2:19200,N,8,1\n");
    m_script->answers = {"THS3014 V1.05"};
    auto form = Start();
    EXPECT_TRUE(form->State().deviceConnected);
    EXPECT_FALSE(MenuVisible(*form, "Waveform1"));
    EXPECT_FALSE(MenuVisible(*form, "Setup1"));
    EXPECT_TRUE(MenuVisible(*form, "Fernbedienung2"));
    // The handheld's own definition file is handed to the library.
    EXPECT_EQ(m_script->calls.front(), "open " + m_home.Path("kt_dev.ini") + " 0");
    form.reset();

    m_script->Reset();
    UseInstrument(30, "X", "");
    m_script->answers = {"COMU ON.."};
    form = Start();
    EXPECT_TRUE(form->State().deviceConnected);
    EXPECT_NE(std::find(m_script->calls.begin(), m_script->calls.end(), "write 7 COMU?\n"),
              m_script->calls.end());
}

TEST_F(MainFormTest, WrongInstrumentIsReportedButCountsAsConnected) {
    UseInstrument(1, "TDS_3012", "");
    m_script->answers = {"TEKTRONIX,TDS 210,0"};
    auto form = Start();
    EXPECT_TRUE(form->State().deviceConnected);
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].text, "Gerät nicht angeschlossen");
}

TEST_F(MainFormTest, ApplicationMenuAndColourOption) {
    UseInstrument(1, "TDS 210", "[COLOR]\nENABLE=1\n");
    ProfileFile ini(m_home.Path("kurvitex.ini"));
    ini.WriteString("APP", "ANZ", "2");
    ini.WriteString("APP", "F1", "/bin/true");
    ini.WriteString("APP", "N1", "Tabelle");
    ini.WriteString("APP", "F2", "/tmp");
    ini.WriteString("APP", "N2", "Messdaten");
    m_script->answers = {"TEKTRONIX,TDS 210,0"};
    auto form = Start();
    const auto apps = form->Menu("Application1")->actions();
    ASSERT_EQ(apps.size(), 2);
    EXPECT_EQ(apps[1]->text(), "Messdaten");

    QAction* colour = form->Action("Farbezulassen1");
    EXPECT_TRUE(colour->isEnabled());
    EXPECT_FALSE(colour->isChecked());
    colour->trigger();
    EXPECT_TRUE(colour->isChecked());
    EXPECT_EQ(ProfileFile(m_home.Path("kurvitex.ini")).ReadInt("COLOR", "ENABLE", 0), 1);
}

TEST_F(MainFormTest, ColourOptionGreyedForAnInstrumentWithoutColour) {
    UseInstrument(1, "TDS 210", "");
    ProfileFile(m_home.Path("kurvitex.ini")).WriteString("COLOR", "ENABLE", "1");
    m_script->answers = {"TEKTRONIX,TDS 210,0"};
    auto form = Start();
    QAction* colour = form->Action("Farbezulassen1");
    EXPECT_FALSE(colour->isEnabled());
    EXPECT_FALSE(colour->isChecked());
    // The stored choice is left alone until the user toggles it.
    EXPECT_EQ(ProfileFile(m_home.Path("kurvitex.ini")).ReadInt("COLOR", "ENABLE", 0), 1);
}

TEST_F(MainFormTest, BrokenInterfaceLibraryNeverCrashes) {
    test::WriteFile(m_home.Path("ktx_broken.so"), std::string("not a library"));
    WriteIni("[TRANSFER]\nSS_TYPE=1\nDLL_NAME=ktx_broken.so\n");
    auto form = Start();
    ASSERT_EQ(m_notifier.shown.size(), 3u);
    EXPECT_EQ(m_notifier.shown[0].text, "IO- Bibliothek konnte nicht geladen werden");
    EXPECT_EQ(m_notifier.shown[1].text, "keine gültige Schnittstelle");
    EXPECT_EQ(m_notifier.shown[2].text, "Gerät nicht angeschlossen");
}

TEST_F(MainFormTest, InstrumentSelectionPreselectsTheLaterOfTwoEqualNames) {
    const std::filesystem::path driver = m_home.Path("Driver");
    std::filesystem::create_directory(driver);
    const std::filesystem::path shipped(KTX_DRIVER_DIR);
    std::filesystem::copy_file(shipped / "kt_tds210.ini", driver / "kt_a.ini");
    std::filesystem::copy_file(shipped / "kt_tds210.ini", driver / "kt_b.ini");
    std::filesystem::copy_file(shipped / "kt_tds1012.ini", driver / "kt_c.ini");
    WriteIni("[DEVICE]\nINIFILE=Driver/kt_a.ini\n[TRANSFER]\nSS_TYPE=1\nDLL_NAME=ktx_fake.so\n");
    m_script->answers = {"TEKTRONIX,TDS 210,0", "TEKTRONIX,TDS 1012,0"};
    auto form = Start();
    ASSERT_TRUE(m_notifier.shown.empty());
    EXPECT_FALSE(form->Action("Telecom1")->isVisible());

    int preselected = -2;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<Tsel_oszi*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        preselected = dialog->List()->currentRow();
        dialog->List()->setCurrentRow(2);
        dialog->accept();
    });
    form->Action("Geraeteauswahl1")->trigger();
    EXPECT_EQ(preselected, 1);
    EXPECT_EQ(form->State().deviceType, 12);
    EXPECT_EQ(form->State().deviceIniFile, (driver / "kt_c.ini").string());
    EXPECT_EQ(ProfileFile(m_home.Path("kurvitex.ini")).ReadInt("DEVICE", "TYPE", 0), 12);
    EXPECT_TRUE(form->Action("Telecom1")->isVisible());
    EXPECT_EQ(form->Status().DeviceText(), "TDS_1012");
    EXPECT_TRUE(form->State().deviceConnected);
    EXPECT_TRUE(m_notifier.shown.empty());
}

TEST_F(MainFormTest, InterfaceSelectionOffersOnlyWhatTheInstrumentHas) {
    UseInstrument(1, "TDS 210", "[INTERFACE]\nRS232=1\nGPIB=0\n");
    ProfileFile ini(m_home.Path("kurvitex.ini"));
    ini.WriteString("SSDLL", "CNT", "2");
    ini.WriteString("SSDLL", "T1", "2");
    ini.WriteString("SSDLL", "N1", "ktx_gpib.so");
    ini.WriteString("SSDLL", "B1", "GPIB");
    ini.WriteString("SSDLL", "T2", "1");
    ini.WriteString("SSDLL", "N2", "KTX_FAKE.SO");
    ini.WriteString("SSDLL", "B2", "RS232 (Test)");
    m_script->answers = {"TEKTRONIX,TDS 210,0", "TEKTRONIX,TDS 210,0"};
    auto form = Start();
    QStringList offered;
    int preselected = -2;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<Tsel_ss*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        for (int i = 0; i < dialog->List()->count(); ++i) {
            offered << dialog->List()->item(i)->text();
        }
        preselected = dialog->List()->currentRow();
        dialog->accept();
    });
    form->Action("Schnittstellenauswahl1")->trigger();
    EXPECT_EQ(offered, QStringList{"RS232 (Test)"});
    EXPECT_EQ(preselected, 0);
    EXPECT_EQ(ProfileFile(m_home.Path("kurvitex.ini")).ReadString("TRANSFER", "DLL_NAME", ""),
              "KTX_FAKE.SO");
    // The link was opened again, with the settings dialog allowed this time.
    EXPECT_NE(std::find(m_script->calls.begin(), m_script->calls.end(),
                        "open " + m_home.Path("kurvitex.ini") + " 1"),
              m_script->calls.end());
}

TEST_F(MainFormTest, FilesOpenInViewsByTheirExtension) {
    WriteIni("[TRANSFER]\nSS_TYPE=0\n");
    auto form = Start();
    m_notifier.shown.clear();
    const std::string corpus = test::CorpusDir();
    if (!corpus.empty()) {
        form->OpenFileByExtension(corpus + "/isf/tek0001CH1.isf");
        ASSERT_EQ(form->MdiArea()->subWindowList().size(), 1);
        auto* view = dynamic_cast<Tktxview*>(form->MdiArea()->subWindowList().front()->widget());
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->Record().pointCount, 10000);
        EXPECT_TRUE(Enabled(*form, "Drucken1"));  // a document is open now
    }
    // Not a waveform: message 12, no new window, nothing left behind.
    const auto before = form->MdiArea()->subWindowList().size();
    test::WriteFile(m_home.Path("bad.isf"), std::string("no preamble here"));
    form->OpenFileByExtension(m_home.Path("bad.isf"));
    EXPECT_EQ(form->MdiArea()->subWindowList().size(), before);
    ASSERT_FALSE(m_notifier.shown.empty());
    EXPECT_EQ(m_notifier.shown.back().stringId, 10012);
}

TEST_F(MainFormTest, ShippedInstrumentsAnswerThroughTheSimulator) {
    // The real in-process simulator library, as a new user starts with it.
    std::filesystem::create_symlink(std::string(KTX_PROGRAM_DIR) + "/ktx_sim.so",
                                    m_home.Path("ktx_sim.so"));
    for (const char* file :
         {"kt_tds3012.ini", "kt_ths3014.ini", "kt_ths720p.ini", "kt_dmm4020.ini"}) {
        SCOPED_TRACE(file);
        WriteIni(std::string("[DEVICE]\nINIFILE=") + KTX_DRIVER_DIR + "/" + file +
                 "\n[TRANSFER]\nSS_TYPE=4\nDLL_NAME=ktx_sim.so\n");
        // The simulated family comes from the definition file's [SIM] section.
        ProfileFile ini(m_home.Path("kurvitex.ini"));
        ini.WriteString(
            "SIM", "TYPE",
            ProfileFile(std::string(KTX_DRIVER_DIR) + "/" + file).ReadString("SIM", "TYPE", "1"));
        m_notifier.shown.clear();
        auto form = Start();
        EXPECT_TRUE(form->State().deviceConnected);
        EXPECT_TRUE(m_notifier.shown.empty()) << m_notifier.shown[0].text;
    }
}

TEST_F(MainFormTest, WaveformReadFromTheSimulatorThroughTheMenu) {
    std::filesystem::create_symlink(std::string(KTX_PROGRAM_DIR) + "/ktx_sim.so",
                                    m_home.Path("ktx_sim.so"));
    WriteIni(std::string("[DEVICE]\nINIFILE=") + KTX_DRIVER_DIR +
             "/kt_tds210.ini\n[TRANSFER]\nSS_TYPE=4\nDLL_NAME=ktx_sim.so\n[SIM]\nTYPE=1\n");
    auto form = Start();
    ASSERT_TRUE(form->State().deviceConnected);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TKTX_file_dial*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->SetFolder(m_home.Path(""));
        dialog->SetFilterIndex(0);  // .ktx
        dialog->SetFileName("kurve.ktx");
        dialog->SelectSources({0});
        dialog->SetRange("0", "1000");
        dialog->Confirm();
    });
    form->Action("EinlesenWF1")->trigger();
    EXPECT_TRUE(m_notifier.shown.empty()) << m_notifier.shown[0].text;
    ASSERT_TRUE(std::filesystem::exists(m_home.Path("kurve.ktx")));
    EXPECT_EQ(CountWaveFile(m_home.Path("kurve.ktx")), 1001);

    // The next transfer opens where this one wrote.
    std::string folder;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TKTX_file_dial*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        folder = dialog->Folder();
        dialog->reject();
    });
    form->Action("EinlesenWF1")->trigger();
    EXPECT_EQ(std::filesystem::path(folder), std::filesystem::path(m_home.Path("")).parent_path());
}

// The widget tests' main sets the application up as the program does.
TEST(Application, CaptionsAsGivenAndQtsOwnButtonsInGerman) {
    // With no display name of its own, X11 captions are exactly the window titles.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "KTX 4.8");
    QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Cancel | QDialogButtonBox::Yes);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), "Abbrechen");
    EXPECT_EQ(box.button(QDialogButtonBox::Open)->text(), "Öffnen");
    EXPECT_EQ(box.button(QDialogButtonBox::Yes)->text(), "&Ja");
}

// Fourteen views on the 1600 x 1000 screen: each opens fully visible at a size where it draws
// its plot and its tool bar fits, and tiling and cascading keep it so without ever changing the
// main window.
TEST_F(MainFormTest, DocumentWindowsStayInsideAndUsable) {
    WriteIni("[TRANSFER]\nSS_TYPE=0\n");
    auto form = Start();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QRect window = form->geometry();
    const QRect screen = form->screen()->availableGeometry();
    ASSERT_TRUE(screen.contains(form->frameGeometry()));
    const std::string wave = m_home.Path("sinus.ktx");
    ASSERT_TRUE(test::WriteSineFile(wave, 500, 2.0));

    const auto expectAllUsable = [&](const char* after) {
        SCOPED_TRACE(after);
        QApplication::processEvents();
        EXPECT_EQ(form->geometry(), window);
        const QRect area = form->MdiArea()->viewport()->rect();
        for (QMdiSubWindow* w : form->MdiArea()->subWindowList()) {
            auto* view = dynamic_cast<Tktxview*>(w->widget());
            ASSERT_NE(view, nullptr);
            EXPECT_TRUE(area.contains(w->geometry()))
                << w->x() << "," << w->y() << " " << w->width() << "x" << w->height();
            EXPECT_FALSE(view->TooSmall()) << view->width() << "x" << view->height();
            EXPECT_GE(view->width(), view->minimumSizeHint().width());
        }
    };
    for (int i = 0; i < 14; ++i) {
        form->OpenFileByExtension(wave);
        if (i == 2) {
            expectAllUsable("three views");
        }
    }
    ASSERT_EQ(form->MdiArea()->subWindowList().size(), 14);
    expectAllUsable("fourteen views");
    form->Action("Nebeneinander1")->trigger();
    expectAllUsable("Nebeneinander");
    form->Action("Ueberlappend1")->trigger();
    expectAllUsable("Überlappend");
}

// No browser can be started here (the offscreen platform starts none, as a machine without a
// desktop): help opens in a window of the program, from the menu and from a message box, and
// its links lead from page to page.
TEST_F(MainFormTest, HelpWithoutABrowserOpensInAWindowOfItsOwn) {
    std::filesystem::copy(std::filesystem::path(KTX_DRIVER_DIR).parent_path() / "help",
                          m_home.Path("help"));
    WriteIni("[TRANSFER]\nSS_TYPE=0\n");
    auto form = Start();
    form->Action("Hilfe2")->trigger();
    auto* help = form->findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowTitle(), "Kurvitex-Hilfe");
    // A click on the link "Geräteauswahl" of the contents.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
    QTextCursor link = help->Browser()->document()->find(QStringLiteral("Geräteauswahl"));
    while (!link.isNull() && !link.charFormat().isAnchor()) {
        link = help->Browser()->document()->find(QStringLiteral("Geräteauswahl"), link);
    }
    ASSERT_FALSE(link.isNull());
    link.setPosition(link.selectionStart() + 2);
    QTest::mouseClick(help->Browser()->viewport(), Qt::LeftButton, {},
                      help->Browser()->cursorRect(link).center());
    EXPECT_EQ(help->Browser()->source().toLocalFile().toStdString(),
              m_home.Path("help/hilfe_14.html"));
    EXPECT_EQ(help->windowTitle(), "Geräteauswahl – Kurvitex-Hilfe");
    form->Action("Hilfe2")->trigger();  // the same window again, on the contents
    EXPECT_EQ(form->findChildren<HelpWindow*>().size(), 1);
    EXPECT_EQ(help->windowTitle(), "Kurvitex-Hilfe");

    QtNotifier notifier(form.get(), m_home.Path(""));
    QString boxHelp;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == "&Hilfe") {
                b->click();
            }
        }
        if (auto* window = box->findChild<HelpWindow*>()) {
            boxHelp = window->windowTitle();
        }
        box->button(QMessageBox::Ok)->click();
    });
    ShowErrorMsg(notifier, 16, 14);
    EXPECT_EQ(boxHelp, "Geräteauswahl – Kurvitex-Hilfe");
}

// The viewer's open dialog and a view's save dialog open where the user last chose a file.
TEST_F(MainFormTest, FileDialogsOpenInTheLastFolderUsed) {
    WriteIni("[TRANSFER]\nSS_TYPE=0\n");
    auto form = Start();
    std::filesystem::create_directory(m_home.Path("messungen"));
    std::filesystem::create_directory(m_home.Path("kopien"));
    const std::string wave = m_home.Path("messungen/sinus.ktx");
    ASSERT_TRUE(test::WriteSineFile(wave, 500, 2.0));

    QString viewerFolder;
    const auto viewer = [&](const std::string& choose) {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            viewerFolder = dialog->directory().absolutePath();
            if (choose.empty()) {
                dialog->reject();
            } else {
                dialog->selectFile(QString::fromStdString(choose));
                static_cast<QDialog*>(dialog)->accept();  // the file dialog's own checks
            }
        });
        form->Action("Viewer1")->trigger();
    };
    viewer(wave);
    ASSERT_EQ(form->MdiArea()->subWindowList().size(), 1);

    std::string saveFolder;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TSvas_dlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        saveFolder = dialog->Folder();
        dialog->SetFolder(m_home.Path("kopien"));
        dialog->NameField()->setText("kopie");
        dialog->Confirm();
    });
    dynamic_cast<KtxChildWindow*>(form->MdiArea()->subWindowList().front()->widget())
        ->SaveYourself();
    EXPECT_EQ(saveFolder, m_home.Path("messungen"));
    EXPECT_TRUE(std::filesystem::exists(m_home.Path("kopien/kopie.ktx")));

    viewer("");
    EXPECT_EQ(viewerFolder.toStdString(), m_home.Path("kopien"));
}

TEST_F(MainFormTest, TheCauseOfAFailureShowsInMemo1AndTheStatusLine) {
    std::filesystem::create_symlink(std::string(KTX_PROGRAM_DIR) + "/ktx_sim.so",
                                    m_home.Path("ktx_sim.so"));
    WriteIni(std::string("[DEVICE]\nINIFILE=") + KTX_DRIVER_DIR +
             "/kt_tds210.ini\n[TRANSFER]\nSS_TYPE=4\nDLL_NAME=ktx_sim.so\n[SIM]\nTYPE=1\n"
             "SILENT=1\n");
    // What the help text Memo1 says while "Gerät nicht angeschlossen" is shown.
    class MemoNotifier final : public Notifier {
      public:
        void Show(Severity, const Notice& notice) override {
            shown.push_back(notice.Text());
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* memo = w->findChild<QTextEdit*>(QStringLiteral("Memo1"))) {
                    memoText = memo->toPlainText().toStdString();
                }
            }
        }
        bool Confirm(const Notice&) override { return false; }
        std::vector<std::string> shown;
        std::string memoText;
    } notifier;
    TMainForm form(ReadStartupState(m_home.Path("")), MainFormOptions{false, &notifier});
    form.FirstActivation();
    ASSERT_EQ(notifier.shown, std::vector<std::string>{"Gerät nicht angeschlossen"});
    EXPECT_NE(notifier.memoText.find("Hilfe zur Geräteeinstellung:"), std::string::npos);
    EXPECT_NE(notifier.memoText.find("Ursache: Zeitüberschreitung nach 1000 ms"), std::string::npos)
        << notifier.memoText;
    QApplication::processEvents();
    EXPECT_EQ(form.Status().TimeText(), "Zeitüberschreitung nach 1000 ms");
}

TEST(SplashPicture, CifFileIsABitmapWithItsFirstBytesRotated) {
    test::TempDir dir;
    QImage image(8, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(dir.Path("plain.bmp")), "BMP"));
    auto bytes = test::ReadFile(dir.Path("plain.bmp"));
    for (int i = 0; i < 6; ++i) {
        bytes[i] = static_cast<std::uint8_t>((bytes[i] << 3) | (bytes[i] >> 5));
    }
    test::WriteFile(dir.Path("kurvitex.cif"), bytes);
    const QPixmap picture = LoadCifPicture(dir.Path(""));
    EXPECT_EQ(picture.size(), QSize(8, 4));
    // The decoded copy is not left behind.
    EXPECT_FALSE(std::filesystem::exists(dir.Path("kurvitex_cif.bmp")));
    test::WriteFile(dir.Path("kurvitex.cif"), std::string("garbage"));
    EXPECT_TRUE(LoadCifPicture(dir.Path("")).isNull());
}

}  // namespace
}  // namespace ktx

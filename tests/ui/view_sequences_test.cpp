// SPDX-License-Identifier: GPL-3.0-or-later
// What users do with several waveform views in the real main window, one after the other:
// imports that rewrite the shared scratch files while older views are still open, cuts and
// selections of compressed views, the cursor keys of a compressed view, printing without a
// printer. Every view must go on showing, saving, cutting and searching its own points.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinterInfo>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "app/main_form.h"
#include "app/save_dialogs.h"
#include "app/save_rules.h"
#include "test_files.h"
#include "view/tktxview.h"

namespace ktx {
namespace {

namespace fs = std::filesystem;

class ViewSequences : public ::testing::Test {
  protected:
    void SetUp() override {
        test::WriteFile(m_home.Path("kurvitex.ini"), std::string("[TRANSFER]\nSS_TYPE=0\n"));
        m_form = std::make_unique<TMainForm>(ReadStartupState(m_home.Path("")),
                                             MainFormOptions{false, &m_notifier});
        m_form->resize(1200, 900);
        m_form->show();
        QApplication::processEvents();  // the first activation
        m_notifier.shown.clear();       // "Gerät nicht angeschlossen": there is no instrument
    }

    // A comma text file of "x,y" lines: `periods` periods of a sine, 10 us apart.
    std::string WriteCsv(const std::string& name, int points, double periods, double amplitude) {
        const std::string path = m_home.Path(name);
        std::ofstream out(path);
        for (int i = 0; i < points; ++i) {
            out << i * 1e-5 << ','
                << amplitude * std::sin(2.0 * std::numbers::pi * periods * i / points) << '\n';
        }
        return path;
    }

    // Opens `file` as the viewer would and returns the new view.
    Tktxview* Open(const std::string& file) {
        const auto before = m_form->MdiArea()->subWindowList().size();
        m_form->OpenFileByExtension(file);
        const auto windows = m_form->MdiArea()->subWindowList();
        EXPECT_EQ(windows.size(), before + 1) << file;
        return windows.size() > before ? Newest() : nullptr;
    }
    Tktxview* Newest() {
        const auto windows = m_form->MdiArea()->subWindowList(QMdiArea::CreationOrder);
        auto* view = dynamic_cast<Tktxview*>(windows.back()->widget());
        view->PlotWidget()->repaint();
        return view;
    }
    void Activate(Tktxview* view) {
        m_form->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(view->parentWidget()));
    }

    // "Speichern unter..." on `view` with "Komplett" (0) or "Auswahl" (1); the file written.
    std::string Save(Tktxview* view, const std::string& name, int choice) {
        Activate(view);
        std::string saved;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TSvas_dlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->SetFolder(m_home.Path(""));
            dialog->NameField()->setText(QString::fromStdString(name));
            for (auto* b : dialog->findChildren<QRadioButton*>()) {
                b->setChecked(b->text() == (choice == 0 ? "Komplett" : "Auswahl"));
            }
            saved = ResolveSaveName(m_home.Path(""), name, "*.ktx");
            dialog->Confirm();
        });
        m_form->Action("Speichernunter1")->trigger();
        return saved;
    }

    std::vector<std::string> PrivateFiles() const {
        std::vector<std::string> files;
        for (const auto& e : fs::directory_iterator(m_home.Path(""))) {
            if (e.path().filename().string().rfind("ktx_view_", 0) == 0) {
                files.push_back(e.path().string());
            }
        }
        return files;
    }

    std::string Messages() const {
        std::string all;
        for (const auto& s : m_notifier.shown) {
            all += s.text + "\n";
        }
        return all;
    }

    test::TempDir m_home;
    test::RecordingNotifier m_notifier;
    std::unique_ptr<TMainForm> m_form;
};

// Points first..last of `view` equal the points of `file`, in order.
void ExpectPoints(const std::string& file, const WaveformRecord& view, std::int32_t first,
                  std::int32_t last) {
    SilentNotifier silent;
    const auto saved = LoadWaveform(file, false, {}, silent);
    ASSERT_TRUE(saved) << file;
    ASSERT_EQ(saved->pointCount, last - first + 1) << file;
    for (std::int32_t i = 0; i < saved->pointCount; ++i) {
        const auto k = static_cast<std::size_t>(first + i);
        ASSERT_EQ(saved->xValues[static_cast<std::size_t>(i)].bytes, view.xValues[k].bytes) << i;
        ASSERT_EQ(saved->yValues[static_cast<std::size_t>(i)].bytes, view.yValues[k].bytes) << i;
    }
}

// Import A, import B: the view of A saves, selects and searches A's points, not B's, which
// the second import wrote into the scratch file A's view was opened on.
TEST_F(ViewSequences, ImportedViewKeepsItsPointsWhenLaterImportsFollow) {
    Tktxview* a = Open(WriteCsv("a.csv", 3000, 3.0, 2.0));
    Tktxview* b = Open(WriteCsv("b.csv", 1000, 10.0, 0.5));
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->Record().pointCount, 3000);

    ExpectPoints(Save(a, "a_ganz.ktx", 0), a->Record(), 0, 2999);
    // "Auswahl" holds both cursor points and all between, whichever cursor is on the left.
    a->SetCursors(1800, 1700);
    ExpectPoints(Save(a, "a_teil.ktx", 1), a->Record(), 1700, 1800);

    QTest::mouseClick(a->findChild<QToolButton*>(QStringLiteral("PerBtn")), Qt::LeftButton);
    EXPECT_NEAR(a->Cursor2() - a->Cursor1(), 1000, 2);
    EXPECT_EQ(Messages(), "");

    // Each view has its own file while it is open; it goes with the view, and the rest with
    // the program.
    const std::string aFile = a->Record().fileName;
    EXPECT_EQ(PrivateFiles().size(), 2u);
    EXPECT_EQ(aFile.find(m_home.Path("ktx_view_")), 0u) << aFile;
    a->parentWidget()->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(fs::exists(aFile));
    EXPECT_EQ(PrivateFiles().size(), 1u);
    m_form.reset();
    EXPECT_TRUE(PrivateFiles().empty());
}

// A compressed view, its cut-outs, and selections saved from both.
TEST_F(ViewSequences, CompressedViewCutsAndSelectionsHoldWhatTheySay) {
    const std::string csv = WriteCsv("lang.csv", 100000, 20.0, 1.0);
    Tktxview* whole = Open(csv);
    ASSERT_NE(whole, nullptr);
    ASSERT_TRUE(whole->windowTitle().endsWith(QStringLiteral(" 1:2")));
    const std::int32_t lock = 80000 / 2 - 1;

    // End, then Shift+Home: the keys keep the cursors within the lock as a click does.
    QWidget* plot = whole->PlotWidget();
    QTest::keyClick(plot, Qt::Key_End);
    QTest::keyClick(plot, Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_EQ(whole->Cursor1(), whole->Record().pointCount - 1);
    EXPECT_LE(whole->Cursor1() - whole->Cursor2(), lock);

    // The cut's caption and position bar tell what it holds.
    QTest::mouseClick(whole->findChild<QToolButton*>(QStringLiteral("cutbtn")), Qt::LeftButton);
    Tktxview* cut = Newest();
    ASSERT_NE(cut, whole);
    const std::int64_t total = 100001;  // records of the source, header included
    const std::int32_t held = cut->Record().pointCount;
    EXPECT_LE(held, 79999);
    EXPECT_EQ(cut->windowTitle().toStdString(), CutCaption(csv, held, total));
    auto* bar = cut->findChild<QFrame*>(QStringLiteral("Bevelk"));
    EXPECT_EQ(bar->width(), std::max<long>(3, std::lround(100.0 / total * held)));

    // Another import rewrites the scratch files: the compressed view still cuts from its own
    // source, and the same cursors cut the same points.
    Open(WriteCsv("kurz.csv", 500, 1.0, 3.0));
    whole->Cut();
    Tktxview* again = Newest();
    EXPECT_EQ(again->Record().pointCount, held);
    EXPECT_EQ(again->Record().xValues.front().bytes, cut->Record().xValues.front().bytes);
    EXPECT_EQ(again->Record().yValues.back().bytes, cut->Record().yValues.back().bytes);
    again->parentWidget()->close();

    // "Auswahl" of the compressed view after the cuts: its own points, not the cut's.
    whole->SetCursors(1000, 2000);
    ExpectPoints(Save(whole, "w_teil.ktx", 1), whole->Record(), 1000, 2000);

    // "Auswahl" and then "Komplett" of the cut-out.
    cut->SetCursors(20, 10);
    ExpectPoints(Save(cut, "c_teil.ktx", 1), cut->Record(), 10, 20);
    ExpectPoints(Save(cut, "c_ganz.ktx", 0), cut->Record(), 0, held - 1);
    EXPECT_EQ(Messages(), "");
}

// A view saved onto the file it shows is refused, and the file keeps its content.
TEST_F(ViewSequences, SavingAViewOntoItsOwnFileIsRefused) {
    const std::string csv = WriteCsv("eigen.csv", 2000, 2.0, 1.0);
    Tktxview* first = Open(csv);
    ASSERT_NE(first, nullptr);
    const std::string own = Save(first, "eigen.ktx", 0);
    Tktxview* view = Open(own);
    ASSERT_NE(view, nullptr);
    const auto before = test::ReadFile(own);
    m_notifier.shown.clear();
    EXPECT_EQ(Save(view, "eigen.ktx", 1), own);
    ASSERT_EQ(m_notifier.shown.size(), 2u);  // "überschreiben?", then the refusal
    EXPECT_EQ(m_notifier.shown[1].text,
              "Dateizugriff verweigert " + own + ": Ziel ist zugleich die Quelle");
    EXPECT_EQ(test::ReadFile(own), before);
}

// "&Drucken" on a computer without a printer: the page goes into a PDF file the user names,
// a failure says so, and neither a cancelled nor a failed job stops the next one.
TEST_F(ViewSequences, PrintingWithoutAPrinterOffersAPdfFile) {
    if (!QPrinterInfo::availablePrinters().isEmpty()) {
        GTEST_SKIP() << "a printer is installed here";
    }
    Tktxview* view = Open(WriteCsv("druck.csv", 1000, 2.0, 1.0));
    ASSERT_NE(view, nullptr);
    fs::create_directory(m_home.Path("ORDNER.PDF"));
    struct Step {
        const char* name;  // nullptr: "Abbruch"
        bool printed;
        const char* message;
    };
    const Step steps[] = {
        {nullptr, false, ""}, {"ordner", false, "Ausgabe fehlgeschlagen "}, {"seite", true, ""}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name ? step.name : "Abbruch");
        m_notifier.shown.clear();
        bool offered = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<TSvas_dlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            offered = true;
            if (step.name == nullptr) {
                dialog->reject();
                return;
            }
            dialog->SetFolder(m_home.Path(""));
            dialog->NameField()->setText(QString::fromLatin1(step.name));
            dialog->Confirm();
        });
        Activate(view);
        m_form->Action("Drucken1")->trigger();
        QApplication::processEvents();
        EXPECT_TRUE(offered);
        const std::string pdf = m_home.Path("seite.pdf");
        EXPECT_EQ(fs::exists(pdf), step.printed);
        if (step.printed) {
            const auto bytes = test::ReadFile(pdf);
            ASSERT_GT(bytes.size(), 1000u);
            EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "%PDF-");
        }
        const std::string said = m_notifier.shown.empty() ? "" : m_notifier.shown.back().text;
        EXPECT_EQ(said.substr(0, std::string(step.message).size()), step.message) << said;
    }
}

}  // namespace
}  // namespace ktx

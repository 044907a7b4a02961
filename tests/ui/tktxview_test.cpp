// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform view on a real file: mouse, keys, zoom and scroll, readouts, save and print.
#include "view/tktxview.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include "test_files.h"
#include "view/print_page.h"
#include "view/view_test_files.h"

namespace ktx {
namespace {

class FakeHost final : public WaveViewHost {
  public:
    explicit FakeHost(std::string compressionFile)
        : m_compressionFile(std::move(compressionFile)) {}
    bool RequestRange(const RangeRequest& r) override {
        ranges.push_back(r);
        SilentNotifier silent;
        return HandleRangeRequest(r, m_compressionFile, NoProgress(), silent, {}).ok;
    }
    void RequestRecompression(const RecompressionRequest& r) override {
        recompressions.push_back(r);
    }
    ProgressSink& Progress() override { return progress; }

    std::vector<RangeRequest> ranges;
    std::vector<RecompressionRequest> recompressions;
    test::RecordingProgress progress;

  private:
    std::string m_compressionFile;
};

class TktxviewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_file = m_dir.Path("sine.ktx");
        // 1000 points, 2 periods, 1 ms apart: time axis in ms.
        ASSERT_TRUE(test::WriteSineFile(m_file, 1000, 2.0, 1.5, 0.0, 1e-4));
        m_view = new Tktxview(m_host, m_notifier, Files());
        m_view->resize(800, 500);
        ASSERT_TRUE(m_view->Open("Sinus", m_file, false));
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view));
        // One paint computes the plot rectangle the mouse maps through.
        m_view->PlotWidget()->repaint();
    }
    void TearDown() override { delete m_view.data(); }

    ViewFiles Files() const {
        return {m_dir.Path("ktx_tmp1.tmp"),
                {m_dir.Path("ktx_tmp2.ktx"), m_dir.Path("ktx_tmp3.ktx")}};
    }
    // x of point `index` within the shown range.
    int XOf(std::int32_t index) const {
        const QRect r = m_view->PlotRect();
        return r.left() +
               static_cast<int>(std::lround(static_cast<double>(index - m_view->FirstShown()) *
                                            (r.right() - r.left()) / m_view->ShownCount()));
    }
    void Click(Qt::MouseButton button, int x) {
        QTest::mouseClick(m_view->PlotWidget(), button, Qt::NoModifier, QPoint(x, 200));
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(m_view->PlotWidget(), static_cast<Qt::Key>(key), mods);
    }

    test::TempDir m_dir;
    std::string m_file;
    test::RecordingNotifier m_notifier;
    FakeHost m_host{m_dir.Path("ktx_tmp1.tmp")};
    QPointer<Tktxview> m_view;
};

TEST_F(TktxviewTest, OpensWithCaptionCursorsAndReadouts) {
    EXPECT_EQ(m_view->windowTitle(), QStringLiteral("Sinus"));
    EXPECT_EQ(m_view->Cursor1(), 5);
    EXPECT_EQ(m_view->Cursor2(), 100);
    EXPECT_EQ(m_view->ShownCount(), 1000);
    EXPECT_EQ(m_view->Readout1().left(7), QStringLiteral("Wert1: "));
    EXPECT_TRUE(m_view->Readout1().endsWith(QStringLiteral("Zeit: 0.500ms")));
    EXPECT_TRUE(m_view->Readout2().endsWith(QStringLiteral("Zeit: 10.000ms")));
    // Difference of the cursors: 95 points of 0.1 ms.
    EXPECT_EQ(m_view->MeasurementText(), QStringLiteral("9.5ms"));
    auto* comb = m_view->findChild<QComboBox*>(QStringLiteral("mess_comb"));
    ASSERT_NE(comb, nullptr);
    EXPECT_EQ(comb->count(), 9);
    EXPECT_EQ(comb->itemText(8), QStringLiteral("Summe"));
    EXPECT_FALSE(m_view->findChild<QToolButton*>(QStringLiteral("PkBtn"))->isVisible());
    EXPECT_TRUE(m_view->findChild<QToolButton*>(QStringLiteral("PerBtn"))->isVisible());
}

TEST_F(TktxviewTest, MouseButtonsSetTheirCursors) {
    Click(Qt::LeftButton, XOf(300));
    EXPECT_NEAR(m_view->Cursor1(), 300, 1);
    Click(Qt::RightButton, XOf(550));
    EXPECT_NEAR(m_view->Cursor2(), 550, 1);
    EXPECT_EQ(m_view->Cursor1() == 300 || m_view->Cursor1() == 299 || m_view->Cursor1() == 301,
              true);
    // A click on the value axis labels (left of the plot) changes nothing.
    const std::int32_t before = m_view->Cursor1();
    Click(Qt::LeftButton, 5);
    EXPECT_EQ(m_view->Cursor1(), before);
    const QString expected = QStringLiteral("Zeit: %1ms").arg(m_view->Cursor1() * 0.1, 0, 'f', 3);
    EXPECT_TRUE(m_view->Readout1().endsWith(expected)) << m_view->Readout1().toStdString();
}

TEST_F(TktxviewTest, KeysMoveCursors) {
    Key(Qt::Key_PageUp);
    EXPECT_EQ(m_view->Cursor1(), 6);
    Key(Qt::Key_PageDown);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(m_view->Cursor1(), 4);
    Key(Qt::Key_Home);
    EXPECT_EQ(m_view->Cursor1(), 0);
    Key(Qt::Key_PageDown);  // stays at 0
    EXPECT_EQ(m_view->Cursor1(), 0);
    Key(Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(m_view->Cursor2(), 999);
    Key(Qt::Key_PageUp, Qt::ShiftModifier);  // already the last point
    EXPECT_EQ(m_view->Cursor2(), 999);
    EXPECT_TRUE(m_view->Readout2().endsWith(QStringLiteral("Zeit: 99.900ms")));
    m_view->SelectMeasurement(1);
    EXPECT_EQ(m_view->MeasurementText(), QStringLiteral("10.01Hz"));
}

TEST_F(TktxviewTest, ZoomCentresOnCursorAndScrolls) {
    Key(Qt::Key_Home);
    for (int i = 0; i < 200; ++i) {
        Key(Qt::Key_PageUp);
    }
    ASSERT_EQ(m_view->Cursor1(), 200);
    QTest::mouseClick(m_view->findChild<QToolButton*>(QStringLiteral("zoomin")), Qt::LeftButton);
    EXPECT_EQ(m_view->ShownCount(), 500);
    EXPECT_EQ(m_view->FirstShown(), 0);  // 200 - 250 is below 0
    m_view->ZoomIn();
    EXPECT_EQ(m_view->ShownCount(), 250);
    EXPECT_EQ(m_view->FirstShown(), 75);
    m_view->ScrollRight();
    EXPECT_EQ(m_view->FirstShown(), 200);
    // Home and End now mean the shown range.
    Key(Qt::Key_End);
    EXPECT_EQ(m_view->Cursor1(), 449);
    Key(Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_EQ(m_view->Cursor2(), 200);
    for (int i = 0; i < 8; ++i) {
        m_view->ZoomIn();
    }
    EXPECT_EQ(m_view->ShownCount(), 5);
    m_view->ZoomOut();
    EXPECT_EQ(m_view->ShownCount(), 10);
    for (int i = 0; i < 10; ++i) {
        m_view->ZoomOut();
    }
    EXPECT_EQ(m_view->ShownCount(), 1000);
    EXPECT_EQ(m_view->FirstShown(), 0);
    m_view->ScrollLeft();
    EXPECT_EQ(m_view->FirstShown(), 0);
}

TEST_F(TktxviewTest, PeriodButtonPlacesCursorsOnePeriodApart) {
    QTest::mouseClick(m_view->findChild<QToolButton*>(QStringLiteral("PerBtn")), Qt::LeftButton);
    EXPECT_NEAR(m_view->Cursor2() - m_view->Cursor1(), 500, 2);
    m_view->SelectMeasurement(1);
    EXPECT_EQ(m_view->MeasurementText().right(2), QStringLiteral("Hz"));
    EXPECT_EQ(m_host.progress.calls.back(), "B2");
}

TEST_F(TktxviewTest, TooSmallShowsOnlyInfoLabels) {
    m_view->resize(800, 176 + 24);
    QApplication::processEvents();
    EXPECT_TRUE(m_view->TooSmall());
    EXPECT_TRUE(m_view->findChild<QLabel*>(QStringLiteral("Infolabel"))->isVisible());
    EXPECT_FALSE(m_view->findChild<QToolButton*>(QStringLiteral("zoomin"))->isVisible());
    EXPECT_TRUE(m_view->Readout1().isEmpty());
    m_view->resize(800, 177 + 24);
    QApplication::processEvents();
    EXPECT_FALSE(m_view->TooSmall());
    EXPECT_FALSE(m_view->findChild<QLabel*>(QStringLiteral("Infolabel"))->isVisible());
}

TEST_F(TktxviewTest, SaveAsBitmapWritesCaptionFile) {
    const std::string bmp = m_dir.Path("bild.BMP");
    ASSERT_TRUE(m_view->SaveAs(bmp, 0));
    const auto dat = test::ReadFile(m_dir.Path("bild.dat"));
    EXPECT_EQ(std::string(dat.begin(), dat.end()), "Sinus");
    QImage img(QString::fromStdString(bmp));
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.width(), m_view->PlotWidget()->width());
    EXPECT_GT(img.height(), m_view->PlotWidget()->height());
}

TEST_F(TktxviewTest, SaveSelectionAndWhole) {
    m_view->SetCursors(100, 300);
    ASSERT_TRUE(m_view->SaveAs(m_dir.Path("teil.ktx"), 1));
    // The view saves its selection itself, through SafeFile, not by way of the compression file.
    EXPECT_TRUE(m_host.ranges.empty());
    SilentNotifier silent;
    const auto part = LoadWaveform(m_dir.Path("teil.ktx"), false, {}, silent);
    ASSERT_TRUE(part);
    EXPECT_EQ(part->pointCount, 201);
    ASSERT_TRUE(m_view->SaveAs(m_dir.Path("ganz.ktx"), 0));
    EXPECT_EQ(test::ReadFile(m_dir.Path("ganz.ktx")), test::ReadFile(m_file));
}

// The wheel scrolls by a tenth of what is shown; with Ctrl it zooms, and the point under the
// pointer stays under it.
TEST_F(TktxviewTest, WheelScrollsAndCtrlWheelZoomsAroundThePointer) {
    auto wheel = [this](int x, int delta, Qt::KeyboardModifiers mods) {
        QWheelEvent e(QPointF(x, 200), m_view->PlotWidget()->mapToGlobal(QPointF(x, 200)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_view->PlotWidget(), &e);
        m_view->PlotWidget()->repaint();
    };
    wheel(XOf(500), 120, Qt::NoModifier);  // everything is shown: nothing to scroll
    EXPECT_EQ(m_view->FirstShown(), 0);
    const int x = XOf(600);
    wheel(x, 120, Qt::ControlModifier);
    EXPECT_EQ(m_view->ShownCount(), 500);
    EXPECT_NEAR(XOf(600), x, 2);
    wheel(x, 2 * 120, Qt::ControlModifier);  // two notches at once
    EXPECT_EQ(m_view->ShownCount(), 125);
    EXPECT_NEAR(XOf(600), x, 3);
    const std::int32_t first = m_view->FirstShown();
    wheel(x, -120, Qt::NoModifier);  // down: later in time
    EXPECT_EQ(m_view->FirstShown(), first + 12);
    wheel(x, 60, Qt::NoModifier);  // half a notch waits for the other half
    EXPECT_EQ(m_view->FirstShown(), first + 12);
    wheel(x, 60, Qt::NoModifier);
    EXPECT_EQ(m_view->FirstShown(), first);
    wheel(x, -20 * 120, Qt::ControlModifier);
    EXPECT_EQ(m_view->ShownCount(), 1000);
    EXPECT_EQ(m_view->FirstShown(), 0);
}

// A view much taller than wide prints whole on a portrait page, below its caption.
TEST_F(TktxviewTest, TallViewFitsAPortraitPage) {
    m_view->resize(420, 1400);
    QApplication::processEvents();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(m_dir.Path("hoch.pdf")));
    printer.setPageOrientation(QPageLayout::Portrait);
    const QImage picture = m_view->RenderImage(true);
    ASSERT_GT(picture.height(), 2 * picture.width());
    const PrintLayout l =
        ComputePrintLayout(printer.width(), printer.height(), picture.width(), picture.height(), 1);
    EXPECT_LE(l.picture.top() + l.picture.height(), printer.height() - l.margin);
    EXPECT_NEAR(static_cast<double>(l.picture.width()) / l.picture.height(),
                static_cast<double>(picture.width()) / picture.height(), 0.01);
    ASSERT_TRUE(m_view->PrintTo(printer));
}

TEST_F(TktxviewTest, PrintsToPdf) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(m_dir.Path("view.pdf")));
    ASSERT_TRUE(m_view->PrintTo(printer));
    EXPECT_GT(test::ReadFile(m_dir.Path("view.pdf")).size(), 1000u);
}

TEST(TktxviewCompressed, CompressedViewLocksCursorsAndRequests) {
    test::TempDir dir;
    const std::string src = dir.Path("long.ktx");
    ASSERT_TRUE(test::WriteSineFile(src, 200000, 50.0));
    SilentNotifier silent;
    FakeHost host(dir.Path("ktx_tmp1.tmp"));
    const auto setup =
        PlanDisplay(src, "Lang", false, dir.Path("ktx_tmp1.tmp"), NoProgress(), silent, {});
    ASSERT_TRUE(setup);
    auto* view =
        new Tktxview(host, silent, {dir.Path("ktx_tmp1.tmp"), {dir.Path("a"), dir.Path("b")}});
    QPointer<Tktxview> guard(view);
    view->resize(800, 500);
    ASSERT_TRUE(view->Open(*setup));
    view->show();
    EXPECT_EQ(view->windowTitle(), QStringLiteral("Lang 1:3"));
    EXPECT_EQ(view->findChild<QLabel*>(QStringLiteral("plab"))->text(),
              QStringLiteral("Sample mode"));
    EXPECT_TRUE(view->findChild<QToolButton*>(QStringLiteral("cutbtn"))->isVisible());
    EXPECT_EQ(view->Cursor2(), 5 + 80000 / 3 - 1);
    view->Cut();
    ASSERT_EQ(host.ranges.size(), 1u);
    // The cut reads the view's own copy of the source.
    EXPECT_NE(host.ranges[0].sourceFile, src);
    EXPECT_EQ(test::ReadFile(host.ranges[0].sourceFile), test::ReadFile(src));
    EXPECT_EQ(host.ranges[0].kind, 3);
    view->Recompress();
    ASSERT_EQ(host.recompressions.size(), 1u);
    EXPECT_TRUE(host.recompressions[0].peakMode);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
}

}  // namespace
}  // namespace ktx

namespace ktx {
namespace {

TEST(TktxviewCutOut, CursorLockAndPositionBar) {
    test::TempDir dir;
    const std::string src = dir.Path("wave.ktx");
    ASSERT_TRUE(test::WriteSineFile(src, 2000, 4.0));
    SilentNotifier silent;
    FakeHost host(dir.Path("c.tmp"));
    auto* view = new Tktxview(host, silent, {dir.Path("c.tmp"), {dir.Path("a"), dir.Path("b")}});
    ViewSetup setup;
    setup.file = src;
    setup.caption = "Ausschnitt von X 25%";
    setup.cursorLock = 50;
    setup.sourceCount = 8000;
    setup.cutStart = 2000;
    setup.cutEnd = 4000;
    view->resize(800, 500);
    ASSERT_TRUE(view->Open(setup));
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    view->PlotWidget()->repaint();
    EXPECT_EQ(view->Cursor2(), 55);  // cursor1 + lock on opening
    const QRect r = view->PlotRect();
    QTest::mouseClick(view->PlotWidget(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(r.left() + r.width() / 2, 200));
    // The right cursor is pulled to within the lock.
    EXPECT_EQ(view->Cursor1() - view->Cursor2(), 50);
    auto* whole = view->findChild<QFrame*>(QStringLiteral("Bevell"));
    auto* part = view->findChild<QFrame*>(QStringLiteral("Bevelk"));
    ASSERT_TRUE(whole && part);
    EXPECT_TRUE(part->isVisible());
    EXPECT_EQ(part->x(), whole->x() + 25);
    EXPECT_EQ(part->width(), 25);
    delete view;
}

TEST(TktxviewFourColumn, CaptionNamesTheColumn) {
    test::TempDir dir;
    const std::string path = dir.Path("four.ktx");
    const auto h = MakeHeader4(ReferenceHeader(WaveLayout::FourColumn), {"#", "#", "A", "#"});
    test::Bytes f(h.begin(), h.end());
    for (int i = 0; i < 50; ++i) {
        const TimeField x = SecondsToTimeField(i * 1.0);
        f.insert(f.end(), x.bytes.begin(), x.bytes.end());
        for (int c = 0; c < 4; ++c) {
            const Real6 y = Real6::FromDouble(c == 2 ? std::sin(i * 0.3) : 0.0);
            f.insert(f.end(), y.bytes.begin(), y.bytes.end());
        }
    }
    test::WriteFile(path, f);
    SilentNotifier silent;
    FakeHost host(dir.Path("c.tmp"));
    auto* view = new Tktxview(host, silent, {dir.Path("c.tmp"), {dir.Path("a"), dir.Path("b")}});
    view->resize(800, 500);
    ASSERT_TRUE(view->Open("Logger", path, false));
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    EXPECT_EQ(view->windowTitle(), QStringLiteral("Logger Channel 2"));
    EXPECT_TRUE(view->Readout1().contains(QLatin1String("A  Zeit: ")));
    delete view;
}

TEST(TktxviewOpen, NoWaveformFileClosesTheView) {
    test::TempDir dir;
    test::WriteFile(dir.Path("x.ktx"), std::string(100, 'x'));
    test::RecordingNotifier notifier;
    FakeHost host(dir.Path("c.tmp"));
    QPointer<Tktxview> view =
        new Tktxview(host, notifier, {dir.Path("c.tmp"), {dir.Path("a"), dir.Path("b")}});
    EXPECT_FALSE(view->Open("x", dir.Path("x.ktx"), false));
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].stringId, 10012);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(view.isNull());
}

}  // namespace
}  // namespace ktx

namespace ktx {
namespace {

class TktxviewPaint : public ::testing::Test {
  protected:
    Tktxview* Open(const std::string& path, const ViewSetup& extra = {}) {
        auto* view = new Tktxview(m_host, m_silent,
                                  {m_dir.Path("c.tmp"), {m_dir.Path("a"), m_dir.Path("b")}});
        view->resize(800, 500);
        ViewSetup setup = extra;
        setup.file = path;
        setup.caption = "Bild";
        EXPECT_TRUE(view->Open(setup));
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view));
        return view;
    }
    test::TempDir m_dir;
    SilentNotifier m_silent;
    FakeHost m_host{m_dir.Path("c.tmp")};
};

// 10 000 points alternating between +1 and -1 in about 400 pixels: when every point is drawn,
// every pixel column of the curve reaches both the top and the bottom of the swing.
TEST_F(TktxviewPaint, EveryPointIsDrawnWithoutThinning) {
    const std::string path = m_dir.Path("zigzag.ktx");
    ASSERT_TRUE(test::WriteOneColumnFile(
        path, 10000, [](std::int64_t i) { return static_cast<double>(i) * 1e-6; },
        [](std::int64_t i) { return i % 2 == 0 ? 1.0 : -1.0; }));
    Tktxview* view = Open(path);
    // Cursor lines cover the curve: keep them at the left edge, outside the columns checked.
    view->SetCursors(0, 0);
    QImage image(QSize(500, 400), QImage::Format_RGB32);
    QPainter p(&image);
    view->PaintPlot(p, image.rect(), false);
    p.end();
    const QRect plot = view->PlotRect();
    ASSERT_GT(plot.width(), 300);
    ASSERT_LT(plot.width(), 450);
    const QRgb yellow = qRgb(0xFF, 0xFF, 0x00);
    int fullColumns = 0;
    const int columns = (plot.right() - 2) - (plot.left() + 2);
    for (int x = plot.left() + 2; x < plot.right() - 2; ++x) {
        int topmost = plot.bottom();
        int lowest = plot.top();
        for (int y = plot.top(); y <= plot.bottom(); ++y) {
            if (image.pixel(x, y) == yellow) {
                topmost = std::min(topmost, y);
                lowest = std::max(lowest, y);
            }
        }
        fullColumns += (lowest - topmost) > plot.height() / 3 ? 1 : 0;
    }
    EXPECT_EQ(fullColumns, columns);
    delete view;
}

TEST_F(TktxviewPaint, CopyPutsThePlotOnTheClipboard) {
    const std::string path = m_dir.Path("sine.ktx");
    ASSERT_TRUE(test::WriteSineFile(path, 500, 1.0));
    Tktxview* view = Open(path);
    view->CopyYourself();
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.width(), view->PlotWidget()->width());
    EXPECT_GT(copied.height(), view->PlotWidget()->height());
    delete view;
}

TEST_F(TktxviewPaint, PeakViewOffersSixMeasurements) {
    const std::string path = m_dir.Path("long.ktx");
    ASSERT_TRUE(test::WriteSineFile(path, 100000, 5.0));
    const auto setup = HandleRecompression({"Lang", path, 5, 100, 3, true}, m_dir.Path("c.tmp"),
                                           NoProgress(), m_silent, {});
    ASSERT_TRUE(setup);
    Tktxview* view = Open(setup->file, *setup);
    EXPECT_EQ(view->findChild<QComboBox*>(QStringLiteral("mess_comb"))->count(), 6);
    EXPECT_EQ(view->findChild<QLabel*>(QStringLiteral("plab"))->text(),
              QStringLiteral("Peak detect"));
    EXPECT_EQ(view->findChild<QToolButton*>(QStringLiteral("PkBtn"))->text(),
              QStringLiteral("Sample"));
    delete view;
}

}  // namespace
}  // namespace ktx

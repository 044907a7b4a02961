// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform view with the mouse: cursors dragged, a rectangle zoom and back with
// "kleiner", the pointer's readout, the vertical autoscale, and the cursor distance limit of a
// compressed view kept by every mouse action.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include "config/progress.h"
#include "test_files.h"
#include "view/tktxview.h"
#include "view/view_test_files.h"

namespace ktx {
namespace {

class NoHost final : public WaveViewHost {
  public:
    bool RequestRange(const RangeRequest&) override { return false; }
    void RequestRecompression(const RecompressionRequest&) override {}
    ProgressSink& Progress() override { return progress; }
    test::RecordingProgress progress;
};

class ViewMouseUiTest : public ::testing::Test {
  protected:
    // 1000 points of a sine, 0.1 ms apart; `lock` > 0 makes it a compressed view.
    void Open(std::int32_t lock = 0) {
        m_file = m_dir.Path("sine.ktx");
        ASSERT_TRUE(test::WriteSineFile(m_file, 1000, 2.0, 1.5, 0.0, 1e-4));
        m_view = new Tktxview(
            m_host, m_notifier,
            {m_dir.Path("ktx_tmp1.tmp"), {m_dir.Path("ktx_tmp2.ktx"), m_dir.Path("ktx_tmp3.ktx")}});
        m_view->resize(800, 500);
        ViewSetup setup;
        setup.file = m_file;
        setup.caption = "Sinus";
        if (lock > 0) {
            setup.cursorLock = lock;
            setup.sourceCount = 8000;
            setup.cutStart = 0;
            setup.cutEnd = 8000;
        }
        ASSERT_TRUE(m_view->Open(setup));
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view));
        m_view->PlotWidget()->repaint();
    }
    void TearDown() override { delete m_view.data(); }

    int XOf(std::int32_t index) const {
        const QRect r = m_view->PlotRect();
        return r.left() +
               static_cast<int>(std::lround(static_cast<double>(index - m_view->FirstShown()) *
                                            (r.right() - r.left()) / m_view->ShownCount()));
    }
    QWidget* Plot() const { return m_view->PlotWidget(); }
    void Press(int x, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mousePress(Plot(), b, Qt::NoModifier, QPoint(x, 200));
    }
    void MoveTo(int x, Qt::MouseButtons held) {
        QMouseEvent e(QEvent::MouseMove, QPointF(x, 200), Plot()->mapToGlobal(QPointF(x, 200)),
                      Qt::NoButton, held, Qt::NoModifier);
        QApplication::sendEvent(Plot(), &e);
    }
    void Release(int x, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mouseRelease(Plot(), b, Qt::NoModifier, QPoint(x, 200));
        Plot()->repaint();
    }

    test::TempDir m_dir;
    std::string m_file;
    test::RecordingNotifier m_notifier;
    NoHost m_host;
    QPointer<Tktxview> m_view;
};

TEST_F(ViewMouseUiTest, EitherCursorIsDraggedWithEitherButton) {
    Open();
    struct Case {
        std::int32_t grab;  // the point whose cursor line is pressed
        Qt::MouseButton button;
        std::int32_t to;
        std::int32_t cursor1;
        std::int32_t cursor2;
    };
    const Case cases[] = {
        {5, Qt::LeftButton, 300, 300, 100},    // cursor 1 to the right
        {100, Qt::LeftButton, 700, 300, 700},  // cursor 2 with the left button
        {700, Qt::RightButton, 50, 300, 50},   // and with the right one
        {300, Qt::RightButton, 990, 990, 50},  // cursor 1 with the right one
    };
    for (const Case& c : cases) {
        Press(XOf(c.grab), c.button);
        MoveTo(XOf((c.grab + c.to) / 2), c.button);
        MoveTo(XOf(c.to), c.button);
        Release(XOf(c.to), c.button);
        EXPECT_EQ(m_view->Cursor1(), c.cursor1) << c.grab;
        EXPECT_EQ(m_view->Cursor2(), c.cursor2) << c.grab;
        EXPECT_EQ(m_view->ShownCount(), 1000);  // a cursor drag does not zoom
    }
    // A click that does not move still sets the cursor of its button.
    QTest::mouseClick(Plot(), Qt::LeftButton, Qt::NoModifier, QPoint(XOf(400), 200));
    EXPECT_NEAR(m_view->Cursor1(), 400, 1);  // a pixel holds more than one point
}

TEST_F(ViewMouseUiTest, RectangleZoomAndBackWithZoomOut) {
    Open();
    Press(XOf(200));
    MoveTo(XOf(300), Qt::LeftButton);
    MoveTo(XOf(400), Qt::LeftButton);
    const QRect band = m_view->ZoomRectangle();
    EXPECT_NEAR(band.left(), XOf(200), 1);
    EXPECT_NEAR(band.right(), XOf(400), 1);
    EXPECT_EQ(band.top(), m_view->PlotRect().top());
    Release(XOf(400));
    EXPECT_TRUE(m_view->ZoomRectangle().isEmpty());
    EXPECT_NEAR(m_view->FirstShown(), 200, 2);
    EXPECT_NEAR(m_view->ShownCount(), 201, 3);
    EXPECT_EQ(m_view->Cursor1(), 5);  // the cursors stay where they were
    EXPECT_EQ(m_view->Cursor2(), 100);
    // "kleiner" widens step by step back to the whole file.
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(m_view->findChild<QToolButton*>(QStringLiteral("zoomout")),
                          Qt::LeftButton);
    }
    EXPECT_EQ(m_view->ShownCount(), 1000);
    EXPECT_EQ(m_view->FirstShown(), 0);
}

TEST_F(ViewMouseUiTest, PointerReadoutFollowsThePointer) {
    Open();
    EXPECT_TRUE(m_view->PointerText().isEmpty());
    const QRect r = m_view->PlotRect();
    MoveTo(XOf(250), Qt::NoButton);
    // Point 250 (give or take the point a pixel more holds) lies 25 ms in; the value is where
    // the pointer is, not the curve's.
    const QString text = m_view->PointerText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("t: 25"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("ms  y: "))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("V"))) << text.toStdString();
    // Off the plot the readout goes.
    QMouseEvent off(QEvent::MouseMove, QPointF(r.left() - 20, 200),
                    Plot()->mapToGlobal(QPointF(r.left() - 20, 200)), Qt::NoButton, Qt::NoButton,
                    Qt::NoModifier);
    QApplication::sendEvent(Plot(), &off);
    EXPECT_TRUE(m_view->PointerText().isEmpty());
}

TEST_F(ViewMouseUiTest, AutoscaleFitsTheShownRangeAndBack) {
    Open();
    // Around the zero crossing in the middle: small values on the whole file's scale.
    Press(XOf(480));
    MoveTo(XOf(520), Qt::LeftButton);
    Release(XOf(520));
    ASSERT_LT(m_view->ShownCount(), 100);
    auto valueAt = [this](int y) {
        QMouseEvent e(QEvent::MouseMove, QPointF(XOf(m_view->FirstShown() + 2), y),
                      Plot()->mapToGlobal(QPointF(XOf(m_view->FirstShown() + 2), y)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(Plot(), &e);
        return m_view->PointerText();
    };
    const int top = m_view->PlotRect().top() + 1;
    const QString fixed = valueAt(top);
    auto* button = m_view->findChild<QToolButton*>(QStringLiteral("autoybtn"));
    ASSERT_TRUE(button && button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    Plot()->repaint();
    EXPECT_TRUE(m_view->AutoScale());
    const QString fitted = valueAt(top);
    EXPECT_NE(fitted, fixed);  // the top of the plot now means a smaller value
    QTest::mouseClick(button, Qt::LeftButton);
    Plot()->repaint();
    EXPECT_FALSE(m_view->AutoScale());
    EXPECT_EQ(valueAt(top), fixed);
}

// In a compressed view the cursors stay within the lock whatever the mouse does.
TEST_F(ViewMouseUiTest, CompressedViewKeepsTheCursorLockForEveryMouseAction) {
    Open(50);
    ASSERT_EQ(m_view->CursorLock(), 50);
    auto withinLock = [this] { return std::abs(m_view->Cursor2() - m_view->Cursor1()) <= 50; };
    ASSERT_TRUE(withinLock());
    // Drag cursor 1 far to the right: cursor 2 follows.
    const std::int32_t c1 = m_view->Cursor1();
    Press(XOf(c1));
    MoveTo(XOf(600), Qt::LeftButton);
    Release(XOf(600));
    EXPECT_NEAR(m_view->Cursor1(), 600, 1);
    EXPECT_TRUE(withinLock());
    // Drag cursor 2 far away: it stops at the lock.
    const std::int32_t c2 = m_view->Cursor2();
    Press(XOf(c2), Qt::RightButton);
    MoveTo(XOf(100), Qt::RightButton);
    Release(XOf(100), Qt::RightButton);
    EXPECT_EQ(m_view->Cursor2(), m_view->Cursor1() - 50);
    // A right click far away, and a rectangle zoom, keep it too.
    QTest::mouseClick(Plot(), Qt::RightButton, Qt::NoModifier, QPoint(XOf(950), 200));
    EXPECT_TRUE(withinLock());
    Press(XOf(300));
    MoveTo(XOf(900), Qt::LeftButton);
    Release(XOf(900));
    EXPECT_TRUE(withinLock());
}

}  // namespace
}  // namespace ktx

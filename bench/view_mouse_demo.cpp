// SPDX-License-Identifier: GPL-3.0-or-later
// A waveform view with a rectangle zoom in progress (the left button held over a time range)
// and the pointer's readout, saved as a picture for screenshots (not a test):
//   kurvitex_view_mouse_demo OUT.png
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <iostream>

#include "config/notifier.h"
#include "config/progress.h"
#include "view/tktxview.h"
#include "view/view_test_files.h"

namespace {

class DemoHost final : public ktx::WaveViewHost {
  public:
    bool RequestRange(const ktx::RangeRequest&) override { return false; }
    void RequestRecompression(const ktx::RecompressionRequest&) override {}
    ktx::ProgressSink& Progress() override { return ktx::NoProgress(); }
};

void Move(QWidget* w, int x, int y, Qt::MouseButtons held) {
    QMouseEvent e(QEvent::MouseMove, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                  held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::cerr << "kurvitex_view_mouse_demo OUT.png\n";
        return 2;
    }
    const std::string file = "/tmp/ktx_view_mouse_demo.ktx";
    if (!ktx::test::WriteSineFile(file, 2000, 4.0, 1.2, 0.3, 1e-5)) {
        return 1;
    }
    DemoHost host;
    ktx::SilentNotifier notifier;
    ktx::Tktxview view(host, notifier,
                       {"/tmp/ktx_tmp1.tmp", {"/tmp/ktx_tmp2.ktx", "/tmp/ktx_tmp3.ktx"}});
    view.setAttribute(Qt::WA_DeleteOnClose, false);
    view.resize(900, 560);
    if (!view.Open("Sinus 4 Perioden", file, false)) {
        return 1;
    }
    view.show();
    QTest::qWaitForWindowExposed(&view);
    QWidget* plot = view.PlotWidget();
    plot->repaint();
    const QRect r = view.PlotRect();
    const int x0 = r.left() + r.width() * 3 / 10;
    const int x1 = r.left() + r.width() * 55 / 100;
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, QPoint(x0, r.top() + 40));
    for (int x = x0; x <= x1; x += 20) {
        Move(plot, x, r.top() + 40 + (x - x0) / 4, Qt::LeftButton);
    }
    Move(plot, x1, r.top() + r.height() / 3, Qt::LeftButton);
    QApplication::processEvents();
    view.grab().save(QString::fromLocal8Bit(argv[1]));
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, QPoint(x1, r.top() + 40));
    return 0;
}

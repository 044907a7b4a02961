// SPDX-License-Identifier: GPL-3.0-or-later
// Shows one waveform view as the main window would open it, for screenshots and manual checks:
//   kurvitex_view_demo FILE [--peak] [--seconds N] [--pdf OUT.pdf]
//   kurvitex_view_demo --sine FILE POINTS PERIODS   writes a test sine first
#include <QApplication>
#include <QPrinter>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <string>

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

class StderrNotifier final : public ktx::Notifier {
  public:
    void Show(ktx::Severity, const ktx::Notice& n) override { std::cerr << n.Text() << '\n'; }
    bool Confirm(const ktx::Notice&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QStringLiteral("--sine")) {
        return ktx::test::WriteSineFile(args[2].toStdString(), args[3].toLongLong(),
                                        args[4].toDouble(), 1.2, 0.3, 1e-6)
                   ? 0
                   : 1;
    }
    if (args.size() < 2) {
        std::cerr << "kurvitex_view_demo FILE [--peak] [--seconds N] [--pdf OUT]\n";
        return 2;
    }
    const std::string file = args[1].toStdString();
    const bool peak = args.contains(QStringLiteral("--peak"));
    int seconds = 5;
    QString pdf;
    for (int i = 2; i + 1 < args.size(); ++i) {
        if (args[i] == QStringLiteral("--seconds")) {
            seconds = args[i + 1].toInt();
        } else if (args[i] == QStringLiteral("--pdf")) {
            pdf = args[i + 1];
        }
    }
    DemoHost host;
    StderrNotifier notifier;
    const std::string dir = "/tmp/";
    const std::string compression = dir + "ktx_tmp1.tmp";
    auto setup = ktx::PlanDisplay(file, "Demo", false, compression, host.Progress(), notifier, {});
    if (!setup) {
        return 1;
    }
    if (peak) {
        setup = ktx::HandleRecompression({"Demo", file, 5, 100, 3, true}, compression,
                                         host.Progress(), notifier, {});
        if (!setup) {
            return 1;
        }
    }
    auto* view = new ktx::Tktxview(host, notifier,
                                   {compression, {dir + "ktx_tmp2.ktx", dir + "ktx_tmp3.ktx"}});
    view->resize(900, 560);
    view->move(0, 0);
    if (!view->Open(*setup)) {
        return 1;
    }
    view->show();
    if (!pdf.isEmpty()) {
        view->FindPeriod();
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return view->PrintTo(printer) ? 0 : 1;
    }
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}

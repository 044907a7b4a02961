// SPDX-License-Identifier: GPL-3.0-or-later
// Shows the FFT and math views and the analysis dialogs on generated files, one after the other,
// and saves each as a picture, for screenshots and manual checks:
//   kurvitex_analysis_demo OUTDIR [--seconds N]
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cmath>
#include <functional>
#include <iostream>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/analysis_dialogs.h"
#include "analysis/channel_math.h"
#include "analysis/fft_computation.h"
#include "analysis/tktxviewft.h"
#include "analysis/tktxvimth.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "view/view_test_files.h"

namespace {

class StderrNotifier final : public ktx::Notifier {
  public:
    void Show(ktx::Severity, const ktx::Notice& n) override { std::cerr << n.Text() << '\n'; }
    bool Confirm(const ktx::Notice&) override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::cerr << "kurvitex_analysis_demo OUTDIR [--seconds N]\n";
        return 2;
    }
    const QDir out(args[1]);
    const double seconds = args.size() > 3 ? args[3].toDouble() : 1.5;
    StderrNotifier notifier;
    const double pi = std::numbers::pi;

    // One period of a 50 Hz signal with odd harmonics, and a noisy AC signal.
    const std::string wave = out.filePath(QStringLiteral("netz.ktx")).toStdString();
    ktx::test::WriteOneColumnFile(
        wave, 2000, [](std::int64_t i) { return i * 1e-5; },
        [pi](std::int64_t i) {
            const double p = 2 * pi * i / 2000;
            return 0.2 + 230 * std::sqrt(2.0) *
                             (std::sin(p) + 0.1 * std::sin(3 * p) + 0.04 * std::sin(5 * p) +
                              0.02 * std::sin(7 * p) + 0.01 * std::sin(11 * p));
        });
    const std::string noisy = out.filePath(QStringLiteral("rauschen.ktx")).toStdString();
    std::uint64_t seed = 12345;
    ktx::test::WriteOneColumnFile(
        noisy, 20000, [](std::int64_t i) { return i * 1e-6; },
        [&seed, pi](std::int64_t i) {
            double noise = 0;
            for (int k = 0; k < 4; ++k) {
                seed = seed * 6364136223846793005ull + 1442695040888963407ull;
                noise += static_cast<double>(seed >> 11) * 0x1p-53 - 0.5;
            }
            return std::sin(2 * pi * i / 2500.0) + 0.3 * noise;
        });

    const std::string fft = out.filePath(QStringLiteral("netz.fft")).toStdString();
    ktx::FftRequest fr;
    fr.source = wave;
    fr.layout = *ktx::DetectSource(wave);
    fr.period = ktx::ValidatePeriod(0, 2000);
    fr.harmonics = 32;
    fr.target = fft;
    if (!ktx::RunFft(fr, notifier, ktx::NoProgress()).ok) {
        return 1;
    }
    const std::string mth = out.filePath(QStringLiteral("rauschen.mth")).toStdString();
    ktx::MathRequest mr;
    mr.source = noisy;
    mr.layout = *ktx::DetectSource(noisy);
    mr.period = ktx::ValidatePeriod(0, 20000);
    mr.function = ktx::MathFunction::Distribution;
    mr.target = mth;
    if (!ktx::RunMath(mr, notifier, ktx::NoProgress()).ok) {
        return 1;
    }

    struct Shot {
        QString name;
        std::function<QWidget*()> make;
    };
    const std::vector<Shot> shots = {
        {QStringLiteral("fft_balken"),
         [&] {
             auto* v = new ktx::Tktxviewft(notifier);
             v->resize(900, 560);
             v->Load(fft, [](const ktx::UnitStrings&) { return 1; });
             v->Select(3);
             return v;
         }},
        {QStringLiteral("fft_tabelle"),
         [&] {
             auto* v = new ktx::Tktxviewft(notifier);
             v->resize(900, 560);
             v->Load(fft, [](const ktx::UnitStrings&) { return 0; });
             return v;
         }},
        {QStringLiteral("fft_pegel"),
         [&] {
             auto* v = new ktx::Tktxviewft(notifier);
             v->resize(900, 560);
             v->Load(fft, [](const ktx::UnitStrings&) { return 2; });
             return v;
         }},
        {QStringLiteral("mth_linear"),
         [&] {
             auto* v = new ktx::Tktxvimth(notifier);
             v->resize(900, 560);
             v->Load(mth);
             v->SetCursors(60, 190);
             return v;
         }},
        {QStringLiteral("mth_log"),
         [&] {
             auto* v = new ktx::Tktxvimth(notifier);
             v->resize(900, 560);
             v->Load(mth);
             v->SetCursors(60, 190);
             v->ToggleLog();
             return v;
         }},
        {QStringLiteral("dialog_fft"),
         [&] {
             ktx::AnalysisContext c;
             c.notifier = &notifier;
             c.startFolder = out.absolutePath().toStdString();
             auto* d = new ktx::TKTX_fft_dial(c);
             d->SetSource("netz.ktx");
             d->SetWindow(ktx::FftWindow::Hanning);
             return d;
         }},
        {QStringLiteral("dialog_math1"),
         [&] {
             ktx::AnalysisContext c;
             c.notifier = &notifier;
             c.startFolder = out.absolutePath().toStdString();
             auto* d = new ktx::TKTX_mth_dial(c);
             d->SetFunction(ktx::MathFunction::Smooth);
             d->SetSource("rauschen.ktx");
             d->SetTarget("glatt.ktx");
             return d;
         }},
        {QStringLiteral("dialog_math2"),
         [&] {
             ktx::AnalysisContext c;
             c.notifier = &notifier;
             c.startFolder = out.absolutePath().toStdString();
             auto* d = new ktx::TKTX_mth2_dial(c);
             d->SetSources("netz.ktx", "rauschen.ktx");
             d->SetTarget("summe.ktx");
             return d;
         }},
    };
    std::size_t next = 0;
    QWidget* current = nullptr;
    std::function<void()> step = [&] {
        if (current) {
            current->grab().save(out.filePath(shots[next - 1].name + QStringLiteral(".png")));
            current->close();
            current->deleteLater();
            current = nullptr;
        }
        if (next == shots.size()) {
            QApplication::quit();
            return;
        }
        current = shots[next++].make();
        current->move(0, 0);
        current->show();
        QTimer::singleShot(static_cast<int>(seconds * 1000), step);
    };
    QTimer::singleShot(0, step);
    return QApplication::exec();
}

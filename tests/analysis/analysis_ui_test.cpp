// SPDX-License-Identifier: GPL-3.0-or-later
// The FFT and math views and the analysis dialogs on real files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPrinter>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "analysis/analysis_dialogs.h"
#include "analysis/analysis_test_files.h"
#include "analysis/tktxviewft.h"
#include "analysis/tktxvimth.h"
#include "test_files.h"
#include "view/view_test_files.h"

namespace ktx {
namespace {

constexpr double kPi = std::numbers::pi;

class AnalysisUiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // cos + 10 % third harmonic, one period of 1000 samples; a ramp of 0..255 twice.
        ASSERT_TRUE(test::WriteOneColumnFile(
            P("ton.ktx"), 1000, [](std::int64_t i) { return i * 1e-3; },
            [](std::int64_t i) {
                const double p = 2 * kPi * i / 1000;
                return 0.25 + std::cos(p) + 0.1 * std::cos(3 * p);
            }));
        std::vector<double> ramp;
        for (int r = 0; r < 2; ++r) {
            for (int i = 0; i < 256; ++i) {
                ramp.push_back(i);
            }
        }
        ASSERT_TRUE(test::WriteValues(P("rampe.ktx"), ramp));
    }
    std::string P(const std::string& name) const { return m_dir.Path(name); }
    AnalysisContext Context() {
        AnalysisContext c;
        c.notifier = &m_notifier;
        c.startFolder = std::filesystem::path(P("x")).parent_path().string();
        c.show = [this](const std::string& path) { m_shown.push_back(path); };
        return c;
    }
    std::string MakeSpectrum(const std::string& source = "ton.ktx") {
        TKTX_fft_dial d(Context());
        d.SetSource(source);
        d.SetHarmonics(10);
        d.Start();
        EXPECT_TRUE(d.LastOutcome().ok);
        return P(std::filesystem::path(source).replace_extension(".fft").string());
    }

    test::TempDir m_dir;
    test::RecordingNotifier m_notifier;
    std::vector<std::string> m_shown;
};

TEST_F(AnalysisUiTest, FftDialogComputesAndShows) {
    TKTX_fft_dial d(Context());
    EXPECT_FALSE(d.StartEnabled());
    d.SetSource("ton.ktx");
    EXPECT_EQ(d.Target(), "ton.fft");
    EXPECT_TRUE(d.StartEnabled());
    EXPECT_FALSE(d.ShowEnabled());
    EXPECT_EQ(d.StartLabel(), "0");
    EXPECT_EQ(d.StopLabel(), "1000");
    EXPECT_EQ(d.ChannelLabel(), "Ch 0");
    d.SetWindow(FftWindow::Hamming);
    d.Start();
    ASSERT_TRUE(d.LastOutcome().ok);
    EXPECT_TRUE(d.ShowEnabled());
    d.ShowResult();
    EXPECT_EQ(m_shown, std::vector<std::string>{P("ton.fft")});

    // A selection: unweighted, the window choice disabled, K limited to N / 2 below 200.
    d.selectInView = [](const std::string&, bool) {
        return std::optional<ViewSelection>(ViewSelection{100, 250, 0});
    };
    d.ChooseSelection();
    EXPECT_FALSE(d.WindowChoiceEnabled());
    EXPECT_EQ(d.HarmonicsMaximum(), 75);
    EXPECT_EQ(d.StartLabel(), "100");
    // Adjacent cursors: an invalid period clears the labels and computes nothing.
    d.SetPeriod(100, 101, 0);
    EXPECT_TRUE(d.StartLabel().isEmpty());
    d.ChooseWholeFile();
    EXPECT_TRUE(d.WindowChoiceEnabled());
}

TEST_F(AnalysisUiTest, FftViewChartWithDistortionAndTable) {
    const std::string fft = MakeSpectrum();
    auto* view = new Tktxviewft(m_notifier);
    view->resize(800, 500);
    ASSERT_TRUE(view->Load(fft, [](const UnitStrings& entries) {
        EXPECT_EQ(entries, (UnitStrings{"Tab", "V", "db", "grd"}));
        return std::optional<int>(1);
    }));
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    view->ChartWidget()->repaint();
    EXPECT_EQ(view->windowTitle(), QString::fromStdString(fft) + " Channel 1");
    EXPECT_EQ(view->Selected(), 1);
    EXPECT_EQ(view->Readout2(), QStringLiteral("A0= 250mV  K= 9.95037%  THD=0.100000"));
    EXPECT_TRUE(view->Readout1().startsWith(QStringLiteral("Wert1: 1V  ")));
    // A click on the third bar selects harmonic 3; left of the plot nothing changes.
    const QRect r = view->PlotRect();
    QTest::mouseClick(view->ChartWidget(), Qt::LeftButton, {}, QPoint(r.left() + 2 * 20 + 5, 100));
    EXPECT_EQ(view->Selected(), 3);
    QTest::mouseClick(view->ChartWidget(), Qt::LeftButton, {}, QPoint(r.left() - 3, 100));
    EXPECT_EQ(view->Selected(), 3);
    EXPECT_TRUE(view->Readout1().startsWith(QStringLiteral("Wert1: 100mV  ")));
    // Saved as a picture with its caption file; printed to PDF.
    ASSERT_TRUE(view->SaveAs(P("bild.bmp")));
    EXPECT_EQ(test::ReadFile(P("bild.dat")), test::FromText(fft));
    QImage img(QString::fromStdString(P("bild.bmp")));
    EXPECT_EQ(img.width(), view->ChartWidget()->width());
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFileName(QString::fromStdString(P("fft.pdf")));
    EXPECT_TRUE(view->PrintTo(printer));
    EXPECT_GT(std::filesystem::file_size(P("fft.pdf")), 1000u);
    // Too small: only the info texts.
    view->resize(395, 400);
    QApplication::processEvents();
    EXPECT_TRUE(view->TooSmall());
    EXPECT_TRUE(view->findChild<QLabel*>(QStringLiteral("Infolabel"))->isVisible());
    delete view;

    auto* table = new Tktxviewft(m_notifier);
    ASSERT_TRUE(table->Load(fft, [](const UnitStrings&) { return std::optional<int>(0); }));
    const QStringList lines = table->TableText().split('\n');
    ASSERT_EQ(lines.size(), 4 + 11);
    EXPECT_EQ(lines[2], QStringLiteral("Freq\t\tVal\t\tDB\t\tPhase"));
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral("0Hz\t\t250mV")));
    QPrinter textPrinter(QPrinter::HighResolution);
    textPrinter.setOutputFileName(QString::fromStdString(P("tab.pdf")));
    EXPECT_TRUE(table->PrintTo(textPrinter));
    delete table;
}

TEST_F(AnalysisUiTest, FftViewRefusesOtherFilesAndShowsNoThdForSilence) {
    auto* view = new Tktxviewft(m_notifier);
    QPointer<Tktxviewft> guard(view);
    EXPECT_FALSE(
        view->Load(P("ton.ktx"), [](const UnitStrings&) { return std::optional<int>(1); }));
    ASSERT_EQ(m_notifier.shown.size(), 1u);
    EXPECT_EQ(m_notifier.shown[0].stringId, 10012);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());

    ASSERT_TRUE(test::WriteValues(P("stille.ktx"), std::vector<double>(100, 0.0)));
    const std::string fft = MakeSpectrum("stille.ktx");
    auto* silent = new Tktxviewft(m_notifier);
    ASSERT_TRUE(silent->Load(fft, [](const UnitStrings&) { return std::optional<int>(1); }));
    EXPECT_EQ(silent->Readout2(), QStringLiteral("A0= 0V  K= 0.00000%  THD=---"));
    delete silent;
}

TEST_F(AnalysisUiTest, MathDialogAndMathView) {
    TKTX_mth_dial d(Context());
    d.SetFunction(MathFunction::Distribution);
    d.SetSource("rampe.ktx");
    EXPECT_EQ(d.Target(), "rampe.mth");
    EXPECT_TRUE(d.SelectionEnabled());
    EXPECT_FALSE(d.FactorEnabled());
    d.Start();
    ASSERT_TRUE(d.LastOutcome().ok);
    EXPECT_TRUE(d.ShowEnabled());

    // The source under its own name as target: refused by its text.
    d.SetFunction(MathFunction::Invert);
    d.SetSource("rampe.ktx");
    d.SetTarget("./rampe.ktx");
    d.Start();
    EXPECT_EQ(m_notifier.shown.back().stringId, 10042);
    d.SetFunction(MathFunction::Smooth);
    EXPECT_TRUE(d.FactorEnabled());
    d.SetFactor(8);
    EXPECT_EQ(d.Factor(), 7);

    auto* view = new Tktxvimth(m_notifier);
    view->resize(800, 500);
    ASSERT_TRUE(view->Load(P("rampe.mth")));
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    view->PlotWidget()->repaint();
    EXPECT_EQ(view->Count(), 256);
    EXPECT_EQ(view->VisibleCount(), 256);
    EXPECT_EQ(view->Cursor1(), 5);
    EXPECT_EQ(view->Cursor2(), 100);
    EXPECT_TRUE(view->Readout1().startsWith(QStringLiteral("Y-Wert1: 2cnt  X-Wert1: 6V")));
    // Zoom in 256 -> 128 -> ... never below 5.
    for (int i = 0; i < 8; ++i) {
        view->ZoomIn();
    }
    EXPECT_EQ(view->VisibleCount(), 5);
    for (int i = 0; i < 4; ++i) {
        view->ZoomOut();
    }
    EXPECT_EQ(view->VisibleCount(), 80);
    view->ShiftRight();
    EXPECT_EQ(view->FirstVisible(), 40);
    // Right button: cursor 2 only.
    const std::int32_t c1 = view->Cursor1();
    const QRect r = view->PlotRect();
    QTest::mouseClick(view->PlotWidget(), Qt::RightButton, {}, QPoint(r.center().x(), 100));
    EXPECT_EQ(view->Cursor1(), c1);
    EXPECT_NEAR(view->Cursor2(), 80, 1);
    // Logarithmic: counts of 0 sit at the height of 1, nothing is taken of v <= 0.
    view->ToggleLog();
    EXPECT_EQ(view->LogCaption(), QStringLiteral("lin."));
    EXPECT_EQ(view->AxisValue(0.0), 0.0);
    EXPECT_EQ(view->AxisValue(-3.0), 0.0);
    EXPECT_NEAR(view->AxisValue(100.0), std::log(100.0), 1e-12);
    view->PlotWidget()->repaint();
    // The view saves the file it read, even after the file is gone.
    std::filesystem::remove(P("rampe.mth"));
    ASSERT_TRUE(view->SaveAs(P("kopie.ktx")));
    EXPECT_EQ(test::ReadResult(P("kopie.ktx"), WaveLayout::Math).rows.size(), 256u);
    delete view;
}

TEST_F(AnalysisUiTest, Math2DialogShorterSource) {
    TKTX_mth2_dial d(Context());
    d.SetSources("ton.ktx", "rampe.ktx");
    d.SetTarget("summe.ktx");
    EXPECT_TRUE(d.StartEnabled());
    d.SetFunction(Math2Function::Subtract);
    d.Start();
    ASSERT_TRUE(d.LastOutcome().ok);
    EXPECT_TRUE(d.LastOutcome().lengthsDiffer);
    EXPECT_EQ(d.LastOutcome().records, 512);
    EXPECT_EQ(m_notifier.shown.back().stringId, 10309);
    EXPECT_TRUE(d.ShowEnabled());
    d.SetTarget("ton.ktx");
    d.Start();
    EXPECT_EQ(m_notifier.shown.back().stringId, 10042);
}

}  // namespace
}  // namespace ktx

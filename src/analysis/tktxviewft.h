// SPDX-License-Identifier: GPL-3.0-or-later
// Tktxviewft: the MDI child that shows a spectrum file (".fft") as a table or as a bar chart of
// one column (amplitude "Val", level "DB" or phase "Phase"); with the amplitude it also shows
// the mean value and the distortion figures K and THD. The file is read once when the view
// opens; the view keeps what it read. User-interface thread only.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/result_files.h"
#include "app/child_window.h"

class QLabel;
class QPainter;
class QPlainTextEdit;
class QPrinter;
class QScrollBar;

namespace ktx {

class Notifier;
class FftPlot;

class Tktxviewft : public QWidget, public KtxChildWindow {
  public:
    // Asked for the column after loading, with the entries "Tab", unit 1, unit 2, unit 3;
    // returns 0 (table) .. 3 (phase), nothing when the user cancelled.
    using ColumnChooser = std::function<std::optional<int>(const UnitStrings& entries)>;

    explicit Tktxviewft(Notifier& notifier, QWidget* parent = nullptr);
    ~Tktxviewft() override;

    // Loads `path`; false (after message 12 or 11, or a cancelled choice) when there is nothing
    // to show: the view has then closed itself. Without a chooser the channel dialog asks.
    bool Load(const std::string& path, ColumnChooser chooser = {});

    // KtxChildWindow
    void PrintYourself() override;
    void SaveYourself() override;
    void CopyYourself() override;

    bool PrintTo(QPrinter& printer);
    // Chart only: the picture (white, heading lines) and its ".dat" file.
    bool SaveAs(const std::string& name);
    // The chart in picture or screen style, as wide as the chart and 3 text lines higher.
    QImage RenderImage(bool pictureStyle);
    void PaintChart(QPainter& p, const QRect& clip, bool pictureStyle);

    // State, for tests.
    int Column() const { return m_column; }
    int Count() const { return static_cast<int>(m_table.rows.size()); }
    int FirstVisible() const { return m_firstVisible; }
    int VisibleBars() const { return m_visibleBars; }
    int Selected() const { return m_selected; }
    void Select(int index);
    void ScrollTo(int first);
    QString Readout1() const;
    QString Readout2() const;
    QString TableText() const;
    bool TooSmall() const;
    QRect PlotRect() const { return m_plotRect; }
    QWidget* ChartWidget() const;
    const Distortion& Figures() const { return m_distortion; }

  private:
    friend class FftPlot;
    void LayOut();
    void ChartClick(int x);
    QStringList HeadingLines() const;

    Notifier& m_notifier;
    std::string m_path;
    QString m_caption;
    ResultTable m_table;
    int m_column = 0;
    std::vector<double> m_x, m_y;
    double m_yMin = 0.0, m_yMax = 0.0;
    Distortion m_distortion;
    int m_firstVisible = 1;
    int m_visibleBars = 0;
    int m_selected = 1;
    bool m_loaded = false;
    QRect m_plotRect;

    FftPlot* m_paintBox = nullptr;
    QPlainTextEdit* m_memo1 = nullptr;
    QScrollBar* m_wertscroll = nullptr;
    QLabel* m_wertanz = nullptr;
    QLabel* m_wertanz2 = nullptr;
    QLabel* m_timlab = nullptr;
    QLabel* m_infolabel = nullptr;
    QLabel* m_infoLabel1 = nullptr;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Tktxvimth: the MDI child that shows a math result file (".mth", the frequency distribution)
// as a line graph of the counts over the class edges, with two cursors and their readouts, zoom
// and shift, and a linear or logarithmic y axis. The file is read once when the view opens; the
// view keeps its bytes, so saving a copy does not depend on the file staying as it was.
// User-interface thread only.
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/result_files.h"
#include "app/child_window.h"

class QLabel;
class QPainter;
class QPrinter;
class QToolButton;

namespace ktx {

class Notifier;
class MathPlot;

class Tktxvimth : public QWidget, public KtxChildWindow {
  public:
    explicit Tktxvimth(Notifier& notifier, QWidget* parent = nullptr);
    ~Tktxvimth() override;

    // Loads `path`; false (after message 12 or 11) when it is no math result file: the view has
    // then closed itself.
    bool Load(const std::string& path);

    // KtxChildWindow
    void PrintYourself() override;
    void SaveYourself() override;
    void CopyYourself() override;

    bool PrintTo(QPrinter& printer);
    // ".bmp" (any case): the picture and its ".dat" file; any other name: a copy of the file.
    bool SaveAs(const std::string& name);
    QImage RenderImage(bool pictureStyle);
    void PaintGraph(QPainter& p, const QRect& clip, bool pictureStyle);

    void ZoomIn();
    void ZoomOut();
    void ShiftLeft();
    void ShiftRight();
    void ToggleLog();
    void SetCursors(std::int32_t c1, std::int32_t c2);

    // State, for tests.
    bool Logarithmic() const { return m_log; }
    std::int32_t Count() const { return static_cast<std::int32_t>(m_curve.y.size()); }
    std::int32_t FirstVisible() const { return m_first; }
    std::int32_t VisibleCount() const { return m_visible; }
    std::int32_t Cursor1() const { return m_cursor1; }
    std::int32_t Cursor2() const { return m_cursor2; }
    QString Readout1() const;
    QString Readout2() const;
    QString LogCaption() const;
    bool TooSmall() const;
    QRect PlotRect() const { return m_plotRect; }
    QWidget* PlotWidget() const;
    // The y position of a value in the current mode: ln v for v > 0 in logarithmic mode, 0 for
    // v <= 0 (a class without samples sits at the height of a count of 1).
    double AxisValue(double v) const;

  private:
    friend class MathPlot;
    void LayOut();
    void Recentre();
    void UpdateReadouts();
    void PlotClick(Qt::MouseButton button, int x);
    void PlotKey(int key, Qt::KeyboardModifiers modifiers);

    Notifier& m_notifier;
    std::string m_path;
    QString m_caption;
    std::vector<std::uint8_t> m_bytes;
    MathCurve m_curve;
    std::int32_t m_first = 0;
    std::int32_t m_visible = 0;
    std::int32_t m_cursor1 = 5;
    std::int32_t m_cursor2 = 100;
    bool m_log = false;
    bool m_loaded = false;
    QRect m_plotRect;

    QWidget* m_panel1 = nullptr;
    QToolButton* m_logbtn = nullptr;
    QToolButton* m_zoomin = nullptr;
    QToolButton* m_zoomout = nullptr;
    QToolButton* m_posleft = nullptr;
    QToolButton* m_posright = nullptr;
    QToolButton* m_okbtn = nullptr;
    MathPlot* m_paintBox = nullptr;
    QLabel* m_wertanz = nullptr;
    QLabel* m_wertanz2 = nullptr;
    QLabel* m_timlab = nullptr;
    QLabel* m_infolabel = nullptr;
    QLabel* m_infoLabel1 = nullptr;
};

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// Tktxview: the MDI child that shows one value column of a waveform file as a curve with value
// and time grids, two cursors, their readouts and a measurement between them. It draws to the
// window, to bitmaps (clipboard, .bmp export) and, through PrintBitmapPage, to the printer.
// The view never changes the file it shows. User-interface thread only.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/child_window.h"
#include "view/view_file.h"
#include "view/wave_processing.h"
#include "waveform/waveform_record.h"

class QComboBox;
class QFrame;
class QLabel;
class QMouseEvent;
class QPainter;
class QRubberBand;
class QPrinter;
class QToolButton;
class QWheelEvent;

namespace ktx {

class Notifier;
class ProgressSink;

// What a view asks of the main window (window messages 1034 and 1035 of the original design).
class WaveViewHost {
  public:
    virtual ~WaveViewHost() = default;
    // "Cut" (kind 3/4): copy the range and open a cut-out view. True when the copy succeeded.
    // ("Save as" with "Auswahl" writes its target itself, through SafeFile.)
    virtual bool RequestRange(const RangeRequest& request) = 0;
    // "Sample"/"Peak": recompress the source and open a new view; the requesting view closes
    // itself right after this call returns.
    virtual void RequestRecompression(const RecompressionRequest& request) = 0;
    virtual ProgressSink& Progress() = 0;
};

struct ViewFiles {
    std::string compressionFile;  // ktx_tmp1.tmp
    PeriodFiles period;           // ktx_tmp2.ktx, ktx_tmp3.ktx
};

class PlotArea;

class Tktxview : public QWidget, public KtxChildWindow {
  public:
    // Caption "Dateiansicht", cursors at 5 and 100, the period button shown. The view deletes
    // itself when closed.
    Tktxview(WaveViewHost& host, Notifier& notifier, ViewFiles files, QWidget* parent = nullptr);
    ~Tktxview() override;

    // Before Open: the compressed/cut-out state of a view the main window planned
    // (PlanDisplay, HandleRecompression, HandleRangeRequest).
    void ApplySetup(const ViewSetup& setup);
    void SetOkMode(bool on) { m_okMode = on; }
    void SetPeriodButton(bool on) { m_periodButton = on; }
    // Before Open: where the view keeps its own copy of what it shows (shared by the views of
    // one main window). Without one the view makes its own in the compression file's folder.
    void SetFileStore(std::shared_ptr<ViewFileStore> store) { m_store = std::move(store); }
    // Called by "Ok" in a modal use.
    void SetOkHandler(std::function<void()> handler) { m_okHandler = std::move(handler); }

    // Takes `file` as the view's own (see ViewFileStore), loads it and shows it under `caption`.
    // False (after message 12 or the reason the file could not be taken, or when the user
    // cancelled the column choice) when there is nothing to show: the caller discards the view.
    bool Open(const std::string& caption, const std::string& file, bool sampleAxis);
    // ApplySetup and Open in one.
    bool Open(const ViewSetup& setup);

    // KtxChildWindow
    void PrintYourself() override;  // on the default printer, or into a PDF file without one
    void SaveYourself() override;   // "Datei speichern unter"
    void CopyYourself() override;   // plot to the clipboard

    // The actions behind the tool bar, public for the main window's menu and for tests.
    void ZoomIn();
    void ZoomOut();
    void ScrollLeft();
    void ScrollRight();
    void FindPeriod();
    void Cut();
    void Recompress();
    // Save under `name`: .bmp (any case) writes the print-mode picture and a .dat caption file;
    // otherwise sizeChoice 0 copies the shown file, 1 saves the points from one cursor to the
    // other, both included. Every file goes through SafeFile; the files the view shows or came
    // from are refused as targets (message 7 with the reason).
    bool SaveAs(const std::string& name, int sizeChoice);
    // False when the printer could not start the page.
    bool PrintTo(QPrinter& printer);
    // The plot in print mode (white, black pens, five-line header) or screen mode, the size of
    // the plot area plus the header height.
    QImage RenderImage(bool printMode);

    // Draws the plot into `clip` on `painter`.
    void PaintPlot(QPainter& painter, const QRect& clip, bool printMode);
    void SelectMeasurement(int item);
    // Sets both cursors; in a compressed view cursor 2 is then kept within the cursor lock.
    void SetCursors(std::int32_t cursor1, std::int32_t cursor2);

    // State, for the main window and tests.
    const WaveformRecord& Record() const { return m_record; }
    std::int32_t CursorLock() const { return m_cursorLock; }
    std::int32_t Cursor1() const { return m_cursor1; }
    std::int32_t Cursor2() const { return m_cursor2; }
    std::int32_t FirstShown() const { return m_firstShown; }
    std::int32_t ShownCount() const { return m_shownCount; }
    QString Caption() const { return m_caption; }
    QString Readout1() const;
    QString Readout2() const;
    QString MeasurementText() const;
    bool TooSmall() const;
    QRect PlotRect() const { return m_plotRect; }
    QWidget* PlotWidget() const;
    // The vertical scale follows the shown points (tool button "autoybtn") or the whole file.
    void SetAutoScale(bool on);
    bool AutoScale() const { return m_autoScale; }
    // Time and value under the mouse pointer; empty while the pointer is off the plot.
    QString PointerText() const;
    // The rectangle a left-button drag is selecting, empty when none.
    QRect ZoomRectangle() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    friend class PlotArea;
    void BuildToolBar();
    void LayOut();
    void UpdateReadouts();
    void Redraw();
    void PlotClick(Qt::MouseButton button, int x);
    // The mouse on the plot: a press on a cursor line drags that cursor, a left-button drag
    // elsewhere selects a time range to zoom into, a press and release without moving is a
    // click; the pointer's time and value follow it.
    void PlotPress(const QMouseEvent& event);
    void PlotMove(const QMouseEvent& event);
    void PlotRelease(const QMouseEvent& event);
    void PlotLeave();
    void ShowPointer(const QPoint& at);
    void PlotKey(int key, Qt::KeyboardModifiers modifiers);
    void PlotWheel(const QWheelEvent& event);
    void ShowRange(std::int32_t first, std::int32_t count);
    void ApplyCursorLock();
    void CentreOnCursor1();
    void UpdatePositionBar();
    void PlaceDateLabel();
    QStringList HeaderLines() const;
    ViewFileStore& Store();
    // False (after a message) when `file` no longer holds what the view took.
    bool Intact(const ViewFile& file);
    // The files a save must not replace: the view's own and the ones they were taken from.
    std::vector<std::string> OwnFiles() const;
    bool SaveBitmap(const std::string& name);

    WaveViewHost& m_host;
    Notifier& m_notifier;
    ViewFiles m_files;
    std::shared_ptr<ViewFileStore> m_store;
    WaveformRecord m_record;
    bool m_loaded = false;

    std::int32_t m_cursor1 = 5;
    std::int32_t m_cursor2 = 100;
    std::int32_t m_cursorLock = 0;
    std::int32_t m_firstShown = 0;
    std::int32_t m_shownCount = 0;
    bool m_peakMode = false;
    bool m_compressed = false;
    bool m_okMode = false;
    bool m_periodButton = true;
    std::int64_t m_sourceCount = 0;
    std::int64_t m_cutStart = 0;
    std::int64_t m_cutEnd = 0;
    std::string m_sourceFile;
    std::string m_displayName;
    std::string m_originFile;
    // The view's own copies of the file shown and, in a compressed view, of its source.
    std::shared_ptr<const ViewFile> m_file;
    std::shared_ptr<const ViewFile> m_source;
    int m_wheelRest = 0;  // angle of a wheel turn not yet a whole step
    // Mouse: what a press started, where, and whether it has moved yet.
    enum class Drag { None, Cursor1, Cursor2, Rectangle };
    Drag m_drag = Drag::None;
    Qt::MouseButton m_pressButton = Qt::NoButton;
    int m_pressX = 0;
    bool m_moved = false;
    bool m_autoScale = false;
    // The value axis of the latest screen drawing: value = low + (bottom - y) / scale.
    double m_axisLow = 0;
    double m_axisScale = 0;
    QString m_caption;
    QRect m_plotRect;
    std::function<void()> m_okHandler;

    QWidget* m_panel1 = nullptr;
    QComboBox* m_messComb = nullptr;
    QLabel* m_messPan = nullptr;
    QLabel* m_plab = nullptr;
    QFrame* m_bevell = nullptr;
    QFrame* m_bevelk = nullptr;
    QToolButton* m_zoomin = nullptr;
    QToolButton* m_zoomout = nullptr;
    QToolButton* m_posright = nullptr;
    QToolButton* m_posleft = nullptr;
    QToolButton* m_okBtn = nullptr;
    QToolButton* m_pkBtn = nullptr;
    QToolButton* m_perBtn = nullptr;
    QToolButton* m_cutBtn = nullptr;
    QToolButton* m_autoYBtn = nullptr;
    QRubberBand* m_rubberBand = nullptr;
    QLabel* m_pointerlab = nullptr;
    PlotArea* m_paintBox = nullptr;
    QLabel* m_wertanz = nullptr;
    QLabel* m_wertanz2 = nullptr;
    QLabel* m_timlab = nullptr;
    QLabel* m_infolabel = nullptr;
    QLabel* m_infoLabel1 = nullptr;
};

}  // namespace ktx

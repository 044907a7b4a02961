// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform view window.
#include "view/tktxview.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QPrinter>
#include <QRubberBand>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>

#include "app/save_dialogs.h"
#include "config/message_catalog.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "view/axis_scale.h"
#include "view/cursor_readouts.h"
#include "view/print_page.h"
#include "view/view_mouse.h"
#include "view/view_save.h"

namespace ktx {
namespace {

constexpr int kMinPlotHeight = 177;
constexpr int kMinPlotWidth = 296;
constexpr int kStrDate = 10517;
constexpr int kMsgFailed = 34;
// One notch of a mouse wheel, in eighths of a degree.
constexpr int kWheelStep = 120;

// Source colours shared by the views (yellow, aqua, fuchsia, lime): curve, cursor 1, cursor 2,
// date label.
const QColor kSourceColours[] = {QColor(0xFF, 0xFF, 0x00), QColor(0x00, 0xFF, 0xFF),
                                 QColor(0xFF, 0x00, 0xFF), QColor(0x00, 0xFF, 0x00)};
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kGrey(0x80, 0x80, 0x80);

QFont PlotFont() {
    QFont f(QStringLiteral("Courier New"), 8);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    return f;
}

QString Str(int id) {
    return QString::fromUtf8(MessageCatalog::String(id));
}
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Text with its top left corner at (x, y), as the plot's coordinates are laid out.
void TextAt(QPainter& p, int x, int y, const QString& text) {
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
}

// Passes messages on with one file name in their extra text replaced by another.
class NamingNotifier final : public Notifier {
  public:
    NamingNotifier(Notifier& to, std::string from, std::string as)
        : m_to(to), m_from(std::move(from)), m_as(std::move(as)) {}
    void Show(Severity severity, const Notice& notice) override {
        m_to.Show(severity, Renamed(notice));
    }
    bool Confirm(const Notice& notice) override { return m_to.Confirm(Renamed(notice)); }

  private:
    Notice Renamed(Notice notice) const {
        if (const auto at = notice.extra.find(m_from); at != std::string::npos) {
            notice.extra.replace(at, m_from.size(), m_as);
        }
        return notice;
    }
    Notifier& m_to;
    std::string m_from;
    std::string m_as;
};

}  // namespace

// PaintBox1: the plot area with the cross-hair cursor.
class PlotArea : public QWidget {
  public:
    explicit PlotArea(Tktxview& view) : QWidget(&view), m_view(view) {
        setObjectName(QStringLiteral("PaintBox1"));
        setCursor(Qt::CrossCursor);
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);  // the pointer's readout follows it without a button held
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        m_view.PaintPlot(p, rect(), false);
    }
    void mousePressEvent(QMouseEvent* e) override {
        setFocus();
        m_view.PlotPress(*e);
    }
    void mouseMoveEvent(QMouseEvent* e) override { m_view.PlotMove(*e); }
    void mouseReleaseEvent(QMouseEvent* e) override { m_view.PlotRelease(*e); }
    void leaveEvent(QEvent*) override { m_view.PlotLeave(); }
    void keyPressEvent(QKeyEvent* e) override { m_view.PlotKey(e->key(), e->modifiers()); }
    void wheelEvent(QWheelEvent* e) override {
        m_view.PlotWheel(*e);
        e->accept();
    }
    void resizeEvent(QResizeEvent*) override { m_view.LayOut(); }

  private:
    Tktxview& m_view;
};

Tktxview::Tktxview(WaveViewHost& host, Notifier& notifier, ViewFiles files, QWidget* parent)
    : QWidget(parent), m_host(host), m_notifier(notifier), m_files(std::move(files)) {
    setObjectName(QStringLiteral("ktxview"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Dateiansicht"));
    BuildToolBar();
    m_paintBox = new PlotArea(*this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_panel1);
    layout->addWidget(m_paintBox, 1);

    auto label = [this](const char* name, const QColor& colour) {
        auto* l = new QLabel(m_paintBox);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(PlotFont());
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, colour);
        // Aqua, fuchsia and lime text cannot be read on the silver plot: the coloured readouts
        // sit on black.
        if (colour != QColor(Qt::black)) {
            pal.setColor(QPalette::Window, Qt::black);
            l->setAutoFillBackground(true);
            l->setContentsMargins(3, 0, 3, 0);
        }
        l->setPalette(pal);
        return l;
    };
    m_wertanz = label("wertanz", kSourceColours[1]);
    m_wertanz2 = label("Wertanz2", kSourceColours[2]);
    m_timlab = label("timlab", kSourceColours[3]);
    m_infolabel = label("Infolabel", Qt::black);
    m_infolabel->setText(QStringLiteral("keine Darstellung möglich"));
    m_infoLabel1 = label("infoLabel1", Qt::black);
    m_infoLabel1->setText(QStringLiteral("-> bitte Fenster vergrößern"));
    m_pointerlab = new QLabel(m_paintBox);
    m_pointerlab->setObjectName(QStringLiteral("pointerlab"));
    m_pointerlab->setFont(PlotFont());
    m_pointerlab->setAutoFillBackground(true);
    m_pointerlab->setContentsMargins(3, 1, 3, 1);
    m_pointerlab->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette tip = m_pointerlab->palette();
    tip.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xE1));
    tip.setColor(QPalette::WindowText, Qt::black);
    m_pointerlab->setPalette(tip);
    m_pointerlab->hide();
    m_rubberBand = new QRubberBand(QRubberBand::Rectangle, m_paintBox);
    m_rubberBand->setObjectName(QStringLiteral("zoomrect"));
    resize(640, 420);
}

Tktxview::~Tktxview() = default;

QWidget* Tktxview::PlotWidget() const {
    return m_paintBox;
}

void Tktxview::BuildToolBar() {
    m_panel1 = new QWidget(this);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    // 20 pixels in the original form; a Qt combo box needs a few more to show its text.
    m_panel1->setFixedHeight(24);
    // What fits in the tool bar depends on its width.
    m_panel1->installEventFilter(this);
    auto* bar = new QHBoxLayout(m_panel1);
    bar->setContentsMargins(2, 1, 2, 1);
    bar->setSpacing(3);

    m_messComb = new QComboBox(m_panel1);
    m_messComb->setObjectName(QStringLiteral("mess_comb"));
    m_messComb->addItem(QStringLiteral("Difference"));
    m_messPan = new QLabel(m_panel1);
    m_messPan->setObjectName(QStringLiteral("mess_pan"));
    m_messPan->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_messPan->setMinimumWidth(90);
    m_plab = new QLabel(m_panel1);
    m_plab->setObjectName(QStringLiteral("plab"));
    m_plab->hide();

    // Position bar of a cut-out: the whole file and, in red, the part shown.
    auto* barHolder = new QWidget(m_panel1);
    barHolder->setObjectName(QStringLiteral("barHolder"));
    barHolder->setFixedSize(104, 12);
    m_bevell = new QFrame(barHolder);
    m_bevell->setObjectName(QStringLiteral("Bevell"));
    m_bevell->setFrameStyle(QFrame::Panel | QFrame::Raised);
    m_bevell->setGeometry(2, 3, 100, 5);
    m_bevelk = new QFrame(barHolder);
    m_bevelk->setObjectName(QStringLiteral("Bevelk"));
    m_bevelk->setAutoFillBackground(true);
    QPalette red = m_bevelk->palette();
    red.setColor(QPalette::Window, Qt::red);
    m_bevelk->setPalette(red);
    m_bevelk->setGeometry(2, 4, 20, 4);
    m_bevell->hide();
    m_bevelk->hide();

    auto button = [this](const char* name, const QString& text, const QString& hint) {
        auto* b = new QToolButton(m_panel1);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(hint);
        b->setAutoRaise(false);
        return b;
    };
    m_zoomin = button("zoomin", QStringLiteral("+"), QStringLiteral("größer"));
    m_zoomout = button("zoomout", QStringLiteral("−"), QStringLiteral("kleiner"));
    m_posleft = button("posleft", QStringLiteral("◀"), QStringLiteral("links"));
    m_posright = button("posright", QStringLiteral("▶"), QStringLiteral("rechts"));
    m_perBtn = button("PerBtn", QStringLiteral("Periode"), QStringLiteral("Cursoren setzen"));
    m_okBtn = button("ok_btn", QStringLiteral("Ok"), QStringLiteral("Beenden"));
    m_pkBtn = button("PkBtn", QStringLiteral("Peak"), QStringLiteral("Umschalten"));
    m_cutBtn = button("cutbtn", QStringLiteral("Cut"), QStringLiteral("Ausschneiden"));
    m_autoYBtn = button("autoybtn", QStringLiteral("Auto Y"),
                        QStringLiteral("Senkrechte Skala an den gezeigten Bereich anpassen"));
    m_autoYBtn->setCheckable(true);

    bar->addWidget(m_messComb);
    bar->addWidget(m_messPan);
    bar->addWidget(m_plab);
    bar->addWidget(barHolder);
    bar->addStretch(1);
    for (QToolButton* b : {m_autoYBtn, m_pkBtn, m_cutBtn, m_perBtn, m_okBtn, m_posleft, m_zoomin,
                           m_zoomout, m_posright}) {
        bar->addWidget(b);
    }

    connect(m_messComb, &QComboBox::currentIndexChanged, this, [this](int) { UpdateReadouts(); });
    connect(m_zoomin, &QToolButton::clicked, this, [this] { ZoomIn(); });
    connect(m_zoomout, &QToolButton::clicked, this, [this] { ZoomOut(); });
    connect(m_posleft, &QToolButton::clicked, this, [this] { ScrollLeft(); });
    connect(m_posright, &QToolButton::clicked, this, [this] { ScrollRight(); });
    connect(m_perBtn, &QToolButton::clicked, this, [this] { FindPeriod(); });
    connect(m_cutBtn, &QToolButton::clicked, this, [this] { Cut(); });
    connect(m_autoYBtn, &QToolButton::toggled, this, [this](bool on) { SetAutoScale(on); });
    connect(m_pkBtn, &QToolButton::clicked, this, [this] { Recompress(); });
    connect(m_okBtn, &QToolButton::clicked, this, [this] {
        if (m_okHandler) {
            m_okHandler();
        }
    });
}

void Tktxview::ApplySetup(const ViewSetup& setup) {
    m_compressed = setup.compressed;
    m_peakMode = setup.peakMode;
    m_cursorLock = setup.cursorLock;
    m_sourceFile = setup.sourceFile;
    m_displayName = setup.displayName;
    m_sourceCount = setup.sourceCount;
    m_cutStart = setup.cutStart;
    m_cutEnd = setup.cutEnd;
    m_originFile = setup.originFile;
}

ViewFileStore& Tktxview::Store() {
    if (!m_store) {
        m_store = std::make_shared<ViewFileStore>(
            std::filesystem::path(m_files.compressionFile).parent_path().string(),
            std::vector<std::string>{m_files.compressionFile});
    }
    return *m_store;
}

bool Tktxview::Intact(const ViewFile& file) {
    const std::string why = file.Check();
    if (why.empty()) {
        return true;
    }
    ShowErrorMsgText(m_notifier, kMsgFailed, why, 0);
    return false;
}

std::vector<std::string> Tktxview::OwnFiles() const {
    std::vector<std::string> own;
    for (const auto& f : {m_file, m_source}) {
        if (f) {
            own.push_back(f->Path());
            own.push_back(f->Origin());
        }
    }
    if (!m_originFile.empty()) {
        own.push_back(m_originFile);
    }
    return own;
}

bool Tktxview::Open(const ViewSetup& setup) {
    ApplySetup(setup);
    return Open(setup.caption, setup.file, setup.sampleAxis);
}

bool Tktxview::Open(const std::string& caption, const std::string& file, bool sampleAxis) {
    m_messComb->blockSignals(true);
    m_messComb->clear();
    const int items = m_peakMode ? kPeakMeasurementCount : kMeasurementCount;
    for (int i = 0; i < items; ++i) {
        m_messComb->addItem(Str(kMeasurementStringBase + i));
    }
    m_messComb->setCurrentIndex(0);
    m_messComb->blockSignals(false);
    if (m_compressed) {
        m_plab->setText(m_peakMode ? QStringLiteral("Peak detect") : QStringLiteral("Sample mode"));
        m_plab->show();
        m_pkBtn->setText(m_peakMode ? QStringLiteral("Sample") : QStringLiteral("Peak"));
    } else {
        m_plab->hide();
    }

    m_caption = Q(caption).left(80);
    // The view's own files, before anything else can rewrite the scratch files they came from.
    FileError error;
    m_file = Store().Take(file, error);
    if (m_file && m_compressed && !m_sourceFile.empty()) {
        m_source = Store().Take(m_sourceFile, error);
    }
    if (error) {
        ShowErrorMsgText(m_notifier, error.Message(), error.Text(), 0);
        close();
        return false;
    }
    const ColumnChooser chooser = [this](const UnitStrings& units) -> std::optional<int> {
        Tcseldlg dlg(units, this);
        if (dlg.exec() != QDialog::Accepted || dlg.Channel() < 0) {
            return std::nullopt;
        }
        return dlg.Channel();
    };
    // Messages name the file the user knows, not the view's own copy of it.
    NamingNotifier naming(m_notifier, m_file->Path(), m_file->Origin());
    auto record = LoadWaveform(m_file->Path(), sampleAxis, chooser, naming);
    if (!record) {
        close();
        return false;
    }
    m_record = std::move(*record);
    m_loaded = true;
    if (m_record.layout == WaveLayout::FourColumn) {
        m_caption += QStringLiteral(" Channel ") + QString::number(m_record.column);
    }
    setWindowTitle(m_caption);
    m_timlab->setText(
        QFileInfo(Q(m_record.fileName)).lastModified().toString(QStringLiteral("d.M.yyyy")));

    m_firstShown = 0;
    m_shownCount = m_record.pointCount;
    if (m_cursorLock > 0) {
        m_cursor2 = m_cursor1 + m_cursorLock;
    }
    if (m_cursor2 >= m_record.pointCount) {
        m_cursor2 = m_record.pointCount - 1;
    }
    LayOut();
    UpdateReadouts();
    return true;
}

bool Tktxview::TooSmall() const {
    return m_paintBox->height() < kMinPlotHeight || m_paintBox->width() < kMinPlotWidth;
}

void Tktxview::LayOut() {
    const bool small = TooSmall();
    m_infolabel->setVisible(small);
    m_infoLabel1->setVisible(small);
    m_wertanz->setVisible(!small);
    m_wertanz2->setVisible(!small);
    m_timlab->setVisible(!small);
    m_zoomin->setVisible(!small);
    m_zoomout->setVisible(!small);
    m_posleft->setVisible(!small);
    m_posright->setVisible(!small);
    m_perBtn->setVisible(!small && m_periodButton);
    m_okBtn->setVisible(!small && m_okMode);
    m_pkBtn->setVisible(!small && m_compressed);
    m_cutBtn->setVisible(!small && m_compressed);
    m_autoYBtn->setVisible(!small);

    const QFontMetrics fm(PlotFont());
    const int h = fm.height();
    const int w = fm.horizontalAdvance(QLatin1Char('#'));
    m_infolabel->move(8, 8);
    m_infolabel->adjustSize();
    m_infoLabel1->move(8, 8 + h + 4);
    m_infoLabel1->adjustSize();
    // The readouts sit in the band above the plot, right of the unit text.
    m_wertanz->move(14 * w, 1);
    m_wertanz2->move(14 * w, 1 + h);
    m_timlab->adjustSize();
    UpdatePositionBar();
    UpdateReadouts();
}

bool Tktxview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_panel1 && event->type() == QEvent::Resize) {
        UpdatePositionBar();
    }
    return QWidget::eventFilter(watched, event);
}

// The date at the right of the readouts' band, or in the row below them when a narrow window
// would put it over them.
void Tktxview::PlaceDateLabel() {
    const QFontMetrics fm(PlotFont());
    const int w = fm.horizontalAdvance(QLatin1Char('#'));
    const int x = std::max(0, m_paintBox->width() - m_timlab->width() - 4 * w);
    const int readoutsEnd = m_wertanz->x() + std::max(m_wertanz->width(), m_wertanz2->width());
    const bool clear = m_wertanz->text().isEmpty() || x >= readoutsEnd + w;
    m_timlab->move(x, clear ? 1 : 1 + 2 * fm.height());
}

void Tktxview::UpdatePositionBar() {
    const bool visible = m_sourceCount != 0;
    m_bevell->setVisible(visible);
    m_bevelk->setVisible(visible);
    // In a window too narrow for the whole tool bar the position bar and the mode label give
    // way first (the printout still shows the bar); otherwise they would lie over the others.
    QWidget* holder = m_bevell->parentWidget();
    holder->setVisible(visible);
    m_plab->setVisible(m_compressed);
    for (QWidget* optional : {holder, static_cast<QWidget*>(m_plab)}) {
        m_panel1->layout()->invalidate();
        if (m_panel1->layout()->sizeHint().width() > m_panel1->width()) {
            optional->hide();
        }
    }
    if (!visible) {
        return;
    }
    const double per = static_cast<double>(m_bevell->width()) / static_cast<double>(m_sourceCount);
    const int left = m_bevell->x() + static_cast<int>(std::lround(per * m_cutStart));
    const int width = std::max(
        3, static_cast<int>(std::lround(per * static_cast<double>(m_cutEnd - m_cutStart))));
    m_bevelk->setGeometry(left, m_bevelk->y(), width, 4);
}

void Tktxview::UpdateReadouts() {
    if (!m_loaded || TooSmall()) {
        m_wertanz->clear();
        m_wertanz2->clear();
        m_messPan->clear();
        return;
    }
    const CursorReadouts r =
        ComputeReadouts(m_record, m_cursor1, m_cursor2,
                        static_cast<Measurement>(std::max(0, m_messComb->currentIndex())));
    m_wertanz->setText(Q(r.wertanz));
    m_wertanz->adjustSize();
    m_wertanz2->setText(Q(r.wertanz2));
    m_wertanz2->adjustSize();
    PlaceDateLabel();
    m_messPan->setText(Q(r.measurement));
}

QString Tktxview::Readout1() const {
    return m_wertanz->text();
}
QString Tktxview::Readout2() const {
    return m_wertanz2->text();
}
QString Tktxview::MeasurementText() const {
    return m_messPan->text();
}

void Tktxview::Redraw() {
    m_paintBox->update();
    UpdateReadouts();
}

void Tktxview::SelectMeasurement(int item) {
    m_messComb->setCurrentIndex(item);
}

void Tktxview::SetCursors(std::int32_t cursor1, std::int32_t cursor2) {
    m_cursor1 = cursor1;
    m_cursor2 = cursor2;
    ApplyCursorLock();
    Redraw();
}

void Tktxview::PaintPlot(QPainter& p, const QRect& clip, bool printMode) {
    p.fillRect(clip, printMode ? QColor(Qt::white) : kSilver);
    p.setFont(PlotFont());
    const QFontMetrics fm = p.fontMetrics();
    const int h = fm.height();
    const int w = fm.horizontalAdvance(QLatin1Char('#'));
    if (!m_loaded || clip.height() < kMinPlotHeight || clip.width() < kMinPlotWidth ||
        m_shownCount <= 0) {
        return;
    }
    const int titleHeight = 4 * h;
    const int top = clip.top() + 3 * h + (printMode ? titleHeight : 0);
    const int bottom = clip.bottom() - 3 * h;
    const int left = clip.left() + 11 * w;
    const int right = clip.right() - 4 * w;
    const int plotWidth = right - left;
    const int plotHeight = bottom - top;
    m_plotRect = QRect(QPoint(left, top), QPoint(right, bottom));
    if (plotHeight <= 0 || plotWidth <= 0) {
        return;
    }

    const int rowsWanted = plotHeight / (h + h / 2);
    ValueSpan values{m_record.yMin.ToDouble(), m_record.yMax.ToDouble()};
    if (m_autoScale) {
        values = ShownValueSpan(m_record, {m_firstShown, m_shownCount});
    }
    const AxisScale axis = NiceScale(values.low, values.high, rowsWanted);
    const double scale = plotHeight / (axis.division * axis.rows);
    if (!printMode) {
        m_axisLow = axis.low;
        m_axisScale = scale;
    }
    const int y0 = bottom + static_cast<int>(std::lround(axis.low * scale));

    const QPen black(Qt::black);
    p.setPen(black);
    if (printMode) {
        const int x = clip.left() + 20 * w;
        int y = clip.top() + h / 2;
        for (const QString& line : HeaderLines()) {
            TextAt(p, x, y, line);
            y += h;
        }
        if (m_sourceCount != 0) {
            // The position bar as the tool bar shows it: the whole file 100 pixels long, the
            // part shown drawn three times as thick.
            const int barY = clip.top() + 6 * h;
            const double per = 100.0 / static_cast<double>(m_sourceCount);
            p.drawLine(x, barY, x + 100, barY);
            p.setPen(QPen(Qt::black, 3));
            p.drawLine(x + static_cast<int>(std::lround(per * static_cast<double>(m_cutStart))),
                       barY, x + static_cast<int>(std::lround(per * static_cast<double>(m_cutEnd))),
                       barY);
            p.setPen(black);
        }
    }

    // Value grid with its labels, the axes and the zero line.
    const QPen gridPen(kGrey, 0, Qt::DotLine);
    for (int k = 0; k <= axis.rows; ++k) {
        const int y = bottom - static_cast<int>(std::lround(k * axis.division * scale));
        p.setPen(gridPen);
        p.drawLine(left - w / 2, y, right, y);
        p.setPen(black);
        TextAt(p, left - 10 * w, y - h / 2, Q(FormatNumber(9, axis.low + k * axis.division)));
    }
    p.setPen(black);
    p.drawLine(left, top, left, bottom);
    p.drawLine(left, bottom, right, bottom);
    p.drawLine(left, y0, right, y0);
    const std::string& unit =
        m_record.units[static_cast<std::size_t>(std::clamp(m_record.column, 0, 3))];
    TextAt(p, left - w, top - 2 * h, Q(unit));
    TextAt(p, right + w, bottom - h / 2, Q(TimeUnitText(m_record)));

    // Curve: every shown point, as one polyline; grid lines and time labels on the way.
    const double dx = static_cast<double>(plotWidth) / m_shownCount;
    const double pitch = std::trunc((std::trunc(8.0 * w / dx) + 1.0) * dx);
    const QPen cursor1Pen = printMode ? QPen(Qt::black, 0, Qt::DotLine) : QPen(kSourceColours[1]);
    const QPen cursor2Pen =
        printMode ? QPen(Qt::black, 0, Qt::DashDotLine) : QPen(kSourceColours[2]);
    QPolygonF curve;
    curve.reserve(m_shownCount);
    int gridLines = 0;
    int lastCursorX = -1;
    double x = left;
    const double low = axis.low;
    for (std::int32_t k = 0; k < m_shownCount; ++k) {
        const std::int32_t index = m_firstShown + k;
        const int rx = static_cast<int>(std::lround(x));
        if (x >= left + gridLines * pitch) {
            if (gridLines > 0 && rx != lastCursorX) {
                p.setPen(gridPen);
                p.drawLine(rx, top, rx, bottom);
            }
            p.setPen(black);
            p.drawLine(rx, bottom, rx, bottom + w);
            const TimeField& t = m_record.xValues[static_cast<std::size_t>(index)];
            if (m_record.sampleAxis) {
                TextAt(p, rx - 10, bottom + w + 2, QString::number(TimeFieldToMilliseconds(t)));
            } else if (m_record.timeScale == 1.0) {
                TextAt(p, rx - 10, bottom + w + 2, Q(FormatTimeHM(t)));
                TextAt(p, rx - 10, bottom + 3 * w + 2, Q(FormatSeconds(t)));
            } else {
                // Without the padding blanks, so the label starts at its tick.
                TextAt(p, rx - 10, bottom + w + 2,
                       Q(FormatNumber(7, static_cast<double>(t.Seconds()) * m_record.timeScale))
                           .trimmed());
            }
            ++gridLines;
        }
        const double value = m_record.yValues[static_cast<std::size_t>(index)].ToDouble();
        const double y = std::clamp(bottom - (value - low) * scale, static_cast<double>(top),
                                    static_cast<double>(bottom));
        curve.append(QPointF(rx, std::round(y)));
        if (index == m_cursor1 || index == m_cursor2) {
            lastCursorX = rx;
        }
        x = std::min(x + dx, static_cast<double>(right));
    }
    p.setPen(printMode ? QPen(Qt::black) : QPen(kSourceColours[0]));
    p.drawPolyline(curve);
    // Cursor lines over the curve.
    for (int c = 0; c < 2; ++c) {
        const std::int32_t index = c == 0 ? m_cursor1 : m_cursor2;
        if (index >= m_firstShown && index < m_firstShown + m_shownCount) {
            const int cx = static_cast<int>(curve[index - m_firstShown].x());
            p.setPen(c == 0 ? cursor1Pen : cursor2Pen);
            p.drawLine(cx, bottom, cx, top);
        }
    }
}

QStringList Tktxview::HeaderLines() const {
    QStringList lines;
    lines << m_caption;
    lines << Str(kStrDate) + m_timlab->text();
    lines << m_messComb->currentText() + QStringLiteral(": ") + m_messPan->text();
    lines << m_wertanz->text();
    lines << m_wertanz2->text();
    return lines;
}

void Tktxview::PlotClick(Qt::MouseButton button, int x) {
    if (!m_loaded || m_plotRect.width() <= 0 || x <= m_plotRect.left() || x >= m_plotRect.right()) {
        return;
    }
    const double plotWidth = m_plotRect.right() - m_plotRect.left();
    const auto i =
        static_cast<std::int32_t>(std::lround((x - m_plotRect.left()) * m_shownCount / plotWidth));
    if (i >= m_shownCount) {
        return;
    }
    if (button == Qt::LeftButton) {
        m_cursor1 = m_firstShown + i;
    } else if (button == Qt::RightButton) {
        m_cursor2 = m_firstShown + i;
    } else {
        return;
    }
    ApplyCursorLock();
    Redraw();
}

void Tktxview::PlotPress(const QMouseEvent& event) {
    m_pressButton = event.button();
    m_pressX = static_cast<int>(event.position().x());
    m_moved = false;
    m_drag = Drag::None;
    if (!m_loaded || (m_pressButton != Qt::LeftButton && m_pressButton != Qt::RightButton)) {
        return;
    }
    const PlotSpan span{m_plotRect.left(), m_plotRect.right()};
    const int grabbed =
        CursorAt(m_pressX, span, {m_firstShown, m_shownCount}, m_cursor1, m_cursor2);
    if (grabbed != 0) {
        m_drag = grabbed == 1 ? Drag::Cursor1 : Drag::Cursor2;
    } else if (m_pressButton == Qt::LeftButton) {
        m_drag = Drag::Rectangle;
    } else {
        PlotClick(m_pressButton, m_pressX);  // the right button sets cursor 2 at once
        m_pressButton = Qt::NoButton;
    }
}

void Tktxview::PlotMove(const QMouseEvent& event) {
    const QPoint at = event.position().toPoint();
    ShowPointer(at);
    if (m_drag == Drag::None || !(event.buttons() & m_pressButton)) {
        return;
    }
    if (!m_moved &&
        std::abs(at.x() - m_pressX) < (m_drag == Drag::Rectangle ? kMinDragPixels : 1)) {
        return;
    }
    m_moved = true;
    const PlotSpan span{m_plotRect.left(), m_plotRect.right()};
    if (m_drag == Drag::Rectangle) {
        const int x0 = std::clamp(m_pressX, m_plotRect.left(), m_plotRect.right());
        const int x1 = std::clamp(at.x(), m_plotRect.left(), m_plotRect.right());
        m_rubberBand->setGeometry(QRect(QPoint(std::min(x0, x1), m_plotRect.top()),
                                        QPoint(std::max(x0, x1), m_plotRect.bottom())));
        m_rubberBand->show();
        return;
    }
    // A dragged cursor follows the pointer within the shown points.
    const double x = std::clamp<double>(at.x(), m_plotRect.left() + 1, m_plotRect.right() - 1);
    const std::int32_t index = PointAtX(x, span, {m_firstShown, m_shownCount});
    if (index < 0) {
        return;
    }
    (m_drag == Drag::Cursor1 ? m_cursor1 : m_cursor2) = index;
    // In a compressed view a dragged cursor keeps the distance limit the keys and clicks keep.
    ApplyCursorLock();
    Redraw();
}

void Tktxview::PlotRelease(const QMouseEvent& event) {
    if (event.button() != m_pressButton || m_pressButton == Qt::NoButton) {
        return;
    }
    const Drag drag = m_drag;
    m_drag = Drag::None;
    m_pressButton = Qt::NoButton;
    m_rubberBand->hide();
    if (!m_loaded) {
        return;
    }
    if (!m_moved) {
        PlotClick(event.button(), m_pressX);  // a press without moving is the click it was
        return;
    }
    if (drag == Drag::Rectangle) {
        const auto range =
            RangeOfDrag(m_pressX, event.position().x(), {m_plotRect.left(), m_plotRect.right()},
                        {m_firstShown, m_shownCount}, m_record.pointCount);
        if (range) {
            ShowRange(range->first, range->count);  // "kleiner" goes back step by step
        }
    }
}

void Tktxview::PlotLeave() {
    m_pointerlab->hide();
    m_pointerlab->clear();
}

void Tktxview::ShowPointer(const QPoint& at) {
    const PlotSpan span{m_plotRect.left(), m_plotRect.right()};
    const std::int32_t index = PointAtX(at.x(), span, {m_firstShown, m_shownCount});
    if (!m_loaded || TooSmall() || index < 0 || at.y() < m_plotRect.top() ||
        at.y() > m_plotRect.bottom() || m_axisScale <= 0) {
        PlotLeave();
        return;
    }
    const double value = m_axisLow + (m_plotRect.bottom() - at.y()) / m_axisScale;
    m_pointerlab->setText(Q(PointerReadout(m_record, index, value)));
    m_pointerlab->adjustSize();
    // Beside the pointer, on the side where it fits.
    int x = at.x() + 14;
    if (x + m_pointerlab->width() > m_paintBox->width()) {
        x = at.x() - 6 - m_pointerlab->width();
    }
    int y = at.y() + 16;
    if (y + m_pointerlab->height() > m_paintBox->height()) {
        y = at.y() - 6 - m_pointerlab->height();
    }
    m_pointerlab->move(std::max(0, x), std::max(0, y));
    m_pointerlab->show();
    m_pointerlab->raise();
}

QString Tktxview::PointerText() const {
    return m_pointerlab->isVisible() ? m_pointerlab->text() : QString();
}

QRect Tktxview::ZoomRectangle() const {
    return m_rubberBand->isVisible() ? m_rubberBand->geometry() : QRect();
}

void Tktxview::SetAutoScale(bool on) {
    m_autoScale = on;
    if (m_autoYBtn->isChecked() != on) {
        m_autoYBtn->setChecked(on);
    }
    Redraw();
}

void Tktxview::ApplyCursorLock() {
    if (m_cursorLock <= 0) {
        return;
    }
    if (m_cursor2 - m_cursor1 > m_cursorLock) {
        m_cursor2 = m_cursor1 + m_cursorLock;
    } else if (m_cursor1 - m_cursor2 > m_cursorLock) {
        m_cursor2 = m_cursor1 - m_cursorLock;
    }
}

void Tktxview::PlotKey(int key, Qt::KeyboardModifiers modifiers) {
    if (!m_loaded) {
        return;
    }
    std::int32_t& c = (modifiers & Qt::ShiftModifier) ? m_cursor2 : m_cursor1;
    switch (key) {
        case Qt::Key_PageUp:
            if (c < m_record.pointCount - 1) {
                ++c;
            }
            break;
        case Qt::Key_PageDown:
            if (c > 0) {
                --c;
            }
            break;
        case Qt::Key_End:
            c = m_firstShown + m_shownCount - 1;
            break;
        case Qt::Key_Home:
            c = m_firstShown;
            break;
        default:
            return;
    }
    // The keys reach every point of a compressed view: the lock holds for them as for a click.
    ApplyCursorLock();
    Redraw();
}

void Tktxview::ShowRange(std::int32_t first, std::int32_t count) {
    m_shownCount = std::clamp(count, std::min(5, m_record.pointCount), m_record.pointCount);
    m_firstShown = std::clamp(first, 0, m_record.pointCount - m_shownCount);
    Redraw();
}

// The wheel scrolls by a tenth of the shown range per notch; with Ctrl it zooms by a factor of
// two per notch, keeping the point under the mouse pointer where it is.
void Tktxview::PlotWheel(const QWheelEvent& event) {
    if (!m_loaded || m_shownCount <= 0) {
        return;
    }
    const QPoint angle = event.angleDelta();
    // A horizontal wheel (or a tilted one) scrolls as well; "up" and "left" go back in time.
    m_wheelRest += std::abs(angle.y()) >= std::abs(angle.x()) ? angle.y() : angle.x();
    const int steps = m_wheelRest / kWheelStep;
    if (steps == 0) {
        return;  // a touchpad's small deltas add up to a notch
    }
    m_wheelRest -= steps * kWheelStep;
    if (event.modifiers() & Qt::ControlModifier) {
        const int left = m_plotRect.left();
        const double width = std::max(1, m_plotRect.right() - m_plotRect.left());
        const double at =
            std::clamp((event.position().x() - left) / width, 0.0, 1.0);  // share left of it
        const double anchor = m_firstShown + at * m_shownCount;
        double count = m_shownCount;
        for (int i = 0; i < std::abs(steps); ++i) {
            count = steps > 0 ? count / 2 : count * 2;
        }
        count = std::clamp(count, static_cast<double>(std::min(5, m_record.pointCount)),
                           static_cast<double>(m_record.pointCount));
        ShowRange(static_cast<std::int32_t>(std::lround(anchor - at * count)),
                  static_cast<std::int32_t>(std::lround(count)));
        return;
    }
    if (m_shownCount >= m_record.pointCount) {
        return;
    }
    const std::int32_t step = std::max(1, m_shownCount / 10);
    ShowRange(m_firstShown - steps * step, m_shownCount);
}

void Tktxview::ScrollLeft() {
    if (m_shownCount >= m_record.pointCount) {
        return;
    }
    m_firstShown = std::max(0, m_firstShown - m_shownCount / 2);
    Redraw();
}

void Tktxview::ScrollRight() {
    if (m_shownCount >= m_record.pointCount) {
        return;
    }
    m_firstShown = std::min(m_record.pointCount - m_shownCount, m_firstShown + m_shownCount / 2);
    Redraw();
}

void Tktxview::CentreOnCursor1() {
    m_firstShown = std::max(0, m_cursor1 - m_shownCount / 2);
    if (m_shownCount >= m_record.pointCount) {
        m_firstShown = 0;
        m_shownCount = m_record.pointCount;
    } else if (m_firstShown + m_shownCount > m_record.pointCount) {
        m_firstShown = m_record.pointCount - m_shownCount;
    }
    Redraw();
}

void Tktxview::ZoomOut() {
    if (!m_loaded) {
        return;
    }
    m_shownCount = static_cast<std::int32_t>(
        std::min<std::int64_t>(2 * static_cast<std::int64_t>(m_shownCount), m_record.pointCount));
    CentreOnCursor1();
}

void Tktxview::ZoomIn() {
    if (!m_loaded) {
        return;
    }
    m_shownCount = std::min(std::max(5, m_shownCount / 2), m_record.pointCount);
    CentreOnCursor1();
}

void Tktxview::FindPeriod() {
    if (!m_loaded || !Intact(*m_file)) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Only paint and timer events run meanwhile: a click could otherwise close this view
    // while the search still works on it.
    const auto pump = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
    const auto cursors =
        PeriodSearch(m_record, m_files.period, m_host.Progress(), m_notifier, pump);
    QApplication::restoreOverrideCursor();
    if (cursors) {
        m_cursor1 = cursors->cursor1;
        m_cursor2 = cursors->cursor2;
        ApplyCursorLock();
    }
    Redraw();
}

void Tktxview::Cut() {
    if (!m_loaded || !m_source || !Intact(*m_source)) {
        return;
    }
    m_host.RequestRange(RangeRequest{m_displayName, m_source->Path(), m_cursor1, m_cursor2,
                                     m_record.pointCount, m_record.sampleAxis ? 4 : 3, m_peakMode});
}

void Tktxview::Recompress() {
    if (!m_loaded || !m_source || !Intact(*m_source)) {
        return;
    }
    // The new view shares this view's copy of the source: it is taken while this view still
    // holds it.
    m_host.RequestRecompression(RecompressionRequest{m_displayName, m_source->Path(), m_cursor1,
                                                     m_cursor2, m_record.sampleAxis ? 4 : 3,
                                                     !m_peakMode});
    close();
}

QImage Tktxview::RenderImage(bool printMode) {
    const QFontMetrics fm(PlotFont());
    const QSize size(m_paintBox->width(), m_paintBox->height() + 4 * fm.height());
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    PaintPlot(p, QRect(QPoint(0, 0), size), printMode);
    p.end();
    // The window's plot rectangle is recomputed by its next paint.
    m_paintBox->update();
    return image;
}

bool Tktxview::PrintTo(QPrinter& printer) {
    if (!m_loaded) {
        return false;
    }
    return PrintBitmapPage(printer, RenderImage(true), QStringList{m_caption});
}

void Tktxview::PrintYourself() {
    if (!m_loaded) {
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    RunPrintJob(printer, m_notifier, this, [this](QPrinter& p) { return PrintTo(p); });
}

void Tktxview::CopyYourself() {
    if (m_loaded) {
        QGuiApplication::clipboard()->setImage(RenderImage(false));
    }
}

void Tktxview::SaveYourself() {
    if (!m_loaded) {
        return;
    }
    TSvas_dlg dlg(m_notifier, this);
    dlg.SetFilter("Kurvitex files (*.ktx)|*.ktx|Bitmaps (*.bmp)|*.bmp");
    dlg.ShowSizeChoice(true);
    if (dlg.exec() == QDialog::Accepted && !dlg.FileName().empty()) {
        SaveAs(dlg.FileName(), dlg.SizeChoice());
    }
}

bool Tktxview::SaveAs(const std::string& name, int sizeChoice) {
    if (!m_loaded) {
        return false;
    }
    // Any case of .bmp: a user who picks "Bitmaps" and types "x.bmp" wants a picture.
    if (QFileInfo(Q(name)).suffix().compare(QStringLiteral("bmp"), Qt::CaseInsensitive) == 0) {
        return SaveBitmap(name);
    }
    if (!Intact(*m_file)) {
        return false;
    }
    const FileError error = sizeChoice == 0
                                ? SaveWholeFile(m_file->Path(), name, OwnFiles())
                                : SaveRecordRange(m_file->Path(), RecordSize(m_record.layout),
                                                  std::min(m_cursor1, m_cursor2),
                                                  std::max(m_cursor1, m_cursor2), name, OwnFiles());
    if (error) {
        ShowErrorMsgText(m_notifier, error.Message(), error.Text(), 0);
        return false;
    }
    return true;
}

// The picture and, beside it, a .dat file with the caption; both are put in place only when
// both were written.
bool Tktxview::SaveBitmap(const std::string& name) {
    const QFileInfo info(Q(name));
    const std::string datName =
        (info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".dat"))
            .toStdString();
    SafeFile bmp(name);
    SafeFile dat(datName);
    const std::vector<std::string> own = OwnFiles();
    const auto fail = [this](const FileError& e) {
        ShowErrorMsgText(m_notifier, e.Message(), e.Text(), 0);
        return false;
    };
    if (!bmp.Begin(own)) {
        return fail(bmp.Error());
    }
    if (!dat.Begin(own)) {
        return fail(dat.Error());
    }
    QFile text(Q(dat.TempPath()));
    const QByteArray caption = m_caption.toUtf8();
    if (!text.open(QIODevice::WriteOnly) || text.write(caption) != caption.size() ||
        !text.flush()) {
        dat.Fail(EIO);
        return fail(dat.Error());
    }
    text.close();
    if (!RenderImage(true).save(Q(bmp.TempPath()), "BMP")) {
        bmp.Fail(EIO);
        return fail(bmp.Error());
    }
    if (!bmp.Commit()) {
        return fail(bmp.Error());
    }
    if (!dat.Commit()) {
        return fail(dat.Error());
    }
    return true;
}

}  // namespace ktx

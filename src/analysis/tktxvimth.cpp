// SPDX-License-Identifier: GPL-3.0-or-later
// The math view window.
#include "analysis/tktxvimth.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/analysis_view_support.h"
#include "app/save_dialogs.h"
#include "config/message_catalog.h"
#include "config/notifier.h"
#include "view/axis_scale.h"
#include "view/print_page.h"

namespace ktx {

namespace {

constexpr int kMinHeight = 177;
constexpr int kMinWidth = 296;
constexpr int kMsgBadFormat = 12;
constexpr int kMsgNoMemory = 11;
constexpr int kStrDate = 10517;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

int Nearest(double v) {
    return static_cast<int>(std::nearbyint(v));
}

}  // namespace

// PaintBox1: the graph with the cross cursor.
class MathPlot : public QWidget {
  public:
    explicit MathPlot(Tktxvimth& view) : QWidget(&view), m_view(view) {
        setObjectName(QStringLiteral("PaintBox1"));
        setCursor(Qt::CrossCursor);
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        m_view.PaintGraph(p, rect(), false);
    }
    void mousePressEvent(QMouseEvent* e) override {
        setFocus();
        m_view.PlotClick(e->button(), static_cast<int>(e->position().x()));
    }
    void keyPressEvent(QKeyEvent* e) override { m_view.PlotKey(e->key(), e->modifiers()); }
    void resizeEvent(QResizeEvent*) override { m_view.LayOut(); }

  private:
    Tktxvimth& m_view;
};

Tktxvimth::Tktxvimth(Notifier& notifier, QWidget* parent) : QWidget(parent), m_notifier(notifier) {
    setObjectName(QStringLiteral("ktxvimth"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Dateiansicht"));
    m_panel1 = new QWidget(this);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    m_panel1->setFixedHeight(24);
    auto* bar = new QHBoxLayout(m_panel1);
    bar->setContentsMargins(2, 1, 2, 1);
    bar->setSpacing(3);
    auto button = [this](const char* name, const QString& text, const QString& hint) {
        auto* b = new QToolButton(m_panel1);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(hint);
        return b;
    };
    m_logbtn = button("Logbtn", QStringLiteral("log."), QString());
    m_okbtn = button("okbtn", QStringLiteral("Ok"), QStringLiteral("Beenden"));
    m_okbtn->hide();
    m_posleft = button("posleft", QStringLiteral("◀"), QStringLiteral("links"));
    m_posright = button("posright", QStringLiteral("▶"), QStringLiteral("rechts"));
    m_zoomout = button("zoomout", QStringLiteral("−"), QStringLiteral("kleiner"));
    m_zoomin = button("zoomin", QStringLiteral("+"), QStringLiteral("größer"));
    bar->addStretch(1);
    // From the right edge leftwards: zoomin, zoomout, posright, posleft, okbtn, then Logbtn.
    for (QToolButton* b : {m_logbtn, m_okbtn, m_posleft, m_posright, m_zoomout, m_zoomin}) {
        bar->addWidget(b);
    }
    connect(m_logbtn, &QToolButton::clicked, this, [this] { ToggleLog(); });
    connect(m_zoomin, &QToolButton::clicked, this, [this] { ZoomIn(); });
    connect(m_zoomout, &QToolButton::clicked, this, [this] { ZoomOut(); });
    connect(m_posleft, &QToolButton::clicked, this, [this] { ShiftLeft(); });
    connect(m_posright, &QToolButton::clicked, this, [this] { ShiftRight(); });

    m_paintBox = new MathPlot(*this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_panel1);
    layout->addWidget(m_paintBox, 1);
    m_wertanz = MakeViewLabel(m_paintBox, "wertanz", kViewColours[1]);
    m_wertanz2 = MakeViewLabel(m_paintBox, "Wertanz2", kViewColours[2]);
    m_timlab = MakeViewLabel(m_paintBox, "timlab", kViewColours[3]);
    m_infolabel = MakeViewLabel(m_paintBox, "Infolabel", Qt::black);
    m_infolabel->setText(QStringLiteral("keine Darstellung möglich"));
    m_infoLabel1 = MakeViewLabel(m_paintBox, "infoLabel1", Qt::black);
    m_infoLabel1->setText(QStringLiteral("-> bitte Fenster vergrößern"));
    m_infolabel->hide();
    m_infoLabel1->hide();
    resize(640, 420);
}

Tktxvimth::~Tktxvimth() = default;

QWidget* Tktxvimth::PlotWidget() const {
    return m_paintBox;
}

bool Tktxvimth::Load(const std::string& path) {
    if (path.empty()) {
        close();
        return false;
    }
    m_path = path;
    m_caption = Q(path).left(80);
    setWindowTitle(m_caption);
    m_timlab->setText(FileDateText(path));
    LoadedResult loaded = LoadResultFile(path, WaveLayout::Math);
    if (loaded.table.fault != ResultFault::None) {
        ShowErrorMsg(m_notifier,
                     loaded.table.fault == ResultFault::TooLarge ? kMsgNoMemory : kMsgBadFormat, 0);
        close();
        return false;
    }
    m_bytes = std::move(loaded.bytes);
    m_curve = MakeMathCurve(loaded.table);
    m_first = 0;
    m_visible = Count();
    if (Count() <= m_cursor2) {
        m_cursor2 = Count() - 1;
    }
    m_loaded = true;
    LayOut();
    return true;
}

bool Tktxvimth::TooSmall() const {
    return m_paintBox->height() < kMinHeight || m_paintBox->width() < kMinWidth;
}

void Tktxvimth::LayOut() {
    const bool small = TooSmall();
    m_infolabel->setVisible(small);
    m_infoLabel1->setVisible(small);
    for (QToolButton* b : {m_zoomin, m_zoomout, m_posleft, m_posright}) {
        b->setVisible(!small);
    }
    m_wertanz->setVisible(!small);
    m_wertanz2->setVisible(!small);
    const QFontMetrics fm(ViewPlotFont());
    const int th = fm.height();
    const int tw = fm.horizontalAdvance(QLatin1Char('#'));
    m_infolabel->move(8, 8);
    m_infolabel->adjustSize();
    m_infoLabel1->move(8, 8 + th + 4);
    m_infoLabel1->adjustSize();
    m_wertanz->move(14 * tw, 1);
    m_wertanz2->move(14 * tw, 1 + th);
    m_timlab->adjustSize();
    m_timlab->move(std::max(0, m_paintBox->width() - m_timlab->width() - 5),
                   std::max(0, m_paintBox->height() - m_timlab->height() - 5));
    UpdateReadouts();
}

void Tktxvimth::UpdateReadouts() {
    if (!m_loaded || TooSmall()) {
        m_wertanz->clear();
        m_wertanz2->clear();
        return;
    }
    const MathReadouts r = ComputeMathReadouts(m_curve, m_cursor1, m_cursor2);
    m_wertanz->setText(Q(r.wertanz));
    m_wertanz->adjustSize();
    m_wertanz2->setText(Q(r.wertanz2));
    m_wertanz2->adjustSize();
}

QString Tktxvimth::Readout1() const {
    return m_wertanz->text();
}
QString Tktxvimth::Readout2() const {
    return m_wertanz2->text();
}
QString Tktxvimth::LogCaption() const {
    return m_logbtn->text();
}

double Tktxvimth::AxisValue(double v) const {
    if (!m_log) {
        return v;
    }
    return v > 0.0 ? std::log(v) : 0.0;
}

void Tktxvimth::PaintGraph(QPainter& p, const QRect& r, bool pictureStyle) {
    p.fillRect(r, pictureStyle ? QColor(Qt::white) : kViewSilver);
    p.setFont(ViewPlotFont());
    const int th = p.fontMetrics().height();
    const int tw = p.fontMetrics().horizontalAdvance(QLatin1Char('#'));
    if (!m_loaded || m_visible <= 0 || r.height() < kMinHeight || r.width() < kMinWidth) {
        return;
    }
    const int top = r.top() + 3 * th + (pictureStyle ? 3 * th : 0);
    const int bottom = r.bottom() - 3 * th;
    const int left = r.left() + 11 * tw;
    const int right = r.right() - 4 * tw;
    m_plotRect = QRect(QPoint(left, top), QPoint(right, bottom));
    const int plotHeight = bottom - top;
    const int plotWidth = right - left;
    if (plotHeight <= 0 || plotWidth <= 0) {
        return;
    }
    const QPen black(Qt::black);
    p.setPen(black);
    if (pictureStyle) {
        const QStringList lines{
            m_caption, QString::fromUtf8(MessageCatalog::String(kStrDate)) + m_timlab->text(),
            m_wertanz->text(), m_wertanz2->text()};
        for (int k = 0; k < lines.size(); ++k) {
            ViewTextAt(p, r.left() + 20 * tw, r.top() + k * th + th / 2, lines[k]);
        }
    }
    const int dy = std::max(1, plotHeight / (th / 2 + th));
    const int dx = std::max(1, plotWidth / tw);
    const AxisScale axis = NiceScale(AxisValue(m_curve.yMin), AxisValue(m_curve.yMax), dy);
    const double yscale = plotHeight / (axis.division * axis.rows);
    const int y0 = bottom + Nearest(axis.low * yscale);
    const auto yOf = [&](double v) {
        return std::clamp(bottom - (AxisValue(v) - axis.low) * yscale, static_cast<double>(top),
                          static_cast<double>(bottom));
    };
    p.drawLine(left, top, left, bottom);
    p.drawLine(left, bottom, right, bottom);
    p.drawLine(left, y0, right, y0);
    for (int j = 0; j <= axis.rows; ++j) {
        const int yj = bottom - Nearest(j * axis.division * yscale);
        p.drawLine(left - tw / 2, yj, left, yj);
        const double u = axis.low + j * axis.division;
        // Whole numbers: counts.
        ViewTextAt(p, left - 10 * tw, yj - th / 2,
                   Q(FormatNumber(7, Nearest(m_log ? std::exp(u) : u))));
    }
    ViewTextAt(p, left - tw, top - 2 * th, Q(m_curve.yUnit));
    ViewTextAt(p, right + tw, bottom - th / 2, Q(m_curve.xUnit));

    const int tickStep = m_visible <= dx ? 1 : m_visible / dx;
    const int labelPeriod = 10 * tickStep;
    const double xscale = static_cast<double>(plotWidth) / m_visible;
    const QPen curvePen = pictureStyle ? black : QPen(kViewColours[0]);
    const QPen cursor1Pen = pictureStyle ? QPen(Qt::black, 0, Qt::DotLine) : QPen(kViewColours[1]);
    const QPen cursor2Pen =
        pictureStyle ? QPen(Qt::black, 0, Qt::DashDotLine) : QPen(kViewColours[2]);
    double x = left;
    int k = 0;
    int labelEnd = r.left();
    for (std::int32_t i = 0; i < m_visible; ++i) {
        const std::int32_t at = m_first + i;
        const auto pt = static_cast<std::size_t>(at);
        const int rx = Nearest(x);
        p.setPen(black);
        if (at == m_curve.zeroIndex) {
            p.drawLine(rx, bottom + th + 2, rx, top);
            ViewTextAt(p, rx - tw, bottom + 2 * th, QStringLiteral("0"));
        }
        if (x >= left + k * tickStep) {
            if (k % labelPeriod == 0) {
                p.drawLine(rx, bottom, rx, bottom + tw);
                // A label that would run into the one before it is left out (its tick stays).
                const QString label = Q(FormatNumber(7, m_curve.x[pt])).trimmed();
                if (rx - 10 > labelEnd) {
                    ViewTextAt(p, rx - 10, bottom + tw + 2, label);
                    labelEnd = rx - 10 + p.fontMetrics().horizontalAdvance(label) + tw;
                }
            } else {
                p.drawLine(rx, bottom, rx, bottom + tw / 2);
            }
            ++k;
        }
        const double yNow = yOf(m_curve.y[pt]);
        if (i + 1 < m_visible) {
            const double next = std::min(x + xscale, static_cast<double>(right));
            p.setPen(curvePen);
            p.drawLine(QPointF(rx, Nearest(yNow)),
                       QPointF(Nearest(next), Nearest(yOf(m_curve.y[pt + 1]))));
            x = next;
        }
        if (at == m_cursor1 || at == m_cursor2) {
            p.setPen(at == m_cursor1 ? cursor1Pen : cursor2Pen);
            p.drawLine(rx, bottom, rx, top);
        }
    }
}

void Tktxvimth::PlotClick(Qt::MouseButton button, int x) {
    if (!m_loaded || m_plotRect.width() <= 0 || x <= m_plotRect.left() || x >= m_plotRect.right()) {
        return;
    }
    const int i = Nearest(static_cast<double>(x - m_plotRect.left()) * m_visible /
                          (m_plotRect.right() - m_plotRect.left()));
    if (i < m_visible) {
        if (button == Qt::LeftButton) {
            m_cursor1 = m_first + i;
        } else if (button == Qt::RightButton) {
            m_cursor2 = m_first + i;
        }
    }
    UpdateReadouts();
    m_paintBox->update();
}

void Tktxvimth::PlotKey(int key, Qt::KeyboardModifiers modifiers) {
    if (!m_loaded) {
        return;
    }
    std::int32_t& c = (modifiers & Qt::ShiftModifier) ? m_cursor2 : m_cursor1;
    const std::int32_t before = c;
    if (key == Qt::Key_PageUp && c < Count() - 1) {
        ++c;
    } else if (key == Qt::Key_PageDown && c > 0) {
        --c;
    }
    if (c != before) {
        UpdateReadouts();
        m_paintBox->update();
    }
}

void Tktxvimth::SetCursors(std::int32_t c1, std::int32_t c2) {
    m_cursor1 = std::clamp(c1, 0, std::max(0, Count() - 1));
    m_cursor2 = std::clamp(c2, 0, std::max(0, Count() - 1));
    UpdateReadouts();
    m_paintBox->update();
}

void Tktxvimth::Recentre() {
    m_first = std::max(0, m_cursor1 - m_visible / 2);
    if (m_first + m_visible > Count()) {
        if (m_visible > Count()) {
            m_visible = Count();
            m_first = 0;
        } else {
            m_first = Count() - m_visible;
        }
    }
    UpdateReadouts();
    m_paintBox->update();
}

void Tktxvimth::ZoomIn() {
    if (m_loaded) {
        m_visible = std::min(std::max(5, m_visible / 2), Count());
        Recentre();
    }
}

void Tktxvimth::ZoomOut() {
    if (m_loaded) {
        m_visible = std::min(m_visible * 2, Count());
        Recentre();
    }
}

void Tktxvimth::ShiftLeft() {
    if (m_loaded && m_visible < Count()) {
        m_first = std::clamp(m_first - m_visible / 2, 0, Count() - m_visible);
        UpdateReadouts();
        m_paintBox->update();
    }
}

void Tktxvimth::ShiftRight() {
    if (m_loaded && m_visible < Count()) {
        m_first = std::clamp(m_first + m_visible / 2, 0, Count() - m_visible);
        UpdateReadouts();
        m_paintBox->update();
    }
}

void Tktxvimth::ToggleLog() {
    m_log = !m_log;
    // The caption names the mode a click chooses next.
    m_logbtn->setText(m_log ? QStringLiteral("lin.") : QStringLiteral("log."));
    m_paintBox->update();
}

QImage Tktxvimth::RenderImage(bool pictureStyle) {
    const QFontMetrics fm(ViewPlotFont());
    const QSize size(m_paintBox->width(), m_paintBox->height() + 3 * fm.height());
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    PaintGraph(p, QRect(QPoint(0, 0), size), pictureStyle);
    p.end();
    m_paintBox->update();
    return image;
}

bool Tktxvimth::PrintTo(QPrinter& printer) {
    return m_loaded && PrintBitmapPage(printer, RenderImage(true), QStringList{Q(m_path)});
}

void Tktxvimth::PrintYourself() {
    QPrinter printer(QPrinter::HighResolution);
    PrintTo(printer);
}

void Tktxvimth::CopyYourself() {
    if (m_loaded) {
        QGuiApplication::clipboard()->setImage(RenderImage(false));
    }
}

void Tktxvimth::SaveYourself() {
    if (!m_loaded) {
        return;
    }
    TSvas_dlg dlg(m_notifier, this);
    dlg.SetFilter("Bitmaps (*.bmp)|*.bmp|Kurvitex files (*.ktx)|*.ktx");
    if (dlg.exec() == QDialog::Accepted && !dlg.FileName().empty()) {
        SaveAs(dlg.FileName());
    }
}

bool Tktxvimth::SaveAs(const std::string& name) {
    if (!m_loaded) {
        return false;
    }
    if (IsBitmapName(name)) {
        return SavePictureWithCaption(RenderImage(true), name, m_path, m_notifier);
    }
    // The bytes read when the view opened, whatever became of the file since.
    return SaveBytes(m_bytes, name, m_notifier);
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
// The FFT view window.
#include "analysis/tktxviewft.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/analysis_view_support.h"
#include "app/save_dialogs.h"
#include "config/message_catalog.h"
#include "config/notifier.h"
#include "tools/format_with_prefix.h"
#include "view/axis_scale.h"
#include "view/print_page.h"

namespace ktx {

namespace {

constexpr int kMinHeight = 177;
constexpr int kMinWidth = 396;
constexpr int kBarPitch = 20;
constexpr int kMsgBadFormat = 12;
constexpr int kMsgNoMemory = 11;
constexpr int kStrValue1 = 10510;
constexpr int kStrDate = 10517;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Rounds to the nearest whole number, halves to even.
int Nearest(double v) {
    return static_cast<int>(std::nearbyint(v));
}

// Tabs to blanks at every eighth column, for printing the table.
QString ExpandTabs(const QString& line) {
    QString out;
    for (QChar c : line) {
        if (c == QLatin1Char('\t')) {
            out += QString(8 - out.size() % 8, QLatin1Char(' '));
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

// PaintBox1: the chart with the cross cursor.
class FftPlot : public QWidget {
  public:
    explicit FftPlot(Tktxviewft& view) : QWidget(&view), m_view(view) {
        setObjectName(QStringLiteral("PaintBox1"));
        setCursor(Qt::CrossCursor);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        m_view.PaintChart(p, rect(), false);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) {
            m_view.ChartClick(static_cast<int>(e->position().x()));
        }
    }
    void resizeEvent(QResizeEvent*) override { m_view.LayOut(); }

  private:
    Tktxviewft& m_view;
};

Tktxviewft::Tktxviewft(Notifier& notifier, QWidget* parent)
    : QWidget(parent), m_notifier(notifier) {
    setObjectName(QStringLiteral("ktxviewft"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Dateiansicht"));
    m_paintBox = new FftPlot(*this);
    m_memo1 = new QPlainTextEdit(this);
    m_memo1->setObjectName(QStringLiteral("Memo1"));
    m_memo1->setReadOnly(true);
    m_memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo1->setFont(ViewPlotFont());
    m_memo1->setTabStopDistance(8 *
                                QFontMetrics(ViewPlotFont()).horizontalAdvance(QLatin1Char(' ')));
    m_memo1->hide();
    m_wertscroll = new QScrollBar(Qt::Horizontal, this);
    m_wertscroll->setObjectName(QStringLiteral("wertscroll"));
    m_wertscroll->setMinimum(1);
    m_wertscroll->setPageStep(10);
    m_wertscroll->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_paintBox, 1);
    layout->addWidget(m_memo1, 1);
    layout->addWidget(m_wertscroll);
    connect(m_wertscroll, &QScrollBar::valueChanged, this, [this](int v) {
        m_firstVisible = v;
        m_paintBox->update();
    });
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

Tktxviewft::~Tktxviewft() = default;

QWidget* Tktxviewft::ChartWidget() const {
    return m_paintBox;
}

bool Tktxviewft::Load(const std::string& path, ColumnChooser chooser) {
    if (path.empty()) {
        close();
        return false;
    }
    m_path = path;
    m_caption = Q(path).left(80);
    setWindowTitle(m_caption);
    m_timlab->setText(FileDateText(path));
    m_table = LoadResultFile(path, WaveLayout::Spectrum).table;
    if (m_table.fault != ResultFault::None) {
        ShowErrorMsg(m_notifier,
                     m_table.fault == ResultFault::TooLarge ? kMsgNoMemory : kMsgBadFormat, 0);
        close();
        return false;
    }
    const UnitStrings entries{"Tab", m_table.units[1], m_table.units[2], m_table.units[3]};
    std::optional<int> column;
    if (chooser) {
        column = chooser(entries);
    } else {
        Tcseldlg dlg(entries, this);
        if (dlg.exec() == QDialog::Accepted && dlg.Channel() >= 0) {
            column = dlg.Channel();
        }
    }
    if (!column) {
        close();
        return false;
    }
    m_column = std::clamp(*column, 0, 3);
    if (m_column == 0) {
        m_paintBox->hide();
        m_memo1->show();
        QStringList lines;
        for (const std::string& line : SpectrumTableLines(m_table)) {
            lines << Q(line);
        }
        m_memo1->setPlainText(lines.join(QLatin1Char('\n')));
        m_loaded = true;
        return true;
    }
    m_caption += QStringLiteral(" Channel ") + QString::number(m_column);
    setWindowTitle(m_caption);
    const std::size_t count = m_table.rows.size();
    m_x.resize(count);
    m_y.resize(count);
    m_yMin = m_yMax = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        m_x[i] = m_table.rows[i][0];
        m_y[i] = m_table.rows[i][static_cast<std::size_t>(m_column)];
        m_yMax = std::max(m_yMax, m_y[i]);
        m_yMin = std::min(m_yMin, m_y[i]);
    }
    m_distortion = ComputeDistortion(m_table);
    m_loaded = true;
    LayOut();
    return true;
}

bool Tktxviewft::TooSmall() const {
    return m_paintBox->height() < kMinHeight || m_paintBox->width() < kMinWidth;
}

void Tktxviewft::LayOut() {
    if (!m_loaded || m_column == 0) {
        return;
    }
    const QFontMetrics fm(ViewPlotFont());
    const int tw = fm.horizontalAdvance(QLatin1Char('#'));
    const int th = fm.height();
    const int count = Count();
    m_visibleBars = std::max(0, (m_paintBox->width() - 15 * tw) / kBarPitch);
    m_firstVisible = 1;
    if (m_visibleBars >= count) {
        m_wertscroll->hide();
        m_visibleBars = count;
    } else {
        m_wertscroll->blockSignals(true);
        m_wertscroll->setMaximum(count - m_visibleBars);
        m_wertscroll->setValue(1);
        m_wertscroll->blockSignals(false);
        m_wertscroll->show();
    }
    const bool small = TooSmall();
    m_infolabel->setVisible(small);
    m_infoLabel1->setVisible(small);
    m_wertanz->setVisible(!small);
    m_wertanz2->setVisible(!small && m_column == 1);
    m_infolabel->move(8, 8);
    m_infolabel->adjustSize();
    m_infoLabel1->move(8, 8 + th + 4);
    m_infoLabel1->adjustSize();
    m_wertanz->move(14 * tw, 1);
    m_wertanz2->move(14 * tw, 1 + th);
    m_timlab->adjustSize();
    m_timlab->move(std::max(0, m_paintBox->width() - m_timlab->width() - 5),
                   std::max(0, m_paintBox->height() - m_timlab->height() - 5));
    Select(m_selected);
}

void Tktxviewft::Select(int index) {
    if (!m_loaded || m_column == 0 || index < 1 || index >= Count()) {
        return;
    }
    m_selected = index;
    const std::size_t i = static_cast<std::size_t>(index);
    const std::string& unit = m_table.units[static_cast<std::size_t>(m_column)];
    const std::string value =
        m_column == 3 ? FormatNumber(9, m_y[i]) + "grd" : FormatWithPrefix(m_y[i], unit);
    m_wertanz->setText(QString::fromUtf8(MessageCatalog::String(kStrValue1)) + Q(value) +
                       QStringLiteral("  ") + Q(FormatWithPrefix(m_x[i], m_table.units[0])));
    m_wertanz->adjustSize();
    if (m_column == 1) {
        m_wertanz2->setText(Q(DistortionText(m_y[0], m_table.units[1], m_distortion)));
        m_wertanz2->adjustSize();
    }
    m_paintBox->update();
}

void Tktxviewft::ScrollTo(int first) {
    if (m_wertscroll->isVisible() || m_wertscroll->maximum() > 1) {
        m_wertscroll->setValue(first);
    }
}

QString Tktxviewft::Readout1() const {
    return m_wertanz->text();
}
QString Tktxviewft::Readout2() const {
    return m_wertanz2->text();
}
QString Tktxviewft::TableText() const {
    return m_memo1->toPlainText();
}

void Tktxviewft::ChartClick(int x) {
    if (!m_loaded || x <= m_plotRect.left() || x >= m_plotRect.right()) {
        return;
    }
    Select((x - m_plotRect.left()) / kBarPitch + m_firstVisible);
}

QStringList Tktxviewft::HeadingLines() const {
    return {m_caption, QString::fromUtf8(MessageCatalog::String(kStrDate)) + m_timlab->text(),
            m_wertanz->text(), m_column == 1 ? m_wertanz2->text() : QString()};
}

void Tktxviewft::PaintChart(QPainter& p, const QRect& r, bool pictureStyle) {
    const QColor background = pictureStyle ? QColor(Qt::white) : kViewSilver;
    p.fillRect(r, background);
    p.setFont(ViewPlotFont());
    const int th = p.fontMetrics().height();
    const int tw = p.fontMetrics().horizontalAdvance(QLatin1Char('#'));
    if (!m_loaded || m_column == 0 || r.height() < kMinHeight || r.width() < kMinWidth) {
        return;
    }
    const int top = r.top() + 3 * th + (pictureStyle ? 3 * th : 0);
    const int bottom = r.bottom() - 3 * th;
    const int left = r.left() + 11 * tw;
    const int right = r.right() - 4 * tw;
    m_plotRect = QRect(QPoint(left, top), QPoint(right, bottom));
    const int plotHeight = bottom - top;
    if (plotHeight <= 0) {
        return;
    }
    p.setPen(Qt::black);
    if (pictureStyle) {
        const int x = r.left() + 20 * tw;
        const QStringList lines = HeadingLines();
        for (int k = 0; k < lines.size(); ++k) {
            ViewTextAt(p, x, r.top() + k * th + th / 2, lines[k]);
        }
    }
    const int rowsWanted = plotHeight / (th / 2 + th);
    const AxisScale axis = NiceScale(m_yMin, m_yMax, std::max(1, rowsWanted));
    const double scale = plotHeight / (axis.division * axis.rows);
    const int y0 = bottom + Nearest(axis.low * scale);
    p.drawLine(left, top, left, bottom);
    p.drawLine(left, bottom, right, bottom);
    p.drawLine(left, y0, right, y0);
    for (int j = 0; j <= axis.rows; ++j) {
        const int yj = bottom - Nearest(j * axis.division * scale);
        p.drawLine(left - tw / 2, yj, left, yj);
        ViewTextAt(p, left - 10 * tw, yj - th / 2,
                   Q(FormatNumber(9, axis.low + j * axis.division)));
    }
    ViewTextAt(p, left - tw, top - 2 * th, Q(m_table.units[static_cast<std::size_t>(m_column)]));

    int x = left + 10;
    for (int i = m_firstVisible; i < m_firstVisible + m_visibleBars && i < Count(); ++i) {
        const double v = m_y[static_cast<std::size_t>(i)];
        const double y = bottom - (v - axis.low) * scale;
        const QColor colour = i == m_selected ? QColor(Qt::red) : QColor(Qt::blue);
        p.setPen(colour);
        p.setBrush(colour);
        if (Nearest(y) == y0) {
            p.drawLine(x, y0, x + 10, y0);
        } else {
            p.drawRect(QRect(QPoint(x, std::min(Nearest(y), y0)),
                             QPoint(x + 10, std::max(Nearest(y), y0))));
        }
        p.setPen(Qt::black);
        p.setBrush(background);
        ViewTextAt(p, x, v > 0 ? y0 + 2 : y0 - th - 2, QString::number(i));
        x += kBarPitch;
    }
    p.setBrush(Qt::NoBrush);
}

QImage Tktxviewft::RenderImage(bool pictureStyle) {
    const QFontMetrics fm(ViewPlotFont());
    const QSize size(m_paintBox->width(), m_paintBox->height() + 3 * fm.height());
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    PaintChart(p, QRect(QPoint(0, 0), size), pictureStyle);
    p.end();
    m_paintBox->update();  // the window's plot rectangle comes back with its next paint
    return image;
}

bool Tktxviewft::PrintTo(QPrinter& printer) {
    if (!m_loaded) {
        return false;
    }
    if (m_column != 0) {
        return PrintBitmapPage(printer, RenderImage(true), QStringList{Q(m_path)});
    }
    // The table as text: Courier New 10 points, an empty line, every line indented by 9 blanks.
    QPainter p;
    if (!p.begin(&printer)) {
        return false;
    }
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    p.setFont(font);
    p.setPen(Qt::black);
    const int lineHeight = p.fontMetrics().lineSpacing();
    int y = lineHeight;  // the empty line
    for (const QString& line : m_memo1->toPlainText().split(QLatin1Char('\n'))) {
        if (y + lineHeight > printer.height()) {
            printer.newPage();
            y = 0;
        }
        p.drawText(QPoint(0, y + p.fontMetrics().ascent()),
                   QString(9, QLatin1Char(' ')) + ExpandTabs(line));
        y += lineHeight;
    }
    return p.end();
}

void Tktxviewft::PrintYourself() {
    QPrinter printer(QPrinter::HighResolution);
    PrintTo(printer);
}

void Tktxviewft::CopyYourself() {
    if (!m_loaded) {
        return;
    }
    if (m_column == 0) {
        m_memo1->copy();
        return;
    }
    QGuiApplication::clipboard()->setImage(RenderImage(false));
}

void Tktxviewft::SaveYourself() {
    if (!m_loaded || m_column == 0) {
        return;  // the table is not saved as a picture
    }
    TSvas_dlg dlg(m_notifier, this);
    dlg.SetFilter("Bitmaps (*.bmp)|*.bmp");
    if (dlg.exec() == QDialog::Accepted && !dlg.FileName().empty()) {
        SaveAs(dlg.FileName());
    }
}

bool Tktxviewft::SaveAs(const std::string& name) {
    if (!m_loaded || m_column == 0) {
        return false;
    }
    return SavePictureWithCaption(RenderImage(true), name, m_path, m_notifier);
}

}  // namespace ktx

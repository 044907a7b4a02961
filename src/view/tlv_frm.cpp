// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/tlv_frm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/icons.h"
#include "view/tktx_lva_dial.h"

namespace ktx {

namespace {

QColor Colour(std::uint32_t rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

}  // namespace

LiveImage::LiveImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image1"));
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LiveImage::Show(std::shared_ptr<const LiveDisplay> live, LiveGrid grid) {
    m_live = std::move(live);
    m_grid = grid;
}

void LiveImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width();
    const int h = height();
    p.fillRect(rect(), Qt::white);
    p.setPen(Colour(kLiveGrid));
    for (int j = 0; j <= 10; ++j) {
        const int y = j * m_grid.divisionHeight;
        const int x = j * m_grid.divisionWidth;
        p.drawLine(0, y, w, y);
        p.drawLine(x, 0, x, h);
        if (j == 5) {  // thicker centre lines
            p.drawLine(0, y + 1, w, y + 1);
            p.drawLine(x + 1, 0, x + 1, h);
        }
    }
    if (!m_live) {
        return;
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    for (std::size_t i = 0; i < m_live->Sources().size(); ++i) {
        const std::vector<LivePoint> points = m_live->Curve(i, w, h);
        if (points.size() < 2) {
            continue;
        }
        p.setPen(QPen(Colour(m_live->Sources()[i].colour), 1));
        QPolygon line(static_cast<int>(points.size()));
        for (std::size_t k = 0; k < points.size(); ++k) {
            line.setPoint(static_cast<int>(k), points[k].x, points[k].y);
        }
        p.drawPolyline(line);
    }
}

Tlv_frm::Tlv_frm(CommandTransport& transport, Notifier& notifier, std::string deviceFile,
                 QWidget* parent)
    : QDialog(parent),
      m_transport(transport),
      m_notifier(notifier),
      m_deviceFile(std::move(deviceFile)),
      m_live(std::make_shared<LiveDisplay>(transport, notifier)) {
    setObjectName(QStringLiteral("lv_frm"));
    setWindowTitle(QStringLiteral("Live"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);

    m_panel = new QWidget(this);
    m_button1 = new QPushButton(QStringLiteral("Start"), m_panel);
    m_button1->setObjectName(QStringLiteral("Button1"));
    m_button2 = new QPushButton(QStringLiteral("Stop"), m_panel);
    m_button2->setObjectName(QStringLiteral("Button2"));
    m_button2->setEnabled(false);
    m_label2 = new QLabel(m_panel);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setMinimumWidth(m_label2->fontMetrics().horizontalAdvance(QStringLiteral("99999ms")));
    m_xdivLab = new QLabel(m_panel);
    m_xdivLab->setObjectName(QStringLiteral("Xdiv_lab"));
    m_xdivLab->hide();

    auto* rows = new QVBoxLayout(m_panel);
    rows->setContentsMargins(4, 4, 4, 4);
    auto* top = new QHBoxLayout;
    top->addWidget(m_button1);
    top->addWidget(m_button2);
    top->addSpacing(12);
    top->addWidget(m_label2);
    top->addStretch(1);
    top->addWidget(m_xdivLab);
    rows->addLayout(top);
    auto* labels = new QHBoxLayout;
    for (int i = 0; i < kLiveMaxShown; ++i) {
        m_chdiv[i] = new QLabel(m_panel);
        m_chdiv[i]->setObjectName(QStringLiteral("Ch%1div").arg(i + 1));
        m_chdiv[i]->setContentsMargins(4, 1, 4, 1);
        m_chdiv[i]->hide();
        labels->addWidget(m_chdiv[i]);
    }
    labels->addStretch(1);
    rows->addLayout(labels);

    m_image1 = new LiveImage(this);
    m_frameTimer = new QTimer(this);
    m_frameTimer->setObjectName(QStringLiteral("FrameTimer"));
    m_frameTimer->setSingleShot(true);
    m_frameTimer->setInterval(0);
    connect(m_frameTimer, &QTimer::timeout, this, &Tlv_frm::Frame);
    connect(m_button1, &QPushButton::clicked, this, &Tlv_frm::Button1Click);
    connect(m_button2, &QPushButton::clicked, this, &Tlv_frm::Button2Click);

    m_chooser = [this]() -> std::optional<LiveSelection> {
        TKTX_lva_dial dialog(m_deviceFile, m_notifier, this);
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog.Selection();
    };
    setMinimumSize(420, 300);
    resize(640, 520);
}

Tlv_frm::~Tlv_frm() = default;

bool Tlv_frm::Running() const {
    return !m_stop;
}

void Tlv_frm::FitImage() {
    // The drawing area reaches one pixel short of the right and bottom edges, cut down to
    // whole divisions.
    const int top = m_panel->sizeHint().height();
    m_panel->setGeometry(0, 0, width(), top);
    m_grid = MakeLiveGrid(width() - 1, height() - top - 1);
    m_image1->setGeometry(0, top, m_grid.Width(), m_grid.Height());
    m_image1->Show(m_live, m_grid);
}

void Tlv_frm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FitImage();
}

void Tlv_frm::Button1Click() {
    if (!m_stop || m_inFrame) {
        return;  // one run at a time
    }
    m_tick.start();
    const std::optional<LiveSelection> selection = m_chooser ? m_chooser() : std::nullopt;
    if (!selection) {
        return;
    }
    bool ok = false;
    {
        TransferCursorScope busy;
        ok = m_live->Setup(*selection);
    }
    for (QLabel* label : m_chdiv) {
        label->hide();
    }
    ShowLabels();
    m_xdivLab->show();
    FitImage();
    if (!ok) {
        return;
    }
    m_stop = false;
    m_frames = 0;
    m_button1->setEnabled(false);
    m_button2->setEnabled(true);
    m_frameTimer->start();
}

void Tlv_frm::Button2Click() {
    m_stop = true;
    m_frameTimer->stop();
    m_button1->setEnabled(!m_inFrame);
    m_button2->setEnabled(false);
}

void Tlv_frm::ShowLabels() {
    const auto& sources = m_live->Sources();
    for (std::size_t i = 0; i < sources.size() && i < kLiveMaxShown; ++i) {
        QLabel* label = m_chdiv[i];
        label->setText(QString::fromStdString(sources[i].Label()));
        QPalette pal = label->palette();
        const QColor colour = Colour(sources[i].colour);
        pal.setColor(QPalette::WindowText, colour);
        // Yellow, aqua and lime cannot be read on the dialog's light background.
        label->setAutoFillBackground(sources[i].colour != kLiveBlack);
        pal.setColor(QPalette::Window, Qt::black);
        label->setPalette(pal);
        label->show();
    }
    m_xdivLab->setText(QString::fromStdString(m_live->TimeLabel()));
}

void Tlv_frm::Frame() {
    if (m_stop) {
        return;
    }
    // Keeps what the frame works on alive whatever happens to the window meanwhile.
    const std::shared_ptr<LiveDisplay> live = m_live;
    QPointer<Tlv_frm> self(this);
    m_inFrame = true;
    bool ok = false;
    {
        TransferCursorScope busy;
        ok = live->Fetch();
    }
    if (!self) {
        return;
    }
    m_inFrame = false;
    if (!ok) {
        m_stop = true;
    }
    if (m_freeAfterFrame) {
        m_freeAfterFrame = false;
        live->FreeBuffers();
    } else {
        ShowLabels();
        m_image1->repaint();
        ++m_frames;
    }
    m_label2->setText(QStringLiteral("%1ms").arg(m_tick.restart()));
    if (m_stop) {
        m_button1->setEnabled(true);
        m_button2->setEnabled(false);
    } else {
        m_frameTimer->start();
    }
    if (m_observer) {
        m_observer();
    }
}

void Tlv_frm::done(int result) {  // closing, Escape and the window's close button
    m_stop = true;
    m_frameTimer->stop();
    if (m_inFrame) {
        m_freeAfterFrame = true;  // the frame in progress still writes into them
    } else {
        m_live->FreeBuffers();
    }
    m_button1->setEnabled(true);
    m_button2->setEnabled(false);
    QDialog::done(result);
}

}  // namespace ktx

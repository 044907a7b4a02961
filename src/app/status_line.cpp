// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/status_line.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace ktx {

namespace {

QLabel* Panel(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setContentsMargins(4, 0, 4, 0);
    return l;
}

}  // namespace

StatusLine::StatusLine(QWidget* parent)
    : QWidget(parent),
      m_devPanel(Panel(this)),
      m_gauge(new QProgressBar(this)),
      m_progLab(new QLabel(this)),
      m_sstPanel(Panel(this)),
      m_timePanel(Panel(this)) {
    setObjectName(QStringLiteral("Panel1"));
    m_devPanel->setObjectName(QStringLiteral("dev_panel"));
    m_gauge->setObjectName(QStringLiteral("Gauge1"));
    m_progLab->setObjectName(QStringLiteral("Prog_lab"));
    m_sstPanel->setObjectName(QStringLiteral("sst_panel"));
    m_timePanel->setObjectName(QStringLiteral("Time_panel"));

    m_sstPanel->setMinimumWidth(113);
    m_sstPanel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_timePanel->setMinimumWidth(161);
    QPalette blue = m_timePanel->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 160));
    m_timePanel->setPalette(blue);

    m_gauge->setTextVisible(false);
    m_gauge->setMaximumHeight(14);
    m_gauge->hide();
    m_progLab->hide();

    // The progress bar and the counter live inside the instrument panel, as the user expects
    // to see them where the instrument is named.
    auto* inner = new QHBoxLayout(m_devPanel);
    inner->setContentsMargins(0, 0, 4, 0);
    inner->addStretch(1);
    inner->addWidget(m_progLab);
    inner->addWidget(m_gauge, 2);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(m_devPanel, 1);
    layout->addWidget(m_sstPanel);
    layout->addWidget(m_timePanel);
}

void StatusLine::SetDeviceText(const QString& text) {
    m_devPanel->setText(text);
}
void StatusLine::SetInterfaceText(const QString& text) {
    m_sstPanel->setText(text);
}
void StatusLine::SetTimeText(const QString& text) {
    m_timePanel->setText(text);
}
QString StatusLine::DeviceText() const {
    return m_devPanel->text();
}
QString StatusLine::InterfaceText() const {
    return m_sstPanel->text();
}
QString StatusLine::TimeText() const {
    return m_timePanel->text();
}

void StatusLine::ShowNote(const QString& text, int ms) {
    m_timePanel->setText(text);
    m_timePanel->setToolTip(text);
    QTimer::singleShot(ms, this, [this, text] {
        if (m_timePanel->text() == text) {
            m_timePanel->clear();
        }
    });
}

void StatusLine::BarStart(std::int64_t maximum) {
    m_maximum = std::max<std::int64_t>(maximum, 1);
    m_gauge->setRange(0, 1000);
    m_gauge->setValue(0);
    m_gauge->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void StatusLine::BarStep(std::int64_t remaining) {
    const std::int64_t done = std::clamp<std::int64_t>(m_maximum - remaining, 0, m_maximum);
    m_gauge->setValue(static_cast<int>(done * 1000 / m_maximum));
}

void StatusLine::BarEnd() {
    m_gauge->hide();
    QApplication::restoreOverrideCursor();
}

void StatusLine::CounterStart() {
    m_progLab->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void StatusLine::CounterUpdate(std::int64_t blocks) {
    m_progLab->setText(QString::number(blocks) + QStringLiteral(" kByte        "));
    m_progLab->repaint();
}

void StatusLine::CounterEnd() {
    m_progLab->hide();
    QApplication::restoreOverrideCursor();
    repaint();
}

}  // namespace ktx

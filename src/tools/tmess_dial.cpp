// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/tmess_dial.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

#include "app/icons.h"
#include "app/wait_routines.h"
#include "tools/meter_text.h"

namespace ktx {

Tmess_dial::Tmess_dial(CommandTransport& transport, Notifier& notifier, int deviceType,
                       const std::string& deviceFile, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("mess_dial"));
    setWindowTitle(QStringLiteral("Messen"));
    m_measurement = std::make_unique<Measurement>(transport, notifier, deviceType,
                                                  [](int ms) { WaitWithCursor(ms); });

    auto* grid = new QGridLayout;
    auto addList = [&](const char* name, const char* caption, int column) {
        grid->addWidget(new QLabel(QString::fromUtf8(caption), this), 0, column);
        auto* list = new QListWidget(this);
        list->setObjectName(QString::fromUtf8(name));
        list->setMinimumSize(140, 160);
        grid->addWidget(list, 1, column);
        return list;
    };
    m_messList = addList("mess_list", "Auswahl:", 0);
    m_sourceList = addList("source_list", "Quelle:", 1);
    auto addLabel = [&](const char* name, int row) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromUtf8(name));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setMinimumWidth(280);
        grid->addWidget(label, row, 0, 1, 2);
        return label;
    };
    m_messLab = addLabel("mess_lab", 2);
    m_sourceLab = addLabel("Source_lab", 3);
    m_wertLab = addLabel("wert_lab", 4);
    QFont big = m_wertLab->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    m_wertLab->setFont(big);

    auto* buttons = new QHBoxLayout;
    auto addButton = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setObjectName(QString::fromUtf8(name));
        buttons->addWidget(b);
        return b;
    };
    m_messButt = addButton("Mess_butt", "Messen");
    m_dauerButt = addButton("Dauer_butt", "Dauer");
    m_stopButt = addButton("Stop_butt", "Stop");
    QPushButton* abbruch = addButton("Abbruch", "Abbruch");
    m_stopButt->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_dTim = new QTimer(this);
    m_dTim->setObjectName(QStringLiteral("D_tim"));
    m_dTim->setInterval(500);
    connect(m_dTim, &QTimer::timeout, this, [this] { D_timTimer(); });
    connect(m_messButt, &QPushButton::clicked, this, [this] { Mess_buttClick(); });
    connect(m_dauerButt, &QPushButton::clicked, this, [this] { Dauer_buttClick(); });
    connect(m_stopButt, &QPushButton::clicked, this, [this] { Stop_buttClick(); });
    connect(abbruch, &QPushButton::clicked, this, &QDialog::reject);

    m_choices = ReadMeasurementChoices(deviceFile);
    for (const std::string& m : m_choices.measures) {
        m_messList->addItem(DefinitionText(m));
    }
    for (const std::string& s : m_choices.sources) {
        m_sourceList->addItem(DefinitionText(s));
    }
    m_messList->setCurrentRow(0);
    m_sourceList->setCurrentRow(0);
    TransferCursorScope busy;
    m_measurement->Open();
}

Tmess_dial::~Tmess_dial() = default;

std::string Tmess_dial::Selected(QListWidget* list) const {
    const std::vector<std::string>& items =
        list == m_messList ? m_choices.measures : m_choices.sources;
    const int row = list->currentRow();
    return row >= 0 && row < static_cast<int>(items.size()) ? items[row] : std::string();
}

void Tmess_dial::ShowLabels() {
    m_messLab->setText(DefinitionText(m_labels.type));
    m_sourceLab->setText(DefinitionText(m_labels.source));
    m_wertLab->setText(DefinitionText(m_labels.value));
}

void Tmess_dial::Mess_buttClick() {
    {
        TransferCursorScope busy;
        m_measurement->Measure(Selected(m_messList), Selected(m_sourceList), m_labels);
    }
    ShowLabels();
}

void Tmess_dial::Dauer_buttClick() {
    Mess_buttClick();
    const auto start = std::chrono::steady_clock::now();
    {
        TransferCursorScope busy;
        m_measurement->ReadValue(m_labels);
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    ShowLabels();
    m_dTim->setInterval(Measurement::ContinuousInterval(took.count()));
    m_dTim->start();
    SetContinuous(true);
}

void Tmess_dial::Stop_buttClick() {
    m_dTim->stop();
    SetContinuous(false);
}

void Tmess_dial::D_timTimer() {
    TransferCursorScope busy;
    if (m_measurement->ReadValue(m_labels)) {  // a failed read changes nothing, says nothing
        ShowLabels();
    }
}

void Tmess_dial::SetContinuous(bool on) {
    m_stopButt->setEnabled(on);
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_dauerButt, m_messButt, m_messList, m_sourceList}) {
        w->setEnabled(!on);
    }
}

void Tmess_dial::reject() {
    m_dTim->stop();
    QDialog::reject();
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/tacq_dlg.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/icons.h"
#include "app/wait_routines.h"
#include "link/command_transport.h"

namespace ktx {

TAcq_dlg::TAcq_dlg(CommandTransport& transport, Notifier& notifier, int deviceType, QWidget* parent)
    : QDialog(parent), m_transport(transport), m_notifier(notifier) {
    setObjectName(QStringLiteral("Acq_dlg"));
    setWindowTitle(QStringLiteral("Acquire"));
    m_state.deviceType = deviceType;

    auto* modeBox = new QGroupBox(QStringLiteral("Modus"), this);
    auto* modeLayout = new QVBoxLayout(modeBox);
    auto* group = new QButtonGroup(this);
    group->setExclusive(false);  // none checked is a state of its own ("keine gültige Auswahl")
    static constexpr const char* kNames[] = {"samprad", "peakrad", "envrad", "averad", "Hiresrad"};
    static constexpr const char* kCaptions[] = {"&Sample", "&Peak Detect", "&Envelope", "&Average",
                                                "&HiRes"};
    for (int i = 0; i < kAcquireModes; ++i) {
        m_modes[i] = new QRadioButton(QString::fromUtf8(kCaptions[i]), modeBox);
        m_modes[i]->setObjectName(QString::fromUtf8(kNames[i]));
        m_modes[i]->setAutoExclusive(false);
        group->addButton(m_modes[i], i + 1);
        modeLayout->addWidget(m_modes[i]);
    }
    connect(group, &QButtonGroup::idClicked, this, [this](int id) {
        for (int i = 0; i < kAcquireModes; ++i) {
            m_modes[i]->setChecked(i + 1 == id);
        }
    });

    auto counter = [this](const QString& title, const char* label, const char* plus,
                          const char* minus, QLabel*& value, QPushButton*& p, QPushButton*& m) {
        auto* box = new QGroupBox(title, this);
        auto* row = new QHBoxLayout(box);
        m = new QPushButton(QStringLiteral("-"), box);
        m->setObjectName(QString::fromUtf8(minus));
        value = new QLabel(QStringLiteral("000"), box);
        value->setObjectName(QString::fromUtf8(label));
        value->setAlignment(Qt::AlignCenter);
        value->setMinimumWidth(48);
        p = new QPushButton(QStringLiteral("+"), box);
        p->setObjectName(QString::fromUtf8(plus));
        for (QPushButton* b : {m, p}) {
            b->setFixedWidth(32);
        }
        row->addWidget(m);
        row->addWidget(value);
        row->addWidget(p);
        return box;
    };
    QPushButton* avepbt = nullptr;
    QPushButton* avembt = nullptr;
    QGroupBox* average =
        counter(QStringLiteral("Average"), "avelab", "avepbt", "avembt", m_avelab, avepbt, avembt);
    QGroupBox* envelope = counter(QStringLiteral("Envelope"), "envlab", "envpbt", "envmbt",
                                  m_envlab, m_envpbt, m_envmbt);
    connect(avepbt, &QPushButton::clicked, this, [this] {
        m_state.AveragePlus();
        ShowCounts();
    });
    connect(avembt, &QPushButton::clicked, this, [this] {
        m_state.AverageMinus();
        ShowCounts();
    });
    connect(m_envpbt, &QPushButton::clicked, this, [this] {
        m_state.EnvelopePlus();
        ShowCounts();
    });
    connect(m_envmbt, &QPushButton::clicked, this, [this] {
        m_state.EnvelopeMinus();
        ShowCounts();
    });

    auto* transbtn = new QPushButton(QStringLiteral("Transfer"), this);
    transbtn->setObjectName(QStringLiteral("transbtn"));
    auto* abort = new QPushButton(QStringLiteral("Abbruch"), this);
    abort->setObjectName(QStringLiteral("BitBtn1"));
    connect(transbtn, &QPushButton::clicked, this, [this] { transbtnClick(); });
    connect(abort, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(modeBox, 0, 0, 2, 1);
    grid->addWidget(average, 0, 1);
    grid->addWidget(envelope, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(transbtn);
    buttons->addWidget(abort);
    grid->addLayout(buttons, 2, 0, 1, 2);

    const bool env = m_state.EnvelopeEnabled();
    m_modes[2]->setEnabled(env);
    m_envpbt->setEnabled(env);
    m_envmbt->setEnabled(env);
    m_modes[4]->setEnabled(m_state.HiResEnabled());
    {
        TransferCursorScope busy;
        m_transport.SendCommand("HEADER OFF");
        ReadAcquireState(m_transport, m_state);
    }
    ShowState();
}

int TAcq_dlg::CheckedMode() const {
    for (int i = 0; i < kAcquireModes; ++i) {
        if (m_modes[i]->isChecked()) {
            return i + 1;
        }
    }
    return 0;
}

void TAcq_dlg::ShowState() {
    for (int i = 0; i < kAcquireModes; ++i) {
        m_modes[i]->setChecked(m_state.mode == i + 1);
    }
    ShowCounts();
}

void TAcq_dlg::ShowCounts() {
    m_avelab->setText(QString::fromStdString(m_state.AverageText()));
    m_envlab->setText(QString::fromStdString(m_state.EnvelopeText()));
}

void TAcq_dlg::transbtnClick() {
    const int mode = CheckedMode();
    TransferCursorScope busy;
    if (TransferAcquireState(m_transport, m_notifier, mode, m_state,
                             [](int ms) { WaitWithCursor(ms); })) {
        ShowState();
    }
}

}  // namespace ktx

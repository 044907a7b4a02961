// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/tktx_lva_dial.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "config/device_file.h"

namespace ktx {

TKTX_lva_dial::TKTX_lva_dial(const std::string& deviceFile, Notifier& notifier, QWidget* parent)
    : QDialog(parent), m_notifier(notifier) {
    setObjectName(QStringLiteral("KTX_lva_dial"));
    setWindowTitle(QStringLiteral("Waveform"));

    m_sourcelist = new QListWidget(this);
    m_sourcelist->setObjectName(QStringLiteral("Sourcelist"));
    m_sourcelist->setSelectionMode(QAbstractItemView::MultiSelection);
    m_startedi = new QLineEdit(QStringLiteral("0"), this);
    m_startedi->setObjectName(QStringLiteral("Startedi"));
    m_stopedi = new QComboBox(this);
    m_stopedi->setObjectName(QStringLiteral("Stopedi"));
    m_stopedi->setEditable(true);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Abbruch"), this);
    cancel->setObjectName(QStringLiteral("BitBtn2"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Quelle:"), this), 0, 0);
    grid->addWidget(m_sourcelist, 1, 0, 4, 1);
    grid->addWidget(new QLabel(QStringLiteral("Memory Start:"), this), 0, 1);
    grid->addWidget(m_startedi, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Memory Stop:"), this), 2, 1);
    grid->addWidget(m_stopedi, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 5, 0, 1, 2);

    // FormCreate: the memory size as the stop, the record lengths to choose from, the sources.
    const MemorySizes memory = ReadMemory(deviceFile);
    m_memorySize = memory.size;
    m_stopedi->setEditText(QString::fromStdString(memory.size));
    for (int item : memory.items) {
        m_stopedi->addItem(QString::number(item));
    }
    if (!memory.items.empty()) {
        m_stopedi->setCurrentIndex(0);
    }
    for (const std::string& name : ReadSources(deviceFile).names) {
        m_sourcelist->addItem(QString::fromStdString(name));
    }
    if (m_sourcelist->count() > 0) {
        m_sourcelist->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    }

    connect(m_sourcelist, &QListWidget::itemClicked, this, &TKTX_lva_dial::SourcelistClick);
    connect(ok, &QPushButton::clicked, this, &TKTX_lva_dial::okClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TKTX_lva_dial::SourcelistClick(QListWidgetItem* item) {
    if (m_sourcelist->selectedItems().size() > kLiveMaxSelected) {
        item->setSelected(false);
    }
}

void TKTX_lva_dial::okClick() {
    std::vector<std::string> selected;
    for (int i = 0; i < m_sourcelist->count(); ++i) {
        if (m_sourcelist->item(i)->isSelected()) {
            selected.push_back(m_sourcelist->item(i)->text().toStdString());
        }
    }
    std::string stopReset;
    m_selection = CheckLiveSelection(selected, m_startedi->text().toStdString(),
                                     m_stopedi->currentText().toStdString(), m_memorySize,
                                     m_notifier, &stopReset);
    if (!stopReset.empty()) {
        m_stopedi->setEditText(QString::fromStdString(stopReset));
    }
    if (m_selection) {
        accept();
    }
}

}  // namespace ktx

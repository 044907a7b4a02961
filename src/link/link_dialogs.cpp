// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/link_dialogs.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace ktx {

namespace {

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* box = new QDialogButtonBox(dialog);
    box->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    box->addButton(QStringLiteral("Abbruch"), QDialogButtonBox::RejectRole);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

}  // namespace

int ComPortOf(const std::string& config) {
    const auto at = config.find("COM");
    if (at == std::string::npos || at + 3 >= config.size()) {
        return 0;
    }
    const char digit = config[at + 3];
    return digit >= '1' && digit <= '9' ? digit - '0' : 0;
}

Tsel_ss::Tsel_ss(const std::vector<InterfaceEntry>& entries, int preselected, QWidget* parent)
    : QDialog(parent), m_list(new QListWidget(this)) {
    setObjectName(QStringLiteral("sel_ss"));
    setWindowTitle(QStringLiteral("Schnittstellenauswahl"));
    m_list->setObjectName(QStringLiteral("dev_list"));
    for (const InterfaceEntry& e : entries) {
        m_list->addItem(QString::fromStdString(e.text.empty() ? e.library : e.text));
    }
    if (preselected >= 0) {
        m_list->setCurrentRow(preselected);
    } else {
        m_list->setCurrentRow(-1);
    }
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(OkCancel(this));
    resize(360, 240);
}

int Tsel_ss::Selected() const {
    const auto selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->row(selected.front());
}

Tcomform::Tcomform(int current, QWidget* parent)
    : QDialog(parent), m_ports(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("comform"));
    setWindowTitle(QStringLiteral("Schnittstelle"));
    auto* group = new QGroupBox(QStringLiteral("Com Port"), this);
    auto* inner = new QVBoxLayout(group);
    for (int i = 1; i <= 4; ++i) {
        auto* b = new QRadioButton(QStringLiteral("Com %1").arg(i), group);
        m_ports->addButton(b, i);
        inner->addWidget(b);
        b->setChecked(i == current);
    }
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

int Tcomform::Port() const {
    return std::max(0, m_ports->checkedId());
}

TTestSS::TTestSS(QueryFunction query, QWidget* parent)
    : QDialog(parent), m_edit1(new QLineEdit(this)), m_edit2(new QLineEdit(this)) {
    setObjectName(QStringLiteral("TestSS"));
    setWindowTitle(QStringLiteral("TestSS"));
    m_edit1->setObjectName(QStringLiteral("Edit1"));
    m_edit2->setObjectName(QStringLiteral("Edit2"));
    m_edit2->setReadOnly(true);
    auto* send = new QPushButton(QStringLiteral("Send"), this);
    send->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Abbruch"), this);
    connect(send, &QPushButton::clicked, this, [this, query] {
        m_edit2->setText(QString::fromStdString(query(m_edit1->text().toStdString())));
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Befehl:"), m_edit1);
    form->addRow(QStringLiteral("Antwort:"), m_edit2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(send);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    resize(460, 120);
}

}  // namespace ktx

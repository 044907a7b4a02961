// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/select_instrument_dialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>

namespace ktx {

Tsel_oszi::Tsel_oszi(const std::vector<std::string>& names, int preselected, QWidget* parent)
    : QDialog(parent), m_list(new QListWidget(this)) {
    setObjectName(QStringLiteral("sel_oszi"));
    setWindowTitle(QStringLiteral("Geräteauswahl"));
    m_list->setObjectName(QStringLiteral("dev_list"));
    m_list->setSortingEnabled(false);
    for (const std::string& n : names) {
        // Definition files of the field are 8-bit text; ours are UTF-8.
        const QString text = QString::fromUtf8(n.c_str());
        m_list->addItem(text.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(n.c_str())
                                                                   : text);
    }
    m_list->setCurrentRow(preselected);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Abbruch"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(360, 300);
}

int Tsel_oszi::Selected() const {
    const auto selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->row(selected.front());
}

}  // namespace ktx

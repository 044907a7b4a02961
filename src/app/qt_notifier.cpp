// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_notifier.h"

#include <QMessageBox>
#include <QPushButton>

namespace ktx {

namespace {
const QString kTitle = QStringLiteral("KTX 4.8");
}

void QtNotifier::Show(Severity severity, const Notice& notice) {
    const QString text = QString::fromStdString(notice.Text());
    if (severity == Severity::Error) {
        QMessageBox::critical(m_parent, kTitle, text);
    } else {
        QMessageBox::information(m_parent, kTitle, text);
    }
}

bool QtNotifier::Confirm(const Notice& notice) {
    QMessageBox box(QMessageBox::Question, kTitle, QString::fromStdString(notice.Text()),
                    QMessageBox::NoButton, m_parent);
    QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
    box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == yes;
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_notifier.h"

#include <QMessageBox>
#include <QPushButton>

#include <filesystem>

#include "app/help_window.h"

namespace ktx {

namespace {
const QString kTitle = QStringLiteral("KTX 4.8");
}

void QtNotifier::AddHelp(QMessageBox& box, int helpContext) const {
    if (helpContext <= 0 || m_programDir.empty()) {
        return;
    }
    const auto page = std::filesystem::path(m_programDir) / "help" /
                      ("hilfe_" + std::to_string(helpContext) + ".html");
    if (!std::filesystem::exists(page)) {
        return;
    }
    QPushButton* help = box.addButton(QStringLiteral("&Hilfe"), QMessageBox::HelpRole);
    // The help button must not close the box.
    help->disconnect();
    QObject::connect(help, &QPushButton::clicked, &box,
                     [&box, page] { ShowHelpPage(&box, page.string()); });
}

void QtNotifier::Show(Severity severity, const Notice& notice) {
    QMessageBox box(severity == Severity::Error ? QMessageBox::Critical : QMessageBox::Information,
                    kTitle, QString::fromStdString(notice.Text()), QMessageBox::Ok, m_parent);
    AddHelp(box, notice.helpContext);
    box.exec();
}

bool QtNotifier::Confirm(const Notice& notice) {
    QMessageBox box(QMessageBox::Question, kTitle, QString::fromStdString(notice.Text()),
                    QMessageBox::NoButton, m_parent);
    QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
    box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    AddHelp(box, notice.helpContext);
    box.exec();
    return box.clickedButton() == yes;
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/help_window.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace ktx {

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Pages of the help folder open here; anything else (a web address) in the browser.
    m_browser->setOpenExternalLinks(true);
    auto* back = new QPushButton(QStringLiteral("&Zurück"), this);
    auto* contents = new QPushButton(QStringLiteral("&Inhalt"), this);
    auto* close = new QPushButton(QStringLiteral("&Schließen"), this);
    back->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(contents, &QPushButton::clicked, this, [this] { ShowPage(m_contents); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_browser, &QTextBrowser::sourceChanged, this,
            [this] { setWindowTitle(m_browser->documentTitle()); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(contents);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser, 1);
    layout->addLayout(buttons);
    resize(720, 600);
}

void HelpWindow::ShowPage(const QString& file) {
    if (m_contents.isEmpty()) {
        m_contents = QFileInfo(file).absoluteDir().filePath(QStringLiteral("index.html"));
    }
    // A file address, so that the pages' relative links resolve in the help folder.
    m_browser->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
}

bool ShowHelpPage(QWidget* parent, const std::string& file) {
    const QString page = QString::fromStdString(file);
    if (!QFileInfo(page).isFile()) {
        return false;
    }
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(page))) {
        return true;
    }
    auto* window =
        parent ? parent->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (window == nullptr) {
        window = new HelpWindow(parent);
        // Over the middle of the window asking, wholly on its screen.
        if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
            const QRect free = screen->availableGeometry();
            const QPoint centre = parent ? parent->window()->geometry().center() : free.center();
            QRect place(QPoint(0, 0), window->size().boundedTo(free.size()));
            place.moveCenter(centre);
            place.moveLeft(
                std::clamp(place.left(), free.left(), free.x() + free.width() - place.width()));
            place.moveTop(
                std::clamp(place.top(), free.top(), free.y() + free.height() - place.height()));
            window->setGeometry(place);
        }
    }
    window->ShowPage(page);
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}

}  // namespace ktx

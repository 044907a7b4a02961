// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/info_dialogs.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/icons.h"

namespace ktx {

TInfodlg::TInfodlg(const QString& identification, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Infodlg"));
    setWindowTitle(QStringLiteral("Hardwareinfo"));
    auto* caption = new QLabel(QStringLiteral("angeschlossenes Gerät:"), this);
    auto* text = new QLabel(identification, this);
    text->setObjectName(QStringLiteral("ident"));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    text->setMinimumWidth(380);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(text);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

TAboutDlg::TAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("Über"));
    auto* picture = new QLabel(this);
    picture->setPixmap(SplashPicture().scaledToWidth(300, Qt::SmoothTransformation));
    auto* version = new QLabel(QStringLiteral("Kurvitex V. 4.8"), this);
    QFont f = version->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.3);
    version->setFont(f);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(version, 0, Qt::AlignHCenter);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
}

}  // namespace ktx

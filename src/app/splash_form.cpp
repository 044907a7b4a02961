// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/splash_form.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace ktx {

QPixmap LoadCifPicture(const std::string& programDir) {
    const auto cif = std::filesystem::path(programDir) / "kurvitex.cif";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(cif, ec)) {
        return {};
    }
    std::ifstream in(cif, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t i = 0; i < bytes.size() && i < 6; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        bytes[i] = static_cast<char>((b >> 3) | (b << 5));  // rotate right by three bits
    }
    const auto bmp = std::filesystem::path(programDir) / "kurvitex_cif.bmp";
    {
        std::ofstream out(bmp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    QPixmap picture(QString::fromStdString(bmp.string()), "BMP");
    std::filesystem::remove(bmp, ec);
    return picture;
}

SplashForm::SplashForm(const QPixmap& picture, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("tbform"));
    auto* label = new QLabel(this);
    label->setPixmap(picture);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    setFixedSize(picture.size());
}

void SplashForm::CloseOnce() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    hide();
    if (onClosed) {
        onClosed();
    }
}

void SplashForm::keyPressEvent(QKeyEvent*) {
    CloseOnce();
}
void SplashForm::mousePressEvent(QMouseEvent*) {
    CloseOnce();
}

void SplashForm::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible()) {
        CloseOnce();
    }
    QWidget::changeEvent(event);
}

}  // namespace ktx

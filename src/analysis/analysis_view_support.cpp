// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/analysis_view_support.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <filesystem>

#include "config/notifier.h"
#include "config/safe_file.h"
#include "waveform/block_file.h"

namespace ktx {

const QColor kViewColours[4] = {QColor(0xFF, 0xFF, 0x00), QColor(0x00, 0xFF, 0xFF),
                                QColor(0xFF, 0x00, 0xFF), QColor(0x00, 0xFF, 0x00)};
const QColor kViewSilver(0xC0, 0xC0, 0xC0);

QFont ViewPlotFont() {
    QFont f(QStringLiteral("Courier New"), 8);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    return f;
}

void ViewTextAt(QPainter& p, int x, int y, const QString& text) {
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
}

QLabel* MakeViewLabel(QWidget* parent, const char* name, const QColor& colour) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(ViewPlotFont());
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    if (colour != QColor(Qt::black)) {
        pal.setColor(QPalette::Window, Qt::black);
        l->setAutoFillBackground(true);
        l->setContentsMargins(3, 0, 3, 0);
    }
    l->setPalette(pal);
    return l;
}

namespace {

constexpr int kMsgWriteError = 41;

bool Report(const FileError& e, Notifier& notifier) {
    ShowErrorMsgText(notifier, e.Message(), e.Text(), 0);
    return false;
}

bool WriteThrough(const std::string& name, const std::vector<std::uint8_t>& bytes,
                  Notifier& notifier) {
    SafeFile file(name);
    if (!file.Begin()) {
        return Report(file.Error(), notifier);
    }
    BlockWriter out(file.TempPath());
    out.Write(bytes.data(), bytes.size());
    if (!out.Close()) {
        file.Fail(out.Errno());
        return Report(file.Error(), notifier);
    }
    return file.Commit() || Report(file.Error(), notifier);
}

}  // namespace

bool IsBitmapName(const std::string& name) {
    std::string ext = std::filesystem::path(name).extension().string();
    for (char& c : ext) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return ext == ".bmp";
}

bool SavePictureWithCaption(const QImage& picture, const std::string& name,
                            const std::string& caption, Notifier& notifier) {
    if (!IsBitmapName(name)) {
        return false;
    }
    std::filesystem::path dat(name);
    dat.replace_extension(".dat");
    if (!WriteThrough(dat.string(), std::vector<std::uint8_t>(caption.begin(), caption.end()),
                      notifier)) {
        return false;
    }
    SafeFile file(name);
    if (!file.Begin()) {
        return Report(file.Error(), notifier);
    }
    if (!picture.save(QString::fromStdString(file.TempPath()), "BMP")) {
        file.Fail(0);
        ShowErrorMsg(notifier, kMsgWriteError, 0);
        return false;
    }
    return file.Commit() || Report(file.Error(), notifier);
}

bool SaveBytes(const std::vector<std::uint8_t>& bytes, const std::string& name,
               Notifier& notifier) {
    return WriteThrough(name, bytes, notifier);
}

QString FileDateText(const std::string& path) {
    return QFileInfo(QString::fromStdString(path))
        .lastModified()
        .toString(QStringLiteral("d.M.yyyy"));
}

}  // namespace ktx

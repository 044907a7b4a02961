// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/tmdichild.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPrinter>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cstring>

#include "app/save_dialogs.h"
#include "config/notifier.h"
#include "images/image_files.h"
#include "images/picture_codec.h"
#include "view/print_page.h"

namespace ktx {

namespace {

constexpr int kMsgLoadBitmap = 9;
constexpr int kMsgWriteBitmap = 10;
constexpr int kMsgBadFileName = 42;
constexpr int kMsgCommentChanged = 305;
constexpr int kCommentHeight = 64;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QImage ToQImage(const RgbImage& rgb) {
    QImage image(rgb.width, rgb.height, QImage::Format_RGB888);
    for (int y = 0; y < rgb.height; ++y) {
        std::memcpy(image.scanLine(y), &rgb.rgb[static_cast<std::size_t>(y) * rgb.width * 3],
                    static_cast<std::size_t>(rgb.width) * 3);
    }
    return image;
}

RgbImage FromQImage(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    RgbImage rgb;
    rgb.width = image.width();
    rgb.height = image.height();
    rgb.rgb.resize(static_cast<std::size_t>(rgb.width) * rgb.height * 3);
    for (int y = 0; y < rgb.height; ++y) {
        std::memcpy(&rgb.rgb[static_cast<std::size_t>(y) * rgb.width * 3], image.constScanLine(y),
                    static_cast<std::size_t>(rgb.width) * 3);
    }
    return rgb;
}

}  // namespace

TMImage::TMImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image1"));
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void TMImage::SetPicture(const QImage& image) {
    m_image = image;
    update();
}

void TMImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_image.isNull()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_image);
}

TMDIChild::TMDIChild(Notifier& notifier, ShellServices& services, std::string tempPicture,
                     QWidget* parent)
    : QWidget(parent),
      m_notifier(notifier),
      m_services(services),
      m_tempPicturePath(std::move(tempPicture)),
      m_kommentar(new QTextEdit(this)),
      m_image(new TMImage(this)) {
    setObjectName(QStringLiteral("MDIChild"));
    setWindowTitle(QStringLiteral("Bilddatei"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_kommentar->setObjectName(QStringLiteral("kommentar"));
    m_kommentar->setFixedHeight(kCommentHeight);
    m_kommentar->setAcceptRichText(false);
    m_kommentar->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_kommentar);
    layout->addWidget(m_image, 1);
    connect(m_kommentar, &QTextEdit::textChanged, this, [this] { m_commentChanged = true; });
}

std::vector<std::string> TMDIChild::CommentLines() const {
    std::vector<std::string> lines;
    const QStringList text = m_kommentar->toPlainText().split(QLatin1Char('\n'));
    for (const QString& line : text) {
        lines.push_back(line.toStdString());
    }
    return lines;
}

bool TMDIChild::WriteComment() {
    FileError error;
    if (!WriteCommentLines(m_commentFile, CommentLines(), error)) {
        ShowErrorMsgText(m_notifier, error.Message(), error.Text(), 0);
        return false;
    }
    m_commentChanged = false;
    return true;
}

void TMDIChild::AskToSaveComment() {
    if (m_commentChanged && !m_tempPicture && !m_commentFile.empty() &&
        ConfirmMsg(m_notifier, kMsgCommentChanged, 0)) {
        WriteComment();
    }
}

bool TMDIChild::LoadFile(const std::string& fileName) {
    // The picture first: one the loader rejects changes nothing in the window.
    RgbImage rgb;
    std::string reason;
    if (!LoadPictureFile(fileName, rgb, reason)) {
        ShowErrorMsgText(m_notifier, kMsgLoadBitmap, fileName + ": " + reason, 0);
        return false;
    }
    if (KindOfName(fileName) == PictureKind::Png) {
        InvertColours(rgb);  // how the instruments' PNG hard copies are shown
    }
    AskToSaveComment();
    const bool blocked = m_kommentar->blockSignals(true);
    if (IsTempPicture(fileName, m_tempPicturePath)) {
        m_tempPicture = true;
    } else {
        m_tempPicture = false;
        m_kommentar->clear();
        m_commentFile = CommentFileOf(fileName);
        std::vector<std::string> lines;
        if (ReadCommentLines(m_commentFile, lines)) {
            QStringList text;
            for (const std::string& line : lines) {
                text << Q(line);
            }
            m_kommentar->setPlainText(text.join(QLatin1Char('\n')));
        }
        if (m_kommentar->toPlainText().isEmpty()) {
            m_kommentar->setPlainText(QString::fromUtf8(kNoComment));
        }
    }
    m_kommentar->blockSignals(blocked);
    m_image->SetPicture(ToQImage(rgb));
    m_loadedFile = fileName;
    setWindowTitle(Q(fileName));
    m_aspectRatio = static_cast<double>(rgb.width) / rgb.height;
    FitWindow();
    m_commentChanged = false;
    return true;
}

void TMDIChild::OpenWithDialog() {
    const QString name = QFileDialog::getOpenFileName(
        this, QStringLiteral("Datei Öffnen"), Q(DialogFolder(this)),
        QStringLiteral("Bitmaps (*.bmp);;Paintbrush Bitmaps (*.pcx);;PNG Files (*.png)"));
    if (!name.isEmpty()) {
        m_fileName = name.toStdString();
        RememberDialogFolder(this, m_fileName);
        LoadFile(m_fileName);
    }
}

void TMDIChild::FitWindow() {
    if (m_aspectRatio <= 0 || m_fitting) {
        return;
    }
    const QSize client = size();
    const QSize fitted = FitClientSize(client, m_kommentar->height(), m_aspectRatio);
    if (fitted == client) {
        return;
    }
    m_fitting = true;
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        frame->resize(frame->size() + (fitted - client));
    } else {
        resize(fitted);
    }
    m_fitting = false;
}

void TMDIChild::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FitWindow();
}

bool TMDIChild::SaveTempPictureAs(const std::string& fileName) {
    FileError error;
    bool unsupported = false;
    if (!SavePictureFile(FromQImage(m_image->Picture()), fileName, error, unsupported)) {
        if (unsupported) {
            ShowErrorMsgText(m_notifier, kMsgBadFileName, fileName, 0);
        } else {
            ShowErrorMsgText(m_notifier, kMsgWriteBitmap, error.Text(), 0);
        }
        return false;
    }
    m_commentFile = CommentFileOf(fileName);
    if (!WriteComment()) {
        return false;
    }
    m_tempPicture = false;
    m_loadedFile = fileName;
    setWindowTitle(Q(fileName));
    return true;
}

void TMDIChild::SaveYourself() {
    if (!m_tempPicture) {
        if (!m_commentFile.empty()) {
            WriteComment();  // the picture file itself is not rewritten
        }
        return;
    }
    QFileDialog dialog(this, QStringLiteral("Datei speichern unter"), Q(DialogFolder(this)),
                       QStringLiteral("Bitmaps (*.bmp)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const std::string name = dialog.selectedFiles().front().toStdString();
    RememberDialogFolder(this, name);
    SaveTempPictureAs(name);
}

void TMDIChild::PrintYourself() {
    if (m_image->Picture().isNull()) {
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    const QStringList lines = m_kommentar->toPlainText().split(QLatin1Char('\n'));
    RunPrintJob(printer, m_notifier, this, [this, lines](QPrinter& p) {
        return PrintBitmapPage(p, m_image->Picture(), lines);
    });
}

void TMDIChild::CopyYourself() {
    const QString selected = m_kommentar->textCursor().selectedText();
    if (selected.isEmpty()) {
        QGuiApplication::clipboard()->setImage(m_image->Picture());
    } else {
        QGuiApplication::clipboard()->setText(selected);
    }
}

void TMDIChild::closeEvent(QCloseEvent* event) {
    AskToSaveComment();
    if (!m_closingTold) {
        m_closingTold = true;
        m_services.ImageWindowClosing();
    }
    QWidget::closeEvent(event);
}

}  // namespace ktx

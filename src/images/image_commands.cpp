// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/image_commands.h"

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>

#include "app/icons.h"
#include "app/save_dialogs.h"
#include "app/shell.h"
#include "app/wait_routines.h"
#include "config/device_file.h"
#include "config/message_catalog.h"
#include "config/notifier.h"
#include "config/program_state.h"
#include "images/screen_picture_fetch.h"
#include "images/tdman.h"
#include "images/tmdichild.h"

namespace ktx {

namespace {

constexpr int kStringCurrentPicture = 10600;
constexpr int kTypeHandheld = 20;

QString CurrentPictureCaption() {
    return QString::fromUtf8(std::string(MessageCatalog::String(kStringCurrentPicture)));
}

// `Memo2`: what the user does on an instrument that starts its hard copy itself.
const char* const kMemo2 =
    "Interaktives Bildlesen:\n\n"
    "Stellen Sie am Gerät ein:\n"
    "  Hardcopy Port RS 232\n"
    "  Hardcopy Layout Portrait\n\n"
    "Starten Sie dann am Gerät den\n"
    "Hardcopyvorgang.";

}  // namespace

ImageCommands::ImageCommands(Shell& shell, ShellServices& services)
    : m_shell(shell), m_services(services) {
    shell.Claim(QStringLiteral("Oeffnen1"), [this] { Open(); });
    shell.Claim(QStringLiteral("Dateimanager1"), [this] { FileManager(); });
    shell.Claim(QStringLiteral("EinlesenBild1"), [this] { ExportScreenPicture(); });
}

ImageCommands::~ImageCommands() = default;

TMDIChild* ImageCommands::OpenImageWindow(const QString& caption) {
    if (m_window == nullptr) {
        auto* child = new TMDIChild(m_shell.Messages(), m_services, m_shell.State().tempPicture);
        QMdiSubWindow* frame = m_shell.AddDocument(child, IconKind::FetchPicture);
        // Four fifths of the client area in both directions.
        if (QMdiArea* area = frame->mdiArea()) {
            const QSize client = area->viewport()->size();
            frame->resize(client.width() * 4 / 5, client.height() * 4 / 5);
        }
        m_window = child;
    } else if (auto* frame = qobject_cast<QMdiSubWindow*>(m_window->parentWidget())) {
        if (frame->isMinimized()) {
            frame->showNormal();
        }
        if (QMdiArea* area = frame->mdiArea()) {
            area->setActiveSubWindow(frame);
        }
    }
    m_window->setWindowTitle(caption);
    return m_window;
}

void ImageCommands::ShowInstructions(bool show) {
    if (m_memo2 == nullptr) {
        m_memo2 = new QLabel(QString::fromUtf8(kMemo2), m_shell.Window());
        m_memo2->setObjectName(QStringLiteral("Memo2"));
        m_memo2->setFrameStyle(QFrame::Box);
        m_memo2->setMargin(12);
        m_memo2->setAutoFillBackground(true);
        m_memo2->adjustSize();
    }
    m_memo2->move(m_shell.Window()->rect().center() - m_memo2->rect().center());
    m_memo2->setVisible(show);
    m_memo2->raise();
    if (show) {
        m_memo2->repaint();
    }
}

void ImageCommands::FetchScreenPicture() {
    OpenImageWindow(CurrentPictureCaption());
    m_shell.Window()->repaint();
    std::string file;
    {
        TransferCursorScope busy;
        ScreenPictureFetch fetch(
            m_shell.Transport(), m_shell.Messages(), m_shell.State(),
            {[](int ms) { WaitWithCursor(ms); }, [this](bool show) { ShowInstructions(show); }});
        file = fetch.Fetch();
    }
    if (file.empty()) {
        // The picture shown (if any) is not new: it goes back to the name of its file. The
        // user may also have closed the window while the instrument was busy.
        if (m_window != nullptr) {
            m_window->setWindowTitle(m_window->LoadedFile().empty()
                                         ? QStringLiteral("Bilddatei")
                                         : QString::fromStdString(m_window->LoadedFile()));
        }
        return;
    }
    TMDIChild* window = OpenImageWindow(CurrentPictureCaption());
    if (!window->LoadFile(file)) {
        return;
    }
    window->setWindowTitle(CurrentPictureCaption());
}

void ImageCommands::ExportScreenPicture() {
    ProgramState& state = m_shell.State();
    Notifier& notifier = m_shell.Messages();
    if (state.deviceType >= kTypeHandheld) {
        ShowInfoMsg(notifier, kMsgFormatNotImplemented, 11);
        return;
    }
    const std::vector<ExportFormat> formats = ReadExportFormats(state.deviceIniFile);
    std::string filter;
    for (const ExportFormat& f : formats) {
        filter += f.name + "-Dateien" + "(*." + f.ext + ")|*." + f.ext + "|";
    }
    if (!filter.empty()) {
        filter.pop_back();
    }
    TSvas_dlg dialog(notifier, m_shell.Window());
    dialog.SetFilter(filter);
    if (dialog.exec() != QDialog::Accepted || dialog.FileName().empty()) {
        return;
    }
    const int index = dialog.FilterIndex();
    if (index < 0 || index >= static_cast<int>(formats.size())) {
        return;
    }
    TransferCursorScope busy;
    ScreenPictureFetch fetch(m_shell.Transport(), notifier, state,
                             {[](int ms) { WaitWithCursor(ms); }, {}});
    fetch.Export(formats[static_cast<std::size_t>(index)], dialog.FileName());
}

void ImageCommands::Open() {
    OpenImageWindow(QStringLiteral("noname"))->OpenWithDialog();
}

void ImageCommands::FileManager() {
    const std::string folder = m_shell.State().lastFolder.empty() ? m_shell.State().programDir
                                                                  : m_shell.State().lastFolder;
    Tdman dialog(folder, m_shell.Window());
    if (dialog.exec() != QDialog::Accepted || dialog.FileName().empty()) {
        return;
    }
    m_shell.State().lastFolder = dialog.Folder();
    OpenImageWindow(QString::fromStdString(dialog.FileName()))->LoadFile(dialog.FileName());
}

}  // namespace ktx

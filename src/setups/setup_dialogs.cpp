// SPDX-License-Identifier: GPL-3.0-or-later
#include "setups/setup_dialogs.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>

#include "app/icons.h"
#include "config/device_file.h"
#include "config/notifier.h"
#include "link/command_transport.h"
#include "setups/setup_transfer.h"
#include "tools/acquisition_control.h"
#include "view/print_page.h"

namespace ktx {

namespace {

constexpr int kMsgSetupRead = 37;
constexpr int kMsgSetupWrite = 38;
constexpr int kHelpSetup = 7;

QString Q(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

QPushButton* Button(QWidget* parent, QBoxLayout* layout, const char* name, const char* text) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromUtf8(name));
    layout->addWidget(b);
    return b;
}

// The printed set-up: Arial 10 points, black, one line each.
bool PrintLines(QPrinter& printer, const std::vector<std::string>& lines) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(10);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetrics metrics(font, &printer);
    const int step = metrics.lineSpacing();
    const int bottom = printer.pageLayout().paintRectPixels(printer.resolution()).height();
    int y = step;
    for (const std::string& line : lines) {
        if (y > bottom) {
            printer.newPage();
            y = step;
        }
        painter.drawText(0, y, Q(line));
        y += step;
    }
    return painter.end();
}

}  // namespace

TSet_edi::TSet_edi(SetupDialogContext context, QWidget* parent)
    : QDialog(parent), m_context(std::move(context)) {
    setObjectName(QStringLiteral("Set_edi"));
    setWindowTitle(QStringLiteral("Edit Setup"));
    auto* layout = new QVBoxLayout(this);
    m_setstring = new QLineEdit(this);
    m_setstring->setObjectName(QStringLiteral("setstring"));
    layout->addWidget(m_setstring);
    m_setlist = new QListWidget(this);
    m_setlist->setObjectName(QStringLiteral("setlist"));
    layout->addWidget(m_setlist, 1);
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    connect(Button(this, buttons, "Abbruch_button", "Abbruch"), &QPushButton::clicked, this,
            &QDialog::reject);
    connect(Button(this, buttons, "Test_button", "Test"), &QPushButton::clicked, this,
            [this] { TestClick(); });
    connect(Button(this, buttons, "Lesen_button", "Lesen"), &QPushButton::clicked, this,
            [this] { LesenClick(); });
    connect(Button(this, buttons, "Bild_button", "Bild holen"), &QPushButton::clicked, this,
            [this] {
                if (m_context.fetchPicture) {
                    m_context.fetchPicture();
                }
            });
    connect(Button(this, buttons, "Druck_button", "Druck"), &QPushButton::clicked, this,
            [this] { DruckClick(); });
    connect(m_setlist, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(m_entries.size())) {
            m_setstring->setText(Q(m_entries[static_cast<std::size_t>(row)]));
        }
    });
    resize(640, 420);
    LesenClick();
}

void TSet_edi::LesenClick() {
    SetupEntries read;
    {
        TransferCursorScope busy;
        read = ReadSetupEntries(m_context.transport, m_context.scratchFile);
        std::error_code ec;
        std::filesystem::remove(m_context.scratchFile, ec);
    }
    if (!read.ok) {
        // An empty list alone would look like an instrument without settings.
        ShowErrorMsg(m_context.notifier, kMsgSetupRead, kHelpSetup);
    }
    m_entries = std::move(read.entries);
    m_setlist->clear();
    for (const std::string& entry : m_entries) {
        m_setlist->addItem(Q(entry));
    }
    if (!m_entries.empty()) {
        m_setlist->setCurrentRow(0);
    } else {
        m_setstring->clear();
    }
}

void TSet_edi::TestClick() {
    TransferCursorScope busy;
    TestSetupCommand(m_context.transport, m_setstring->text().toLocal8Bit().toStdString(),
                     ReadDeviceTimeoutMs(m_context.deviceFile), m_context.notifier);
}

void TSet_edi::DruckClick() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const std::vector<std::string> lines = SetupPrintLines(m_entries);
    RunPrintJob(printer, m_context.notifier, this,
                [&lines](QPrinter& p) { return PrintLines(p, lines); });
}

Ttelc_form::Ttelc_form(SetupDialogContext context, const std::string& folder, QWidget* parent)
    : QDialog(parent), m_context(std::move(context)), m_entries(ReadTelecomLibrary(folder)) {
    setObjectName(QStringLiteral("telc_form"));
    setWindowTitle(QStringLiteral("Telecom"));
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    layout->addLayout(left, 1);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ListBox1"));
    for (const TelecomEntry& e : m_entries) {
        m_list->addItem(Q(e.description));
    }
    left->addWidget(m_list, 1);
    m_fnlab = new QLabel(QStringLiteral("default"), this);
    m_fnlab->setObjectName(QStringLiteral("fnlab"));
    left->addWidget(m_fnlab);
    auto* buttons = new QHBoxLayout;
    left->addLayout(buttons);
    connect(Button(this, buttons, "Transfer_button", "Transfer"), &QPushButton::clicked, this,
            [this] { TransferClick(); });
    connect(Button(this, buttons, "Abbruch_button", "Abbruch"), &QPushButton::clicked, this,
            &QDialog::reject);
    connect(Button(this, buttons, "Factory_button", "Factorysetup"), &QPushButton::clicked, this,
            [this] { FactorysetupClick(); });
    m_image = new QLabel(this);
    m_image->setObjectName(QStringLiteral("Image1"));
    m_image->setMinimumSize(320, 240);
    m_image->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_image, 1);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { Select(row); });
    if (!m_entries.empty()) {
        m_list->setCurrentRow(0);
    }
}

void Ttelc_form::Select(int row) {
    if (row < 0 || row >= static_cast<int>(m_entries.size())) {
        return;
    }
    m_current = row;
    const TelecomEntry& e = m_entries[static_cast<std::size_t>(row)];
    m_fnlab->setText(QFileInfo(Q(e.setFile)).fileName());
    m_image->clear();
    if (!e.picture.empty()) {
        QPixmap picture(Q(e.picture));
        if (!picture.isNull()) {
            m_image->setPixmap(picture.scaled(m_image->size(), Qt::KeepAspectRatio));
        }
    }
}

QString Ttelc_form::FileLabel() const {
    return m_fnlab->text();
}

bool Ttelc_form::HasPicture() const {
    return !m_image->pixmap().isNull();
}

bool Ttelc_form::TransferClick() {
    if (m_current < 0) {
        return false;
    }
    const std::string& file = m_entries[static_cast<std::size_t>(m_current)].setFile;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        return false;
    }
    SetupSendResult r;
    {
        TransferCursorScope busy;
        r = SendSetupFile(m_context.transport, file, 0, ReadDeviceTimeoutMs(m_context.deviceFile),
                          m_context.progress);
    }
    if (!r.ok) {
        ShowErrorMsg(m_context.notifier, kMsgSetupWrite, kHelpSetup);
    }
    return r.ok;
}

void Ttelc_form::FactorysetupClick() {
    TransferCursorScope busy;
    Factorysetup(m_context.transport, m_context.notifier);
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/tscandlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <filesystem>

#include "app/child_signals.h"
#include "app/icons.h"
#include "app/save_dialogs.h"
#include "config/device_file.h"
#include "config/program_state.h"
#include "config/progress.h"

namespace ktx {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

void SetGrey(QWidget* w, bool grey) {
    QPalette p = w->palette();
    p.setColor(QPalette::Text, grey ? QColor(0xC0, 0xC0, 0xC0) : QColor(Qt::black));
    w->setPalette(p);
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Tscandlg::Tscandlg(CommandTransport& transport, Notifier& notifier, ProgramState& state,
                   QWidget* parent)
    : QDialog(parent), m_state(state) {
    setObjectName(QStringLiteral("scandlg"));
    setWindowTitle(QStringLiteral("Scanner"));
    const MemorySizes memory = ReadMemory(state.deviceIniFile);
    m_scanner = std::make_unique<Scanner>(transport, notifier, NoProgress(), state.deviceType,
                                          memory.size, state.conversionFile, state.compressionFile,
                                          ScannerHooks{&NowMs, [] { QApplication::beep(); }});

    auto* grid = new QGridLayout(this);
    auto* fileBox = new QGroupBox(this);
    auto* fileLayout = new QGridLayout(fileBox);
    fileLayout->addWidget(new QLabel(QStringLiteral("Verzeichnis:"), fileBox), 0, 0);
    m_folder = new QLineEdit(fileBox);
    m_folder->setObjectName(QStringLiteral("DirectoryListBox1"));
    auto* browse = new QPushButton(QStringLiteral("..."), fileBox);
    browse->setAutoDefault(false);
    browse->setFixedWidth(32);
    fileLayout->addWidget(m_folder, 0, 1);
    fileLayout->addWidget(browse, 0, 2);
    fileLayout->addWidget(new QLabel(QStringLiteral("Dateien:"), fileBox), 1, 0);
    m_files = new QListWidget(fileBox);
    m_files->setObjectName(QStringLiteral("FileListBox1"));
    fileLayout->addWidget(m_files, 1, 1, 1, 2);
    fileLayout->addWidget(new QLabel(QStringLiteral("Dateiname:"), fileBox), 2, 0);
    m_fileedit = new QLineEdit(fileBox);
    m_fileedit->setObjectName(QStringLiteral("Fileedit"));
    m_fileedit->setMaxLength(kScanBaseLength);
    m_filelab = new QLabel(QStringLiteral("000.ktx"), fileBox);
    m_filelab->setObjectName(QStringLiteral("Filelab"));
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(m_fileedit);
    nameRow->addWidget(m_filelab, 1);
    fileLayout->addLayout(nameRow, 2, 1, 1, 2);
    grid->addWidget(fileBox, 0, 0, 3, 1);

    auto* sourceBox = new QWidget(this);
    auto* sourceLayout = new QVBoxLayout(sourceBox);
    sourceLayout->setContentsMargins(0, 0, 0, 0);
    sourceLayout->addWidget(new QLabel(QStringLiteral("Quelle:"), sourceBox));
    m_sourceList = new QListWidget(sourceBox);
    m_sourceList->setObjectName(QStringLiteral("SourceList"));
    m_sourceList->setSelectionMode(QAbstractItemView::MultiSelection);
    sourceLayout->addWidget(m_sourceList);
    grid->addWidget(sourceBox, 0, 1, 3, 1);

    auto* memBox = new QGroupBox(this);
    auto* memLayout = new QGridLayout(memBox);
    memLayout->addWidget(new QLabel(QStringLiteral("Memory Start:"), memBox), 0, 0);
    m_startwert = new QLineEdit(QStringLiteral("0"), memBox);
    m_startwert->setObjectName(QStringLiteral("Startwert"));
    memLayout->addWidget(m_startwert, 0, 1);
    memLayout->addWidget(new QLabel(QStringLiteral("Memory Stop:"), memBox), 1, 0);
    m_stopwert = new QComboBox(memBox);
    m_stopwert->setObjectName(QStringLiteral("stopwert"));
    m_stopwert->setEditable(true);
    for (int item : memory.items) {
        m_stopwert->addItem(QString::number(item));
    }
    m_stopwert->setEditText(Q(memory.size));
    memLayout->addWidget(m_stopwert, 1, 1);
    grid->addWidget(memBox, 0, 2);

    auto* timeBox = new QGroupBox(QStringLiteral("Scanabstand:"), this);
    auto* timeLayout = new QHBoxLayout(timeBox);
    auto spin = [timeBox, timeLayout](const char* name, int max, int value, const char* unit) {
        auto* s = new QSpinBox(timeBox);
        s->setObjectName(QString::fromUtf8(name));
        s->setRange(0, max);
        s->setValue(value);
        timeLayout->addWidget(s);
        timeLayout->addWidget(new QLabel(QString::fromUtf8(unit), timeBox));
        return s;
    };
    m_stdspin = spin("stdspin", 99, 0, "std");
    m_minspin = spin("minspin", 59, 0, "min");
    m_sekspin = spin("sekspin", 59, 2, "sek");
    grid->addWidget(timeBox, 1, 2);

    auto* countRow = new QHBoxLayout;
    countRow->addWidget(new QLabel(QStringLiteral("Scananzahl:"), this));
    m_scanzahl = new QSpinBox(this);
    m_scanzahl->setObjectName(QStringLiteral("scanzahl"));
    m_scanzahl->setRange(0, 999'999);
    m_scanzahl->setValue(1);
    countRow->addWidget(m_scanzahl);
    grid->addLayout(countRow, 2, 2);

    m_trigCheck = new QCheckBox(QStringLiteral("Start mit Trigger"), this);
    m_trigCheck->setObjectName(QStringLiteral("Trig_check"));
    m_beepCheck = new QCheckBox(QStringLiteral("Beep"), this);
    m_beepCheck->setObjectName(QStringLiteral("Beepcheck"));
    m_beepCheck->setChecked(true);
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(m_trigCheck);
    testRow->addWidget(m_beepCheck);
    testRow->addStretch(1);
    testRow->addWidget(new QLabel(QStringLiteral("Test minimale Scanrate"), this));
    m_testbtn = new QPushButton(QStringLiteral("Test"), this);
    m_testbtn->setObjectName(QStringLiteral("testbtn"));
    testRow->addWidget(m_testbtn);
    grid->addLayout(testRow, 3, 0, 1, 3);

    auto* buttons = new QHBoxLayout;
    m_startBut = new QPushButton(QStringLiteral("Start"), this);
    m_startBut->setObjectName(QStringLiteral("StartBut"));
    m_stopBut = new QPushButton(QStringLiteral("Stop"), this);
    m_stopBut->setObjectName(QStringLiteral("StopBut"));
    m_stopBut->setEnabled(false);
    auto* abbruch = new QPushButton(QStringLiteral("Abbruch"), this);
    abbruch->setObjectName(QStringLiteral("BitBtn3"));
    buttons->addStretch(1);
    for (QPushButton* b : {m_startBut, m_stopBut, abbruch}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    grid->addLayout(buttons, 4, 0, 1, 3);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));

    for (const std::string& s : ReadSources(state.deviceIniFile).names) {
        m_sourceList->addItem(Q(s));
    }
    if (m_sourceList->count() > 0) {
        m_sourceList->item(0)->setSelected(true);
    }
    if (m_scanner->TriggerForced()) {
        m_trigCheck->setChecked(true);
        m_trigCheck->setEnabled(false);
        TrigCheckClick();
    }
    SetFolder(DialogFolder(this));
    SetBase("");

    connect(browse, &QPushButton::clicked, this, [this] {
        const QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("Verzeichnis:"),
                                                              m_folder->text());
        if (!dir.isEmpty()) {
            SetFolder(dir.toStdString());
        }
    });
    connect(m_folder, &QLineEdit::editingFinished, this, [this] { FillFileList(); });
    connect(m_files, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const std::string base = ScanBaseName(item->text().toStdString());
        m_fileedit->setText(Q(base));
        m_filelab->setText(Q(ScanFileName(base, 0)));
    });
    connect(m_fileedit, &QLineEdit::textEdited, this,
            [this](const QString& text) { SetBase(text.toStdString()); });
    connect(m_trigCheck, &QCheckBox::clicked, this, [this] { TrigCheckClick(); });
    connect(m_testbtn, &QPushButton::clicked, this, [this] { testbtnClick(); });
    connect(m_startBut, &QPushButton::clicked, this, [this] { StartButClick(); });
    connect(m_stopBut, &QPushButton::clicked, this, [this] { StopButClick(); });
    connect(abbruch, &QPushButton::clicked, this, [this] { reject(); });
    connect(m_timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

Tscandlg::~Tscandlg() {
    DetachChildrenFrom(this);
    m_timer1->stop();
    m_scanner->Stop();
}

void Tscandlg::SetFolder(const std::string& folder) {
    m_folder->setText(Q(folder));
    FillFileList();
}

void Tscandlg::SetBase(const std::string& text) {
    const std::string base = ScanBaseName(text + ".");
    if (m_fileedit->text().toStdString() != text) {
        m_fileedit->setText(Q(text));
    }
    m_filelab->setText(Q(ScanFileName(base, 0)));
}

void Tscandlg::FillFileList() {
    m_files->clear();
    const QDir dir(m_folder->text());
    for (const QString& name :
         dir.entryList({QStringLiteral("*.ktx")}, QDir::Files | QDir::NoDotAndDotDot,
                       QDir::Name | QDir::IgnoreCase)) {
        m_files->addItem(name);
    }
}

void Tscandlg::TrigCheckClick() {
    const bool on = m_trigCheck->isChecked();
    for (QSpinBox* s : {m_stdspin, m_minspin, m_sekspin}) {
        s->setEnabled(!on);
        SetGrey(s, on);
    }
    m_testbtn->setEnabled(!on);
}

ScanRequest Tscandlg::Collect() const {
    ScanRequest r;
    r.folder = m_folder->text().toStdString();
    r.base = ScanBaseName(m_fileedit->text().toStdString() + ".");
    for (int i = 0; i < m_sourceList->count(); ++i) {
        if (m_sourceList->item(i)->isSelected()) {
            r.sources.push_back(m_sourceList->item(i)->text().toStdString());
        }
    }
    r.startText = m_startwert->text().trimmed().toStdString();
    r.stopText = m_stopwert->currentText().trimmed().toStdString();
    r.wanted = m_scanzahl->value();
    r.intervalSeconds = m_stdspin->value() * 3600 + m_minspin->value() * 60 + m_sekspin->value();
    r.triggered = m_trigCheck->isChecked();
    r.beep = m_beepCheck->isChecked();
    return r;
}

void Tscandlg::ShowCorrections(const ScanRequest& request) {
    m_startwert->setText(Q(request.startText));
    m_stopwert->setEditText(Q(request.stopText));
    const int s = std::min(request.intervalSeconds, 99 * 3600 + 59 * 60 + 59);
    m_stdspin->setValue(s / 3600);
    m_minspin->setValue(s / 60 % 60);
    m_sekspin->setValue(s % 60);
}

void Tscandlg::testbtnClick() {
    ScanRequest request = Collect();
    {
        TransferCursorScope busy;
        m_scanner->PrepareScan(request);
    }
    ShowCorrections(request);
}

void Tscandlg::SetRunningUi(bool running) {
    m_stopBut->setEnabled(running);
    m_startBut->setEnabled(!running);
    const bool triggered = m_scanner->Request().triggered;
    for (QSpinBox* s : {m_stdspin, m_minspin, m_sekspin}) {
        s->setEnabled(!running && !triggered);
        SetGrey(s, running || triggered);
    }
    m_trigCheck->setEnabled(!running && !m_scanner->TriggerForced());
    for (QWidget* w : std::initializer_list<QWidget*>{m_startwert, m_stopwert, m_scanzahl,
                                                      m_sourceList, m_fileedit}) {
        w->setEnabled(!running);
    }
    SetGrey(m_scanzahl, running);
}

void Tscandlg::StartButClick() {
    ScanRequest request = Collect();
    bool started = false;
    {
        TransferCursorScope busy;
        started = m_scanner->Start(request);
    }
    ShowCorrections(request);
    if (!started) {
        return;
    }
    m_wanted = request.wanted;
    SetRunningUi(true);
    m_timer1->start(m_scanner->TimerMs());
    Timer1Timer();  // the first scan at once
}

void Tscandlg::Timer1Timer() {
    if (!m_scanner->Running()) {
        EndRunUi();
        return;
    }
    ScanTick tick = ScanTick::Waiting;
    {
        TransferCursorScope busy;
        tick = m_scanner->Tick();
    }
    if (tick == ScanTick::Waiting) {
        return;
    }
    m_scanzahl->setValue(m_scanner->Remaining());
    m_filelab->setText(Q(m_scanner->NextFile()));
    if (tick == ScanTick::Finished) {
        EndRunUi();
    }
}

void Tscandlg::EndRunUi() {
    m_timer1->stop();
    SetRunningUi(false);
    m_scanzahl->setValue(m_wanted);
    m_filelab->setText(Q(m_scanner->NextFile()));
    FillFileList();
}

void Tscandlg::StopButClick() {
    {
        TransferCursorScope busy;
        m_scanner->Stop();
    }
    EndRunUi();
}

void Tscandlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {  // Esc presses "Stop"
        if (m_stopBut->isEnabled()) {
            StopButClick();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Tscandlg::reject() {
    m_timer1->stop();
    if (m_scanner->Running()) {
        StopButClick();
    }
    QDialog::reject();
}

}  // namespace ktx

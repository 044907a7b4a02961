// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/tlog_dial.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>

#include "app/child_signals.h"
#include "app/icons.h"
#include "app/save_dialogs.h"
#include "app/wait_routines.h"
#include "config/program_state.h"

namespace ktx {

namespace {

// While a triggered sample waits, the instrument is asked again this soon.
constexpr int kTriggerPollMs = 20;

// Instrument definition files are 8-bit text; one saved on a UTF-8 system is taken as such.
QString DeviceText(const std::string& s) {
    const QByteArray bytes = QByteArray::fromStdString(s);
    const QString utf8 = QString::fromUtf8(bytes);
    return utf8.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(bytes) : utf8;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

void SetGrey(QWidget* w, bool grey) {
    QPalette p = w->palette();
    p.setColor(QPalette::Text, grey ? QColor(0xC0, 0xC0, 0xC0) : QColor(Qt::black));
    w->setPalette(p);
}

}  // namespace

Tlog_dial::Tlog_dial(CommandTransport& transport, Notifier& notifier, ProgramState& state,
                     LoggerSettings& settings, QWidget* parent)
    : QDialog(parent),
      m_notifier(notifier),
      m_state(state),
      m_settings(settings),
      m_choices(ReadLoggerChoices(state.deviceIniFile, state.deviceType)) {
    setObjectName(QStringLiteral("log_dial"));
    setWindowTitle(QStringLiteral("Datenlogger"));

    auto* grid = new QGridLayout(this);
    auto* channelBox = new QGroupBox(QStringLiteral("Logger:"), this);
    auto* channelLayout = new QVBoxLayout(channelBox);
    auto* channelGroup = new QButtonGroup(this);
    auto* valueBox = new QGroupBox(QStringLiteral("Meßwert:"), this);
    auto* valueLayout = new QVBoxLayout(valueBox);
    for (int i = 0; i < kLoggerChannels; ++i) {
        m_channels[i] = new QRadioButton(QStringLiteral("Channel %1").arg(i), channelBox);
        m_channels[i]->setObjectName(QStringLiteral("log_ch%1").arg(i));
        m_channels[i]->setAutoFillBackground(true);
        channelGroup->addButton(m_channels[i], i);
        channelLayout->addWidget(m_channels[i]);
        m_values[i] = new QLabel(valueBox);
        m_values[i]->setObjectName(QStringLiteral("Value%1").arg(i));
        m_values[i]->setMinimumWidth(110);
        m_values[i]->setFrameShape(QFrame::Panel);
        m_values[i]->setFrameShadow(QFrame::Sunken);
        valueLayout->addWidget(m_values[i]);
    }
    m_aktCheck = new QCheckBox(QStringLiteral("Aktiv"), channelBox);
    m_aktCheck->setObjectName(QStringLiteral("Akt_check"));
    channelLayout->addWidget(m_aktCheck);

    auto listWith = [this](const QString& label, const char* name, QListWidget*& list) {
        auto* box = new QWidget(this);
        auto* l = new QVBoxLayout(box);
        l->setContentsMargins(0, 0, 0, 0);
        l->addWidget(new QLabel(label, box));
        list = new QListWidget(box);
        list->setObjectName(QString::fromUtf8(name));
        list->setMinimumHeight(120);
        l->addWidget(list);
        return box;
    };
    grid->addWidget(channelBox, 0, 0);
    grid->addWidget(listWith(QStringLiteral("Auswahl:"), "mess_list", m_messList), 0, 1);
    grid->addWidget(listWith(QStringLiteral("Quelle:"), "source_list", m_sourceList), 0, 2);
    grid->addWidget(valueBox, 0, 3);

    auto* timeBox = new QGroupBox(QStringLiteral("Intervall"), this);
    auto* timeLayout = new QHBoxLayout(timeBox);
    m_stdEdi = new QSpinBox(timeBox);
    m_stdEdi->setObjectName(QStringLiteral("std_edi"));
    m_stdEdi->setRange(0, 23);
    m_minEdi = new QSpinBox(timeBox);
    m_minEdi->setObjectName(QStringLiteral("min_edi"));
    m_minEdi->setRange(0, 59);
    m_sekEdi = new QLineEdit(QStringLiteral("0.0"), timeBox);
    m_sekEdi->setObjectName(QStringLiteral("sek_edi"));
    m_sekEdi->setMaximumWidth(70);
    auto* up = new QToolButton(timeBox);
    up->setArrowType(Qt::UpArrow);
    auto* down = new QToolButton(timeBox);
    down->setArrowType(Qt::DownArrow);
    auto* spin = new QVBoxLayout;
    spin->setSpacing(0);
    spin->addWidget(up);
    spin->addWidget(down);
    timeLayout->addWidget(m_stdEdi);
    timeLayout->addWidget(new QLabel(QStringLiteral("std"), timeBox));
    timeLayout->addWidget(m_minEdi);
    timeLayout->addWidget(new QLabel(QStringLiteral("min"), timeBox));
    timeLayout->addWidget(m_sekEdi);
    timeLayout->addLayout(spin);
    timeLayout->addWidget(new QLabel(QStringLiteral("sek"), timeBox));
    grid->addWidget(timeBox, 1, 0, 1, 2);

    auto* countRow = new QHBoxLayout;
    countRow->addWidget(new QLabel(QStringLiteral("Anzahl:"), this));
    m_cntEdi = new QSpinBox(this);
    m_cntEdi->setObjectName(QStringLiteral("cnt_edi"));
    m_cntEdi->setRange(1, 1'000'000'000);
    m_cntEdi->setValue(100);
    countRow->addWidget(m_cntEdi);
    grid->addLayout(countRow, 1, 2);

    auto* fileRow = new QHBoxLayout;
    auto* dnameButt = new QPushButton(QStringLiteral("Datei"), this);
    dnameButt->setObjectName(QStringLiteral("Dname_butt"));
    fileRow->addWidget(dnameButt);
    fileRow->addWidget(new QLabel(QStringLiteral("Dateiname:"), this));
    m_dnameLab = new QLabel(this);
    m_dnameLab->setObjectName(QStringLiteral("dname_lab"));
    fileRow->addWidget(m_dnameLab, 1);
    grid->addLayout(fileRow, 2, 0, 1, 2);

    auto* testRow = new QHBoxLayout;
    testRow->addWidget(new QLabel(QStringLiteral("Test minimale Meßrate"), this));
    m_testButt = new QPushButton(QStringLiteral("Test"), this);
    m_testButt->setObjectName(QStringLiteral("Test_butt"));
    testRow->addWidget(m_testButt);
    grid->addLayout(testRow, 2, 2, 1, 2);

    m_trigCheck = new QCheckBox(QStringLiteral("Start mit Trigger"), this);
    m_trigCheck->setObjectName(QStringLiteral("Trigcheck"));
    m_beepCheck = new QCheckBox(QStringLiteral("Beep"), this);
    m_beepCheck->setObjectName(QStringLiteral("Beep_check"));
    m_beepCheck->setChecked(true);
    grid->addWidget(m_trigCheck, 3, 0);
    grid->addWidget(m_beepCheck, 3, 1);

    auto* buttons = new QHBoxLayout;
    m_startButt = new QPushButton(QStringLiteral("Start"), this);
    m_startButt->setObjectName(QStringLiteral("Start_butt"));
    m_stopButt = new QPushButton(QStringLiteral("Stop"), this);
    m_stopButt->setObjectName(QStringLiteral("Stop_butt"));
    m_stopButt->setEnabled(false);
    auto* abbruch = new QPushButton(QStringLiteral("Abbruch"), this);
    abbruch->setObjectName(QStringLiteral("Abbruch"));
    for (QPushButton* b : {m_startButt, m_stopButt, abbruch}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    grid->addLayout(buttons, 3, 2, 1, 2);

    m_logTim = new QTimer(this);
    m_logTim->setObjectName(QStringLiteral("log_tim"));

    // Creation, in the order the instrument hears it.
    if (m_choices.Exclamation()) {
        m_aktCheck->setEnabled(false);
        for (QRadioButton* r : m_channels) {
            r->setEnabled(false);
        }
        m_trigCheck->setEnabled(false);
    }
    for (const std::string& m : m_choices.measures) {
        m_messList->addItem(DeviceText(m));
    }
    for (const std::string& s : m_choices.sources) {
        m_sourceList->addItem(DeviceText(s));
    }
    m_messList->setCurrentRow(0);
    m_sourceList->setCurrentRow(0);
    m_logger =
        std::make_unique<DataLogger>(transport, notifier, settings, m_choices, m_clock,
                                     LoggerHooks{[](int ms) { WaitWithCursor(ms); },
                                                 [this](int channel, const std::string& text) {
                                                     m_values[channel]->setText(DeviceText(text));
                                                 },
                                                 [this] {
                                                     if (m_beepCheck->isChecked()) {
                                                         QApplication::beep();
                                                     }
                                                 }},
                                     state.conversionFile);
    {
        TransferCursorScope busy;
        m_logger->Open();
    }
    m_channels[0]->setChecked(true);
    if (m_state.instrumentChanged) {
        m_settings.Clear();
        m_state.instrumentChanged = false;
    }
    m_dnameLab->setText(Q(std::filesystem::path(m_settings.fileName).filename().string()));
    ShowIntervalControls(m_settings.interval);
    m_trigCheck->setChecked(m_settings.triggered);
    m_testButt->setEnabled(!m_settings.triggered);
    ShowChannel(0);
    m_filled = true;
    ApplyControls();

    connect(channelGroup, &QButtonGroup::idClicked, this, [this](int k) { ShowChannel(k); });
    connect(m_messList, &QListWidget::currentRowChanged, this, [this] { ApplyControls(); });
    connect(m_sourceList, &QListWidget::currentRowChanged, this, [this] { ApplyControls(); });
    connect(m_aktCheck, &QCheckBox::clicked, this, [this] { ApplyControls(); });
    connect(m_stdEdi, &QSpinBox::valueChanged, this, [this] { ApplyControls(); });
    connect(m_minEdi, &QSpinBox::valueChanged, this, [this] { ApplyControls(); });
    connect(m_sekEdi, &QLineEdit::editingFinished, this, [this] { ApplyControls(); });
    connect(up, &QToolButton::clicked, this,
            [this] { ShowIntervalControls(m_settings.interval + 100); });
    connect(down, &QToolButton::clicked, this, [this] {
        if (m_settings.interval > 100) {
            ShowIntervalControls(m_settings.interval - 100);
        }
    });
    connect(dnameButt, &QPushButton::clicked, this, [this] { Dname_buttClick(); });
    connect(m_testButt, &QPushButton::clicked, this, [this] { Test_buttClick(); });
    connect(m_trigCheck, &QCheckBox::clicked, this, [this](bool on) {
        m_testButt->setEnabled(!on);
        m_settings.triggered = on;
    });
    connect(m_startButt, &QPushButton::clicked, this, [this] { Start_buttClick(); });
    connect(m_stopButt, &QPushButton::clicked, this, [this] { Stop_buttClick(); });
    connect(abbruch, &QPushButton::clicked, this, [this] { reject(); });
    connect(m_logTim, &QTimer::timeout, this, [this] { log_timTimer(); });
}

Tlog_dial::~Tlog_dial() {
    DetachChildrenFrom(this);
    if (m_logger && m_logger->Logging()) {
        m_logTim->stop();
        m_logger->Stop();
    }
}

bool Tlog_dial::Logging() const {
    return m_logger->Logging();
}

int Tlog_dial::CheckedChannel() const {
    for (int i = 0; i < kLoggerChannels; ++i) {
        if (m_channels[i]->isChecked()) {
            return i;
        }
    }
    return 0;
}

void Tlog_dial::ShowChannel(int k) {
    const bool filled = m_filled;
    m_filled = false;  // what this shows is not applied back
    m_aktCheck->setChecked(m_settings.active[k]);
    const auto select = [](QListWidget* list, const std::vector<std::string>& items,
                           const std::string& wanted) {
        const auto it = std::find(items.begin(), items.end(), wanted);
        list->setCurrentRow(it == items.end() ? 0 : static_cast<int>(it - items.begin()));
    };
    if (m_choices.Exclamation()) {
        const auto& codes = m_choices.functionCodes;
        const auto it = std::find(codes.begin(), codes.end(), m_settings.measurement[0]);
        // The multimeter functions follow the oscilloscope measurements in the list.
        const int j = it == codes.end() ? 0 : static_cast<int>(it - codes.begin());
        m_messList->setCurrentRow(m_choices.scopeMeasures + j);
    } else {
        select(m_messList, m_choices.measures, m_settings.measurement[k]);
    }
    select(m_sourceList, m_choices.sources, m_settings.source[k]);
    m_filled = filled;
}

void Tlog_dial::ApplyControls() {
    if (!m_filled) {
        return;
    }
    m_filled = false;  // the corrections below are not applied twice
    const int k = CheckedChannel();
    const ChannelChoice asked{m_messList->currentRow(), m_sourceList->currentRow(),
                              m_aktCheck->isChecked()};
    const ChannelChoice got = ApplyChannelChoice(m_settings, k, asked, m_choices, m_notifier);
    m_messList->setCurrentRow(got.measure);
    m_sourceList->setCurrentRow(got.source);
    std::string seconds = m_sekEdi->text().trimmed().toStdString();
    if (const auto ms = ReadInterval(m_stdEdi->value(), m_minEdi->value(), seconds, m_notifier)) {
        m_settings.interval = *ms;
    } else if (seconds != m_sekEdi->text().trimmed().toStdString()) {
        // Corrected to 59.9: the field shows it, and what it shows is the interval.
        m_sekEdi->setText(Q(seconds));
        std::string again = seconds;
        if (const auto ms2 =
                ReadInterval(m_stdEdi->value(), m_minEdi->value(), again, m_notifier)) {
            m_settings.interval = *ms2;
        }
    }
    m_settings.fileName = m_chosenFile;
    for (int i = 0; i < kLoggerChannels; ++i) {
        m_channels[i]->setBackgroundRole(m_settings.active[i] ? QPalette::Highlight
                                                              : QPalette::Button);
    }
    m_filled = true;
}

void Tlog_dial::ShowIntervalControls(std::int32_t ms) {
    const IntervalText t = ShowInterval(ms);
    const bool filled = m_filled;
    m_filled = false;
    m_stdEdi->setValue(t.hours);
    m_minEdi->setValue(t.minutes);
    m_sekEdi->setText(Q(t.seconds));
    m_filled = filled;
    ApplyControls();
}

void Tlog_dial::ChooseFile(const std::string& fileName) {
    // The log is a waveform file: its extension is ".ktx" whatever was typed.
    m_chosenFile = std::filesystem::path(fileName).replace_extension(".ktx").string();
    m_dnameLab->setText(Q(std::filesystem::path(m_chosenFile).filename().string()));
    ApplyControls();
}

void Tlog_dial::Dname_buttClick() {
    TSvas_dlg dialog(m_notifier, this);
    dialog.SetFilter("Kurvitex files (*.ktx)|*.ktx");
    if (dialog.exec() == QDialog::Accepted && !dialog.FileName().empty()) {
        ChooseFile(dialog.FileName());
    }
}

void Tlog_dial::Test_buttClick() {
    std::int32_t ms = 0;
    {
        TransferCursorScope busy;
        ms = m_logger->TestMinimumInterval();
    }
    ShowIntervalControls(ms);
}

void Tlog_dial::SetLoggingUi(bool logging) {
    m_stopButt->setEnabled(logging);
    m_startButt->setEnabled(!logging);
    for (QWidget* w : std::initializer_list<QWidget*>{m_stdEdi, m_minEdi, m_sekEdi, m_cntEdi,
                                                      m_messList, m_sourceList}) {
        w->setEnabled(!logging);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{m_stdEdi, m_minEdi, m_cntEdi}) {
        SetGrey(w, logging);
    }
}

void Tlog_dial::Start_buttClick() {
    if (m_settings.fileName.empty()) {
        Dname_buttClick();
        if (m_chosenFile.empty()) {
            return;
        }
        m_settings.fileName = m_chosenFile;
    }
    m_dnameLab->setText(Q(std::filesystem::path(m_settings.fileName).filename().string()));
    bool started = false;
    {
        TransferCursorScope busy;
        started = m_logger->Start(m_cntEdi->value());
    }
    if (!started) {
        return;
    }
    ShowIntervalControls(m_settings.interval);  // the timing test may have raised it
    SetLoggingUi(true);
    m_logTim->start(m_logger->TimerInterval());
}

void Tlog_dial::log_timTimer() {
    if (!m_logger->Logging()) {
        m_logTim->stop();
        return;
    }
    TickResult result = TickResult::Stopped;
    {
        TransferCursorScope busy;
        result = m_logger->Tick();
    }
    switch (result) {
        case TickResult::Waiting:
            // Asked again soon, from the event loop: "Stop" and closing stay possible.
            if (m_logTim->interval() != kTriggerPollMs) {
                m_logTim->start(kTriggerPollMs);
            }
            break;
        case TickResult::Sampled:
            m_cntEdi->setValue(static_cast<int>(std::max<std::int64_t>(m_logger->Remaining(), 1)));
            if (m_logTim->interval() != m_logger->TimerInterval()) {
                m_logTim->start(m_logger->TimerInterval());
            }
            break;
        case TickResult::Stopped:
            m_cntEdi->setValue(static_cast<int>(std::max<std::int64_t>(m_logger->Remaining(), 1)));
            EndLoggingUi();
            break;
    }
}

void Tlog_dial::EndLoggingUi() {
    m_logTim->stop();
    SetLoggingUi(false);
}

void Tlog_dial::Stop_buttClick() {
    m_logTim->stop();
    {
        TransferCursorScope busy;
        m_logger->Stop();
    }
    EndLoggingUi();
}

void Tlog_dial::keyPressEvent(QKeyEvent* event) {
    // Esc presses "Stop" (and nothing else: it does not close a logging dialog).
    if (event->key() == Qt::Key_Escape) {
        if (m_stopButt->isEnabled()) {
            Stop_buttClick();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Tlog_dial::reject() {
    if (m_logger->Logging()) {
        Stop_buttClick();
    }
    QDialog::reject();
}

}  // namespace ktx

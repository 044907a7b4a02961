// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/multimeter_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <mutex>
#include <vector>

#include "app/icons.h"
#include "app/wait_routines.h"
#include "config/notifier.h"
#include "tools/meter_text.h"

namespace ktx {

namespace {

QListWidget* List(QWidget* parent, const char* name, int width, int height) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QString::fromUtf8(name));
    list->setMinimumSize(width, height);
    return list;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromUtf8(name));
    return b;
}

QLabel* ValueLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setMinimumWidth(220);
    QFont big = label->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    label->setFont(big);
    return label;
}

void Select(QListWidget* list, int row) {
    const QSignalBlocker block(list);
    list->clearSelection();
    list->setCurrentRow(
        row, row >= 0 ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::Clear);
    if (row < 0) {
        list->setCurrentItem(nullptr);
    }
}

// Keeps the notices a tick on the worker thread gives, for the user-interface thread to show.
class CollectingNotifier final : public Notifier {
  public:
    void Show(Severity, const Notice& notice) override { notices.push_back(notice.stringId); }
    bool Confirm(const Notice&) override { return false; }
    std::vector<int> notices;
};

}  // namespace

// --- Tmb_dlg ------------------------------------------------------------------------------

Tmb_dlg::Tmb_dlg(CommandTransport& transport, Notifier& notifier, MeterDefinition definition,
                 std::function<void()> fetchPicture, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("mb_dlg"));
    setWindowTitle(QStringLiteral("DMM-Meßbereich"));
    m_control = std::make_unique<DmmRangeControl>(transport, notifier, std::move(definition),
                                                  [](int ms) { WaitWithCursor(ms); });
    m_funkLb = List(this, "Funk_lb", 150, 150);
    m_uniLb = List(this, "uni_lb", 110, 150);
    m_zbLb = List(this, "zb_lb", 90, 150);
    m_autocheck = new QCheckBox(QStringLiteral("&Auto Range"), this);
    m_autocheck->setObjectName(QStringLiteral("autocheck"));
    m_rhBtn = Button(this, "RHbtn", "HOLD");
    QPushButton* messbtn = Button(this, "messbtn", "Mess");
    QPushButton* getbtn = Button(this, "getbtn", "Bild holen");
    QPushButton* abbruch = Button(this, "BitBtn1", "Abbruch");
    m_messlab = ValueLabel(this, "Messlab");

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Funktion:"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Messbereich:"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Zeitbasis:"), this), 0, 2);
    grid->addWidget(m_funkLb, 1, 0);
    grid->addWidget(m_uniLb, 1, 1);
    grid->addWidget(m_zbLb, 1, 2);
    grid->addWidget(m_autocheck, 2, 1);
    grid->addWidget(m_rhBtn, 2, 2);
    grid->addWidget(m_messlab, 3, 0, 1, 2);
    grid->addWidget(messbtn, 3, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(getbtn);
    buttons->addStretch();
    buttons->addWidget(abbruch);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (const MeterFunction& f : m_control->Definition().functions) {
        m_funkLb->addItem(DefinitionText(f.name));
    }
    for (const MeterChoice& t : m_control->Definition().timeBases) {
        m_zbLb->addItem(DefinitionText(t.text));
    }
    {
        TransferCursorScope busy;
        m_control->Open();
    }
    ShowState();

    auto run = [this](auto&& action) {
        {
            TransferCursorScope busy;
            action();
        }
        ShowState();
    };
    connect(m_funkLb, &QListWidget::currentRowChanged, this,
            [this, run](int row) { run([&] { m_control->SelectFunction(row + 1); }); });
    connect(m_uniLb, &QListWidget::itemClicked, this, [this, run](QListWidgetItem* item) {
        run([&] { m_control->ClickRange(m_uniLb->row(item)); });
    });
    connect(m_autocheck, &QCheckBox::clicked, this,
            [this, run](bool on) { run([&] { m_control->SetAutoRange(on); }); });
    connect(m_zbLb, &QListWidget::itemClicked, this, [this, run](QListWidgetItem* item) {
        run([&] { m_control->SelectTimeBase(m_zbLb->row(item)); });
    });
    connect(m_rhBtn, &QPushButton::clicked, this,
            [this, run] { run([&] { m_control->ToggleHold(); }); });
    connect(messbtn, &QPushButton::clicked, this, [this] {
        std::string text;
        {
            TransferCursorScope busy;
            text = m_control->Measure();
        }
        m_messlab->setText(DefinitionText(text));
    });
    connect(getbtn, &QPushButton::clicked, this, [fetchPicture] {
        if (fetchPicture) {
            fetchPicture();
        }
    });
    connect(abbruch, &QPushButton::clicked, this, &QDialog::reject);
}

Tmb_dlg::~Tmb_dlg() = default;

void Tmb_dlg::ShowState() {
    Select(m_funkLb, m_control->FunctionIndex() - 1);
    {
        const QSignalBlocker block(m_uniLb);
        m_uniLb->clear();
        for (const MeterChoice& r : m_control->Ranges()) {
            m_uniLb->addItem(DefinitionText(r.text));
        }
    }
    Select(m_uniLb, m_control->SelectedRange());
    {
        const QSignalBlocker block(m_autocheck);
        m_autocheck->setChecked(m_control->AutoRange());
    }
    Select(m_zbLb, m_control->TimeBase());
    m_rhBtn->setText(QString::fromUtf8(m_control->HoldCaption()));
}

// --- Tmbx_dlg -----------------------------------------------------------------------------

// The dialog as a tick on the worker sees it: null once the dialog is gone. The lock makes
// "still there" and "post the result" one step.
struct Tmbx_dlg::Mailbox {
    std::mutex mutex;
    Tmbx_dlg* dialog = nullptr;
};

Tmbx_dlg::Tmbx_dlg(CommandTransport& transport, Notifier& notifier, MeterDefinition definition,
                   std::function<void()> fetchPicture, QWidget* parent)
    : QDialog(parent),
      m_notifier(notifier),
      m_meter(std::make_shared<HandheldMeter>(transport, std::move(definition))),
      m_mailbox(std::make_shared<Mailbox>()) {
    setObjectName(QStringLiteral("mbx_dlg"));
    setWindowTitle(QStringLiteral("DMM-Meßbereich"));
    m_mailbox->dialog = this;
    m_funkLb = List(this, "Funk_lb", 170, 190);
    m_uniLb = List(this, "uni_lb", 130, 190);
    m_messbtn = Button(this, "messbtn", "Mess");
    m_rhBtn = Button(this, "RHbtn", "RUN");
    m_getbtn = Button(this, "getbtn", "Bild holen");
    QPushButton* abbruch = Button(this, "BitBtn1", "Abbruch");
    m_messLab1 = ValueLabel(this, "Mess_lab1");
    m_messLab2 = ValueLabel(this, "Mess_lab2");

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Funktion:"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Messbereich:"), this), 0, 1);
    grid->addWidget(m_funkLb, 1, 0);
    grid->addWidget(m_uniLb, 1, 1);
    grid->addWidget(m_messLab1, 2, 0, 1, 2);
    grid->addWidget(m_messLab2, 3, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_messbtn, m_rhBtn, m_getbtn}) {
        buttons->addWidget(b);
    }
    buttons->addStretch();
    buttons->addWidget(abbruch);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (const MeterFunction& f : m_meter->Definition().functions) {
        m_funkLb->addItem(DefinitionText(f.name));
    }
    {
        TransferCursorScope busy;
        m_meter->Open(m_notifier);
    }
    ShowSelection();

    m_messTime.SetInterval(1000);
    m_messTime.SetResolution(10);
    // The tick runs on the timer's worker: it shares the meter and reaches the dialog only
    // through the mailbox, and only by posting to the user-interface thread.
    m_messTime.SetOnTimer([meter = m_meter, mailbox = m_mailbox] {
        CollectingNotifier notices;
        HandheldMeter::Reading reading;
        const bool ok = meter->Measure(reading, notices);
        const int first = notices.notices.empty() ? 0 : notices.notices.front();
        const std::lock_guard lock(mailbox->mutex);
        if (Tmbx_dlg* dialog = mailbox->dialog) {
            QMetaObject::invokeMethod(
                dialog, [dialog, reading, ok, first] { dialog->TickDone(reading, ok, first); },
                Qt::QueuedConnection);
        }
    });

    connect(m_funkLb, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        {
            TransferCursorScope busy;
            m_meter->SelectFunction(m_funkLb->row(item), m_notifier);
        }
        ShowSelection();
        ShowReading({});
    });
    connect(m_uniLb, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        {
            TransferCursorScope busy;
            m_meter->SelectRange(m_uniLb->row(item), m_notifier);
        }
        ShowSelection();
        ShowReading({});
    });
    connect(m_messbtn, &QPushButton::clicked, this, [this] { messbtnClick(); });
    connect(m_rhBtn, &QPushButton::clicked, this, [this] { RHbtnClick(); });
    connect(m_getbtn, &QPushButton::clicked, this, [fetchPicture] {
        if (fetchPicture) {
            fetchPicture();
        }
    });
    connect(abbruch, &QPushButton::clicked, this, &QDialog::reject);
}

Tmbx_dlg::~Tmbx_dlg() {
    m_messTime.SetEnabled(false);
    const std::lock_guard lock(m_mailbox->mutex);
    m_mailbox->dialog = nullptr;
}

void Tmbx_dlg::ShowSelection() {
    const HandheldMeter::Selection s = m_meter->Current();
    Select(m_funkLb, s.function);
    {
        const QSignalBlocker block(m_uniLb);
        m_uniLb->clear();
        for (const MeterChoice& r : s.ranges) {
            m_uniLb->addItem(DefinitionText(r.text));
        }
    }
    Select(m_uniLb, s.range);
}

void Tmbx_dlg::ShowReading(const HandheldMeter::Reading& reading) {
    m_messLab1->setText(DefinitionText(reading.main));
    m_messLab2->setText(DefinitionText(reading.secondary));
}

void Tmbx_dlg::messbtnClick() {
    HandheldMeter::Reading reading;
    {
        TransferCursorScope busy;
        m_meter->Measure(reading, m_notifier);
    }
    ShowSelection();
    ShowReading(reading);
}

void Tmbx_dlg::RHbtnClick() {
    SetContinuous(!m_running);
}

void Tmbx_dlg::SetContinuous(bool on) {
    if (on && !m_messTime.SetEnabled(true)) {
        ShowErrorMsgText(m_notifier, 34, TFastTimer::kCreateError, 0);
        return;
    }
    if (!on) {
        m_messTime.SetEnabled(false);  // a tick in progress finishes on its own
    }
    m_running = on;
    m_rhBtn->setText(on ? QStringLiteral("STOP") : QStringLiteral("RUN"));
    for (QWidget* w : std::initializer_list<QWidget*>{m_messbtn, m_getbtn, m_uniLb, m_funkLb}) {
        w->setEnabled(!on);
    }
}

void Tmbx_dlg::TickDone(const HandheldMeter::Reading& reading, bool ok, int firstMessage) {
    if (!m_running) {
        return;  // a tick that was under way when the user pressed STOP
    }
    ShowSelection();
    ShowReading(reading);
    if (!ok || firstMessage != 0) {
        // A meter that stopped answering would raise a message every second: leave the
        // continuous mode and say it once.
        SetContinuous(false);
        ShowErrorMsg(m_notifier, firstMessage != 0 ? firstMessage - 10000 : 17, 0);
    }
}

void Tmbx_dlg::reject() {
    SetContinuous(false);
    QDialog::reject();
}

// --- Terf_dlg -----------------------------------------------------------------------------

Terf_dlg::Terf_dlg(CommandTransport& transport, Notifier& notifier, MeterDefinition definition,
                   std::function<void()> fetchPicture, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("erf_dlg"));
    setWindowTitle(QStringLiteral("Messwerterfassung"));
    m_capture = std::make_unique<DmmCapture>(transport, notifier, std::move(definition));
    auto* row = new QHBoxLayout;
    for (int m = 0; m < DmmCapture::kMeasurements; ++m) {
        const std::string n = std::to_string(m + 1);
        auto* box = new QGroupBox(QString::fromStdString("Messung " + n), this);
        auto* column = new QVBoxLayout(box);
        m_mbLb[m] = List(box, ("mb_lb" + n).c_str(), 110, 90);
        m_anzCheck[m] = new QCheckBox(QStringLiteral("Anzeige"), box);
        m_anzCheck[m]->setObjectName(QString::fromStdString("anz_check" + n));
        for (const std::string& type : m_capture->Definition().acquisitionTypes) {
            m_mbLb[m]->addItem(DefinitionText(type));
        }
        column->addWidget(m_mbLb[m]);
        column->addWidget(m_anzCheck[m]);
        row->addWidget(box);
    }
    auto* acquire = new QGroupBox(QStringLiteral("ACQUIRE"), this);
    auto* acquireLayout = new QVBoxLayout(acquire);
    static constexpr const char* kNames[] = {"samprad", "peakrad", "averad"};
    static constexpr const char* kCaptions[] = {"&Sample", "&Peak Detect", "&Average"};
    for (int i = 0; i < 3; ++i) {
        m_modes[i] = new QRadioButton(QString::fromUtf8(kCaptions[i]), acquire);
        m_modes[i]->setObjectName(QString::fromUtf8(kNames[i]));
        acquireLayout->addWidget(m_modes[i]);
    }
    row->addWidget(acquire);
    QPushButton* getbtn = Button(this, "getbtn", "Get");
    QPushButton* transbtn = Button(this, "Transbtn", "Transfer");
    QPushButton* abbruch = Button(this, "BitBtn1", "Abbruch");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(getbtn);
    buttons->addStretch();
    buttons->addWidget(transbtn);
    buttons->addWidget(abbruch);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    {
        TransferCursorScope busy;
        ShowState(m_capture->ReadState());
    }
    connect(transbtn, &QPushButton::clicked, this, [this] {
        TransferCursorScope busy;
        ShowState(m_capture->Transfer(Collect()));
    });
    connect(getbtn, &QPushButton::clicked, this, [fetchPicture] {
        if (fetchPicture) {
            fetchPicture();
        }
    });
    connect(abbruch, &QPushButton::clicked, this, &QDialog::reject);
}

Terf_dlg::~Terf_dlg() = default;

void Terf_dlg::ShowState(const DmmCapture::State& state) {
    for (int m = 0; m < DmmCapture::kMeasurements; ++m) {
        m_anzCheck[m]->setChecked(state.shown[m]);
        Select(m_mbLb[m], state.type[m]);
    }
    // The group is exclusive: with no mode read, none stays checked.
    for (int i = 0; i < 3; ++i) {
        m_modes[i]->setAutoExclusive(false);
        m_modes[i]->setChecked(i == state.mode);
        m_modes[i]->setAutoExclusive(true);
    }
}

DmmCapture::State Terf_dlg::Collect() const {
    DmmCapture::State state;
    for (int m = 0; m < DmmCapture::kMeasurements; ++m) {
        state.shown[m] = m_anzCheck[m]->isChecked();
        state.type[m] = m_mbLb[m]->selectedItems().isEmpty() ? -1 : m_mbLb[m]->currentRow();
    }
    for (int i = 0; i < 3; ++i) {
        if (m_modes[i]->isChecked()) {
            state.mode = i;
        }
    }
    return state;
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/analysis_dialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <filesystem>
#include <regex>

#include "app/child_signals.h"
#include "app/save_dialogs.h"
#include "config/notifier.h"
#include "config/progress.h"
#include "view/tktxview.h"
#include "waveform/wave_file.h"

namespace ktx {

namespace {

constexpr int kMsgBadFormat = 12;
constexpr int kMsgInvalidName = 42;
constexpr int kMsgOverwrite = 306;
constexpr int kMsgTooLong = 310;
constexpr std::int64_t kViewRecordLimit = 80001;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

bool HasWildcard(const std::string& s, bool question = true) {
    return s.find('*') != std::string::npos || (question && s.find('?') != std::string::npos);
}

std::string WithExtension(const std::string& name, const char* ext) {
    return std::filesystem::path(name).replace_extension(ext).string();
}

// The status bar's progress bar on the dialog's gauge.
class GaugeProgress final : public ProgressSink {
  public:
    explicit GaugeProgress(QProgressBar* gauge) : m_gauge(gauge) {}
    void BarStart(std::int64_t maximum) override {
        // A QProgressBar counts in int: long sources are shown in steps.
        m_divisor = std::max<std::int64_t>(1, maximum / 1'000'000);
        m_maximum = maximum;
        m_gauge->setMaximum(static_cast<int>(maximum / m_divisor));
        m_gauge->setValue(0);
    }
    void BarStep(std::int64_t remaining) override {
        m_gauge->setValue(static_cast<int>((m_maximum - remaining) / m_divisor));
    }
    void BarEnd() override { m_gauge->setValue(0); }

  private:
    QProgressBar* m_gauge;
    std::int64_t m_divisor = 1;
    std::int64_t m_maximum = 0;
};

// The column of a source: the one present column, else the chooser's answer.
std::optional<int> ColumnOf(const SourceLayout& layout,
                            const std::function<std::optional<int>(const UnitStrings&)>& choose,
                            QWidget* parent, const QString& captionSuffix = {}) {
    if (const auto only = OnlyColumn(layout)) {
        return only;
    }
    if (choose) {
        return choose(layout.units);
    }
    Tcseldlg dlg(layout.units, parent);
    dlg.setWindowTitle(dlg.windowTitle() + captionSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.Channel() < 0) {
        return std::nullopt;
    }
    return dlg.Channel();
}

// A waveform view of its own, shown modally with its "Ok" button; its period search works in
// scratch files of its own.
class SelectionHost final : public WaveViewHost {
  public:
    bool RequestRange(const RangeRequest&) override { return false; }
    void RequestRecompression(const RecompressionRequest&) override {}
    ProgressSink& Progress() override { return NoProgress(); }
};

std::optional<ViewSelection> SelectInModalView(const std::string& file, bool sampleAxis,
                                               bool periodButton, Notifier& notifier,
                                               QWidget* parent) {
    SelectionHost host;
    const auto compression = ScratchFile::Create(".tmp");
    const auto period1 = ScratchFile::Create(".ktx");
    const auto period2 = ScratchFile::Create(".ktx");
    if (!compression || !period1 || !period2) {
        return std::nullopt;
    }
    QPointer<Tktxview> view = new Tktxview(
        host, notifier, ViewFiles{compression->Path(), {period1->Path(), period2->Path()}}, parent);
    view->setWindowFlag(Qt::Window);
    view->setWindowModality(Qt::ApplicationModal);
    view->SetOkMode(true);
    view->SetPeriodButton(periodButton);
    if (!view->Open(file, file, sampleAxis)) {
        return std::nullopt;  // the view has said why and closed
    }
    std::optional<ViewSelection> result;
    QEventLoop loop;
    view->SetOkHandler([&result, &view] {
        result = ViewSelection{view->Cursor1(), view->Cursor2(), view->Record().column};
        view->close();
    });
    QObject::connect(view, &QObject::destroyed, &loop, &QEventLoop::quit);
    view->resize(800, 500);
    view->show();
    loop.exec();
    return result;
}

}  // namespace

// --- the shared source block --------------------------------------------------------------------

class SourceBlock : public QWidget {
  public:
    SourceBlock(const std::vector<const char*>& filters, const QString& formatCaption,
                QWidget* parent)
        : QWidget(parent),
          m_folder(new QLineEdit(this)),
          m_files(new QListWidget(this)),
          m_filter(new QComboBox(this)),
          m_fileedit(new QLineEdit(QStringLiteral("*.ktx"), this)) {
        m_folder->setObjectName(QStringLiteral("DirectoryListBox1"));
        m_files->setObjectName(QStringLiteral("FileListBox1"));
        m_filter->setObjectName(QStringLiteral("FilterComboBox1"));
        m_fileedit->setObjectName(QStringLiteral("Fileedit"));
        m_fileedit->setMaxLength(255);
        for (const char* f : filters) {
            m_filter->addItem(QString::fromUtf8(f));
        }
        auto* browse = new QPushButton(QStringLiteral("…"), this);
        browse->setToolTip(QStringLiteral("Verzeichnis wählen"));
        browse->setFixedWidth(28);
        connect(browse, &QPushButton::clicked, this, [this] {
            const QString dir = QFileDialog::getExistingDirectory(
                this, QStringLiteral("Verzeichnis"), m_folder->text());
            if (!dir.isEmpty()) {
                SetFolder(dir.toStdString());
            }
        });
        connect(m_folder, &QLineEdit::editingFinished, this, [this] {
            FillList();
            if (onChange) {
                onChange();
            }
        });
        connect(m_filter, &QComboBox::currentIndexChanged, this, [this] { FillList(); });
        connect(m_files, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
            if (onPick) {
                onPick(item->text());
            } else {
                m_fileedit->setText(item->text());
            }
        });
        m_files->viewport()->installEventFilter(this);
        connect(m_fileedit, &QLineEdit::textChanged, this, [this] {
            if (onChange) {
                onChange();
            }
        });
        auto* folderRow = new QHBoxLayout;
        folderRow->addWidget(m_folder, 1);
        folderRow->addWidget(browse);
        auto* form = new QFormLayout(this);
        form->setContentsMargins(0, 0, 0, 0);
        form->addRow(QStringLiteral("Verzeichnis"), folderRow);
        form->addRow(QStringLiteral("Dateien"), m_files);
        form->addRow(formatCaption, m_filter);
        form->addRow(QStringLiteral("Quelldatei:"), m_fileedit);
        m_files->setMinimumHeight(160);
    }

    void SetFolder(const std::string& folder) {
        m_folder->setText(Q(folder));
        FillList();
        if (onChange) {
            onChange();
        }
    }
    std::string Folder() const { return m_folder->text().toStdString(); }
    // The folder and a name typed into a field (an absolute name keeps its own folder).
    std::string PathOf(const QString& text) const {
        const std::filesystem::path typed(text.toStdString());
        if (typed.is_absolute()) {
            return typed.string();
        }
        return (std::filesystem::path(Folder()) / typed).string();
    }
    // "*.wfm" from "Wfm Dateien (*.wfm) TDS 5000B".
    std::string Mask() const {
        static const std::regex kMask(R"(\((\*\.[A-Za-z0-9]+)\))");
        std::smatch m;
        const std::string text = m_filter->currentText().toStdString();
        return std::regex_search(text, m, kMask) ? m[1].str() : "*.ktx";
    }
    std::string MaskExtension() const { return Mask().substr(1); }
    QLineEdit* Fileedit() const { return m_fileedit; }
    QComboBox* Filter() const { return m_filter; }

    ~SourceBlock() override { DetachChildrenFrom(this); }

    std::function<void()> onChange;
    std::function<void(const QString&)> onPick;        // a left click on a file
    std::function<void(const QString&)> onRightClick;  // a right click on a file

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_files->viewport() && event->type() == QEvent::MouseButtonPress) {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::RightButton && onRightClick) {
                if (QListWidgetItem* item = m_files->itemAt(e->position().toPoint())) {
                    onRightClick(item->text());
                }
                return true;
            }
        }
        return QWidget::eventFilter(watched, event);
    }

  private:
    void FillList() {
        m_files->clear();
        const QString mask = Q(Mask()).toLower();
        const QDir dir(m_folder->text());
        for (const QString& f : dir.entryList(QDir::Files, QDir::Name)) {
            if (QDir::match(mask, f.toLower())) {
                m_files->addItem(f);
            }
        }
    }

    QLineEdit* m_folder;
    QListWidget* m_files;
    QComboBox* m_filter;
    QLineEdit* m_fileedit;
};

namespace {

QPushButton* Button(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QLabel* ValueLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setMinimumWidth(90);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return l;
}

// "Start:", "Stop:", "Quelle:" with their labels.
QGridLayout* PeriodLabels(QLabel* start, QLabel* stop, QLabel* chan) {
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Start:")), 0, 0);
    grid->addWidget(start, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Stop:")), 1, 0);
    grid->addWidget(stop, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Quelle:")), 2, 0);
    grid->addWidget(chan, 2, 1);
    return grid;
}

// Lets the window messages be processed during a computation; false once "Abbruch" was
// pressed.
KeepGoing Pump(const bool& abort) {
    return [&abort] {
        QCoreApplication::processEvents();
        return !abort;
    };
}

}  // namespace

// --- FFT ----------------------------------------------------------------------------------------

TKTX_fft_dial::TKTX_fft_dial(AnalysisContext context, QWidget* parent)
    : QDialog(parent), m_context(std::move(context)) {
    setObjectName(QStringLiteral("KTX_fft_dial"));
    setWindowTitle(QStringLiteral("FFT"));
    m_source =
        new SourceBlock({"Ktx Dateien (*.ktx)", "Wfm Dateien (*.wfm) TDS 5000B",
                         "Text Dateien (*.txt)", "IFS Dateien (*.isf)",
                         "Csv Dateien (*.csv) TDS 1000 2000", "Text Dateien Tab (*.txt) TDS 5000"},
                        QStringLiteral("Format:"), this);
    m_zieledit = new QLineEdit(QStringLiteral("*.fft"), this);
    m_zieledit->setObjectName(QStringLiteral("Zieledit"));
    m_zieledit->setMaxLength(255);

    auto* periode = new QGroupBox(QStringLiteral("Periode"), this);
    periode->setObjectName(QStringLiteral("RadioGroup1"));
    m_ktxRd = new QRadioButton(QStringLiteral("Waveform"), periode);
    m_ktxRd->setObjectName(QStringLiteral("ktx_rd"));
    m_ausRd = new QRadioButton(QStringLiteral("Auswahl"), periode);
    m_ausRd->setObjectName(QStringLiteral("aus_rd"));
    auto* pl = new QVBoxLayout(periode);
    pl->addWidget(m_ktxRd);
    pl->addWidget(m_ausRd);

    auto* filter = new QGroupBox(QStringLiteral("Filter"), this);
    filter->setObjectName(QStringLiteral("Fi_rad"));
    m_fiBox = filter;
    m_fiRad = new QButtonGroup(this);
    auto* fl = new QVBoxLayout(filter);
    const char* windows[] = {"Rectangular", "Hanning", "Hamming", "Blackm.-Harris"};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(windows[i]), filter);
        m_fiRad->addButton(b, i);
        fl->addWidget(b);
    }
    m_fiRad->button(0)->setChecked(true);

    m_owSpin = new QSpinBox(this);
    m_owSpin->setObjectName(QStringLiteral("OWSpin"));
    m_owSpin->setRange(kMinHarmonics, kMaxHarmonics);
    m_owSpin->setValue(kDefaultHarmonics);
    m_pgSpin = new QSpinBox(this);
    m_pgSpin->setObjectName(QStringLiteral("pgspin"));
    m_pgSpin->setRange(-100, 0);
    m_pgSpin->setValue(kDefaultPhaseLimit);
    m_fgauge = new QProgressBar(this);
    m_fgauge->setObjectName(QStringLiteral("Fgauge"));
    m_fgauge->setTextVisible(false);
    m_startlab = ValueLabel(this, "startlab");
    m_stoplab = ValueLabel(this, "stoplab");
    m_chanlab = ValueLabel(this, "chanlab");
    m_okBtn = Button(this, "Ok_btn", QStringLiteral("Start"));
    m_okBtn->setDefault(true);
    m_okBtn->setEnabled(false);
    m_shwbtn = Button(this, "shwbtn", QStringLiteral("Show"));
    m_shwbtn->setEnabled(false);
    m_abbruch = Button(this, "BitBtn2", QStringLiteral("Abbruch"));

    auto* settings = new QGridLayout;
    settings->addWidget(new QLabel(QStringLiteral("Oberwellen:")), 0, 0);
    settings->addWidget(m_owSpin, 0, 1);
    settings->addWidget(new QLabel(QStringLiteral("Phasen-\nunterdr.")), 1, 0);
    settings->addWidget(m_pgSpin, 1, 1);
    auto* right = new QVBoxLayout;
    auto* target = new QFormLayout;
    target->addRow(QStringLiteral("Zieldatei:"), m_zieledit);
    right->addLayout(target);
    auto* groups = new QHBoxLayout;
    groups->addWidget(periode);
    groups->addWidget(filter);
    right->addLayout(groups);
    right->addLayout(settings);
    right->addLayout(PeriodLabels(m_startlab, m_stoplab, m_chanlab));
    right->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_okBtn);
    buttons->addWidget(m_shwbtn);
    buttons->addWidget(m_abbruch);
    right->addLayout(buttons);
    auto* top = new QHBoxLayout;
    top->addWidget(m_source, 1);
    top->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(m_fgauge);

    m_source->onChange = [this] { SourceChanged(); };
    connect(m_ktxRd, &QRadioButton::clicked, this, [this] { ChooseWholeFile(); });
    connect(m_ausRd, &QRadioButton::clicked, this, [this] { ChooseSelection(); });
    connect(m_okBtn, &QPushButton::clicked, this, [this] { Start(); });
    connect(m_shwbtn, &QPushButton::clicked, this, [this] { ShowResult(); });
    connect(m_abbruch, &QPushButton::clicked, this, [this] { reject(); });
    m_source->SetFolder(m_context.startFolder.empty() ? QDir::currentPath().toStdString()
                                                      : m_context.startFolder);
    resize(760, 440);
}

TKTX_fft_dial::~TKTX_fft_dial() {
    m_source->onChange = nullptr;
    m_source->onPick = nullptr;
    DetachChildrenFrom(this);
}

void TKTX_fft_dial::SetFolder(const std::string& folder) {
    m_source->SetFolder(folder);
}
void TKTX_fft_dial::SetSource(const std::string& name) {
    m_source->Fileedit()->setText(Q(name));
}
void TKTX_fft_dial::SetTarget(const std::string& name) {
    m_zieledit->setText(Q(name));
}
void TKTX_fft_dial::SetWindow(FftWindow window) {
    m_fiRad->button(static_cast<int>(window))->setChecked(true);
}
void TKTX_fft_dial::SetHarmonics(int k) {
    m_owSpin->setValue(k);
}
bool TKTX_fft_dial::StartEnabled() const {
    return m_okBtn->isEnabled();
}
bool TKTX_fft_dial::ShowEnabled() const {
    return m_shwbtn->isEnabled();
}
bool TKTX_fft_dial::WindowChoiceEnabled() const {
    return m_fiBox->isEnabled();
}
int TKTX_fft_dial::HarmonicsMaximum() const {
    return m_owSpin->maximum();
}
QString TKTX_fft_dial::StartLabel() const {
    return m_startlab->text();
}
QString TKTX_fft_dial::StopLabel() const {
    return m_stoplab->text();
}
QString TKTX_fft_dial::ChannelLabel() const {
    return m_chanlab->text();
}
std::string TKTX_fft_dial::Target() const {
    return m_zieledit->text().toStdString();
}
std::string TKTX_fft_dial::TargetPath() const {
    return m_source->PathOf(m_zieledit->text());
}

void TKTX_fft_dial::SourceChanged() {
    const std::string name = m_source->Fileedit()->text().toStdString();
    if (name.empty() || HasWildcard(name, false)) {
        m_okBtn->setEnabled(false);
        return;
    }
    m_zieledit->setText(Q(WithExtension(name, ".fft")));
    m_shwbtn->setEnabled(Exists(TargetPath()));
    if (Exists(m_source->PathOf(Q(name)))) {
        if (!m_ktxRd->isChecked()) {
            m_ktxRd->setChecked(true);
            ChooseWholeFile();
            m_fiRad->button(0)->setChecked(true);
        } else {
            ChooseWholeFile();
        }
    } else {
        m_okBtn->setEnabled(false);
        m_startlab->clear();
        m_stoplab->clear();
        m_chanlab->clear();
    }
}

bool TKTX_fft_dial::Prepare() {
    m_prepared.reset();
    m_layout.reset();
    const std::string path = m_source->PathOf(m_source->Fileedit()->text());
    const std::string ext = UpperExtension(path);
    QString maskExt = Q(m_source->MaskExtension()).toUpper();
    if (HasWildcard(path, false) || Q(ext) != maskExt || !Exists(path)) {
        ShowErrorMsgText(*m_context.notifier, kMsgInvalidName, path, 0);
        return false;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_prepared = PrepareSource(path, *m_context.notifier, NoProgress());
    QApplication::restoreOverrideCursor();
    return m_prepared.has_value();
}

void TKTX_fft_dial::ChooseWholeFile() {
    m_ktxRd->setChecked(true);
    m_fiBox->setEnabled(true);
    m_start = m_stop = 0;
    if (Prepare()) {
        m_layout = DetectSource(m_prepared->effective);
        const std::optional<int> column =
            m_layout ? ColumnOf(*m_layout, chooseColumn, this) : std::nullopt;
        if (m_layout && column) {
            m_column = *column;
            m_stop = m_layout->DataRecords();
            m_okBtn->setEnabled(true);
            Validate();
            return;
        }
        if (!m_layout) {
            ShowErrorMsg(*m_context.notifier, kMsgBadFormat, 0);
        }
    }
    m_okBtn->setEnabled(false);
    Validate();
}

void TKTX_fft_dial::ChooseSelection() {
    m_ausRd->setChecked(true);
    m_fiBox->setEnabled(false);
    m_fiRad->button(0)->setChecked(true);  // a selection is analysed unweighted
    if (!Prepare()) {
        m_start = m_stop = 0;
        m_okBtn->setEnabled(false);
        Validate();
        return;
    }
    m_layout = DetectSource(m_prepared->effective);
    const auto selection = selectInView
                               ? selectInView(m_prepared->effective, m_prepared->sampleAxis)
                               : SelectInModalView(m_prepared->effective, m_prepared->sampleAxis,
                                                   true, *m_context.notifier, this);
    if (selection && m_layout) {
        SetPeriod(selection->cursor1, selection->cursor2, selection->column);
    } else {
        ChooseWholeFile();
    }
    m_okBtn->setEnabled(m_layout.has_value());
}

void TKTX_fft_dial::SetPeriod(std::int64_t start, std::int64_t stop, int column) {
    m_start = start;
    m_stop = stop;
    m_column = column;
    Validate();
}

void TKTX_fft_dial::Validate() {
    m_period = ValidatePeriod(m_start, m_stop);
    m_start = m_period.start;
    m_stop = m_period.stop;
    if (!m_period.valid) {
        m_startlab->clear();
        m_stoplab->clear();
        m_chanlab->clear();
        return;
    }
    // Never below the spin edit's minimum: K may exceed N/2 for N < 20.
    m_owSpin->setMaximum(std::max(kMinHarmonics, HarmonicLimit(m_period.n)));
    m_startlab->setText(QString::number(m_start));
    m_stoplab->setText(QString::number(m_stop));
    m_chanlab->setText(QStringLiteral("Ch %1").arg(m_column));
}

void TKTX_fft_dial::Start() {
    if (m_computing || !m_prepared || !m_layout) {
        return;
    }
    const std::string target = TargetPath();
    if (Exists(target) && !ConfirmMsgText(*m_context.notifier, kMsgOverwrite, target, 0)) {
        return;
    }
    Validate();
    if (!m_period.valid) {
        return;
    }
    FftRequest r;
    r.source = m_prepared->effective;
    r.layout = *m_layout;
    r.column = m_column;
    r.period = m_period;
    r.harmonics = m_owSpin->value();
    r.window = static_cast<FftWindow>(std::max(0, m_fiRad->checkedId()));
    r.phaseLimitDb = m_pgSpin->value();
    r.unitFrequency = m_prepared->sampleAxis;
    r.target = target;
    r.protectedFiles = {m_prepared->path, m_prepared->effective};
    r.memoryBudget = m_context.memoryBudget;
    m_computing = true;
    m_abort = false;
    m_okBtn->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    GaugeProgress gauge(m_fgauge);
    m_outcome = RunFft(r, *m_context.notifier, gauge, Pump(m_abort));
    QApplication::restoreOverrideCursor();
    m_computing = false;
    m_okBtn->setEnabled(true);
    if (m_outcome.ok) {
        m_shwbtn->setEnabled(true);
    }
    if (m_closeWhenDone) {
        QDialog::reject();
    }
}

void TKTX_fft_dial::ShowResult() {
    const std::string path = TargetPath();
    if (Exists(path) && !HasWildcard(path, false)) {
        if (m_context.show) {
            m_context.show(path);
        }
    } else {
        ShowErrorMsgText(*m_context.notifier, kMsgInvalidName, path, 0);
    }
}

void TKTX_fft_dial::reject() {
    m_abort = true;
    if (m_computing) {
        m_closeWhenDone = true;  // closes once the computation has stopped
        return;
    }
    QDialog::reject();
}

// --- one-channel math ---------------------------------------------------------------------------

TKTX_mth_dial::TKTX_mth_dial(AnalysisContext context, QWidget* parent)
    : QDialog(parent), m_context(std::move(context)) {
    setObjectName(QStringLiteral("KTX_mth_dial"));
    setWindowTitle(QStringLiteral("Mathematik 1 Kanal"));
    m_source =
        new SourceBlock({"Ktx Dateien (*.ktx)", "Wfm Dateien (*.wfm)", "Text Dateien (*.txt)",
                         "Csv Dateien (*.csv) TDS 1000 2000", "Text Dateien Tab (*.txt) TDS 5000"},
                        QStringLiteral("Format:"), this);
    m_zieledit = new QLineEdit(QStringLiteral("*.ktx"), this);
    m_zieledit->setObjectName(QStringLiteral("Zieledit"));
    m_zieledit->setMaxLength(255);
    auto* funktion = new QGroupBox(QStringLiteral("Funktion"), this);
    funktion->setObjectName(QStringLiteral("Fi_rad"));
    m_fiRad = new QButtonGroup(this);
    auto* fl = new QVBoxLayout(funktion);
    const char* functions[] = {"Differenzieren", "Integrieren", "Invertieren",
                               "Häufigkeitsverteilung", "Glättung"};
    for (int i = 0; i < 5; ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(functions[i]), funktion);
        m_fiRad->addButton(b, i);
        fl->addWidget(b);
    }
    m_fiRad->button(0)->setChecked(true);
    m_fakEdi = new QSpinBox(this);
    m_fakEdi->setObjectName(QStringLiteral("fak_edi"));
    m_fakEdi->setRange(kMinSmoothing, kMaxSmoothing);
    m_fakEdi->setSingleStep(2);
    m_fakEdi->setValue(kDefaultSmoothing);
    m_fakEdi->setEnabled(false);
    m_faklab = new QLabel(QStringLiteral("Glättungsfaktor:"), this);
    m_faklab->setObjectName(QStringLiteral("Faklab"));
    m_faklab->setEnabled(false);

    auto* periode = new QGroupBox(QStringLiteral("Periode"), this);
    periode->setObjectName(QStringLiteral("RadioGroup1"));
    m_ktxRd = new QRadioButton(QStringLiteral("Waveform"), periode);
    m_ktxRd->setObjectName(QStringLiteral("ktx_rd"));
    m_ktxRd->setChecked(true);
    m_ausRd = new QRadioButton(QStringLiteral("Auswahl"), periode);
    m_ausRd->setObjectName(QStringLiteral("aus_rd"));
    auto* pl = new QVBoxLayout(periode);
    pl->addWidget(m_ktxRd);
    pl->addWidget(m_ausRd);

    m_fgauge = new QProgressBar(this);
    m_fgauge->setObjectName(QStringLiteral("Fgauge"));
    m_fgauge->setTextVisible(false);
    m_startlab = ValueLabel(this, "startlab");
    m_stoplab = ValueLabel(this, "stoplab");
    m_chanlab = ValueLabel(this, "chanlab");
    m_okBtn = Button(this, "Ok_btn", QStringLiteral("Start"));
    m_okBtn->setDefault(true);
    m_okBtn->setEnabled(false);
    m_shwbtn = Button(this, "shwbtn", QStringLiteral("Show"));
    m_shwbtn->setEnabled(false);
    auto* abbruch = Button(this, "BitBtn2", QStringLiteral("Abbruch"));

    auto* right = new QVBoxLayout;
    auto* target = new QFormLayout;
    target->addRow(QStringLiteral("Zieldatei:"), m_zieledit);
    right->addLayout(target);
    auto* groups = new QHBoxLayout;
    groups->addWidget(funktion);
    groups->addWidget(periode, 0, Qt::AlignTop);
    right->addLayout(groups);
    auto* fak = new QHBoxLayout;
    fak->addWidget(m_faklab);
    fak->addWidget(m_fakEdi);
    fak->addStretch(1);
    right->addLayout(fak);
    right->addLayout(PeriodLabels(m_startlab, m_stoplab, m_chanlab));
    right->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_okBtn);
    buttons->addWidget(m_shwbtn);
    buttons->addWidget(abbruch);
    right->addLayout(buttons);
    auto* top = new QHBoxLayout;
    top->addWidget(m_source, 1);
    top->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(m_fgauge);

    m_source->onChange = [this] { SourceChanged(); };
    m_source->onRightClick = [this](const QString& name) { m_zieledit->setText(name); };
    connect(m_fiRad, &QButtonGroup::idClicked, this, [this](int id) {
        SourceChanged();
        m_fakEdi->setEnabled(id == static_cast<int>(MathFunction::Smooth));
        m_faklab->setEnabled(m_fakEdi->isEnabled());
    });
    connect(m_fakEdi, &QSpinBox::valueChanged, this, [this](int v) {
        if (v % 2 == 0) {
            m_fakEdi->setValue(v - 1);
        }
    });
    connect(m_zieledit, &QLineEdit::textChanged, this, [this] { TargetChanged(); });
    connect(m_ktxRd, &QRadioButton::clicked, this, [this] { WholeFile(); });
    connect(m_ausRd, &QRadioButton::clicked, this, [this] { ChooseSelection(); });
    connect(m_okBtn, &QPushButton::clicked, this, [this] { Start(); });
    connect(m_shwbtn, &QPushButton::clicked, this, [this] { ShowResult(); });
    connect(abbruch, &QPushButton::clicked, this, [this] { reject(); });
    m_source->SetFolder(m_context.startFolder.empty() ? QDir::currentPath().toStdString()
                                                      : m_context.startFolder);
    resize(760, 460);
}

TKTX_mth_dial::~TKTX_mth_dial() {
    m_source->onChange = nullptr;
    m_source->onPick = nullptr;
    DetachChildrenFrom(this);
}

void TKTX_mth_dial::SetFolder(const std::string& folder) {
    m_source->SetFolder(folder);
}
void TKTX_mth_dial::SetSource(const std::string& name) {
    m_source->Fileedit()->setText(Q(name));
}
void TKTX_mth_dial::SetTarget(const std::string& name) {
    m_zieledit->setText(Q(name));
}
void TKTX_mth_dial::SetFunction(MathFunction f) {
    m_fiRad->button(static_cast<int>(f))->click();
}
void TKTX_mth_dial::SetFactor(int f) {
    m_fakEdi->setValue(f);
}
bool TKTX_mth_dial::StartEnabled() const {
    return m_okBtn->isEnabled();
}
bool TKTX_mth_dial::ShowEnabled() const {
    return m_shwbtn->isEnabled();
}
bool TKTX_mth_dial::FactorEnabled() const {
    return m_fakEdi->isEnabled();
}
bool TKTX_mth_dial::SelectionEnabled() const {
    return m_ausRd->isEnabled();
}
int TKTX_mth_dial::Factor() const {
    return m_fakEdi->value();
}
std::string TKTX_mth_dial::Target() const {
    return m_zieledit->text().toStdString();
}
QString TKTX_mth_dial::StartLabel() const {
    return m_startlab->text();
}
QString TKTX_mth_dial::StopLabel() const {
    return m_stoplab->text();
}
std::string TKTX_mth_dial::TargetPath() const {
    return m_source->PathOf(m_zieledit->text());
}
MathFunction TKTX_mth_dial::Function() const {
    return static_cast<MathFunction>(std::max(0, m_fiRad->checkedId()));
}

void TKTX_mth_dial::SourceChanged() {
    const std::string name = m_source->Fileedit()->text().toStdString();
    const bool distribution = Function() == MathFunction::Distribution;
    if (name.empty() || HasWildcard(name)) {
        m_zieledit->setText(distribution ? QStringLiteral("*.mth") : QStringLiteral("*.ktx"));
        m_okBtn->setEnabled(false);
        return;
    }
    // The distribution is named after its source; the other results are named by the user
    // (a right click on a file of the list takes its name).
    m_zieledit->setText(distribution ? Q(WithExtension(name, ".mth")) : QStringLiteral("*.ktx"));
    if (Exists(m_source->PathOf(Q(name)))) {
        m_ktxRd->setChecked(true);
        WholeFile();
    } else {
        m_okBtn->setEnabled(false);
        m_startlab->clear();
        m_stoplab->clear();
        m_chanlab->clear();
    }
}

void TKTX_mth_dial::TargetChanged() {
    const std::string text = m_zieledit->text().toStdString();
    m_shwbtn->setEnabled(!HasWildcard(text) && Exists(TargetPath()));
}

void TKTX_mth_dial::WholeFile() {
    m_start = m_stop = 0;
    m_prepared.reset();
    m_layout.reset();
    const std::string path = m_source->PathOf(m_source->Fileedit()->text());
    if (HasWildcard(path) || Q(UpperExtension(path)) != Q(m_source->MaskExtension()).toUpper() ||
        !Exists(path)) {
        ShowErrorMsgText(*m_context.notifier, kMsgInvalidName, path, 0);
        m_okBtn->setEnabled(false);
        Validate();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_prepared = PrepareSource(path, *m_context.notifier, NoProgress());
    QApplication::restoreOverrideCursor();
    if (m_prepared) {
        m_layout = DetectSource(m_prepared->effective);
    }
    const std::optional<int> column =
        m_layout ? ColumnOf(*m_layout, chooseColumn, this) : std::nullopt;
    if (!m_layout || !column) {
        // An unrecognised layout: nothing to compute, and nothing said.
        m_okBtn->setEnabled(false);
        Validate();
        return;
    }
    m_column = *column;
    m_stop = m_layout->DataRecords();
    m_ausRd->setEnabled(m_layout->records < kViewRecordLimit);
    m_okBtn->setEnabled(true);
    Validate();
}

void TKTX_mth_dial::ChooseSelection() {
    if (!m_prepared || !m_layout) {
        WholeFile();
        if (!m_prepared || !m_layout) {
            return;
        }
    }
    m_ausRd->setChecked(true);
    const auto selection = selectInView
                               ? selectInView(m_prepared->effective, m_prepared->sampleAxis)
                               : SelectInModalView(m_prepared->effective, m_prepared->sampleAxis,
                                                   false, *m_context.notifier, this);
    if (selection) {
        SetPeriod(selection->cursor1, selection->cursor2, selection->column);
    } else {
        m_ktxRd->setChecked(true);
        WholeFile();
    }
}

void TKTX_mth_dial::SetPeriod(std::int64_t start, std::int64_t stop, int column) {
    m_start = start;
    m_stop = stop;
    m_column = column;
    Validate();
}

void TKTX_mth_dial::Validate() {
    m_period = ValidatePeriod(m_start, m_stop);
    m_start = m_period.start;
    m_stop = m_period.stop;
    if (!m_period.valid) {
        m_startlab->clear();
        m_stoplab->clear();
        m_chanlab->clear();
        return;
    }
    m_startlab->setText(QString::number(m_start));
    m_stoplab->setText(QString::number(m_stop));
    m_chanlab->setText(QStringLiteral("Ch %1").arg(m_column));
}

void TKTX_mth_dial::Start() {
    if (m_computing || !m_prepared || !m_layout) {
        return;
    }
    Notifier& notifier = *m_context.notifier;
    const std::string text = m_zieledit->text().toStdString();
    // The target must be neither a pattern nor (by its text or by any other name) the source.
    if (text.empty() || HasWildcard(text) || TargetInsideSource(text, {m_prepared->path}) ||
        TargetInsideSource(TargetPath(), {m_prepared->path})) {
        ShowErrorMsgText(notifier, kMsgInvalidName, text, 0);
        m_zieledit->setFocus();
        return;
    }
    const std::string target = TargetPath();
    if (Exists(target) && !ConfirmMsgText(notifier, kMsgOverwrite, text, 0)) {
        return;
    }
    Validate();
    if (!m_period.valid) {
        return;
    }
    MathRequest r;
    r.source = m_prepared->effective;
    r.layout = *m_layout;
    r.column = m_column;
    r.period = m_period;
    r.function = Function();
    r.smoothing = m_fakEdi->value();
    r.target = target;
    r.protectedFiles = {m_prepared->path, m_prepared->effective};
    r.memoryBudget = m_context.memoryBudget;
    m_computing = true;
    m_abort = false;
    m_okBtn->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    GaugeProgress gauge(m_fgauge);
    m_outcome = RunMath(r, notifier, gauge, Pump(m_abort));
    QApplication::restoreOverrideCursor();
    m_computing = false;
    m_okBtn->setEnabled(true);
    if (m_outcome.ok) {
        m_shwbtn->setEnabled(true);
    } else if (UpperExtension(target) != ResultExtension(r.function)) {
        m_zieledit->setFocus();
    }
    if (m_closeWhenDone) {
        QDialog::reject();
    }
}

void TKTX_mth_dial::ShowResult() {
    const std::string path = TargetPath();
    if (!Exists(path) || HasWildcard(m_zieledit->text().toStdString())) {
        ShowErrorMsgText(*m_context.notifier, kMsgInvalidName, path, 0);
        return;
    }
    if (CountWaveFile(path) >= kViewRecordLimit) {
        ShowInfoMsg(*m_context.notifier, kMsgTooLong, 0);
        return;
    }
    if (m_context.show) {
        m_context.show(path);
    }
}

void TKTX_mth_dial::reject() {
    m_abort = true;
    if (m_computing) {
        m_closeWhenDone = true;
        return;
    }
    QDialog::reject();
}

// --- two-channel math ---------------------------------------------------------------------------

TKTX_mth2_dial::TKTX_mth2_dial(AnalysisContext context, QWidget* parent)
    : QDialog(parent), m_context(std::move(context)) {
    setObjectName(QStringLiteral("KTX_mth2_dial"));
    setWindowTitle(QStringLiteral("Mathematik 2 Kanal"));
    m_source =
        new SourceBlock({"Ktx Dateien (*.ktx)", "Wfm Dateien (*.wfm)", "Text Dateien (*.txt)",
                         "Csv Dateien (*.csv) TDS 1000 2000", "Text Dateien Tab (*.txt) TDS 5000"},
                        QStringLiteral("Quellformat:"), this);
    // The block's own field is "Quelldatei1:"; the second source gets a field of its own.
    m_source->findChild<QFormLayout*>()
        ->labelForField(m_source->Fileedit())
        ->setProperty("text", QStringLiteral("Quelldatei1:"));
    m_fileedit2 = new QLineEdit(QStringLiteral("*.ktx"), this);
    m_fileedit2->setObjectName(QStringLiteral("Fileedit2"));
    m_zieledit = new QLineEdit(QStringLiteral("*.ktx"), this);
    m_zieledit->setObjectName(QStringLiteral("Zieledit"));
    auto* funktion = new QGroupBox(QStringLiteral("Funktion"), this);
    funktion->setObjectName(QStringLiteral("Fi_rad"));
    m_fiRad = new QButtonGroup(this);
    auto* fl = new QVBoxLayout(funktion);
    const char* functions[] = {"CH1 + CH2", "CH1 - CH2", "CH1 * CH2", "CH1 / CH2"};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(functions[i]), funktion);
        m_fiRad->addButton(b, i);
        fl->addWidget(b);
    }
    m_fiRad->button(0)->setChecked(true);
    m_fgauge = new QProgressBar(this);
    m_fgauge->setObjectName(QStringLiteral("Fgauge"));
    m_fgauge->setTextVisible(false);
    m_startlab = ValueLabel(this, "startlab");
    m_stoplab = ValueLabel(this, "stoplab");
    m_chanlab = ValueLabel(this, "chanlab");
    m_okBtn = Button(this, "Ok_btn", QStringLiteral("Start"));
    m_okBtn->setDefault(true);
    m_okBtn->setEnabled(false);
    m_shwbtn = Button(this, "shwbtn", QStringLiteral("Show"));
    m_shwbtn->setEnabled(false);
    auto* abbruch = Button(this, "BitBtn2", QStringLiteral("Abbruch"));

    auto* right = new QVBoxLayout;
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Quelldatei2:"), m_fileedit2);
    fields->addRow(QStringLiteral("Zieldatei:"), m_zieledit);
    right->addLayout(fields);
    right->addWidget(funktion);
    right->addLayout(PeriodLabels(m_startlab, m_stoplab, m_chanlab));
    right->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_okBtn);
    buttons->addWidget(m_shwbtn);
    buttons->addWidget(abbruch);
    right->addLayout(buttons);
    auto* top = new QHBoxLayout;
    top->addWidget(m_source, 1);
    top->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(m_fgauge);

    // A file picked in the list goes into the source field used last (the list's drag onto a
    // field, as a click); a right click names the target.
    auto lastField = std::make_shared<QLineEdit*>(m_source->Fileedit());
    m_source->onPick = [this, lastField](const QString& name) { (*lastField)->setText(name); };
    m_source->onRightClick = [this](const QString& name) { m_zieledit->setText(name); };
    m_source->onChange = [this] { FieldsChanged(); };
    connect(qApp, &QApplication::focusChanged, this, [this, lastField](QWidget*, QWidget* now) {
        if (now == m_fileedit2 || now == m_source->Fileedit()) {
            *lastField = static_cast<QLineEdit*>(now);
        }
    });
    connect(m_fileedit2, &QLineEdit::textChanged, this, [this] { FieldsChanged(); });
    connect(m_zieledit, &QLineEdit::textChanged, this, [this] { FieldsChanged(); });
    connect(m_okBtn, &QPushButton::clicked, this, [this] { Start(); });
    connect(m_shwbtn, &QPushButton::clicked, this, [this] { ShowResult(); });
    connect(abbruch, &QPushButton::clicked, this, [this] { reject(); });
    m_source->SetFolder(m_context.startFolder.empty() ? QDir::currentPath().toStdString()
                                                      : m_context.startFolder);
    resize(760, 440);
}

TKTX_mth2_dial::~TKTX_mth2_dial() {
    m_source->onChange = nullptr;
    m_source->onPick = nullptr;
    DetachChildrenFrom(this);
}

void TKTX_mth2_dial::SetFolder(const std::string& folder) {
    m_source->SetFolder(folder);
}
void TKTX_mth2_dial::SetSources(const std::string& name1, const std::string& name2) {
    m_source->Fileedit()->setText(Q(name1));
    m_fileedit2->setText(Q(name2));
}
void TKTX_mth2_dial::SetTarget(const std::string& name) {
    m_zieledit->setText(Q(name));
}
void TKTX_mth2_dial::SetFunction(Math2Function f) {
    m_fiRad->button(static_cast<int>(f))->setChecked(true);
}
bool TKTX_mth2_dial::StartEnabled() const {
    return m_okBtn->isEnabled();
}
bool TKTX_mth2_dial::ShowEnabled() const {
    return m_shwbtn->isEnabled();
}
std::string TKTX_mth2_dial::Path(const QString& text) const {
    return m_source->PathOf(text);
}

void TKTX_mth2_dial::FieldsChanged() {
    m_shwbtn->setEnabled(false);
    m_okBtn->setEnabled(false);
    const auto valid = [this](const QLineEdit* field) {
        const std::string text = field->text().toStdString();
        const std::string path = Path(field->text());
        return !text.empty() && !HasWildcard(text) &&
               Q(UpperExtension(path)) == Q(m_source->MaskExtension()).toUpper() && Exists(path);
    };
    if (valid(m_source->Fileedit()) && valid(m_fileedit2)) {
        const std::string target = m_zieledit->text().toStdString();
        const bool named = !target.empty() && !HasWildcard(target);
        m_okBtn->setEnabled(named);
        m_shwbtn->setEnabled(named && Exists(Path(m_zieledit->text())));
    }
}

std::optional<Math2Source> TKTX_mth2_dial::PrepareOne(const std::string& path, int number,
                                                      std::shared_ptr<ScratchFile>& keep) {
    auto prepared = PrepareSource(path, *m_context.notifier, NoProgress());
    if (!prepared) {
        return std::nullopt;
    }
    keep = prepared->scratch;
    const auto layout = DetectSource(prepared->effective);
    if (!layout) {
        return std::nullopt;  // no message, as for any other preparation failure
    }
    std::optional<int> column;
    if (chooseColumn && !OnlyColumn(*layout)) {
        column = chooseColumn(layout->units, number);
    } else {
        column = ColumnOf(*layout, {}, this, QStringLiteral(" CH%1").arg(number));
    }
    if (!column) {
        return std::nullopt;
    }
    return Math2Source{prepared->effective, *layout, *column};
}

void TKTX_mth2_dial::Start() {
    if (m_computing) {
        return;
    }
    Notifier& notifier = *m_context.notifier;
    const std::string text = m_zieledit->text().toStdString();
    const std::string path1 = Path(m_source->Fileedit()->text());
    const std::string path2 = Path(m_fileedit2->text());
    const std::string target = Path(m_zieledit->text());
    if (text.empty() || HasWildcard(text) || UpperExtension(text) != ".KTX" ||
        TargetInsideSource(text, {path1, path2}) || TargetInsideSource(target, {path1, path2})) {
        ShowErrorMsgText(notifier, kMsgInvalidName, text, 0);
        m_zieledit->setFocus();
        return;
    }
    if (Exists(target) && !ConfirmMsgText(notifier, kMsgOverwrite, text, 0)) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::shared_ptr<ScratchFile> keep1;
    std::shared_ptr<ScratchFile> keep2;
    const auto s1 = PrepareOne(path1, 1, keep1);
    const auto s2 = s1 ? PrepareOne(path2, 2, keep2) : std::nullopt;
    QApplication::restoreOverrideCursor();
    if (!s1 || !s2) {
        return;
    }
    m_startlab->setText(QString::number(s1->layout.DataRecords()));
    m_stoplab->setText(QString::number(s2->layout.DataRecords()));
    m_chanlab->setText(QStringLiteral("Ch %1 / Ch %2").arg(s1->column).arg(s2->column));
    Math2Request r;
    r.source1 = *s1;
    r.source2 = *s2;
    r.function = static_cast<Math2Function>(std::max(0, m_fiRad->checkedId()));
    r.target = target;
    r.protectedFiles = {path1, path2, s1->file, s2->file};
    m_computing = true;
    m_abort = false;
    m_okBtn->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    GaugeProgress gauge(m_fgauge);
    m_outcome = RunMath2(r, notifier, gauge, Pump(m_abort));
    QApplication::restoreOverrideCursor();
    m_computing = false;
    m_okBtn->setEnabled(true);
    if (m_outcome.ok) {
        m_shwbtn->setEnabled(true);
    }
    if (m_closeWhenDone) {
        QDialog::reject();
    }
}

void TKTX_mth2_dial::ShowResult() {
    const std::string path = Path(m_zieledit->text());
    if (!Exists(path) || HasWildcard(m_zieledit->text().toStdString())) {
        ShowErrorMsgText(*m_context.notifier, kMsgInvalidName, path, 0);
        return;
    }
    if (CountWaveFile(path) >= kViewRecordLimit) {
        ShowInfoMsg(*m_context.notifier, kMsgTooLong, 0);
        return;
    }
    if (m_context.show) {
        m_context.show(path);
    }
}

void TKTX_mth2_dial::reject() {
    m_abort = true;
    if (m_computing) {
        m_closeWhenDone = true;
        return;
    }
    QDialog::reject();
}

}  // namespace ktx

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <filesystem>

#include "analysis/analysis_commands.h"
#include "app/icons.h"
#include "app/qt_notifier.h"
#include "app/shell_commands.h"
#include "app/splash_form.h"
#include "app/status_line.h"
#include "app/window_arrangement.h"
#include "config/device_file.h"
#include "config/message_catalog.h"
#include "config/notifier.h"
#include "images/image_commands.h"
#include "link/link_commands.h"
#include "tools/acquisition_commands.h"
#include "tools/acquisition_control.h"
#include "tools/measure_commands.h"
#include "tools/logger_commands.h"
#include "view/live_commands.h"
#include "view/view_commands.h"
#include "waveform/waveform_commands.h"

namespace ktx {

namespace {

constexpr int kMsgNoActiveWindow = 304;
constexpr int kMsgNotConnected = 301;
constexpr int kMsgCause = 262;
constexpr int kDualModeType = 9;
constexpr int kHandheldType = 20;
constexpr int kSplashMs = 5000;
// Below this a document window shows nothing useful: a view draws no plot in less than about
// 300 x 180 pixels, and it has a tool bar and a title bar besides.
constexpr QSize kUsableDocument(320, 240);

const char* const kMemo1[] = {
    "Hilfe zur Geräteeinstellung:",
    "",
    "Überprüfen Sie ob das angeschlossene Gerät mit ",
    "dem im Programm eingestellten übereinstimmt. (das ",
    "eingestellte Gerät wird in der Statuszeile ",
    "angezeigt)",
    "--------------------------------------------------",
    "",
    "Überprüfen Sie die Schnittstellen-einstellungen im ",
    "Menü Optionen > RS232 bzw. GPIB",
    "--------------------------------------------------",
    "",
    "Sollte das Gerät weiterhin nicht erkannt werden, ",
    "wählen Sie im Menü Hilfe > Hardwareinfo:",
    "",
    "- Wird eine Gerätekennung angezeigt, ist ",
    "  die Schnittstelleneinstellung in Ordnung und das ",
    "  Problem liegt bei der Geräteauswahl.",
    "",
    "- Wird keine Gerätekennung angezeigt liegt ",
    " das Problem bei der Schnittstelle",
    "",
    "- Überprüfen Sie PC-Interface, Kabel, Oszilloskop !!",
    "- Stellen Sie fest, ob die Schnittstelle von ",
    "  anderen Programmen benutzt wird.",
    "- Benutzen Sie eventl. andere Schnittstellen.",
    "  (COM1 > COM2, GPIB3 > GPIB4)",
};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

TMainForm::TMainForm(ProgramState state, MainFormOptions options, QWidget* parent)
    : QMainWindow(parent),
      m_state(std::move(state)),
      m_options(options),
      m_ownNotifier(options.notifier ? nullptr
                                     : std::make_unique<QtNotifier>(this, m_state.programDir)),
      m_notifier(options.notifier ? *options.notifier : *m_ownNotifier),
      m_transport(m_notifier),
      m_mdi(new QMdiArea(this)),
      m_status(new StatusLine(this)) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Kurvitex 4.8"));
    setWindowIcon(MakeIcon(IconKind::Program));
    setAcceptDrops(true);
    m_state.instrumentChanged = true;

    m_mdi->setObjectName(QStringLiteral("ClientArea"));
    m_mdi->setBackground(QColor(112, 122, 136));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildAcquisitionPanel();
    layout->addWidget(m_steuPanel);
    layout->addWidget(m_mdi, 1);
    setCentralWidget(central);
    statusBar()->addWidget(m_status, 1);
    statusBar()->setSizeGripEnabled(true);

    m_memo1 = new QTextEdit(m_mdi);
    m_memo1->setObjectName(QStringLiteral("Memo1"));
    m_memo1->setReadOnly(true);
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(8);
    m_memo1->setFont(arial);
    QStringList lines;
    for (const char* line : kMemo1) {
        lines << QString::fromUtf8(line);
    }
    m_memo1->setPlainText(lines.join('\n'));
    m_memo1->setGeometry(10, 10, 360, 440);
    m_memo1->hide();

    // Why an exchange failed goes to the status line (through the event loop when a worker
    // thread made the call).
    m_transport.SetFailureCallback([this](const LinkFailure& failure) {
        QMetaObject::invokeMethod(m_status,
                                  [this, text = Q(failure.text)] { m_status->ShowNote(text); });
    });
    BuildMenus();
    BuildToolBar();
    ClaimOwnActions();
    m_shellCommands = std::make_unique<ShellCommands>(*this);
    m_linkCommands = std::make_unique<LinkCommands>(*this);
    m_waveformCommands = std::make_unique<WaveformCommands>(*this);
    m_viewCommands = std::make_unique<ViewCommands>(*this);
    m_analysisCommands = std::make_unique<AnalysisCommands>(*this);
    m_imageCommands = std::make_unique<ImageCommands>(*this, *this);
    m_acquisitionCommands = std::make_unique<AcquisitionCommands>(*this, *this);
    m_measureCommands = std::make_unique<MeasureCommands>(*this, *this);
    m_loggerCommands = std::make_unique<LoggerCommands>(*this);
    m_liveCommands = std::make_unique<LiveCommands>(*this);
    SayNotYetForTheRest();
    connect(m_mdi, &QMdiArea::subWindowActivated, this, [this] { UpdateMenuItems(); });

    // One sixteenth of the screen from the top left corner, seven eighths of its size.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->availableGeometry();
        setGeometry(s.x() + s.width() / 16, s.y() + s.height() / 16, s.width() * 7 / 8,
                    s.height() * 7 / 8);
    }
    Startup();
}

TMainForm::~TMainForm() {
    // Documents refer to the subsystems' commands, which go before the window's children do.
    delete m_mdi;
    m_mdi = nullptr;
    m_transport.CloseLink();
}

// --- construction -----------------------------------------------------------------------------

QAction* TMainForm::AddAction(QMenu* menu, const QString& name, const QString& caption) {
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    if (menu) {
        menu->addAction(a);
    }
    m_actions.insert(name, a);
    return a;
}

QMenu* TMainForm::AddMenu(QMenu* parent, const QString& name, const QString& caption) {
    QMenu* m = parent ? parent->addMenu(caption) : menuBar()->addMenu(caption);
    m->setObjectName(name);
    m_menus.insert(name, m);
    return m;
}

void TMainForm::NotYet(const QString& what) {
    QString text = what;
    text.remove('&');
    m_status->ShowNote(QStringLiteral("„%1“ ist noch nicht verfügbar").arg(text));
}

void TMainForm::BuildMenus() {
    QMenu* datei = AddMenu(nullptr, QStringLiteral("Datei1"), QStringLiteral("&Datei"));
    AddAction(datei, QStringLiteral("Oeffnen1"), QStringLiteral("Ö&ffnen"));
    AddAction(datei, QStringLiteral("Speichern1"), QStringLiteral("&Speichern"));
    AddAction(datei, QStringLiteral("Speichernunter1"), QStringLiteral("Speichern &unter..."));
    AddAction(datei, QStringLiteral("Dateimanager1"), QStringLiteral("Datei&manager"));
    AddAction(datei, QStringLiteral("Drucken1"), QStringLiteral("&Drucken"));
    AddAction(datei, QStringLiteral("Bildabholen1"), QStringLiteral("Bild &abholen"));
    datei->addSeparator();
    AddAction(datei, QStringLiteral("Beenden1"), QStringLiteral("&Beenden"));

    QMenu* waveform = AddMenu(nullptr, QStringLiteral("Waveform1"), QStringLiteral("&Waveform"));
    AddAction(waveform, QStringLiteral("EinlesenWF1"), QStringLiteral("&Einlesen WF"));
    AddAction(waveform, QStringLiteral("AusgebenWF1"), QStringLiteral("&Ausgeben WF"));
    AddAction(waveform, QStringLiteral("EinlesenBild1"), QStringLiteral("Einlesen &Bild"));

    QMenu* fern2 =
        AddMenu(nullptr, QStringLiteral("Fernbedienung2"), QStringLiteral("&Fernbedienung"));
    AddAction(fern2, QStringLiteral("Messbereichswahl1"), QStringLiteral("Messbereichswahl"));
    AddAction(fern2, QStringLiteral("Erfassung1"), QStringLiteral("&Erfassung"));

    QMenu* fern1 =
        AddMenu(nullptr, QStringLiteral("Fernbedienung1"), QStringLiteral("&Fernbedienung"));
    AddAction(fern1, QStringLiteral("Messen1"), QStringLiteral("&Messen"));
    AddAction(fern1, QStringLiteral("Steuerung1"), QStringLiteral("&Steuerung"))
        ->setCheckable(true);
    AddAction(fern1, QStringLiteral("Acquire1"), QStringLiteral("&Acquire"));

    QMenu* tools = AddMenu(nullptr, QStringLiteral("Tools1"), QStringLiteral("&Tools"));
    AddAction(tools, QStringLiteral("Scanner1"), QStringLiteral("&Scanner"));
    AddAction(tools, QStringLiteral("Konvert1"), QStringLiteral("&Konvert"));
    AddAction(tools, QStringLiteral("Viewer1"), QStringLiteral("&Viewer"));
    AddAction(tools, QStringLiteral("Datenlogger1"), QStringLiteral("&Datenlogger"));
    AddAction(tools, QStringLiteral("FFT1"), QStringLiteral("&FFT"));
    QMenu* math = AddMenu(tools, QStringLiteral("Math1"), QStringLiteral("&Math"));
    AddAction(math, QStringLiteral("N1Kanal1"), QStringLiteral("1Kanal"));
    AddAction(math, QStringLiteral("N2Kanal1"), QStringLiteral("2Kanal"));
    AddMenu(tools, QStringLiteral("Application1"), QStringLiteral("&Application"));
    AddAction(tools, QStringLiteral("Live1"), QStringLiteral("Live"));

    QMenu* modus = AddMenu(nullptr, QStringLiteral("Modus1"), QStringLiteral("&Modus"));
    AddAction(modus, QStringLiteral("DMM1"), QStringLiteral("&DMM"))->setCheckable(true);
    AddAction(modus, QStringLiteral("Scope1"), QStringLiteral("&Scope"))->setCheckable(true);

    QMenu* setup = AddMenu(nullptr, QStringLiteral("Setup1"), QStringLiteral("&Setup"));
    AddAction(setup, QStringLiteral("Autosetup1"), QStringLiteral("&Autosetup"));
    AddAction(setup, QStringLiteral("Factorysetup1"), QStringLiteral("&Factorysetup"));
    AddAction(setup, QStringLiteral("EinlesenSetup1"), QStringLiteral("Ein&lesen Setup"));
    AddAction(setup, QStringLiteral("AusgebenSetup1"), QStringLiteral("Aus&geben Setup"));
    AddAction(setup, QStringLiteral("EditSetup1"), QStringLiteral("&Edit Setup"));
    AddAction(setup, QStringLiteral("Telecom1"), QStringLiteral("&Telecom"));

    QMenu* optionen = AddMenu(nullptr, QStringLiteral("Optionen1"), QStringLiteral("&Optionen"));
    AddAction(optionen, QStringLiteral("Geraeteauswahl1"), QStringLiteral("&Geräteauswahl"));
    AddAction(optionen, QStringLiteral("Schnittstellenauswahl1"),
              QStringLiteral("&Schnittstellenauswahl"));
    AddAction(optionen, QStringLiteral("Schnittstelleneinstellungen1"),
              QStringLiteral("Schnittstellen&einstellungen"));
    AddAction(optionen, QStringLiteral("Farbezulassen1"), QStringLiteral("&Farbe zulassen"))
        ->setCheckable(true);
    AddAction(optionen, QStringLiteral("Drucker1"), QStringLiteral("&Drucker"));
    AddAction(optionen, QStringLiteral("Test1"), QStringLiteral("&Test"))->setVisible(false);
    // The hidden menu item keeps its shortcut through an action of the window itself.
    QAction* testKey = AddAction(nullptr, QStringLiteral("TestKey"), QStringLiteral("&Test"));
    testKey->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F1));
    addAction(testKey);

    BuildWindowMenu();

    QMenu* hilfe = AddMenu(nullptr, QStringLiteral("Hilfe1"), QStringLiteral("&Hilfe"));
    AddAction(hilfe, QStringLiteral("Hardwareinfo1"), QStringLiteral("&Hardwareinfo"));
    AddAction(hilfe, QStringLiteral("UeberKurvitex1"), QStringLiteral("&Über Kurvitex"));
    AddAction(hilfe, QStringLiteral("Hilfe2"), QStringLiteral("H&ilfe"))
        ->setShortcut(QKeySequence::HelpContents);
}

void TMainForm::BuildWindowMenu() {
    QMenu* fenster = AddMenu(nullptr, QStringLiteral("Fenster1"), QStringLiteral("&Fenster"));
    AddAction(fenster, QStringLiteral("Ueberlappend1"), QStringLiteral("Ü&berlappend"));
    AddAction(fenster, QStringLiteral("Nebeneinander1"), QStringLiteral("&Nebeneinander"));
    AddAction(fenster, QStringLiteral("Symbolanordnen1"), QStringLiteral("&Symbole anordnen"));
    AddAction(fenster, QStringLiteral("Alleverkleinern1"), QStringLiteral("&Alle verkleinern"));
    fenster->addSeparator();
    connect(fenster, &QMenu::aboutToShow, this, [this, fenster] {
        // The window list follows the four commands.
        const auto actions = fenster->actions();
        for (int i = 5; i < actions.size(); ++i) {
            fenster->removeAction(actions[i]);
            actions[i]->deleteLater();
        }
        int n = 1;
        for (QMdiSubWindow* w : m_mdi->subWindowList()) {
            QAction* a =
                fenster->addAction(QStringLiteral("&%1 %2").arg(n++).arg(w->windowTitle()));
            a->setCheckable(true);
            a->setChecked(w == m_mdi->activeSubWindow());
            connect(a, &QAction::triggered, m_mdi, [this, w] { m_mdi->setActiveSubWindow(w); });
        }
    });
}

void TMainForm::Claim(const QString& actionName, std::function<void()> handler) {
    QAction* action = m_actions.value(actionName);
    if (action == nullptr) {
        qWarning("no action %s to claim", qPrintable(actionName));
        return;
    }
    m_claimed.insert(actionName);
    connect(action, &QAction::triggered, this, std::move(handler));
}

void TMainForm::ClaimOwnActions() {
    Claim(QStringLiteral("Speichern1"), [this] { WithActiveChild(&KtxChildWindow::SaveYourself); });
    Claim(QStringLiteral("Speichernunter1"),
          [this] { WithActiveChild(&KtxChildWindow::SaveYourself); });
    Claim(QStringLiteral("Copybutton"), [this] { WithActiveChild(&KtxChildWindow::CopyYourself); });
    Claim(QStringLiteral("Bildabholen1"), [this] { FetchPicture(); });
    Claim(QStringLiteral("Beenden1"), [this] { close(); });
    // Not QMdiArea's own tiling and cascading: its tiler enlarges the main window until every
    // document has its minimum size side by side, its cascade shrinks documents to their size
    // hint (a title bar and a tool bar).
    Claim(QStringLiteral("Ueberlappend1"), [this] { ArrangeDocuments(false); });
    Claim(QStringLiteral("Nebeneinander1"), [this] { ArrangeDocuments(true); });
    Claim(QStringLiteral("Symbolanordnen1"), [this] { ArrangeIcons(); });
    Claim(QStringLiteral("Alleverkleinern1"), [this] { MinimiseAll(); });
}

void TMainForm::SayNotYetForTheRest() {
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        if (!m_claimed.contains(it.key())) {
            QAction* a = it.value();
            connect(a, &QAction::triggered, this, [this, a] { NotYet(a->text()); });
        }
    }
}

void TMainForm::BuildToolBar() {
    m_speedPanel = addToolBar(QStringLiteral("SpeedPanel"));
    m_speedPanel->setObjectName(QStringLiteral("SpeedPanel"));
    m_speedPanel->setMovable(false);
    m_speedPanel->setIconSize(QSize(24, 24));
    struct Button {
        const char* name;
        const char* hint;
        IconKind icon;
        const char* same;  // the menu action it runs, if any
    };
    const Button buttons[] = {
        {"OpenBtn", "Datei öffnen", IconKind::Open, "Oeffnen1"},
        {"SaveBtn", "Speichern", IconKind::Save, "Speichernunter1"},
        {"dman_button", "Dateimanager", IconKind::FileManager, "Dateimanager1"},
        {"Druckbutton", "Drucken", IconKind::Print, "Drucken1"},
        {"Copybutton", "Copy", IconKind::Copy, nullptr},
        {nullptr, nullptr, IconKind::Open, nullptr},
        {"Get_button", "Bild Holen", IconKind::FetchPicture, "Bildabholen1"},
        {"view_button", "Viewer", IconKind::Viewer, "Viewer1"},
        {"Messen", "Messen", IconKind::Measure, "Messen1"},
        {"Log_butt", "Datenlogger", IconKind::Logger, "Datenlogger1"},
        {"Scan_but", "Scanner", IconKind::Scanner, "Scanner1"},
        {nullptr, nullptr, IconKind::Open, nullptr},
        {"fftButton", "FFT", IconKind::Fft, "FFT1"},
        {"M1button", "Mathematik 1Kanal", IconKind::Math1, "N1Kanal1"},
        {"M2Button", "Mathematik 2Kanal", IconKind::Math2, "N2Kanal1"},
        {nullptr, nullptr, IconKind::Open, nullptr},
        {"Steu_button", "Steuerung E/A", IconKind::ControlOff, "Steuerung1"},
    };
    for (const Button& b : buttons) {
        if (!b.name) {
            m_speedPanel->addSeparator();
            continue;
        }
        QAction* a = AddAction(nullptr, QString::fromUtf8(b.name), QString::fromUtf8(b.hint));
        a->setIcon(MakeIcon(b.icon));
        a->setToolTip(QString::fromUtf8(b.hint));
        m_speedPanel->addAction(a);
        if (b.same) {
            QAction* target = m_actions.value(QString::fromUtf8(b.same));
            connect(a, &QAction::triggered, target, &QAction::trigger);
            m_claimed.insert(a->objectName());
        }
    }
    m_actions.value(QStringLiteral("view_button"))->setEnabled(false);
}

void TMainForm::BuildAcquisitionPanel() {
    m_steuPanel = new QWidget(this);
    m_steuPanel->setObjectName(QStringLiteral("Steu_panel"));
    auto* layout = new QHBoxLayout(m_steuPanel);
    layout->setContentsMargins(4, 2, 4, 2);
    struct Button {
        const char* name;
        const char* caption;
        IconKind icon;
    };
    for (const Button& b : {Button{"Single_button", "Single", IconKind::Single},
                            Button{"Run_button", "RUN", IconKind::Run},
                            Button{"Dauer_button", "Dauer", IconKind::Continuous},
                            Button{"Stop_button", "Stop", IconKind::Stop}}) {
        QAction* a = AddAction(nullptr, QString::fromUtf8(b.name), QString::fromUtf8(b.caption));
        a->setIcon(MakeIcon(b.icon));
        auto* button = new QToolButton(m_steuPanel);
        button->setDefaultAction(a);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        layout->addWidget(button);
    }
    layout->addStretch(1);
    m_actions.value(QStringLiteral("Stop_button"))->setEnabled(false);
    m_steuPanel->hide();
}

// --- start-up ----------------------------------------------------------------------------------

void TMainForm::Startup() {
    if (m_state.linkType > 0) {
        QLabel init(QStringLiteral("Initialisierung der Schnittstelle"), nullptr,
                    Qt::Tool | Qt::FramelessWindowHint);
        init.setAlignment(Qt::AlignCenter);
        init.setFrameStyle(QFrame::Box);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect s = screen->geometry();
            init.setGeometry(s.width() / 2 - 150, s.height() / 2 - 40, 220, 30);
        }
        if (m_options.showSplash) {
            init.show();
            QApplication::processEvents();
        }
        // Handheld instruments keep their serial settings in their own definition file.
        const std::string config =
            m_state.deviceType == kHandheldType ? m_state.deviceIniFile : m_state.iniFileName;
        TransferCursorScope busy;
        m_transport.OpenLink(
            {m_state.programDir, m_state.linkLibrary, m_state.linkType, m_state.deviceType}, false,
            config);
    }
    ApplyDeviceMenus();
    m_actions.value(QStringLiteral("view_button"))->setEnabled(true);
    m_shellCommands->BuildApplicationMenu(*m_menus.value(QStringLiteral("Application1")));
    UpdateMenuItems();
    ShowStatus();
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_firstActivation) {
        m_firstActivation = false;
        QTimer::singleShot(0, this, [this] { FirstActivation(); });
    }
}

void TMainForm::FirstActivation() {
    if (m_options.showSplash) {
        QPixmap picture = LoadCifPicture(m_state.programDir);
        if (picture.isNull()) {
            picture = SplashPicture();
        }
        m_splash = new SplashForm(picture, this);
        m_splash->setAttribute(Qt::WA_DeleteOnClose);
        m_splash->onClosed = [this] { m_splash = nullptr; };
        m_splash->move(geometry().center() - m_splash->rect().center());
        m_splash->show();
        QTimer::singleShot(kSplashMs, this, [this] {
            m_splashWait = false;
            if (m_splash) {
                m_splash->close();
                m_splash = nullptr;
            }
        });
    } else {
        m_splashWait = false;
    }
    CheckInstrument();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    m_transport.CloseLink();
    QMainWindow::closeEvent(event);
}

// --- instrument presence
// --------------------------------------------------------------------------

void TMainForm::CheckInstrument() {
    Presence presence;
    {
        TransferCursorScope busy;
        presence = CheckInstrumentPresence(m_transport, m_state.deviceType,
                                           ReadDeviceName(m_state.deviceIniFile));
    }
    switch (presence) {
        case Presence::NotAsked:
            break;
        case Presence::Connected:
            m_state.deviceConnected = true;
            if (m_state.deviceType == kDualModeType) {
                ReadDisplayMode();
                ApplyDeviceMenus();
            }
            break;
        case Presence::WrongDevice:
            m_state.deviceConnected = true;
            NotConnected();
            break;
        case Presence::NotConnected:
            m_state.deviceConnected = false;
            NotConnected();
            break;
    }
    ApplyConnectionState();
}

void TMainForm::NotConnected() {
    // Let the splash have its few seconds before the message covers it.
    while (m_splashWait && m_splash) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    if (m_splash) {
        m_splash->close();
        m_splash = nullptr;
    }
    const QString help = m_memo1->toPlainText();
    if (const LinkFailure failure = m_transport.LastFailure(); failure.Known()) {
        m_memo1->append(QStringLiteral("\n%1 %2").arg(
            Q(std::string(MessageCatalog::Message(kMsgCause))), Q(failure.text)));
    }
    m_memo1->show();
    m_memo1->raise();
    ShowInfoMsg(m_notifier, kMsgNotConnected, 0);
    m_memo1->hide();
    m_memo1->setPlainText(help);
}

void TMainForm::ReadDisplayMode() {
    if (ktx::ReadDisplayMode(m_transport, m_notifier, m_state.operatingMode)) {
        ShowStatus();
    }
}

// --- menu state
// -------------------------------------------------------------------------------------

void TMainForm::ApplyMenuState() {
    QMdiSubWindow* active = m_mdi->activeSubWindow();
    const KtxChildWindow* child = ActiveChild();
    const MenuState m = ComputeMenuState(m_state, static_cast<int>(m_mdi->subWindowList().size()),
                                         active && child && child->IsImageWindow());
    auto menuVisible = [this](const char* name, bool visible) {
        m_menus.value(QString::fromUtf8(name))->menuAction()->setVisible(visible);
    };
    auto menuEnabled = [this](const char* name, bool enabled) {
        m_menus.value(QString::fromUtf8(name))->menuAction()->setEnabled(enabled);
    };
    auto visible = [this](const char* name, bool v) {
        m_actions.value(QString::fromUtf8(name))->setVisible(v);
    };
    auto enabled = [this](const char* name, bool e) {
        m_actions.value(QString::fromUtf8(name))->setEnabled(e);
    };

    menuVisible("Modus1", m.modusVisible);
    menuVisible("Fernbedienung1", m.remoteScopeVisible);
    menuVisible("Fernbedienung2", m.remoteMeterVisible);
    visible("Scanner1", m.scannerVisible);
    menuVisible("Setup1", m.setupVisible);
    menuVisible("Waveform1", m.waveformVisible);
    visible("Erfassung1", m.erfassungVisible);
    visible("Telecom1", m.telecomVisible);

    for (const char* name : {"Optionen1", "Datei1", "Tools1"}) {
        menuEnabled(name, m.optionsEnabled);
    }
    for (const char* name : {"fftButton", "M1button", "M2Button"}) {
        enabled(name, m.optionsEnabled);
    }
    visible("Speichern1", m.saveVisible);
    visible("Speichernunter1", m.saveAsVisible);
    for (const char* name :
         {"Speichernunter1", "Drucken1", "SaveBtn", "Druckbutton", "Copybutton", "Ueberlappend1",
          "Nebeneinander1", "Symbolanordnen1", "Alleverkleinern1"}) {
        enabled(name, m.childCommandsEnabled);
    }
    visible("Steu_button", m.controlButtonVisible);
    enabled("Farbezulassen1", m.colourEnabled);
    m_actions.value(QStringLiteral("Farbezulassen1"))->setChecked(m.colourChecked);

    for (const char* name : {"Setup1", "Waveform1", "Fernbedienung1", "Fernbedienung2", "Modus1"}) {
        menuEnabled(name, m.instrumentMenusEnabled);
    }
    for (const char* name :
         {"Scanner1", "Datenlogger1", "Log_butt", "Messen", "Get_button", "Bildabholen1"}) {
        enabled(name, m.instrumentMenusEnabled);
    }
    enabled("Scan_but", m.scanButtonEnabled);
    enabled("Steu_button", m.controlButtonEnabled);
}

void TMainForm::ApplyDeviceMenus() {
    // A maximised or minimised document would hide the menu changes behind its own state.
    if (QMdiSubWindow* w = m_mdi->activeSubWindow(); w && (w->isMaximized() || w->isMinimized())) {
        w->showNormal();
    }
    ApplyMenuState();
}

void TMainForm::UpdateMenuItems() {
    if (!m_state.colourCapable) {
        m_state.colourEnabled = false;
    }
    ApplyMenuState();
}

void TMainForm::ApplyConnectionState() {
    ApplyMenuState();
}

void TMainForm::ShowStatus() {
    m_status->SetDeviceText(Q(DeviceStatusText(ReadDeviceName(m_state.deviceIniFile),
                                               m_state.deviceType, m_state.operatingMode)));
    m_status->SetInterfaceText(
        Q(InterfaceStatusText(m_state.linkLibrary, m_state.linkType, m_transport.LinkPort())));
    m_actions.value(QStringLiteral("Scope1"))
        ->setChecked(m_state.operatingMode == kModeOscilloscope);
    m_actions.value(QStringLiteral("DMM1"))->setChecked(m_state.operatingMode == kModeMultimeter);
}

// --- children
// -----------------------------------------------------------------------------------------

KtxChildWindow* TMainForm::ActiveChild() const {
    QMdiSubWindow* w = m_mdi->activeSubWindow();
    return w ? dynamic_cast<KtxChildWindow*>(w->widget()) : nullptr;
}

void TMainForm::WithActiveChild(void (KtxChildWindow::*call)()) {
    if (KtxChildWindow* child = ActiveChild()) {
        (child->*call)();
    } else {
        ShowInfoMsg(m_notifier, kMsgNoActiveWindow, 0);
    }
}

void TMainForm::FetchPicture() {
    m_imageCommands->FetchScreenPicture();
}

void TMainForm::SetStatusText(const std::string& text) {
    m_status->SetTimeText(Q(text));
    m_status->repaint();
}

QMdiSubWindow* TMainForm::AddDocument(QWidget* child, IconKind icon) {
    QMdiSubWindow* window = m_mdi->addSubWindow(child);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(MakeIcon(icon));
    // The frame goes with its document, whoever closes the document.
    connect(child, &QObject::destroyed, window, [window] { window->close(); });
    int open = 0;
    for (const QMdiSubWindow* w : m_mdi->subWindowList()) {
        open += w != window && w->isVisible() && !w->isMinimized() ? 1 : 0;
    }
    // Placed before it is shown, so the area does not place it (at its old size) itself.
    window->setGeometry(
        NewDocumentRect(m_mdi->viewport()->size(), open, UsableDocumentSize(), DocumentStep()));
    window->show();
    UpdateMenuItems();
    return window;
}

void TMainForm::OpenFileByExtension(const std::string& fileName) {
    m_viewCommands->OpenFile(fileName);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void TMainForm::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            OpenFileByExtension(url.toLocalFile().toStdString());
        }
    }
}

ProgressSink& TMainForm::Progress() {
    return *m_status;
}

void TMainForm::ImageWindowClosing() {
    m_imageCommands->ImageWindowClosing();
}

// --- the window menu
// ---------------------------------------------------------------------------------------

QSize TMainForm::UsableDocumentSize() const {
    QSize usable = kUsableDocument;
    for (const QMdiSubWindow* w : m_mdi->subWindowList()) {
        usable = usable.expandedTo(w->minimumSizeHint());
    }
    return usable;
}

int TMainForm::DocumentStep() const {
    // One title bar and a little: each title of a stack stays readable.
    return m_mdi->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, m_mdi) + 4;
}

void TMainForm::ArrangeDocuments(bool tile) {
    // Tiled in the order they were opened; cascaded with the front one last, on top.
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* w :
         m_mdi->subWindowList(tile ? QMdiArea::CreationOrder : QMdiArea::StackingOrder)) {
        if (w->isVisible() && !w->isMinimized()) {
            if (w->isMaximized()) {
                w->showNormal();
            }
            windows << w;
        }
    }
    const QSize area = m_mdi->viewport()->size();
    const std::vector<QRect> rects =
        tile ? TileRects(area, static_cast<int>(windows.size()), UsableDocumentSize())
             : CascadeRects(area, static_cast<int>(windows.size()), UsableDocumentSize(),
                            DocumentStep());
    for (std::size_t i = 0; i < rects.size(); ++i) {
        windows[static_cast<int>(i)]->setGeometry(rects[i]);
        if (!tile) {
            windows[static_cast<int>(i)]->raise();
        }
    }
}

void TMainForm::MinimiseAll() {
    const auto windows = m_mdi->subWindowList();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        (*it)->showMinimized();
    }
}

void TMainForm::ArrangeIcons() {
    // Minimised documents line up along the bottom edge of the client area.
    int x = 0;
    for (QMdiSubWindow* w : m_mdi->subWindowList()) {
        if (w->isMinimized()) {
            w->move(x, m_mdi->viewport()->height() - w->height());
            x += w->width();
        }
    }
}

}  // namespace ktx

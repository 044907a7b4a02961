// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>

#include "app/icons.h"
#include "app/info_dialogs.h"
#include "app/link_dialogs.h"
#include "app/qt_notifier.h"
#include "app/select_instrument_dialog.h"
#include "app/splash_form.h"
#include "app/status_line.h"
#include "config/device_file.h"
#include "config/instrument_list.h"
#include "config/message_catalog.h"
#include "config/notifier.h"
#include "config/profile_file.h"
#include "waveform/file_dialogs.h"
#include "waveform/waveform_import.h"
#include "waveform/waveform_transfer.h"

namespace ktx {

namespace {

constexpr int kMsgNoActiveWindow = 304;
constexpr int kMsgNotConnected = 301;
constexpr int kMsgCause = 262;
constexpr int kMsgModeNotRead = 39;
constexpr int kMsgIniNotWritten = 16;
constexpr int kDualModeType = 9;
constexpr int kHandheldType = 20;
constexpr int kSplashMs = 5000;

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
    auto notYet = [this](QAction* a) {
        connect(a, &QAction::triggered, this, [this, a] { NotYet(a->text()); });
    };

    QMenu* datei = AddMenu(nullptr, QStringLiteral("Datei1"), QStringLiteral("&Datei"));
    notYet(AddAction(datei, QStringLiteral("Oeffnen1"), QStringLiteral("Ö&ffnen")));
    connect(AddAction(datei, QStringLiteral("Speichern1"), QStringLiteral("&Speichern")),
            &QAction::triggered, this, [this] { WithActiveChild(&KtxChildWindow::SaveYourself); });
    connect(
        AddAction(datei, QStringLiteral("Speichernunter1"), QStringLiteral("Speichern &unter...")),
        &QAction::triggered, this, [this] { WithActiveChild(&KtxChildWindow::SaveYourself); });
    notYet(AddAction(datei, QStringLiteral("Dateimanager1"), QStringLiteral("Datei&manager")));
    connect(AddAction(datei, QStringLiteral("Drucken1"), QStringLiteral("&Drucken")),
            &QAction::triggered, this, [this] { PrintActive(); });
    connect(AddAction(datei, QStringLiteral("Bildabholen1"), QStringLiteral("Bild &abholen")),
            &QAction::triggered, this, [this] { FetchPicture(); });
    datei->addSeparator();
    QAction* quit = AddAction(datei, QStringLiteral("Beenden1"), QStringLiteral("&Beenden"));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* waveform = AddMenu(nullptr, QStringLiteral("Waveform1"), QStringLiteral("&Waveform"));
    connect(AddAction(waveform, QStringLiteral("EinlesenWF1"), QStringLiteral("&Einlesen WF")),
            &QAction::triggered, this, [this] { TransferWaveform(kModeRead); });
    connect(AddAction(waveform, QStringLiteral("AusgebenWF1"), QStringLiteral("&Ausgeben WF")),
            &QAction::triggered, this, [this] { TransferWaveform(kModeWrite); });
    notYet(AddAction(waveform, QStringLiteral("EinlesenBild1"), QStringLiteral("Einlesen &Bild")));

    QMenu* fern2 =
        AddMenu(nullptr, QStringLiteral("Fernbedienung2"), QStringLiteral("&Fernbedienung"));
    notYet(
        AddAction(fern2, QStringLiteral("Messbereichswahl1"), QStringLiteral("Messbereichswahl")));
    notYet(AddAction(fern2, QStringLiteral("Erfassung1"), QStringLiteral("&Erfassung")));

    QMenu* fern1 =
        AddMenu(nullptr, QStringLiteral("Fernbedienung1"), QStringLiteral("&Fernbedienung"));
    notYet(AddAction(fern1, QStringLiteral("Messen1"), QStringLiteral("&Messen")));
    QAction* steuerung =
        AddAction(fern1, QStringLiteral("Steuerung1"), QStringLiteral("&Steuerung"));
    steuerung->setCheckable(true);
    connect(steuerung, &QAction::triggered, this, [this, steuerung] {
        steuerung->setChecked(m_state.controlMode);
        NotYet(steuerung->text());
    });
    notYet(AddAction(fern1, QStringLiteral("Acquire1"), QStringLiteral("&Acquire")));

    QMenu* tools = AddMenu(nullptr, QStringLiteral("Tools1"), QStringLiteral("&Tools"));
    notYet(AddAction(tools, QStringLiteral("Scanner1"), QStringLiteral("&Scanner")));
    notYet(AddAction(tools, QStringLiteral("Konvert1"), QStringLiteral("&Konvert")));
    connect(AddAction(tools, QStringLiteral("Viewer1"), QStringLiteral("&Viewer")),
            &QAction::triggered, this, [this] { ShowViewer(); });
    notYet(AddAction(tools, QStringLiteral("Datenlogger1"), QStringLiteral("&Datenlogger")));
    notYet(AddAction(tools, QStringLiteral("FFT1"), QStringLiteral("&FFT")));
    QMenu* math = AddMenu(tools, QStringLiteral("Math1"), QStringLiteral("&Math"));
    notYet(AddAction(math, QStringLiteral("N1Kanal1"), QStringLiteral("1Kanal")));
    notYet(AddAction(math, QStringLiteral("N2Kanal1"), QStringLiteral("2Kanal")));
    AddMenu(tools, QStringLiteral("Application1"), QStringLiteral("&Application"));
    notYet(AddAction(tools, QStringLiteral("Live1"), QStringLiteral("Live")));

    QMenu* modus = AddMenu(nullptr, QStringLiteral("Modus1"), QStringLiteral("&Modus"));
    QAction* dmm = AddAction(modus, QStringLiteral("DMM1"), QStringLiteral("&DMM"));
    QAction* scope = AddAction(modus, QStringLiteral("Scope1"), QStringLiteral("&Scope"));
    for (QAction* a : {dmm, scope}) {
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, a] {
            ShowStatus();  // keeps the check mark on the mode in force
            NotYet(a->text());
        });
    }

    QMenu* setup = AddMenu(nullptr, QStringLiteral("Setup1"), QStringLiteral("&Setup"));
    notYet(AddAction(setup, QStringLiteral("Autosetup1"), QStringLiteral("&Autosetup")));
    notYet(AddAction(setup, QStringLiteral("Factorysetup1"), QStringLiteral("&Factorysetup")));
    notYet(AddAction(setup, QStringLiteral("EinlesenSetup1"), QStringLiteral("Ein&lesen Setup")));
    notYet(AddAction(setup, QStringLiteral("AusgebenSetup1"), QStringLiteral("Aus&geben Setup")));
    notYet(AddAction(setup, QStringLiteral("EditSetup1"), QStringLiteral("&Edit Setup")));
    notYet(AddAction(setup, QStringLiteral("Telecom1"), QStringLiteral("&Telecom")));

    QMenu* optionen = AddMenu(nullptr, QStringLiteral("Optionen1"), QStringLiteral("&Optionen"));
    connect(
        AddAction(optionen, QStringLiteral("Geraeteauswahl1"), QStringLiteral("&Geräteauswahl")),
        &QAction::triggered, this, [this] { SelectInstrument(); });
    connect(AddAction(optionen, QStringLiteral("Schnittstellenauswahl1"),
                      QStringLiteral("&Schnittstellenauswahl")),
            &QAction::triggered, this, [this] { SelectInterface(); });
    connect(AddAction(optionen, QStringLiteral("Schnittstelleneinstellungen1"),
                      QStringLiteral("Schnittstellen&einstellungen")),
            &QAction::triggered, this, [this] { InterfaceSettings(); });
    QAction* farbe =
        AddAction(optionen, QStringLiteral("Farbezulassen1"), QStringLiteral("&Farbe zulassen"));
    farbe->setCheckable(true);
    connect(farbe, &QAction::triggered, this, [this] { ToggleColour(); });
    connect(AddAction(optionen, QStringLiteral("Drucker1"), QStringLiteral("&Drucker")),
            &QAction::triggered, this, [this] { PrinterSetup(); });
    QAction* test = AddAction(optionen, QStringLiteral("Test1"), QStringLiteral("&Test"));
    test->setVisible(false);
    // The hidden menu item keeps its shortcut through an action of the window itself.
    QAction* testKey = AddAction(nullptr, QStringLiteral("TestKey"), QStringLiteral("&Test"));
    testKey->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F1));
    addAction(testKey);
    for (QAction* a : {test, testKey}) {
        connect(a, &QAction::triggered, this, [this] { ShowTestDialog(); });
    }

    QMenu* fenster = AddMenu(nullptr, QStringLiteral("Fenster1"), QStringLiteral("&Fenster"));
    connect(AddAction(fenster, QStringLiteral("Ueberlappend1"), QStringLiteral("Ü&berlappend")),
            &QAction::triggered, m_mdi, &QMdiArea::cascadeSubWindows);
    connect(AddAction(fenster, QStringLiteral("Nebeneinander1"), QStringLiteral("&Nebeneinander")),
            &QAction::triggered, m_mdi, &QMdiArea::tileSubWindows);
    connect(
        AddAction(fenster, QStringLiteral("Symbolanordnen1"), QStringLiteral("&Symbole anordnen")),
        &QAction::triggered, this, [this] { ArrangeIcons(); });
    connect(
        AddAction(fenster, QStringLiteral("Alleverkleinern1"), QStringLiteral("&Alle verkleinern")),
        &QAction::triggered, this, [this] { MinimiseAll(); });
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

    QMenu* hilfe = AddMenu(nullptr, QStringLiteral("Hilfe1"), QStringLiteral("&Hilfe"));
    connect(AddAction(hilfe, QStringLiteral("Hardwareinfo1"), QStringLiteral("&Hardwareinfo")),
            &QAction::triggered, this, [this] { ShowHardwareInfo(); });
    connect(AddAction(hilfe, QStringLiteral("UeberKurvitex1"), QStringLiteral("&Über Kurvitex")),
            &QAction::triggered, this, [this] { ShowAbout(); });
    QAction* help = AddAction(hilfe, QStringLiteral("Hilfe2"), QStringLiteral("H&ilfe"));
    help->setShortcut(QKeySequence::HelpContents);
    connect(help, &QAction::triggered, this, [this] { ShowHelp(); });
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
        }
    }
    connect(m_actions.value(QStringLiteral("Copybutton")), &QAction::triggered, this,
            [this] { WithActiveChild(&KtxChildWindow::CopyYourself); });
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
        connect(a, &QAction::triggered, this, [this, a] { NotYet(a->text()); });
    }
    layout->addStretch(1);
    m_actions.value(QStringLiteral("Stop_button"))->setEnabled(false);
    m_steuPanel->hide();
}

void TMainForm::BuildApplicationMenu() {
    QMenu* menu = m_menus.value(QStringLiteral("Application1"));
    menu->clear();
    m_appEntries = ReadAppEntries(ProfileFile(m_state.iniFileName));
    for (std::size_t i = 0; i < m_appEntries.size(); ++i) {
        QAction* a = menu->addAction(Q(m_appEntries[i].caption));
        connect(a, &QAction::triggered, this, [this, i] {
            const QString path = Q(m_appEntries[i].path);
            const QFileInfo info(path);
            // Programs start in the program folder; documents and folders open with the
            // desktop's default application.
            if (info.isFile() && info.isExecutable()) {
                QProcess::startDetached(path, {}, Q(m_state.programDir));
            } else {
                QDesktopServices::openUrl(QUrl::fromLocalFile(path));
            }
        });
    }
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
    BuildApplicationMenu();
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
    const std::string answer = m_transport.Query("DIS:MOD?");
    if (answer.find("SCO") != std::string::npos) {
        m_state.operatingMode = kModeOscilloscope;
    } else if (answer.find("MET") != std::string::npos) {
        m_state.operatingMode = kModeMultimeter;
    } else {
        ShowErrorMsg(m_notifier, kMsgModeNotRead, 4);
        return;
    }
    ShowStatus();
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
    NotYet(QStringLiteral("Bild abholen"));
}

ViewFiles TMainForm::Files() const {
    const auto dir = std::filesystem::path(m_state.programDir);
    return ViewFiles{m_state.compressionFile,
                     {(dir / "ktx_tmp2.ktx").string(), (dir / "ktx_tmp3.ktx").string()}};
}

void TMainForm::SetStatusText(const std::string& text) {
    m_status->SetTimeText(Q(text));
    m_status->repaint();
}

bool TMainForm::OpenView(const ViewSetup& setup) {
    auto* view = new Tktxview(*this, m_notifier, Files());
    if (!view->Open(setup)) {
        return false;  // the view has said why and deletes itself
    }
    QMdiSubWindow* window = m_mdi->addSubWindow(view);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(MakeIcon(IconKind::Viewer));
    // The frame goes with its view, whoever closes the view.
    connect(view, &QObject::destroyed, window, [window] { window->close(); });
    window->resize(m_mdi->viewport()->size() * 3 / 4);
    window->show();
    UpdateMenuItems();
    return true;
}

void TMainForm::OpenFileByExtension(const std::string& fileName) {
    const ImportOutcome outcome =
        ImportWaveformFile(fileName, m_state.conversionFile, m_notifier, *m_status);
    switch (outcome.kind) {
        case ImportKind::Waveform:
        case ImportKind::Converted: {
            const auto status = [this](const std::string& t) { SetStatusText(t); };
            const auto setup = PlanDisplay(outcome.viewFile, fileName, outcome.sampleAxis,
                                           m_state.compressionFile, *m_status, m_notifier, status);
            if (setup) {
                OpenView(*setup);
            }
            break;
        }
        case ImportKind::OtherView:
            NotYet(QStringLiteral("Anzeige von %1").arg(Q(fileName)));
            break;
        case ImportKind::Failed:
        case ImportKind::Ignored:
            break;
    }
}

bool TMainForm::RequestRange(const RangeRequest& request) {
    const auto status = [this](const std::string& t) { SetStatusText(t); };
    const RangeResult result =
        HandleRangeRequest(request, m_state.compressionFile, *m_status, m_notifier, status);
    if (result.view) {
        OpenView(*result.view);
    }
    return result.ok;
}

void TMainForm::RequestRecompression(const RecompressionRequest& request) {
    const auto status = [this](const std::string& t) { SetStatusText(t); };
    if (const auto setup =
            HandleRecompression(request, m_state.compressionFile, *m_status, m_notifier, status)) {
        OpenView(*setup);
    }
}

void TMainForm::TransferWaveform(int mode) {
    TKTX_file_dial dialog(mode, m_state.deviceType, m_state.deviceIniFile, m_showAfterReading,
                          m_notifier, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const TransferRequest request = dialog.Request();
    if (mode == kModeRead) {
        m_showAfterReading = request.show;
    }
    TransferContext context = MakeTransferContext(m_state);
    context.openInView = [this](const std::string& file) { OpenFileByExtension(file); };
    context.status = [this](const std::string& text) { SetStatusText(text); };
    TransferCursorScope busy;
    if (mode == kModeRead) {
        ReadWaveforms(request, m_transport, context, m_notifier, *m_status);
    } else {
        WriteWaveform(request, m_transport, context, m_notifier, *m_status);
    }
}

void TMainForm::ShowViewer() {
    static const char* const kViewerFilter =
        "Kurvitex Dateien (*.ktx)|*.ktx|FFT Dateien (*.fft)|*.fft|MTH Dateien (*.mth)|*.mth|"
        "Wfm Dateien (*.wfm)|*.wfm|Isf Dateien (*.isf)|*.isf|Csv Dateien (*.csv) TDS 1000 "
        "2000|*.csv|Text Dateien Tab (*.txt) TDS 5000|*.txt";
    // The "description|mask" pairs become Qt's "description (masks)" entries; the upper-case
    // mask is added because instruments write upper-case names.
    QStringList filters;
    const QStringList parts = QString::fromUtf8(kViewerFilter).split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        filters << QStringLiteral("%1 (%2 %3)").arg(parts[i], parts[i + 1], parts[i + 1].toUpper());
    }
    QFileDialog dialog(this, QStringLiteral("Datei anzeigen"));
    dialog.setObjectName(QStringLiteral("Viewdialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    OpenFileByExtension(dialog.selectedFiles().front().toStdString());
}

void TMainForm::PrintActive() {
    QMdiSubWindow* w = m_mdi->activeSubWindow();
    if (auto* view = w ? dynamic_cast<Tktxview*>(w->widget()) : nullptr) {
        if (!m_printer) {
            m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        }
        view->PrintTo(*m_printer);
        return;
    }
    WithActiveChild(&KtxChildWindow::PrintYourself);
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

void TMainForm::ImageWindowClosing() {}

// --- options
// ------------------------------------------------------------------------------------------

void TMainForm::ToggleColour() {
    m_state.colourEnabled = !m_state.colourEnabled;
    m_actions.value(QStringLiteral("Farbezulassen1"))->setChecked(m_state.colourEnabled);
    if (!ProfileFile(m_state.iniFileName)
             .WriteString("COLOR", "ENABLE", m_state.colourEnabled ? "1" : "0")) {
        ShowErrorMsg(m_notifier, kMsgIniNotWritten, 0);
    }
}

void TMainForm::SelectInterface() {
    const auto entries = ReadInterfaceEntries(ProfileFile(m_state.iniFileName),
                                              ReadInterfaces(m_state.deviceIniFile));
    Tsel_ss dialog(entries, PreselectedInterface(entries, m_state.linkLibrary), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const int chosen = dialog.Selected();
    m_state.linkType = chosen >= 0 ? entries[chosen].kinds : 0;
    m_state.linkLibrary = chosen >= 0 ? entries[chosen].library : std::string();
    ProfileFile ini(m_state.iniFileName);
    if (!ini.WriteString("TRANSFER", "SS_TYPE", std::to_string(m_state.linkType)) ||
        !ini.WriteString("TRANSFER", "DLL_NAME", m_state.linkLibrary)) {
        ShowErrorMsg(m_notifier, kMsgIniNotWritten, 0);
    }
    InterfaceSettings();
}

void TMainForm::InterfaceSettings() {
    m_transport.CloseLink();
    {
        if (m_state.deviceType != kHandheldType) {
            TransferCursorScope busy;
            m_transport.OpenLink(
                {m_state.programDir, m_state.linkLibrary, m_state.linkType, m_state.deviceType},
                true, m_state.iniFileName);
        } else {
            const std::string config =
                ProfileFile(m_state.iniFileName).ReadString("RS232", "CONFIG", "");
            Tcomform dialog(ComPortOf(config), this);
            dialog.exec();
            if (dialog.Port() > 0 && !WriteComPort(m_state.deviceIniFile, dialog.Port())) {
                ShowErrorMsg(m_notifier, kMsgIniNotWritten, 0);
            }
            TransferCursorScope busy;
            m_transport.OpenLink(
                {m_state.programDir, m_state.linkLibrary, m_state.linkType, m_state.deviceType},
                false, m_state.deviceIniFile);
        }
    }
    UpdateMenuItems();
    CheckInstrument();
    ShowStatus();
}

void TMainForm::SelectInstrument() {
    const auto entries = ListInstruments(m_state.programDir);
    std::vector<std::string> names;
    for (const InstrumentEntry& e : entries) {
        names.push_back(e.name);
    }
    Tsel_oszi dialog(names, PreselectedInstrument(entries, ReadDeviceName(m_state.deviceIniFile)),
                     this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const int row = dialog.Selected();
    const InstrumentSelection selection = ApplyInstrumentSelection(
        row >= 0 ? entries[row].path : std::string(), m_state.iniFileName, m_notifier);
    if (selection.accepted) {
        m_state.deviceIniFile = selection.deviceIniFile;
        m_state.deviceType = selection.deviceType;
        m_transport.SetDeviceType(selection.deviceType);
    }
    // Recomputed whether or not the file was accepted; the link is not reopened.
    const InstrumentState after = StateAfterSelection(m_state.deviceIniFile, m_state.deviceType,
                                                      m_state.linkType, m_state.iniFileName);
    m_state.operatingMode = after.operatingMode;
    m_state.linkType = after.linkType;
    m_state.pictureFormat = after.pictureFormat;
    m_state.pictureExt = after.pictureExt;
    m_state.colourCapable = after.colourCapable;
    ShowStatus();
    CheckInstrument();
    ApplyDeviceMenus();
    m_state.instrumentChanged = true;
}

void TMainForm::ShowTestDialog() {
    TTestSS dialog(
        [this](const std::string& command) {
            TransferCursorScope busy;
            return m_transport.Query(command);
        },
        this);
    dialog.exec();
}

void TMainForm::ShowHardwareInfo() {
    std::string answer;
    {
        TransferCursorScope busy;
        if (m_state.deviceType == kHandheldType) {
            answer = m_transport.Query("!V?");
            answer = answer.size() > 4 ? answer.substr(4) : std::string();
        } else {
            answer = m_transport.Query("*IDN?");
        }
    }
    TInfodlg dialog(Q(answer), this);
    dialog.exec();
}

void TMainForm::ShowAbout() {
    TAboutDlg dialog(this);
    dialog.exec();
}

void TMainForm::ShowHelp() {
    const auto page = std::filesystem::path(m_state.programDir) / "help" / "index.html";
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(page.string())));
}

void TMainForm::PrinterSetup() {
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setWindowTitle(QStringLiteral("Drucker einrichten"));
    dialog.exec();
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

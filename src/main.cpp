// SPDX-License-Identifier: GPL-3.0-or-later
// The kurvitex executable.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <cstring>
#include <exception>
#include <iostream>

#include "app/application_setup.h"
#include "app/main_form.h"
#include "app/qt_notifier.h"
#include "config/notifier.h"
#include "config/program_state.h"
#include "config/user_home.h"

namespace {

constexpr int kMsgException = 32;
constexpr int kHelpException = 21;
constexpr int kMsgWriteError = 41;

// Every exception that reaches the event loop is shown (message 32) and the program goes on.
class KtxApplication final : public QApplication {
  public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            Report(e.what());
        } catch (...) {
            Report("unbekannt");
        }
        return false;
    }

  private:
    void Report(const char* what) {
        while (overrideCursor()) {
            restoreOverrideCursor();
        }
        ktx::QtNotifier notifier(activeWindow());
        ktx::ShowErrorMsgText(notifier, kMsgException, what, kHelpException);
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Answered before a window system is needed: packaging checks and scripts ask it headless.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "kurvitex " << KTX_VERSION << '\n';
            return 0;
        }
    }
    KtxApplication app(argc, argv);
    ktx::SetUpApplication(app);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kurvitex: Oszilloskop am PC"));
    parser.addHelpOption();
    const QCommandLineOption homeOption(QStringLiteral("home"),
                                        QStringLiteral("Programmordner (kurvitex.ini, Driver/)"),
                                        QStringLiteral("ORDNER"));
    parser.addOption(homeOption);
    parser.addPositionalArgument(QStringLiteral("dateien"),
                                 QStringLiteral("Kurvendateien, die geöffnet werden (.ktx, .wfm, "
                                                ".isf, .csv, .txt)"),
                                 QStringLiteral("[DATEI...]"));
    parser.process(app);

    QString home = QApplication::applicationDirPath();
    std::string homeError;
    if (const QByteArray env = qgetenv("KURVITEX_HOME"); !env.isEmpty()) {
        home = QString::fromLocal8Bit(env);
    } else if (!parser.isSet(homeOption)) {
        // An installed program folder is not the user's to write: settings, scratch files and
        // data then live in the user's data folder.
        home = QString::fromStdString(ktx::ChooseProgramHome(home.toStdString(), homeError));
    }
    if (parser.isSet(homeOption)) {
        home = parser.value(homeOption);
    }
    if (!homeError.empty()) {
        ktx::QtNotifier notifier(nullptr);
        ktx::ShowErrorMsgText(notifier, kMsgWriteError, homeError, 0);
    }
    ktx::TMainForm form(ktx::ReadStartupState(QDir(home).absolutePath().toStdString()));
    form.show();
    for (const QString& file : parser.positionalArguments()) {
        form.OpenFileByExtension(QFileInfo(file).absoluteFilePath().toStdString());
    }
    return QApplication::exec();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The kurvitex executable.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <exception>

#include "app/application_setup.h"
#include "app/main_form.h"
#include "app/qt_notifier.h"
#include "config/notifier.h"
#include "config/program_state.h"

namespace {

constexpr int kMsgException = 32;
constexpr int kHelpException = 21;

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
    if (const QByteArray env = qgetenv("KURVITEX_HOME"); !env.isEmpty()) {
        home = QString::fromLocal8Bit(env);
    }
    if (parser.isSet(homeOption)) {
        home = parser.value(homeOption);
    }
    ktx::TMainForm form(ktx::ReadStartupState(QDir(home).absolutePath().toStdString()));
    form.show();
    for (const QString& file : parser.positionalArguments()) {
        form.OpenFileByExtension(QFileInfo(file).absoluteFilePath().toStdString());
    }
    return QApplication::exec();
}

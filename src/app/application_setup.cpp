// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application_setup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace ktx {

bool SetUpApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("KTX 4.8"));
    // Qt's catalogue where Qt was installed (Debian: qt6-translations-l10n), else a
    // "translations" folder beside the executable, as an installation on Windows has it.
    auto* translator = new QTranslator(&app);
    for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                  QApplication::applicationDirPath() + "/translations"}) {
        if (translator->load(QStringLiteral("qtbase_de"), folder)) {
            return QApplication::installTranslator(translator);
        }
    }
    delete translator;
    return false;
}

}  // namespace ktx

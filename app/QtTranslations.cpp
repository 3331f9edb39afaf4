#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QTranslator* installQtTranslations(QCoreApplication& app, QString* error) {
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ru"), dir) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        if (error)
            *error = QStringLiteral("Qt's Russian translations (qtbase_ru.qm) are not in %1").arg(dir);
        return nullptr;
    }
    return translator;
}

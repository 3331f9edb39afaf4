#pragma once

#include <QString>

class QCoreApplication;
class QTranslator;

// The toolkit's own texts (the standard buttons of message boxes, the dialogs' captions) in
// Russian, like every other text of the station, whatever the system's language: Qt's
// qtbase_ru from the system's Qt translations. Returns the installed translator (owned by
// app), or null with the reason when they are not installed; the station then runs with the
// toolkit's English texts.
QTranslator* installQtTranslations(QCoreApplication& app, QString* error = nullptr);

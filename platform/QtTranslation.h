#pragma once
// The texts Qt draws itself (standard buttons, the file dialog, the context menu of a text
// field) in German, like every text of the program, whatever language the system speaks.

#include <QString>

class QTranslator;

namespace platform {

// Where Debian's qt6-translations-l10n puts Qt's catalogues.
QString qtTranslationsFolder();

// Loads Qt's German catalogue from the folder and installs it in the running application,
// which owns it. nullptr when the catalogue is missing or unreadable: Qt's texts then stay
// English, which is no reason to keep the program from starting.
QTranslator* installQtTranslation(const QString& folder = qtTranslationsFolder());

} // namespace platform

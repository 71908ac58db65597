#ifndef TRANSLATIONS_H
#define TRANSLATIONS_H

#include <QStringList>

class QCoreApplication;

// Where vemo looks for its catalogues (vemo_<language>.qm): next to the
// program (the installed share/vemo/translations, or its mirror in the build
// tree), then the directory it was configured to be installed to.
QStringList translationDirectories();

// Installs into 'application' the catalogue for the user's languages
// (QLocale(), the system's unless set), and Qt's own for the same language;
// none is needed for English, the source language, nor found for an
// unsupported one, and the texts then stay English. Returns whether vemo's
// catalogue was loaded.
bool installTranslations(QCoreApplication *application);

#endif

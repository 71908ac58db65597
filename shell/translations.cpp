#include "translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QStringList translationDirectories()
{
    // Relative first, so a package installed under any prefix finds its own.
    QStringList result;
    result << QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/')
                              + QLatin1String(VEMO_TRANSLATIONS_RELATIVE));
    const QString configured = QDir::cleanPath(QStringLiteral(VEMO_TRANSLATIONS_INSTALLED));
    if (!result.contains(configured))
        result << configured;
    return result;
}

// Qt's own texts (the buttons of its dialogs) in the language vemo speaks,
// from where the distribution puts Qt's catalogues; English without them.
static void installQtTranslations(QCoreApplication *application, const QString &language)
{
    auto *translator = new QTranslator(application);
    if (!translator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator))
        delete translator;
}

bool installTranslations(QCoreApplication *application)
{
    auto *translator = new QTranslator(application);
    for (const QString &directory : translationDirectories()) {
        if (translator->load(QLocale(), QStringLiteral("vemo"), QStringLiteral("_"), directory)
            && QCoreApplication::installTranslator(translator)) {
            installQtTranslations(application, translator->language());
            return true;
        }
    }
    delete translator;
    return false;
}

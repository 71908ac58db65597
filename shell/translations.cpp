#include "translations.h"

#include <QCoreApplication>
#include <QDir>
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

bool installTranslations(QCoreApplication *application)
{
    auto *translator = new QTranslator(application);
    for (const QString &directory : translationDirectories()) {
        if (translator->load(QLocale::system(), QStringLiteral("vemo"), QStringLiteral("_"), directory)
            && QCoreApplication::installTranslator(translator))
            return true;
    }
    delete translator;
    return false;
}

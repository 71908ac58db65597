#include "applicationfactory.h"
#include "commandline.h"
#include "processkey.h"
#include "qcontent.h"
#include "qperformancelog.h"
#include "qtopiaapplication.h"
#include "secret.h"
#include "serverurl.h"
#include "startscreen.h"
#include "translations.h"
#include "vemo.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMap>
#include <QMetaObject>
#include <QScopeGuard>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <optional>

typedef QMap<QString, ApplicationFactory> ApplicationFactoryMap;

// Created by whichever comes first, a registration or main, so the order of
// static initialisation does not matter. Never destroyed.
static ApplicationFactoryMap *applicationFactories = nullptr;

static ApplicationFactoryMap &factoryMap()
{
    if (!applicationFactories)
        applicationFactories = new ApplicationFactoryMap;
    return *applicationFactories;
}

void registerApplication(const char *name, ApplicationFactory factory)
{
    factoryMap().insert(QString::fromLatin1(name), factory);
}

QWidget *createMainWindow(QWidget *parent, Qt::WindowFlags flags)
{
    if (StartScreen::wanted())
        return new StartScreen(parent, flags);
    return new Vemo(parent, flags);
}

// Test builds bring their own applications instead.
#ifndef VEMO_NO_BUILTIN_APPLICATION
static const bool vemoRegistered = (registerApplication("vemo", createMainWindow), true);
#endif

// Handed to the platform, which may write the process's key into it.
static char processKey[] = "vemo-process-key--";
static_assert(sizeof(processKey) == 19, "the key holds 18 characters and a NUL");

static void logPerformance(const QString &applicationName, const QString &message)
{
    QPerformanceLog(QString::fromLatin1(applicationName.toLatin1())) << message;
}

static const char *sourceFileName()
{
    const char *slash = std::strrchr(__FILE__, '/');
    return slash ? slash + 1 : __FILE__;
}

static void warnDocumentSystem(int line)
{
    qWarning("WARNING: Cannot change document system connection type in file %s line %d ",
             sourceFileName(), line);
}

static ApplicationFactory chooseFactory(const QString &applicationName)
{
    const ApplicationFactoryMap &map = factoryMap();
    const auto exact = map.constFind(applicationName);
    if (exact != map.constEnd())
        return exact.value();
    return map.isEmpty() ? nullptr : map.first();
}

// Returns whether the program should go on; 'exitCode' is set otherwise.
static bool handleArguments(int argc, char **argv, int *exitCode)
{
    QStringList given;
    const auto forget = qScopeGuard([&given] {
        for (QString &argument : given)
            Secret::wipe(argument);
    });
    for (int i = 0; i < argc && argv[i]; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    // Before anything can print the command line; 'given' keeps the passwords.
    scrubPasswords(argc, argv);
    setSavedServerLookup(StartScreen::isStartName);
    CommandLine commandLine = readCommandLine(given);
    // The platform's application object comes too late for these answers: a
    // plain one carries their translation, and the texts are made again.
    std::optional<QCoreApplication> messages;
    if (commandLine.outcome != CommandLine::Run) {
        messages.emplace(argc, argv);
        installTranslations(&*messages);
        commandLine = readCommandLine(given);
    }
    const QString program = QString::fromLocal8Bit(argc > 0 && argv[0] ? argv[0] : "vemo");
    switch (commandLine.outcome) {
    case CommandLine::Help:
        std::fputs(usageText(program).toLocal8Bit().constData(), stdout);
        *exitCode = 0;
        return false;
    case CommandLine::Version:
        std::printf("%s\n", versionText().toLocal8Bit().constData());
        *exitCode = 0;
        return false;
    case CommandLine::Error:
        std::fprintf(stderr, "%s: %s\n%s\n", qPrintable(program), commandLine.error.toLocal8Bit().constData(),
                     tryHelpText(program).toLocal8Bit().constData());
        *exitCode = 2;
        return false;
    case CommandLine::Run:
        break;
    }
    // QT_LOGGING_RULES still has the last word.
    if (commandLine.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("vemo.*.debug=true"));
    if (!commandLine.url.isEmpty())
        Vemo::setServerUrl(commandLine.url);
    Vemo::setConnectionOptions(commandLine.options);
    Vemo::setWindowOptions(commandLine.window);
    StartScreen::setCommandLine(commandLine);
    return true;
}

int main(int argc, char **argv)
{
    int exitCode = -1;
    if (!handleArguments(argc, argv, &exitCode))
        return exitCode;
    const char *argv0 = argc > 0 && argv[0] ? argv[0] : "";

    checkAndSetProcessKey(processKey, argv0);

    const QString invokedAs = QString::fromLatin1(argv0);
    QString applicationName = invokedAs.mid(invokedAs.lastIndexOf(QLatin1Char('/')) + 1);

    logPerformance(applicationName, QStringLiteral("Starting main()"));
    {
        QtopiaApplication application(argc, argv);
        installTranslations(&application);

        // On one line, so that the warning names the line of the check.
        if (!QContent::setDocumentSystemConnection(QContent::DocumentSystemClient)) warnDocumentSystem(__LINE__);

        const ApplicationFactory factory = chooseFactory(applicationName);
        QWidget *mainWidget = factory ? factory(nullptr, Qt::WindowFlags()) : nullptr;
        if (mainWidget) {
            application.setMainWidget(mainWidget, false);
            if (mainWidget->metaObject()->indexOfSlot("setDocument(QString)") != -1)
                application.showMainDocumentWidget();
            else
                application.showMainWidget();

            logPerformance(applicationName, QStringLiteral("Entering event loop"));
            exitCode = application.exec();
            logPerformance(applicationName, QStringLiteral("Exited event loop"));

            delete mainWidget;
            logPerformance(applicationName, QStringLiteral("Exiting main"));
        }
    }
    applicationName.clear();
    return exitCode;
}

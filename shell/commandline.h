#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "connectionoptions.h"

#include <QString>
#include <QStringList>
#include <QUrl>

// The command line: vemo [OPTIONS] [URL [QUALITY]], the options before or
// after the URL, and Qt's own options (-platform NAME and the like) anywhere
// among them; Qt reads those later from the same arguments. Read before any
// application object exists, so that --help works without a display.
struct CommandLine {
    enum Outcome { Run, Help, Error };

    Outcome outcome = Run;
    QUrl url;                  // empty when no URL was given
    ConnectionOptions options; // quality Medium unless given; the files named are read
    QString error;             // for Error: what is wrong, for the user
};

// 'arguments' starts with the program name, as argv does.
CommandLine readCommandLine(const QStringList &arguments);
// Every option with a line on what it does, in the user's language.
QString usageText(const QString &program);
// The hint printed after a refused command line.
QString tryHelpText(const QString &program);

#endif

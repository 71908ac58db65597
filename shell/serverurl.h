#ifndef SERVERURL_H
#define SERVERURL_H

#include <QString>
#include <QUrl>

// The command line: vemo [URL [QUALITY]], where URL is
// vnc://[:password@]host[:port]. The quality is read by the view itself.
struct StartupArguments {
    enum Outcome { Run, Help, Error };

    Outcome outcome = Run;
    QUrl url;       // empty when no URL was given
    QString error;  // for Error: what is wrong, for the user
};

StartupArguments readStartupArguments(int argc, char **argv);
QString usageText(const QString &program);
// The hint printed after a refused command line.
QString tryHelpText(const QString &program);

// Accepts only vnc://[:password@]host[:port][/]; on failure says why.
bool parseServerUrl(const QString &text, QUrl *url, QString *error);

// host:port as the user gave it, for titles and messages; never the password.
QString displayAddress(const QUrl &url);

// Overwrites, in place, the password of a vnc:// URL in a command-line
// argument, so that other users cannot read it from the process list.
// Returns whether there was one.
bool scrubPassword(char *argument);

#endif

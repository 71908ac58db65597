#ifndef SERVERURL_H
#define SERVERURL_H

#include <QString>
#include <QUrl>

// Server addresses on the command line: vnc://[[user][:password]@]host[:port],
// or as people type them: host, host:DISPLAY, host::PORT, [IPv6]:DISPLAY,
// [IPv6]::PORT.

// Accepts those forms (a URL with an optional "/"), all as a vnc:// URL
// whose port follows the URL's rule; on failure says why.
bool parseServerUrl(const QString &text, QUrl *url, QString *error);

// host:port as the user gave it, for titles and messages; never the user
// name or the password.
QString displayAddress(const QUrl &url);

// Overwrites, in place, the password of a vnc:// URL in a command-line
// argument, so that other users cannot read it from the process list.
// The user name stays. Returns whether there was a password.
bool scrubPassword(char *argument);
// The same for every argument after the program name.
void scrubPasswords(int argc, char **argv);

#endif

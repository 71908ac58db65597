#ifndef CONNECTIONOPTIONS_H
#define CONNECTIONOPTIONS_H

#include "quality.h"
#include "secret.h"

#include <QList>
#include <QString>

// How to reach and sign in to one server, as the user gave it on the
// command line. Secrets in here are never logged.
struct ConnectionOptions
{
    // Unknown: the quality given after the URL in the program's arguments.
    Quality quality = Quality::Unknown;
    QString userName;  // for the Plain types; from the URL
    QString password;  // from the URL or --passwd; null when not given
    QString caFile;    // --x509ca: the authorities to trust instead of the system's
    QList<quint32> securityTypes; // --security; empty: every type vemo can complete
    QString via;        // --via [user@]gateway[:port]: through an SSH tunnel; empty: directly
    QString repeaterId; // --repeater-id: the host and port are a repeater's; empty: none

    ~ConnectionOptions() { Secret::wipe(password); }
};

#endif

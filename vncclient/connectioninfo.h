#ifndef CONNECTIONINFO_H
#define CONNECTIONINFO_H

#include "autoquality.h"
#include "serveridentity.h"

#include <QSize>
#include <QString>
#include <QStringList>

// What the connection-information view shows: a snapshot the connection
// thread fills under its lock, copied out by VncClientThread::connectionInfo().
// Figures only: the view words them.
struct ConnectionInfo
{
    bool connected = false;
    QString host; // as connected to (after a tunnel: the server beyond it)
    int port = 0;
    QString desktopName;
    int protocolMajor = 0;
    int protocolMinor = 0;
    int securityType = 0; // the RFB security type number; VeNCrypt's subtype below
    int securitySubtype = 0;
    bool encrypted = false;
    ServerIdentity identity = ServerIdentity::Unproven;
    bool tunnelled = false;
    QSize desktopSize;
    int bitsPerPixel = 0;
    int depth = 0;
    // The rectangle encodings the server has used, by name ("tight", "JPEG", "copyrect", ...).
    QStringList encodingsUsed;
    bool continuousUpdates = false;

    Quality quality = Quality::Auto; // the user's choice
    EncodingChoice choice; // in effect
    AutoQuality::Reason reason = AutoQuality::Reason::NotMeasured; // when Auto
    int lineSpeedKbps = -1;
    int roundTripMs = -1;
    double updatesPerSecond = 0; // over the last few seconds
    double bytesPerSecond = 0;
};

#endif

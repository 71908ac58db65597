#ifndef HANDSHAKE_H
#define HANDSHAKE_H

#include <QList>
#include <QString>

#include <rfb/rfbclient.h>

class SessionHost;
class TlsChannel;

struct HandshakeSettings
{
    QString server; // as the user named it: certificates are checked against it
    int port = 0;
    QString userName;
    QString caFile;
    QList<quint32> securityTypes; // empty: every type vemo can complete
};

// The RFB greeting up to the server's init message: protocol version, the
// choice of a security type (our order of preference, VeNCrypt sub-types
// included), TLS, authentication, ClientInit and ServerInit. It reads and
// writes through the library, so that what follows finds the client as
// libvncclient's own handshake would leave it.
class Handshake
{
public:
    Handshake(rfbClient *client, SessionHost &host, TlsChannel &tls, const HandshakeSettings &settings);
    bool run();

    bool encrypted() const { return tlsUsed; }

private:
    bool exchangeVersion();
    bool negotiateSecurity();
    bool readTypeList(QList<quint32> *offered);
    bool authenticate(quint32 type);
    bool veNCrypt();
    bool anonymousTls();
    bool vncAuthentication();
    bool plainAuthentication();
    bool securityResult();
    bool initialise();
    bool noCommonType(const QList<quint32> &offered);
    void readReason();

    bool read(void *data, unsigned length);
    bool write(const void *data, unsigned length);
    bool readU8(quint8 *value);
    bool readU32(quint32 *value);

    rfbClient *client;
    SessionHost &host;
    TlsChannel &tls;
    const HandshakeSettings &settings;
    const QString storeKey;
    const QByteArray trusted; // the fingerprint the user trusted for this server
    QList<quint32> preferred;
    bool tlsUsed = false;
};

#endif

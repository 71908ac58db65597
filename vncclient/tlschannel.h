#ifndef TLSCHANNEL_H
#define TLSCHANNEL_H

#include "serveridentity.h"

#include <QString>

#include <rfb/rfbclient.h>

class SessionHost;

// The TLS layer under an RFB session. start() runs the handshake on the
// client's socket and checks the server's certificate; from then on the
// library reads and writes through the session it finds in the client.
class TlsChannel
{
public:
    enum Kind { Anonymous, Certificate };

    TlsChannel() = default;
    ~TlsChannel();
    TlsChannel(const TlsChannel &) = delete;
    TlsChannel &operator=(const TlsChannel &) = delete;

    // 'server' is the host the user named; 'caFile' the authorities to
    // trust instead of the system's, if not empty. On failure the host has
    // been told why.
    bool start(rfbClient *client, Kind kind, const QString &server, int port, const QString &caFile,
               SessionHost &host);
    ServerIdentity identity() const { return proven; }
    // Tells the server the session ends, waiting at most 'ms' for the socket.
    void close(rfbClient *client, int ms);
    // The credentials outlive the library's session; free them after it.
    void release();

private:
    bool handshake(void *session, int sock, SessionHost &host);
    bool checkCertificate(void *session, const QString &server, int port, const QString &caFile,
                          SessionHost &host);

    void *anonymousCredentials = nullptr;
    void *certificateCredentials = nullptr;
    ServerIdentity proven = ServerIdentity::Unproven;
};

#endif

#ifndef SSHTUNNEL_H
#define SSHTUNNEL_H

#include "sshgateway.h"

#include <QString>

struct VemoSshModule;
class SessionHost;

// Reaches a VNC server through an SSH gateway (--via). The tunnel itself,
// with libssh, lives in vemo's SSH module, loaded the first time a tunnel
// is made; without it every tunnel fails with a message saying so. The
// session speaks RFB over one end of a socket pair; a tunnel that breaks
// closes that socket: the session sees a lost connection.
class SshTunnel
{
public:
    using Gateway = SshGateway;
    // "[user@]gateway[:port]", an IPv6 address in brackets.
    static bool parseGateway(const QString &via, Gateway *gateway);

    explicit SshTunnel(SessionHost &host);
    ~SshTunnel();
    SshTunnel(const SshTunnel &) = delete;
    SshTunnel &operator=(const SshTunnel &) = delete;

    // Opens the tunnel to 'server':'port' as the gateway sees them. Returns
    // the session's end, a non-blocking socket the caller owns, or -1 once
    // the host was told why (nothing when it was asked to stop).
    int open(const QString &via, const QString &server, int port, int timeoutMs);
    // From any thread: ends a connection attempt or the copying at once.
    void interrupt();
    // Whether the tunnel broke on the gateway's side (not by the session's
    // own end or interrupt()).
    bool lost() const;

private:
    SessionHost &host;
    const VemoSshModule *module; // null: the module could not be loaded
    void *tunnel = nullptr;      // the module's
};

#endif

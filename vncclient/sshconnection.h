#ifndef SSHCONNECTION_H
#define SSHCONNECTION_H

#include "sshgateway.h"

#include <QString>

#include <libssh/callbacks.h>
#include <libssh/libssh.h>

#include <atomic>
#include <thread>

class SessionHost;

// The tunnel inside vemo's SSH module (sshmodule.h; SshTunnel is its face
// to the connection thread). Reaches a VNC server through an SSH gateway:
// one SSH connection, signed in as OpenSSH users expect (agent, keys in
// ~/.ssh, then a password), the gateway's key checked against
// ~/.ssh/known_hosts, and a direct-tcpip channel to the server. The session
// speaks RFB over one end of a socket pair; a thread of the tunnel's own
// copies bytes between the other end and the channel. A tunnel that breaks
// closes that socket: the session sees a lost connection.
class SshConnection
{
public:
    using Gateway = SshGateway;

    explicit SshConnection(SessionHost &host);
    ~SshConnection();
    SshConnection(const SshConnection &) = delete;
    SshConnection &operator=(const SshConnection &) = delete;

    // Opens the tunnel to 'server':'port' as the gateway sees them. Returns
    // the session's end, a non-blocking socket the caller owns, or -1 once
    // the host was told why (nothing when it was asked to stop).
    int open(const Gateway &gateway, const QString &server, int port, int timeoutMs);
    // From any thread: ends a connection attempt or the copying at once.
    void interrupt();
    // Whether the tunnel broke on the gateway's side (not by the session's
    // own end or interrupt()).
    bool lost() const { return broken; }

private:
    bool connectGateway(const Gateway &gateway, int timeoutMs);
    bool checkHostKey();
    bool rememberHostKey(const QString &knownHosts);
    bool signIn();
    bool askSecret(const QString &prompt, QByteArray *answer);
    void pump();
    QString gatewayName() const;
    QString knownHostsName() const;
    QString sshDirectory() const;

    SessionHost &host;
    QString gatewayHost; // as resolved through ~/.ssh/config
    unsigned int gatewayPort = 22;
    ssh_session ssh = nullptr;
    ssh_channel channel = nullptr;
    ssh_callbacks_struct callbacks = {}; // the session keeps a pointer
    std::atomic<int> gatewayFd{-1};
    int tunnelEnd = -1;  // the pump's end of the socket pair
    int stopEvent = -1;  // wakes the pump
    std::atomic<bool> stopping{false};
    std::atomic<bool> broken{false};
    bool cancelled = false; // the user declined a passphrase or password
    std::thread pumpThread;

    static int passphraseHook(const char *prompt, char *buffer, size_t length, int echo, int verify,
                              void *self);
};

#endif

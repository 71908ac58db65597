#ifndef SSHMODULE_H
#define SSHMODULE_H

// Between vemo and its SSH module (vemo-ssh.so), which holds the tunnel and
// with it libssh and OpenSSL: a session that uses no tunnel never maps them.
// The module exports one C function, found by name with dlsym; everything
// else goes through the table it returns. Text crosses as UTF-8.

class SessionHost;

extern "C" {
struct VemoSshModule
{
    // The vemo version the module was built with and the revision of this
    // table: a module from another build is refused rather than called.
    const char *build;
    // A tunnel for one connection attempt; the host is told why it failed.
    void *(*create)(SessionHost *host);
    // Ends the copying and frees the tunnel.
    void (*destroy)(void *tunnel);
    // As SshTunnel::open, with the gateway already parsed ('user' may be
    // empty, 'gatewayPort' 0).
    int (*open)(void *tunnel, const char *user, const char *host, int gatewayPort, const char *server, int port,
                int timeoutMs);
    void (*interrupt)(void *tunnel);
    int (*lost)(const void *tunnel);
};

typedef const VemoSshModule *(*VemoSshModuleEntry)(void);
}

#define VEMO_SSH_MODULE_ENTRY "vemo_ssh_module"
#define VEMO_SSH_MODULE_FILE "vemo-ssh.so"
// Raised with every change to the table above or to SessionHost.
#define VEMO_SSH_MODULE_REVISION "1"

#endif

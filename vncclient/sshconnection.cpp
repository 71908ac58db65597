#include "sshconnection.h"

#include "connector.h"
#include "diagnostics.h"
#include "secret.h"
#include "sessionhost.h"
#include "sshmodule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
// The catalogue knows these texts as the tunnel's.
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(SshTunnel)
};

// libssh's blocking calls give up after this long; interrupt() ends them sooner.
constexpr long sshTimeoutSeconds = 15;
constexpr size_t chunk = 32768;

QString libraryError(ssh_session ssh)
{
    return QString::fromUtf8(ssh_get_error(ssh)).trimmed();
}
} // namespace

SshConnection::SshConnection(SessionHost &host) : host(host)
{
    stopEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

SshConnection::~SshConnection()
{
    interrupt();
    if (pumpThread.joinable())
        pumpThread.join();
    if (channel)
        ssh_channel_free(channel);
    if (ssh) {
        // The gateway is told goodbye without waiting on it.
        ssh_set_blocking(ssh, 0);
        ssh_disconnect(ssh);
        ssh_free(ssh);
    }
    if (gatewayFd >= 0)
        close(gatewayFd);
    if (tunnelEnd >= 0)
        close(tunnelEnd);
    if (stopEvent >= 0)
        close(stopEvent);
}

void SshConnection::interrupt()
{
    stopping = true;
    if (stopEvent >= 0)
        eventfd_write(stopEvent, 1);
    // A blocking libssh call ends when its socket does.
    const int fd = gatewayFd;
    if (fd >= 0)
        shutdown(fd, SHUT_RDWR);
}

QString SshConnection::sshDirectory() const
{
    // $HOME, as OpenSSH uses, rather than the password database's entry.
    return QDir::homePath() + QStringLiteral("/.ssh");
}

QString SshConnection::gatewayName() const
{
    if (gatewayPort == 22)
        return gatewayHost;
    const QString name = gatewayHost.contains(QLatin1Char(':')) ? QLatin1Char('[') + gatewayHost + QLatin1Char(']')
                                                                 : gatewayHost;
    return name + QLatin1Char(':') + QString::number(gatewayPort);
}

// The gateway as known_hosts names it.
QString SshConnection::knownHostsName() const
{
    return gatewayPort == 22 ? gatewayHost
                             : QStringLiteral("[%1]:%2").arg(gatewayHost).arg(gatewayPort);
}

int SshConnection::open(const Gateway &gateway, const QString &server, int port, int timeoutMs)
{
    if (!connectGateway(gateway, timeoutMs) || !checkHostKey() || !signIn())
        return -1;
    channel = ssh_channel_new(ssh);
    if (!channel || ssh_channel_open_forward(channel, server.toUtf8().constData(), port, "127.0.0.1", 0) != SSH_OK) {
        if (!stopping)
            host.fail(Messages::tr("The SSH gateway %1 could not reach the VNC server %2 port %3 (%4). Check the "
                                   "server's address as the gateway sees it (localhost is the gateway itself) "
                                   "and that the server runs.")
                          .arg(gatewayName(), server)
                          .arg(port)
                          .arg(libraryError(ssh)));
        return -1;
    }
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        host.fail(Messages::tr("The SSH tunnel could not be set up (%1).")
                      .arg(QString::fromLocal8Bit(strerror(errno))));
        return -1;
    }
    tunnelEnd = ends[1];
    fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    fcntl(tunnelEnd, F_SETFL, fcntl(tunnelEnd, F_GETFL) | O_NONBLOCK);
    pumpThread = std::thread([this] { pump(); });
    return ends[0];
}

bool SshConnection::connectGateway(const Gateway &gateway, int timeoutMs)
{
    ssh = ssh_new();
    if (!ssh) {
        host.fail(Messages::tr("The SSH tunnel could not be set up (out of memory)."));
        return false;
    }
    const QByteArray directory = QFile::encodeName(sshDirectory());
    ssh_options_set(ssh, SSH_OPTIONS_HOST, gateway.host.toUtf8().constData());
    ssh_options_set(ssh, SSH_OPTIONS_SSH_DIR, directory.constData());
    ssh_options_set(ssh, SSH_OPTIONS_KNOWNHOSTS, (directory + "/known_hosts").constData());
    // ~/.ssh/config may name the user, port and real host name; the
    // gateway's own user and port win.
    ssh_options_parse_config(ssh, (directory + "/config").constData());
    if (!gateway.user.isEmpty())
        ssh_options_set(ssh, SSH_OPTIONS_USER, gateway.user.toUtf8().constData());
    if (gateway.port > 0)
        ssh_options_set(ssh, SSH_OPTIONS_PORT, &gateway.port);
    const long timeout = sshTimeoutSeconds;
    ssh_options_set(ssh, SSH_OPTIONS_TIMEOUT, &timeout);

    char *address = nullptr;
    ssh_options_get(ssh, SSH_OPTIONS_HOST, &address);
    unsigned int port = 22;
    ssh_options_get_port(ssh, &port);
    const QByteArray name(address ? address : "");
    ssh_string_free_char(address);
    gatewayHost = QString::fromUtf8(name);
    gatewayPort = port;

    // The TCP part through the cancellable connector; libssh gets a copy.
    const int wakeFd = host.wakeDescriptor();
    const Connector::Result tcp = Connector::connectToServer(name, int(port), timeoutMs, wakeFd, [this] {
        return stopping || host.stopRequested();
    });
    if (tcp.fd < 0) {
        if (tcp.cancelled)
            return false;
        qCDebug(lcSession) << "gateway:" << tcp.error;
        host.fail(tcp.notFound ? Messages::tr("The SSH gateway %1 was not found. Check its name in --via and the "
                                              "network.").arg(gatewayName())
                               : Messages::tr("The SSH gateway %1 could not be reached (%2). Check its name and port "
                                              "in --via and that its SSH server runs.")
                                     .arg(gatewayName(), tcp.error.section(QLatin1String(": "), -1)));
        return false;
    }
    gatewayFd = tcp.fd;
    if (host.stopRequested())
        interrupt();
    socket_t copy = fcntl(tcp.fd, F_DUPFD_CLOEXEC, 0);
    ssh_options_set(ssh, SSH_OPTIONS_FD, &copy);
    if (ssh_connect(ssh) != SSH_OK) {
        if (!stopping && !host.stopRequested())
            host.fail(Messages::tr("The SSH connection to the gateway %1 failed (%2). Check that --via names an "
                                   "SSH server.")
                          .arg(gatewayName(), libraryError(ssh)));
        return false;
    }
    return true;
}

bool SshConnection::checkHostKey()
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(ssh, &key) != SSH_OK)
        return false;
    unsigned char *hash = nullptr;
    size_t hashLength = 0;
    const int hashed = ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &hashLength);
    const QString type = QString::fromLatin1(ssh_key_type_to_char(ssh_key_type(key)));
    ssh_key_free(key);
    if (hashed != 0)
        return false;
    char *text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, hashLength);
    const QString fingerprint = QString::fromLatin1(text ? text : "");
    ssh_string_free_char(text);
    ssh_clean_pubkey_hash(&hash);

    const QString knownHosts = sshDirectory() + QStringLiteral("/known_hosts");
    switch (ssh_session_is_known_server(ssh)) {
    case SSH_KNOWN_HOSTS_OK:
        return true;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER:
        host.fail(Messages::tr("WARNING: the SSH key of the gateway %1 is not the one remembered in %2: someone may "
                               "be intercepting the connection, so vemo did not connect. Its %3 key now has the "
                               "fingerprint %4. If the gateway's key was replaced on purpose, remove the old line "
                               "with this command, then connect again:\nssh-keygen -f \"%2\" -R \"%5\"")
                      .arg(gatewayName(), knownHosts, type, fingerprint, knownHostsName()));
        return false;
    case SSH_KNOWN_HOSTS_NOT_FOUND:
    case SSH_KNOWN_HOSTS_UNKNOWN:
        break;
    case SSH_KNOWN_HOSTS_ERROR:
        host.fail(Messages::tr("The list of known SSH hosts, %1, could not be read (%2). Check its permissions.")
                      .arg(knownHosts, libraryError(ssh)));
        return false;
    }
    const QString question =
        Messages::tr("The SSH gateway %1 is not known yet: %2 has no key for it.\n\nSHA-256 fingerprint of its %3 "
                     "key:\n%4\n\nAccept it only if this fingerprint matches the gateway's own (ssh-keygen -lf on "
                     "its host key). Remember this key and connect?")
            .arg(gatewayName(), knownHosts, type, fingerprint);
    if (!host.confirm(question)) {
        if (!host.stopRequested())
            host.fail(Messages::tr("The SSH gateway's key was not accepted, so the connection was ended."));
        return false;
    }
    if (!rememberHostKey(knownHosts))
        qCDebug(lcSession) << "the gateway's key could not be remembered";
    return true;
}

// Appends the gateway's key as OpenSSH does with HashKnownHosts (Debian's
// default): the host name hidden as |1|salt|HMAC-SHA1(salt, name).
bool SshConnection::rememberHostKey(const QString &knownHosts)
{
    char *entry = nullptr;
    if (ssh_session_export_known_hosts_entry(ssh, &entry) != SSH_OK)
        return false;
    const QByteArray line = QByteArray(entry).trimmed();
    ssh_string_free_char(entry);
    const qsizetype space = line.indexOf(' ');
    if (space <= 0)
        return false;
    QByteArray salt(20, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(salt.data()), salt.size() / 4);
    const QByteArray hash = QMessageAuthenticationCode::hash(line.left(space), salt, QCryptographicHash::Sha1);
    const QByteArray hashed = "|1|" + salt.toBase64() + '|' + hash.toBase64() + line.mid(space) + '\n';

    if (!QDir(sshDirectory()).exists()) {
        QDir().mkpath(sshDirectory());
        QFile::setPermissions(sshDirectory(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QFile file(knownHosts);
    const bool existed = file.exists();
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return false;
    if (!existed)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    // A last line without its newline is not joined to ours.
    QByteArray last;
    if (file.size() > 0 && file.seek(file.size() - 1))
        last = file.read(1);
    const QByteArray text = (last.isEmpty() || last == "\n" ? QByteArray() : QByteArray("\n")) + hashed;
    return file.write(text) == text.size();
}

// Copies between the session's socket and the channel until either ends or
// interrupt() is called. The channel is read without blocking; writes to it
// block (they are small: the user's input) but end with the gateway socket.
void SshConnection::pump()
{
    std::vector<char> buffer(chunk);
    QByteArray toSession; // read from the channel, not yet taken by the session
    bool sessionEnded = false;
    bool gatewayFailed = false;
    // False when the session's socket failed.
    const auto flush = [&] {
        while (!toSession.isEmpty()) {
            const ssize_t written = send(tunnelEnd, toSession.constData(), size_t(toSession.size()), MSG_NOSIGNAL);
            if (written < 0)
                return errno == EAGAIN || errno == EINTR;
            toSession.remove(0, written);
        }
        return true;
    };
    while (!stopping) {
        // What libssh already holds is not seen by poll(): take it first.
        bool ended = false;
        while (toSession.isEmpty()) {
            const int n = ssh_channel_read_nonblocking(channel, buffer.data(), uint32_t(buffer.size()), 0);
            gatewayFailed = n == SSH_ERROR;
            if (n < 0 || (n == 0 && (ssh_channel_is_eof(channel) || ssh_channel_is_closed(channel))))
                ended = true;
            if (n <= 0)
                break;
            toSession.append(buffer.data(), n);
            ended = !flush();
        }
        if (ended)
            break;
        pollfd fds[3] = {{gatewayFd, short(toSession.isEmpty() ? POLLIN : 0), 0},
                         {tunnelEnd, short(POLLIN | (toSession.isEmpty() ? 0 : POLLOUT)), 0},
                         {stopEvent, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        gatewayFailed = fds[0].revents & (POLLERR | POLLNVAL);
        if (fds[2].revents || gatewayFailed)
            break;
        if ((fds[1].revents & POLLOUT) && !flush())
            break;
        if (fds[1].revents & POLLIN) {
            const ssize_t n = recv(tunnelEnd, buffer.data(), buffer.size(), 0);
            sessionEnded = n == 0;
            if (sessionEnded)
                ssh_channel_send_eof(channel);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                break;
            gatewayFailed = n > 0 && ssh_channel_write(channel, buffer.data(), uint32_t(n)) != int(n);
            if (gatewayFailed)
                break;
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            sessionEnded = true;
            break;
        }
    }
    // The session reads the end of its stream, after the reason is set.
    // The VNC server closing its end closes the channel cleanly: that is
    // no broken tunnel.
    broken = !sessionEnded && !stopping && (gatewayFailed || (ssh_get_status(ssh) & (SSH_CLOSED | SSH_CLOSED_ERROR)));
    shutdown(tunnelEnd, SHUT_RDWR);
}

// The module's one export (sshmodule.h).
namespace
{
void *create(SessionHost *host) { return new SshConnection(*host); }
void destroy(void *tunnel) { delete static_cast<SshConnection *>(tunnel); }
int open(void *tunnel, const char *user, const char *host, int gatewayPort, const char *server, int port,
         int timeoutMs)
{
    const SshConnection::Gateway gateway{QString::fromUtf8(user), QString::fromUtf8(host), gatewayPort};
    return static_cast<SshConnection *>(tunnel)->open(gateway, QString::fromUtf8(server), port, timeoutMs);
}
void interrupt(void *tunnel) { static_cast<SshConnection *>(tunnel)->interrupt(); }
int lost(const void *tunnel) { return static_cast<const SshConnection *>(tunnel)->lost(); }

const VemoSshModule module = {VEMO_VERSION "/" VEMO_SSH_MODULE_REVISION, create, destroy, open, interrupt, lost};
} // namespace

extern "C" __attribute__((visibility("default"))) const VemoSshModule *vemo_ssh_module()
{
    return &module;
}

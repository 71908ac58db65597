#include "sshtunnel.h"

#include "sessionhost.h"
#include "sshmodule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QRegularExpression>

namespace
{
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(SshTunnel)
};

struct Loaded
{
    const VemoSshModule *module = nullptr;
    QString failure; // for the user, when the module is null
};

// Next to the program first, then where the installed layout puts it
// relative to the program (the build tree mirrors that layout), then where
// this build installs it.
QStringList moduleCandidates()
{
    const QString program = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    QStringList result{program + QLatin1String(VEMO_SSH_MODULE_FILE),
                       QDir::cleanPath(program + QLatin1String(VEMO_SSH_MODULE_RELATIVE "/" VEMO_SSH_MODULE_FILE)),
                       QDir::cleanPath(QStringLiteral(VEMO_SSH_MODULE_INSTALLED "/" VEMO_SSH_MODULE_FILE))};
    result.removeDuplicates();
    return result;
}

Loaded loadModule()
{
    const QStringList candidates = moduleCandidates();
    for (const QString &path : candidates) {
        if (!QFile::exists(path))
            continue;
        // Never unloaded: libssh and OpenSSL keep state and threads of their own.
        QLibrary library(path);
        QString reason;
        if (!library.load()) {
            reason = library.errorString();
        } else {
            const auto entry = reinterpret_cast<VemoSshModuleEntry>(library.resolve(VEMO_SSH_MODULE_ENTRY));
            const VemoSshModule *module = entry ? entry() : nullptr;
            if (module && qstrcmp(module->build, VEMO_VERSION "/" VEMO_SSH_MODULE_REVISION) == 0)
                return {module, QString()};
            reason = Messages::tr("it was made for another version of vemo");
        }
        return {nullptr, Messages::tr("SSH tunnels are unavailable: vemo's SSH module %1 could not be loaded (%2). "
                                      "Reinstall vemo to connect through an SSH gateway (--via).")
                             .arg(path, reason)};
    }
    return {nullptr, Messages::tr("SSH tunnels are unavailable: vemo's SSH module %1 is missing. Reinstall vemo to "
                                  "connect through an SSH gateway (--via).")
                         .arg(candidates.value(1))};
}

// Loaded the first time a tunnel is made, once for the process.
const Loaded &loaded()
{
    static const Loaded result = loadModule();
    return result;
}
} // namespace

bool SshTunnel::parseGateway(const QString &via, Gateway *gateway)
{
    static const QRegularExpression form(QStringLiteral("^(?:([^@\\s]+)@)?(\\[[0-9A-Fa-f:.]+\\]|[^@:\\[\\]\\s]+)"
                                                        "(?::(\\d{1,5}))?$"));
    const QRegularExpressionMatch match = form.match(via);
    if (!match.hasMatch())
        return false;
    Gateway result;
    result.user = match.captured(1);
    result.host = match.captured(2);
    if (result.host.startsWith(QLatin1Char('[')))
        result.host = result.host.mid(1, result.host.size() - 2);
    if (match.capturedLength(3) > 0) {
        result.port = match.captured(3).toInt();
        if (result.port < 1 || result.port > 65535)
            return false;
    }
    *gateway = result;
    return true;
}

SshTunnel::SshTunnel(SessionHost &host) : host(host), module(loaded().module)
{
    if (module)
        tunnel = module->create(&host);
}

SshTunnel::~SshTunnel()
{
    if (tunnel)
        module->destroy(tunnel);
}

int SshTunnel::open(const QString &via, const QString &server, int port, int timeoutMs)
{
    Gateway gateway;
    if (!parseGateway(via, &gateway)) {
        host.fail(Messages::tr("The gateway \"%1\" given with --via is not [user@]host[:port].").arg(via));
        return -1;
    }
    if (!tunnel) {
        if (!host.stopRequested())
            host.fail(loaded().failure);
        return -1;
    }
    return module->open(tunnel, gateway.user.toUtf8().constData(), gateway.host.toUtf8().constData(), gateway.port,
                        server.toUtf8().constData(), port, timeoutMs);
}

void SshTunnel::interrupt()
{
    if (tunnel)
        module->interrupt(tunnel);
}

bool SshTunnel::lost() const
{
    return tunnel && module->lost(tunnel);
}

#include "serverurl.h"

#include <QCoreApplication>

#include <cstring>

namespace {

// Gives the messages one translation context that lupdate can see.
struct ServerUrl {
    Q_DECLARE_TR_FUNCTIONS(ServerUrl)
};

} // namespace

// host, host:N, host::PORT, [IPv6]:N, [IPv6]::PORT, :N, as typed to other
// viewers: one colon takes the URL's port rule (below 100 a display
// number), two colons a port, which the URL can hold only from 100 on.
// Returns why the address is refused, or a null string.
static QString readTypedAddress(const QString &text, QUrl *url)
{
    QString host = text;
    QString rest;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return ServerUrl::tr("the IPv6 address has no closing ]");
        host = text.mid(1, close - 1);
        rest = text.mid(close + 1);
    } else if (text.count(QLatin1Char(':')) > 2) {
        return ServerUrl::tr("write an IPv6 address in brackets, as in [::1]:1");
    } else if (const qsizetype colon = text.indexOf(QLatin1Char(':')); colon >= 0) {
        // ":1" is this machine's display 1.
        host = colon > 0 ? text.left(colon) : QStringLiteral("localhost");
        rest = text.mid(colon);
    }
    if (host.isEmpty())
        return ServerUrl::tr("no host name");
    QUrl parsed;
    parsed.setScheme(QStringLiteral("vnc"));
    parsed.setHost(host, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return ServerUrl::tr("\"%1\" is no host name").arg(host);
    if (!rest.isEmpty()) {
        const bool isPort = rest.startsWith(QLatin1String("::"));
        const QString digits = rest.mid(isPort ? 2 : 1);
        bool ok = rest.startsWith(QLatin1Char(':')) && !digits.isEmpty();
        for (const QChar c : digits)
            ok = ok && c.isDigit() && c.unicode() < 128;
        const int number = ok ? digits.toInt(&ok, 10) : -1;
        if (!ok || number > 65535)
            return isPort ? ServerUrl::tr("give a port from 100 to 65535 after \"::\"")
                          : ServerUrl::tr("give a display number after \":\" (0 is port 5900)");
        if (isPort && number < 100)
            return ServerUrl::tr("ports below 100 cannot be used; for a display number give host:%1").arg(number);
        parsed.setPort(number);
    }
    *url = parsed;
    return QString();
}

bool parseServerUrl(const QString &text, QUrl *url, QString *error)
{
    // Messages quote the address as typed, less its password.
    const auto fail = [&](const QString &why) {
        QByteArray shown = text.toLocal8Bit();
        scrubPassword(shown.data());
        *error = ServerUrl::tr("invalid server address \"%1\": %2").arg(QString::fromLocal8Bit(shown), why);
        return false;
    };
    if (text.isEmpty())
        return fail(ServerUrl::tr("it is empty"));
    if (!text.contains(QLatin1String("://"))) {
        const QString problem = readTypedAddress(text, url);
        return problem.isNull() || fail(problem);
    }
    const QUrl parsed(text, QUrl::StrictMode);
    if (!parsed.isValid())
        return fail(ServerUrl::tr("not a URL (vnc://[[user][:password]@]host[:port])"));
    if (parsed.scheme() != QLatin1String("vnc"))
        return fail(ServerUrl::tr("the scheme must be vnc://"));
    if (parsed.host().isEmpty())
        return fail(ServerUrl::tr("no host name"));
    if (!parsed.path().isEmpty() && parsed.path() != QLatin1String("/"))
        return fail(ServerUrl::tr("a server address has no path"));
    if (parsed.hasQuery() || parsed.hasFragment())
        return fail(ServerUrl::tr("a server address has no query or fragment"));
    *url = parsed;
    url->setPath(QString());
    return true;
}

QString displayAddress(const QUrl &url)
{
    QString host = url.host();
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    return url.port() >= 0 ? host + QLatin1Char(':') + QString::number(url.port()) : host;
}

bool scrubPassword(char *argument)
{
    if (!argument)
        return false;
    // The user information ends at the last '@' before the path starts.
    char *authority = std::strstr(argument, "://");
    if (!authority)
        return false;
    authority += 3;
    char *end = authority + std::strcspn(authority, "/?#");
    char *at = nullptr;
    for (char *p = authority; p < end; ++p) {
        if (*p == '@')
            at = p;
    }
    if (!at)
        return false;
    char *colon = static_cast<char *>(std::memchr(authority, ':', at - authority));
    if (!colon || colon + 1 == at)
        return false;
    std::memset(colon + 1, 'x', at - colon - 1);
    return true;
}

void scrubPasswords(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        scrubPassword(argv[i]);
}

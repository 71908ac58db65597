#include "serverurl.h"

#include <QCoreApplication>

#include <cstring>

namespace {

// Gives the messages one translation context that lupdate can see.
struct ServerUrl {
    Q_DECLARE_TR_FUNCTIONS(ServerUrl)
};

} // namespace

bool parseServerUrl(const QString &text, QUrl *url, QString *error)
{
    const QUrl parsed(text, QUrl::StrictMode);
    // Messages quote the address as typed, less its password.
    const auto fail = [&](const QString &why) {
        QByteArray shown = text.toLocal8Bit();
        scrubPassword(shown.data());
        *error = ServerUrl::tr("invalid server address \"%1\": %2").arg(QString::fromLocal8Bit(shown), why);
        return false;
    };
    if (text.isEmpty())
        return fail(ServerUrl::tr("it is empty"));
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

#include "discovery.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

namespace {

const QString avahi = QStringLiteral("org.freedesktop.Avahi");
const QString browserInterface = QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");
const QString serviceType = QStringLiteral("_rfb._tcp");
const int anyInterface = -1;
const int anyProtocol = -1;

bool sameItem(const Discovery::Server &a, int interface, int protocol, const QString &name, const QString &domain)
{
    return a.interface == interface && a.protocol == protocol && a.name == name && a.domain == domain;
}

} // namespace

Discovery::Discovery(QObject *parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    // The daemon announces what it already knows as soon as the browser
    // exists, before its path is known here: so listen on every path first
    // and keep only this browser's signals.
    bus.connect(avahi, QString(), browserInterface, QStringLiteral("ItemNew"), this,
                SLOT(itemNew(int, int, QString, QString, QString, uint, QDBusMessage)));
    bus.connect(avahi, QString(), browserInterface, QStringLiteral("ItemRemove"), this,
                SLOT(itemRemove(int, int, QString, QString, QString, uint, QDBusMessage)));
    // A daemon that starts later, or again, is browsed from then on.
    auto *watcher = new QDBusServiceWatcher(avahi, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &owner) {
                browserPath.clear();
                found.clear();
                emit changed();
                if (!owner.isEmpty())
                    browse();
            });
    browse();
}

// Asked without waiting, and without starting a daemon that is not running.
void Discovery::browse()
{
    QDBusMessage call = QDBusMessage::createMethodCall(avahi, QStringLiteral("/"),
                                                       QStringLiteral("org.freedesktop.Avahi.Server"),
                                                       QStringLiteral("ServiceBrowserNew"));
    call << anyInterface << anyProtocol << serviceType << QString() << 0u;
    call.setAutoStartService(false);
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isValid())
            browserPath = reply.value().path();
    });
}

Discovery::~Discovery()
{
    if (browserPath.isEmpty())
        return;
    QDBusMessage free = QDBusMessage::createMethodCall(avahi, browserPath, browserInterface, QStringLiteral("Free"));
    QDBusConnection::systemBus().call(free, QDBus::NoBlock);
}

QList<Discovery::Server> Discovery::servers() const
{
    QList<Server> unique;
    for (const Server &s : found) {
        if (std::none_of(unique.begin(), unique.end(), [&](const Server &u) { return u.name == s.name; }))
            unique << s;
    }
    return unique;
}

void Discovery::itemNew(int interface, int protocol, const QString &name, const QString &type,
                        const QString &domain, uint, const QDBusMessage &message)
{
    // Signals that came before the browser's path was known are ours too:
    // no other browser of this type lives on this connection.
    if ((!browserPath.isEmpty() && message.path() != browserPath) || type != serviceType)
        return;
    Server item;
    item.interface = interface;
    item.protocol = protocol;
    item.name = name;
    item.domain = domain;
    resolve(item);
}

void Discovery::itemRemove(int interface, int protocol, const QString &name, const QString &type,
                           const QString &domain, uint, const QDBusMessage &message)
{
    if ((!browserPath.isEmpty() && message.path() != browserPath) || type != serviceType)
        return;
    const qsizetype removed = found.removeIf(
        [&](const Server &s) { return sameItem(s, interface, protocol, name, domain); });
    if (removed)
        emit changed();
}

void Discovery::resolve(const Server &item)
{
    QDBusMessage call = QDBusMessage::createMethodCall(avahi, QStringLiteral("/"),
                                                       QStringLiteral("org.freedesktop.Avahi.Server"),
                                                       QStringLiteral("ResolveService"));
    call << item.interface << item.protocol << item.name << serviceType << item.domain << anyProtocol << 0u;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, item](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QList<QVariant> values = w->reply().arguments();
        // interface, protocol, name, type, domain, host, aprotocol, address, port, txt, flags
        if (w->isError() || values.size() < 9)
            return;
        Server s = item;
        s.host = values.at(5).toString();
        const QString ip = values.at(7).toString();
        const QString host = ip.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(ip) : ip;
        s.address = QStringLiteral("%1::%2").arg(host).arg(values.at(8).toUInt());
        found.removeIf([&](const Server &f) { return sameItem(f, s.interface, s.protocol, s.name, s.domain); });
        found << s;
        emit changed();
    });
}

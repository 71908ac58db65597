#ifndef DISCOVERY_H
#define DISCOVERY_H

#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>

// VNC servers that announce themselves on the local network (_rfb._tcp
// over mDNS/DNS-SD), as the Avahi daemon on the system bus finds them.
// Without a daemon the list stays empty.
class Discovery : public QObject
{
    Q_OBJECT

public:
    struct Server {
        QString name;    // as announced
        QString host;    // its host name, e.g. desk.local
        QString address; // what to connect to: host:: port, for addressToUrl
        int interface = -1;
        int protocol = -1;
        QString domain;
    };

    explicit Discovery(QObject *parent = nullptr);
    ~Discovery() override;

    // The servers found and resolved, one per name, in the order found.
    QList<Server> servers() const;

signals:
    void changed();

private slots:
    void itemNew(int interface, int protocol, const QString &name, const QString &type, const QString &domain,
                 uint flags, const QDBusMessage &message);
    void itemRemove(int interface, int protocol, const QString &name, const QString &type, const QString &domain,
                    uint flags, const QDBusMessage &message);

private:
    void browse();
    void resolve(const Server &item);

    QString browserPath;
    QList<Server> found; // resolved, every interface and protocol
};

#endif

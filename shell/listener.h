#ifndef LISTENER_H
#define LISTENER_H

#include <QObject>
#include <QString>

class QSocketNotifier;

// Waits on one port, on every address, for VNC servers that connect to
// the viewer (reverse connections). Each accepted connection is handed on
// as a plain socket descriptor, which the receiver then owns. A socket of
// its own rather than QTcpServer: loading QtNetwork costs every session
// 1.4 MiB of resident memory, and only this mode would use it.
class Listener : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~Listener() override;

    // On every IPv6 and IPv4 address (IPv4 alone where IPv6 is missing).
    bool listen(quint16 port);
    bool isListening() const { return fd >= 0; }
    quint16 serverPort() const { return port; }
    // Why listen() failed, for the user.
    QString errorString() const { return error; }

signals:
    // 'peer' is the server's address, for the user.
    void serverConnected(int socket, const QString &peer);

private:
    void acceptAll();

    int fd = -1;
    quint16 port = 0;
    QString error;
    QSocketNotifier *notifier = nullptr;
};

#endif

#ifndef LISTENER_H
#define LISTENER_H

#include <QTcpServer>

// Waits on one port, on every address, for VNC servers that connect to
// the viewer (reverse connections). Each accepted connection is handed on
// as a plain socket descriptor, which the receiver then owns.
class Listener : public QTcpServer
{
    Q_OBJECT

public:
    using QTcpServer::QTcpServer;

signals:
    // 'peer' is the server's address, for the user.
    void serverConnected(int socket, const QString &peer);

protected:
    void incomingConnection(qintptr socket) override;
};

#endif

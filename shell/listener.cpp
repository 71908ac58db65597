#include "listener.h"

#include <QHostAddress>

#include <sys/socket.h>
#include <unistd.h>

void Listener::incomingConnection(qintptr socket)
{
    sockaddr_storage address = {};
    socklen_t length = sizeof address;
    QHostAddress peer;
    if (getpeername(int(socket), reinterpret_cast<sockaddr *>(&address), &length) == 0)
        peer.setAddress(reinterpret_cast<const sockaddr *>(&address));
    // An IPv4 server reaches the dual-stack socket as ::ffff:a.b.c.d.
    bool isIpv4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&isIpv4);
    if (isIpv4)
        peer = QHostAddress(ipv4);
    emit serverConnected(int(socket), peer.toString());
}

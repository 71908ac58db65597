#include "listener.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

Listener::~Listener()
{
    if (fd >= 0)
        ::close(fd);
}

bool Listener::listen(quint16 wanted)
{
    const int one = 1;
    const int zero = 0;
    sockaddr_in6 any6 = {};
    any6.sin6_family = AF_INET6;
    any6.sin6_port = htons(wanted);
    sockaddr_in any4 = {};
    any4.sin_family = AF_INET;
    any4.sin_port = htons(wanted);
    bool ipv6 = true;
    int s = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0 && errno == EAFNOSUPPORT) {
        ipv6 = false;
        s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    }
    // IPv4 servers too, as ::ffff:a.b.c.d.
    if (s >= 0 && ipv6)
        setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
    // A port left in TIME_WAIT by the last run can be taken again at once.
    if (s < 0 || setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0
        || (ipv6 ? bind(s, reinterpret_cast<sockaddr *>(&any6), sizeof any6)
                 : bind(s, reinterpret_cast<sockaddr *>(&any4), sizeof any4)) != 0
        || ::listen(s, 5) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        if (s >= 0)
            ::close(s);
        return false;
    }
    sockaddr_storage bound = {};
    socklen_t length = sizeof bound;
    getsockname(s, reinterpret_cast<sockaddr *>(&bound), &length);
    port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port
                                              : reinterpret_cast<sockaddr_in *>(&bound)->sin_port);
    fd = s;
    notifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &Listener::acceptAll);
    return true;
}

void Listener::acceptAll()
{
    for (;;) {
        sockaddr_storage address = {};
        socklen_t length = sizeof address;
        // Blocking, as the receiver expects a plain descriptor.
        const int socket = accept4(fd, reinterpret_cast<sockaddr *>(&address), &length, SOCK_CLOEXEC);
        if (socket < 0)
            return;
        char host[NI_MAXHOST] = {};
        getnameinfo(reinterpret_cast<sockaddr *>(&address), length, host, sizeof host, nullptr, 0, NI_NUMERICHOST);
        QString peer = QString::fromLatin1(host);
        // An IPv4 server reaches the dual-stack socket as ::ffff:a.b.c.d.
        if (peer.startsWith(QLatin1String("::ffff:")) && peer.contains(QLatin1Char('.')))
            peer.remove(0, 7);
        emit serverConnected(socket, peer);
    }
}

#include "connector.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <QElapsedTimer>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Connector
{
namespace
{
using AddrList = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;

// Shared between the waiting connection thread and the detached lookup, so
// that whichever finishes last frees it.
struct Lookup
{
    std::mutex lock;
    addrinfo *result = nullptr;
    int status = 0;
    bool abandoned = false;
    int done[2] = {-1, -1};

    ~Lookup()
    {
        if (result)
            freeaddrinfo(result);
        for (int fd : done) {
            if (fd >= 0)
                close(fd);
        }
    }
};

void consume(int wakeFd)
{
    eventfd_t value;
    eventfd_read(wakeFd, &value);
}

// Polls fd for events alongside wakeFd. Returns 1 when fd is ready, 0 on
// timeout, -1 when a stop was requested.
int waitFor(int fd, short events, int timeoutMs, int wakeFd, const std::function<bool()> &stopRequested)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (stopRequested())
            return -1;
        const int left = timeoutMs < 0 ? -1 : int(qMax<qint64>(0, timeoutMs - clock.elapsed()));
        pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        const int n = poll(fds, 2, left);
        if (n < 0 && errno != EINTR)
            return 0;
        if (n == 0)
            return 0;
        if (n > 0 && (fds[1].revents & POLLIN))
            consume(wakeFd);
        if (n > 0 && fds[0].revents)
            return stopRequested() ? -1 : 1;
    }
}

AddrList resolve(const QByteArray &host, int port, int wakeFd, const std::function<bool()> &stopRequested,
                 Result &out)
{
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    const QByteArray service = QByteArray::number(port);

    // Numeric addresses need no lookup and no helper thread.
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo *list = nullptr;
    if (getaddrinfo(host.constData(), service.constData(), &hints, &list) == 0)
        return AddrList(list, freeaddrinfo);

    auto lookup = std::make_shared<Lookup>();
    if (pipe2(lookup->done, O_CLOEXEC | O_NONBLOCK) != 0) {
        out.error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return AddrList(nullptr, freeaddrinfo);
    }
    hints.ai_flags = AI_NUMERICSERV;
    std::thread([lookup, host, service, hints] {
        addrinfo *found = nullptr;
        const int status = getaddrinfo(host.constData(), service.constData(), &hints, &found);
        std::lock_guard<std::mutex> guard(lookup->lock);
        if (lookup->abandoned) {
            if (found)
                freeaddrinfo(found);
            return;
        }
        lookup->result = found;
        lookup->status = status;
        const char byte = 1;
        (void)!write(lookup->done[1], &byte, 1);
    }).detach();

    const int ready = waitFor(lookup->done[0], POLLIN, -1, wakeFd, stopRequested);
    std::lock_guard<std::mutex> guard(lookup->lock);
    if (ready < 0) {
        lookup->abandoned = true;
        out.cancelled = true;
        return AddrList(nullptr, freeaddrinfo);
    }
    if (lookup->status != 0 || !lookup->result) {
        out.notFound = true;
        out.error = QStringLiteral("getaddrinfo %1: %2")
                        .arg(QString::fromUtf8(host), QString::fromLocal8Bit(gai_strerror(lookup->status)));
        return AddrList(nullptr, freeaddrinfo);
    }
    addrinfo *result = lookup->result;
    lookup->result = nullptr;
    return AddrList(result, freeaddrinfo);
}

int connectOne(const addrinfo *ai, int timeoutMs, int wakeFd, const std::function<bool()> &stopRequested,
               Result &out)
{
    const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
        out.error = QStringLiteral("socket: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return -1;
    }
    int error = 0;
    if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            const int ready = waitFor(fd, POLLOUT, timeoutMs, wakeFd, stopRequested);
            if (ready < 0) {
                out.cancelled = true;
                close(fd);
                return -1;
            }
            socklen_t len = sizeof(error);
            if (ready == 0)
                error = ETIMEDOUT;
            else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
                error = errno;
        }
    }
    if (error != 0) {
        out.error = QStringLiteral("connect: %1").arg(QString::fromLocal8Bit(strerror(error)));
        close(fd);
        return -1;
    }
    // Input events are small and must leave at once.
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    return fd;
}
} // namespace

Result connectToServer(const QByteArray &host, int port, int timeoutMs, int wakeFd,
                       const std::function<bool()> &stopRequested)
{
    Result out;
    AddrList list = resolve(host, port, wakeFd, stopRequested, out);
    for (const addrinfo *ai = list.get(); ai && !out.cancelled; ai = ai->ai_next) {
        out.fd = connectOne(ai, timeoutMs, wakeFd, stopRequested, out);
        if (out.fd >= 0) {
            out.error.clear();
            break;
        }
    }
    return out;
}
} // namespace Connector

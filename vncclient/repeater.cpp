#include "repeater.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

namespace Repeater
{
namespace
{
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(Repeater)
};

// Moves 'length' bytes through the non-blocking fd. 1 done, 0 timed out or
// failed, -1 stopped.
int transfer(int fd, char *bytes, size_t length, bool reading, int timeoutMs, int wakeFd,
             const std::function<bool()> &stopRequested)
{
    QElapsedTimer clock;
    clock.start();
    size_t done = 0;
    while (done < length) {
        if (stopRequested())
            return -1;
        const ssize_t n = reading ? recv(fd, bytes + done, length - done, 0)
                                  : send(fd, bytes + done, length - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return 0;
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            return 0;
        pollfd fds[2] = {{fd, short(reading ? POLLIN : POLLOUT), 0}, {wakeFd, POLLIN, 0}};
        if (poll(fds, 2, left) > 0 && (fds[1].revents & POLLIN)) {
            eventfd_t value;
            eventfd_read(wakeFd, &value);
        }
    }
    return 1;
}
} // namespace

bool introduce(int fd, const QString &id, int timeoutMs, int wakeFd, const std::function<bool()> &stopRequested,
               QString *error)
{
    char greeting[13] = {};
    int step = transfer(fd, greeting, 12, true, timeoutMs, wakeFd, stopRequested);
    if (step == 1 && qstrcmp(greeting, "RFB 000.000\n") != 0) {
        *error = Messages::tr("The program at this address is not a VNC repeater. Give the repeater's address and "
                              "port, or leave out --repeater-id to reach a VNC server directly.");
        return false;
    }
    char block[idBlockSize] = {};
    const QByteArray named = "ID:" + id.toUtf8().left(maximumIdLength);
    memcpy(block, named.constData(), size_t(named.size()));
    if (step == 1)
        step = transfer(fd, block, sizeof block, false, timeoutMs, wakeFd, stopRequested);
    if (step == 0)
        *error = Messages::tr("The VNC repeater did not greet this viewer within %1 seconds. Check its address "
                              "and port.").arg(timeoutMs / 1000);
    return step == 1;
}
} // namespace Repeater

#include "vncrepeater.h"

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>

namespace vemotest {

VncRepeater::~VncRepeater()
{
    m_stopping = true;
    m_waker.wake();
    if (m_thread.joinable())
        m_thread.join();
}

bool VncRepeater::start()
{
    m_listen = listenOnLoopback(&m_port);
    if (m_listen.valid())
        m_thread = std::thread([this] { run(); });
    return m_listen.valid();
}

void VncRepeater::registerServer(const QByteArray &id, quint16 vncPort)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_servers.insert(id, vncPort);
}

QList<QByteArray> VncRepeater::askedIds() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_asked;
}

void VncRepeater::run()
{
    while (!m_stopping) {
        pollfd fds[2] = {{m_listen.get(), POLLIN, 0}, {m_waker.fd(), POLLIN, 0}};
        if (poll(fds, 2, -1) > 0 && (fds[0].revents & POLLIN)) {
            UniqueFd viewer = acceptConnection(m_listen.get());
            if (viewer.valid())
                serve(viewer.get());
        }
    }
}

// Copies between the viewer and its server until either ends or the
// repeater stops; blocking writes are fine for the small test pictures.
void VncRepeater::serve(int viewer)
{
    char block[251] = {};
    size_t got = 0;
    ByteQueue greeting;
    greeting.append("RFB 000.000\n", 12);
    while (!greeting.empty() && flushQueue(viewer, greeting)) {}
    while (got < 250 && !m_stopping) {
        pollfd p = {viewer, POLLIN, 0};
        const ssize_t n = poll(&p, 1, 10000) > 0 ? recv(viewer, block + got, 250 - got, 0) : 0;
        if (n <= 0)
            return;
        got += size_t(n);
    }
    quint16 port = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_asked << QByteArray(block).mid(3);
        port = qstrncmp(block, "ID:", 3) == 0 ? m_servers.value(QByteArray(block + 3)) : 0;
    }
    UniqueFd server = port ? connectToLoopback(port) : UniqueFd();
    const int ends[2] = {viewer, server.get()};
    char buffer[16384];
    while (server.valid() && !m_stopping) {
        pollfd fds[3] = {{viewer, POLLIN, 0}, {server.get(), POLLIN, 0}, {m_waker.fd(), POLLIN, 0}};
        if (poll(fds, 3, -1) < 0 || fds[2].revents)
            return;
        for (int i = 0; i < 2; ++i) {
            const ssize_t n = fds[i].revents ? recv(ends[i], buffer, sizeof buffer, 0) : -1;
            if (n == 0 || (n < 0 && fds[i].revents && errno != EAGAIN))
                return;
            ByteQueue out;
            out.append(buffer, size_t(qMax<ssize_t>(n, 0)));
            while (!out.empty())
                if (!flushQueue(ends[1 - i], out))
                    return;
        }
    }
}

} // namespace vemotest

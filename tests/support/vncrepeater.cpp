#include "vncrepeater.h"

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vemotest {
namespace {
constexpr int idBlock = 250;

bool transfer(int fd, char *bytes, size_t length, bool reading)
{
    size_t done = 0;
    while (done < length) {
        pollfd p = {fd, short(reading ? POLLIN : POLLOUT), 0};
        if (poll(&p, 1, 10000) <= 0)
            return false;
        const ssize_t n = reading ? recv(fd, bytes + done, length - done, 0)
                                  : send(fd, bytes + done, length - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

QByteArray idBlockFor(const QByteArray &id)
{
    QByteArray block = "ID:" + id;
    block.resize(idBlock, '\0');
    return block;
}
} // namespace

VncRepeater::~VncRepeater()
{
    m_stopping = true;
    m_waker.wake();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> guard(m_lock);
    for (std::thread &t : m_joins)
        t.join();
    for (const auto *waiting : {&m_waitingServers, &m_waitingViewers}) {
        for (int fd : *waiting)
            close(fd);
    }
}

bool VncRepeater::start()
{
    m_viewers = listenOnLoopback(&m_viewerPort);
    m_servers = listenOnLoopback(&m_serverPort);
    if (!m_viewers.valid() || !m_servers.valid())
        return false;
    m_thread = std::thread([this] { run(); });
    return true;
}

QList<QByteArray> VncRepeater::askedIds() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_askedIds;
}

void VncRepeater::run()
{
    while (!m_stopping) {
        pollfd fds[3] = {{m_viewers.get(), POLLIN, 0}, {m_servers.get(), POLLIN, 0}, {m_waker.fd(), POLLIN, 0}};
        if (poll(fds, 3, -1) < 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents & POLLIN) {
                UniqueFd fd = acceptConnection(fds[i].fd);
                if (fd.valid())
                    admit(std::move(fd), i == 0);
            }
        }
    }
}

// Reads the ID (greeting a viewer first) and joins the pair once both came.
void VncRepeater::admit(UniqueFd fd, bool viewer)
{
    char block[idBlock + 1] = {};
    if ((viewer && !transfer(fd.get(), const_cast<char *>("RFB 000.000\n"), 12, false))
        || !transfer(fd.get(), block, idBlock, true) || qstrncmp(block, "ID:", 3) != 0)
        return;
    const QByteArray id(block + 3);
    std::lock_guard<std::mutex> guard(m_lock);
    if (viewer)
        m_askedIds << id;
    // Whichever comes first waits for the other.
    QMap<QByteArray, int> &waiting = viewer ? m_waitingViewers : m_waitingServers;
    QMap<QByteArray, int> &others = viewer ? m_waitingServers : m_waitingViewers;
    if (!others.contains(id)) {
        waiting.insert(id, fd.release());
        return;
    }
    ++m_pairs;
    m_joins.emplace_back([this, mine = fd.release(), peer = others.take(id)] { join(UniqueFd(mine), UniqueFd(peer)); });
}

// Copies both ways until either side ends or the repeater stops.
void VncRepeater::join(UniqueFd a, UniqueFd b)
{
    char buffer[16384];
    while (!m_stopping) {
        pollfd fds[3] = {{a.get(), POLLIN, 0}, {b.get(), POLLIN, 0}, {m_waker.fd(), POLLIN, 0}};
        if (poll(fds, 3, -1) < 0 || fds[2].revents)
            break;
        bool ended = false;
        for (int i = 0; i < 2 && !ended; ++i) {
            if (!fds[i].revents)
                continue;
            const ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
            if (n <= 0 && errno == EAGAIN)
                continue;
            ended = n <= 0 || !transfer(fds[1 - i].fd, buffer, size_t(n), false);
        }
        if (ended)
            break;
    }
    shutdown(a.get(), SHUT_RDWR);
    shutdown(b.get(), SHUT_RDWR);
}

bool VncRepeater::registerServer(quint16 vncPort, const QByteArray &id)
{
    UniqueFd vnc = connectToLoopback(vncPort);
    UniqueFd repeater = connectToLoopback(m_serverPort);
    QByteArray block = idBlockFor(id);
    if (!vnc.valid() || !repeater.valid() || !transfer(repeater.get(), block.data(), size_t(block.size()), false))
        return false;
    std::lock_guard<std::mutex> guard(m_lock);
    m_joins.emplace_back([this, v = vnc.release(), r = repeater.release()] { join(UniqueFd(v), UniqueFd(r)); });
    return true;
}

} // namespace vemotest

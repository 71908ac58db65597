#include "socketutil.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vemotest {

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

UniqueFd listenOnLoopback(quint16 *port)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid())
        return {};
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
        || ::listen(fd.get(), 16) != 0)
        return {};
    socklen_t len = sizeof addr;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return {};
    *port = ntohs(addr.sin_port);
    return fd;
}

UniqueFd connectToLoopback(quint16 port)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (!fd.valid() || ::connect(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
        || !setNonBlocking(fd.get()))
        return {};
    setNoDelay(fd.get());
    return fd;
}

UniqueFd acceptConnection(int listenFd)
{
    return UniqueFd(::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
}

bool setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void setNoDelay(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void setLingerReset(int fd)
{
    linger l {};
    l.l_onoff = 1;
    l.l_linger = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

void blockSigPipeInThisThread()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

Waker::Waker() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void Waker::wake()
{
    const quint64 one = 1;
    ssize_t n;
    do {
        n = ::write(m_fd.get(), &one, sizeof one);
    } while (n < 0 && errno == EINTR);
}

void Waker::drain()
{
    quint64 value;
    while (::read(m_fd.get(), &value, sizeof value) > 0) {
    }
}

void ByteQueue::append(const char *data, size_t n)
{
    m_bytes.insert(m_bytes.end(), data, data + n);
}

void ByteQueue::consume(size_t n)
{
    m_head += n;
    if (m_head == m_bytes.size()) {
        m_bytes.clear();
        m_head = 0;
    } else if (m_head > (1u << 20) && m_head * 2 > m_bytes.size()) {
        // Compact now and then so a long stream does not keep growing.
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(m_head));
        m_head = 0;
    }
}

bool flushQueue(int fd, ByteQueue &queue)
{
    while (!queue.empty()) {
        const ssize_t n = ::send(fd, queue.data(), queue.size(), MSG_NOSIGNAL);
        if (n > 0) {
            queue.consume(static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }
    return true;
}

} // namespace vemotest

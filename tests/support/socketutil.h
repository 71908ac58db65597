// Small POSIX socket helpers shared by the test servers.
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <vector>

namespace vemotest {

// Owns a file descriptor; closes it on destruction.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

// Listening TCP socket on 127.0.0.1, port chosen by the kernel; non-blocking.
UniqueFd listenOnLoopback(quint16 *port);

// A TCP connection to 127.0.0.1:port, made blocking, then non-blocking.
UniqueFd connectToLoopback(quint16 port);

// accept4 with CLOEXEC|NONBLOCK; invalid fd when nothing is pending.
UniqueFd acceptConnection(int listenFd);

bool setNonBlocking(int fd);

// Small messages go out at once; loopback tests should not wait on Nagle.
void setNoDelay(int fd);

// Sends RST instead of FIN on close: the peer sees "connection reset".
void setLingerReset(int fd);

// Blocks SIGPIPE in the calling thread, so a write to a closed peer fails
// with EPIPE instead of killing the process. Leaves the process-wide
// disposition alone, which the code under test must handle itself.
void blockSigPipeInThisThread();

// Wakes a thread sleeping in poll(); eventfd based.
class Waker
{
public:
    Waker();
    int fd() const { return m_fd.get(); }
    void wake();
    void drain();

private:
    UniqueFd m_fd;
};

// A byte queue that is cheap to consume from the front.
class ByteQueue
{
public:
    void append(const char *data, size_t n);
    const char *data() const { return m_bytes.data() + m_head; }
    size_t size() const { return m_bytes.size() - m_head; }
    bool empty() const { return size() == 0; }
    void consume(size_t n);

private:
    std::vector<char> m_bytes;
    size_t m_head = 0;
};

// Writes as much of the queue as the socket takes now. False on a hard error.
bool flushQueue(int fd, ByteQueue &queue);

} // namespace vemotest

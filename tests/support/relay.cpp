#include "relay.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vemotest {

namespace {

// Stop reading a side while this much is still queued for the other one.
// Generous, so that libvncserver's blocking writes (and with them every
// TestServer call) do not stall behind a client that is slow to read.
constexpr size_t kHighWater = 64u << 20;
constexpr size_t kChunk = 64u << 10;

enum class ReadResult { Data, Nothing, Closed };

ReadResult readSome(int fd, std::vector<char> &chunk, size_t *got)
{
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n > 0) {
            *got = static_cast<size_t>(n);
            return ReadResult::Data;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return ReadResult::Nothing;
        return ReadResult::Closed;
    }
}

} // namespace

struct Relay::Connection
{
    Connection(int id, UniqueFd n, UniqueFd s, bool passwordRequired)
        : net(std::move(n)), srv(std::move(s)), parser(id, passwordRequired)
    {
    }

    UniqueFd net; // the client's TCP socket
    UniqueFd srv; // our end of the socketpair to libvncserver
    ByteQueue toNet;
    ByteQueue toSrv;
    ClientStreamParser parser;
    bool serverClosed = false;
};

Relay::Relay(bool passwordRequired, ServerSocketHandler onServerSocket, MessageHandler onMessages)
    : m_passwordRequired(passwordRequired),
      m_onServerSocket(std::move(onServerSocket)),
      m_onMessages(std::move(onMessages))
{
}

Relay::Relay(quint16 upstreamPort, MessageHandler onMessages)
    : m_passwordRequired(false), m_upstreamPort(upstreamPort), m_onMessages(std::move(onMessages))
{
}

Relay::~Relay()
{
    stop();
}

bool Relay::start()
{
    m_listen = listenOnLoopback(&m_port);
    if (!m_listen.valid() || m_waker.fd() < 0)
        return false;
    m_chunk.resize(kChunk);
    m_thread = std::thread([this] { run(); });
    return true;
}

void Relay::stop()
{
    if (!m_thread.joinable())
        return;
    m_tasks.call([this] { m_stopping = true; });
    m_thread.join();
}

void Relay::dropAll(bool reset)
{
    m_tasks.call([this, reset] { closeAll(reset); });
}

void Relay::run()
{
    blockSigPipeInThisThread();
    m_tasks.open();
    std::vector<pollfd> fds;
    while (!m_stopping) {
        buildPollSet(fds);
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            break;
        // Connections first: fds[2 + 2i] belong to m_conns[i] until accept or a task changes it.
        for (size_t i = 0; i < m_conns.size(); ++i) {
            if (!pump(*m_conns[i], fds[2 + 2 * i].revents, fds[3 + 2 * i].revents))
                m_conns[i].reset();
        }
        m_conns.erase(std::remove(m_conns.begin(), m_conns.end(), nullptr), m_conns.end());
        m_open = static_cast<int>(m_conns.size());
        if (fds[1].revents & POLLIN)
            acceptPending();
        if (fds[0].revents & POLLIN)
            m_waker.drain();
        m_tasks.runPending();
    }
    closeAll(false);
    m_listen.reset();
    m_tasks.close();
}

void Relay::buildPollSet(std::vector<pollfd> &fds) const
{
    fds.clear();
    fds.push_back({m_waker.fd(), POLLIN, 0});
    fds.push_back({m_listen.get(), POLLIN, 0});
    for (const auto &c : m_conns) {
        short netEvents = c->toSrv.size() < kHighWater ? POLLIN : 0;
        if (!c->toNet.empty())
            netEvents |= POLLOUT;
        short srvEvents = c->toNet.size() < kHighWater ? POLLIN : 0;
        if (!c->toSrv.empty())
            srvEvents |= POLLOUT;
        fds.push_back({c->net.get(), netEvents, 0});
        // A closed server side would report POLLHUP for ever: leave it out.
        fds.push_back({c->serverClosed ? -1 : c->srv.get(), srvEvents, 0});
    }
}

void Relay::acceptPending()
{
    for (;;) {
        UniqueFd net = acceptConnection(m_listen.get());
        if (!net.valid())
            return;
        int pair[2] = {-1, -1};
        UniqueFd ours;
        if (m_upstreamPort)
            ours = connectToLoopback(m_upstreamPort);
        else if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) == 0)
            ours.reset(pair[0]);
        if (!ours.valid())
            return;
        setNonBlocking(ours.get());
        setNoDelay(net.get());
        const int id = ++m_accepted;
        m_conns.push_back(std::make_unique<Connection>(id, std::move(net), std::move(ours),
                                                       m_passwordRequired));
        m_open = static_cast<int>(m_conns.size());
        if (!m_upstreamPort)
            m_onServerSocket(pair[1]);
    }
}

// Moves bytes both ways. Returns false once the connection is over.
bool Relay::pump(Connection &c, short netEvents, short srvEvents)
{
    std::vector<char> &chunk = m_chunk;
    size_t got = 0;
    if (netEvents & (POLLIN | POLLHUP | POLLERR)) {
        const ReadResult r = readSome(c.net.get(), chunk, &got);
        // The client left: closing our end lets libvncserver see EOF too.
        if (r == ReadResult::Closed)
            return false;
        if (r == ReadResult::Data) {
            QList<ClientMessage> parsed;
            c.parser.feed(chunk.data(), got, &parsed);
            if (!parsed.isEmpty())
                m_onMessages(parsed);
            if (!c.serverClosed)
                c.toSrv.append(chunk.data(), got);
        }
    }
    if (!c.serverClosed && (srvEvents & (POLLIN | POLLHUP | POLLERR))) {
        const ReadResult r = readSome(c.srv.get(), chunk, &got);
        if (r == ReadResult::Closed)
            c.serverClosed = true;
        else if (r == ReadResult::Data)
            c.toNet.append(chunk.data(), got);
    }
    if (c.serverClosed)
        c.toSrv.consume(c.toSrv.size());
    else if (!flushQueue(c.srv.get(), c.toSrv))
        c.serverClosed = true;
    if (!flushQueue(c.net.get(), c.toNet))
        return false;
    // libvncserver closed it: pass the close on once its last bytes are out.
    return !(c.serverClosed && c.toNet.empty());
}

void Relay::closeAll(bool reset)
{
    for (const auto &c : m_conns) {
        if (reset)
            setLingerReset(c->net.get());
        else
            ::shutdown(c->net.get(), SHUT_RDWR);
    }
    m_conns.clear();
    m_open = 0;
}

} // namespace vemotest

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
constexpr size_t kThrottledWater = 64u << 10;

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
        // A throttled link sends what it holds in small steps.
        const bool holding = m_rate > 0 && std::any_of(m_conns.begin(), m_conns.end(),
                                                       [](const auto &c) { return !c->toNet.empty(); });
        if (::poll(fds.data(), fds.size(), holding ? 2 : -1) < 0 && errno != EINTR)
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
        if (!c->toNet.empty() && m_rate == 0)
            netEvents |= POLLOUT;
        // Throttled, the server feels the slow link as a full socket.
        short srvEvents = c->toNet.size() < (m_rate > 0 ? kThrottledWater : kHighWater) ? POLLIN : 0;
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
    if (!sendToClient(c))
        return false;
    // libvncserver closed it: pass the close on once its last bytes are out.
    return !(c.serverClosed && c.toNet.empty());
}

bool Relay::sendToClient(Connection &c)
{
    const size_t before = c.toNet.size();
    const qint64 rate = m_rate;
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - m_refilled).count();
    m_refilled = now;
    bool open;
    if (rate == 0) {
        open = flushQueue(c.net.get(), c.toNet);
    } else {
        // Whole packets, as a link delivers them (the library counts each
        // read that finds nothing towards its time-out), at most 20 ms'
        // worth at once.
        constexpr double packet = 1448;
        m_allowance = std::min(m_allowance + seconds * double(rate), std::max(double(rate) / 50, 2 * packet));
        const size_t allowed = m_allowance >= std::min(double(c.toNet.size()), packet)
            ? std::min(c.toNet.size(), size_t(m_allowance)) : 0;
        const ssize_t n = allowed ? ::send(c.net.get(), c.toNet.data(), allowed, MSG_NOSIGNAL) : 0;
        if (n > 0) {
            c.toNet.consume(size_t(n));
            m_allowance -= double(n);
        }
        open = n >= 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
    m_toClient += qint64(before - c.toNet.size());
    return open;
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

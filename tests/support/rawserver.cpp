#include "rawserver.h"

#include "socketutil.h"

#include <gnutls/gnutls.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vemotest;
using Clock = std::chrono::steady_clock;

namespace {

struct Connection
{
    UniqueFd fd;
    int index = 0; // into received
    int step = 0;
    qsizetype unconsumed = 0; // received bytes no Expect step has taken yet
    bool pausing = false;
    Clock::time_point pauseEnd;
    ByteQueue out;
    std::shared_ptr<gnutls_session_int> tls; // once StartTls began
    bool tlsReady = false;
    size_t tlsPending = 0; // a record gnutls has to finish first
};

bool flush(Connection &c)
{
    if (!c.tls)
        return flushQueue(c.fd.get(), c.out);
    while (c.tlsReady && !c.out.empty()) {
        const size_t size = c.tlsPending ? c.tlsPending : std::min<size_t>(c.out.size(), 16384);
        const ssize_t n = gnutls_record_send(c.tls.get(), c.out.data(), size);
        c.tlsPending = n == GNUTLS_E_AGAIN || n == GNUTLS_E_INTERRUPTED ? size : 0;
        if (c.tlsPending)
            return true;
        if (n < 0)
            return false;
        c.out.consume(size_t(n));
    }
    return true;
}

// A server session with anonymous credentials, on the connection's socket.
std::shared_ptr<gnutls_session_int> serverSession(int fd)
{
    // The viewer's code in this process sets GnuTLS up only for its own
    // first session (it skips the set-up at load): a server here does its own.
    static gnutls_anon_server_credentials_t credentials = [] {
        gnutls_global_init();
        gnutls_anon_server_credentials_t c;
        gnutls_anon_allocate_server_credentials(&c);
        return c;
    }();
    gnutls_session_t session;
    gnutls_init(&session, GNUTLS_SERVER | GNUTLS_NONBLOCK);
    gnutls_priority_set_direct(session, "NORMAL:+ANON-ECDH:+ANON-DH", nullptr);
    gnutls_credentials_set(session, GNUTLS_CRD_ANON, credentials);
    gnutls_transport_set_int(session, fd);
    return std::shared_ptr<gnutls_session_int>(session, gnutls_deinit);
}

} // namespace

struct RawServer::Private
{
    explicit Private(const QList<Step> &s) : script(s) {}

    void run();
    void acceptPending();
    bool advance(Connection &c, Clock::time_point now);
    bool readFrom(Connection &c);
    int pollTimeout(Clock::time_point now) const;
    bool deaf(const Connection &c) const
    {
        return c.step < script.size() && script[c.step].kind == Step::Pause && script[c.step].count;
    }

    const QList<Step> script;
    UniqueFd listenFd;
    quint16 port = 0;
    Waker waker;
    std::thread thread;
    std::atomic<bool> stopping {false};
    std::atomic<int> accepted {0};
    std::vector<Connection> conns; // server thread only

    mutable std::mutex receivedMutex;
    QList<QByteArray> received;
};

RawServer::RawServer(Mode mode) : RawServer(script(mode)) {}

RawServer::RawServer(const QList<Step> &script) : d(std::make_unique<Private>(script)) {}

RawServer::~RawServer()
{
    if (d->thread.joinable()) {
        d->stopping = true;
        d->waker.wake();
        d->thread.join();
    }
}

QList<RawServer::Step> RawServer::script(Mode mode)
{
    const QByteArray version("RFB 003.008\n");
    switch (mode) {
    case Silent:
        return {};
    case StallAfterVersion:
        return {Step::send(version)};
    case StallAfterSecurity:
        return {Step::send(version), Step::expect(12), Step::send(QByteArray("\x01\x02", 2)),
                Step::expect(1)};
    case CloseAfterAccept:
        return {Step::close()};
    }
    return {};
}

bool RawServer::start()
{
    if (d->thread.joinable())
        return false;
    d->listenFd = listenOnLoopback(&d->port);
    if (!d->listenFd.valid() || d->waker.fd() < 0)
        return false;
    d->thread = std::thread([this] { d->run(); });
    return true;
}

quint16 RawServer::port() const
{
    return d->port;
}

int RawServer::acceptedCount() const
{
    return d->accepted.load();
}

QList<QByteArray> RawServer::received() const
{
    // Deep copies: the server thread appends to its own in place, and a
    // shared buffer would change hands without a lock the detector sees.
    std::lock_guard<std::mutex> lock(d->receivedMutex);
    QList<QByteArray> copy;
    for (const QByteArray &bytes : d->received)
        copy.append(QByteArray(bytes.constData(), bytes.size()));
    return copy;
}

void RawServer::Private::run()
{
    blockSigPipeInThisThread();
    std::vector<pollfd> fds;
    while (!stopping) {
        fds.clear();
        fds.push_back({waker.fd(), POLLIN, 0});
        fds.push_back({listenFd.get(), POLLIN, 0});
        for (const Connection &c : conns)
            fds.push_back({c.fd.get(), short((deaf(c) ? 0 : POLLIN) | (c.out.empty() ? 0 : POLLOUT)), 0});
        ::poll(fds.data(), fds.size(), pollTimeout(Clock::now()));
        const Clock::time_point now = Clock::now();
        std::vector<Connection> kept;
        for (size_t i = 0; i < conns.size(); ++i) {
            Connection &c = conns[i];
            const bool alive = (deaf(c) || !(fds[2 + i].revents & (POLLIN | POLLHUP | POLLERR)) || readFrom(c))
                && flush(c) && advance(c, now);
            if (alive)
                kept.push_back(std::move(c));
        }
        conns = std::move(kept);
        if (fds[1].revents & POLLIN)
            acceptPending();
        waker.drain();
    }
    conns.clear();
    listenFd.reset();
}

void RawServer::Private::acceptPending()
{
    for (;;) {
        UniqueFd fd = acceptConnection(listenFd.get());
        if (!fd.valid())
            return;
        setNoDelay(fd.get());
        Connection c;
        c.fd = std::move(fd);
        {
            std::lock_guard<std::mutex> lock(receivedMutex);
            c.index = int(received.size());
            received.append(QByteArray());
        }
        ++accepted;
        if (advance(c, Clock::now()))
            conns.push_back(std::move(c));
    }
}

// Keeps what the client sent. False once the client has gone.
bool RawServer::Private::readFrom(Connection &c)
{
    char buf[16384];
    if (c.tls && !c.tlsReady)
        return true; // the handshake in advance() reads
    const bool tlsAhead = !c.tls && std::any_of(script.begin() + c.step, script.end(), [](const Step &s) {
        return s.kind == Step::StartTls;
    });
    for (;;) {
        // Before TLS, no further than the step expects: TLS's bytes follow.
        size_t limit = sizeof buf;
        if (tlsAhead) {
            const Step &s = script[c.step];
            limit = s.kind == Step::Expect ? size_t(qMax<qsizetype>(0, s.count - c.unconsumed)) : 0;
        }
        if (limit == 0)
            return true;
        ssize_t n = c.tls ? gnutls_record_recv(c.tls.get(), buf, limit) : ::read(c.fd.get(), buf, limit);
        if (c.tls && n < 0) {
            errno = n == GNUTLS_E_AGAIN ? EAGAIN : n == GNUTLS_E_INTERRUPTED ? EINTR : EIO;
            n = -1;
        }
        if (n > 0) {
            std::lock_guard<std::mutex> lock(receivedMutex);
            received[c.index].append(buf, n);
            c.unconsumed += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// Plays steps until one has to wait. False once the connection is closed.
bool RawServer::Private::advance(Connection &c, Clock::time_point now)
{
    while (c.step < script.size()) {
        const Step &s = script[c.step];
        switch (s.kind) {
        case Step::Send:
            c.out.append(s.bytes.constData(), size_t(s.bytes.size()));
            if (!flush(c))
                return false;
            break;
        case Step::StartTls: {
            if (!c.out.empty())
                return true;
            if (!c.tls)
                c.tls = serverSession(c.fd.get());
            const int result = gnutls_handshake(c.tls.get());
            if (result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED)
                return true;
            if (result < 0)
                return false;
            c.tlsReady = true;
            break;
        }
        case Step::Expect:
            if (c.unconsumed < s.count)
                return true;
            c.unconsumed -= s.count;
            break;
        case Step::Pause:
            if (!c.pausing) {
                c.pausing = true;
                c.pauseEnd = now + std::chrono::milliseconds(s.ms);
            }
            if (now < c.pauseEnd)
                return true;
            c.pausing = false;
            break;
        case Step::Close:
            if (!c.out.empty())
                return true;
            ::shutdown(c.fd.get(), SHUT_RDWR);
            return false;
        case Step::Reset:
            setLingerReset(c.fd.get());
            return false;
        }
        ++c.step;
    }
    return true;
}

int RawServer::Private::pollTimeout(Clock::time_point now) const
{
    int timeout = -1;
    for (const Connection &c : conns) {
        if (!c.pausing)
            continue;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(c.pauseEnd - now);
        const int ms = int(std::max<qint64>(0, left.count() + 1));
        timeout = timeout < 0 ? ms : std::min(timeout, ms);
    }
    return timeout;
}

// Accepts TCP connections on 127.0.0.1 and relays each one to a socketpair
// whose other end goes to libvncserver (or to a server's port on loopback),
// recording what the client sends on the way. libvncserver does not keep
// the client's messages as sent (the encodings list, for one), so they are
// read here off the wire.
#pragma once

#include "clientmessage.h"
#include "socketutil.h"
#include "taskqueue.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <poll.h>
#include <thread>
#include <vector>

namespace vemotest {

class Relay
{
public:
    // Receives the libvncserver end of a new connection and owns it.
    using ServerSocketHandler = std::function<void(int fd)>;
    using MessageHandler = std::function<void(const QList<ClientMessage> &)>;

    Relay(bool passwordRequired, ServerSocketHandler onServerSocket, MessageHandler onMessages);
    // Relays to the server on 127.0.0.1:upstreamPort, which must not ask
    // for a VNC password.
    Relay(quint16 upstreamPort, MessageHandler onMessages);
    ~Relay();

    bool start();
    // Closes every connection and the listener, joins the thread.
    void stop();

    quint16 port() const { return m_port; }
    int connectionCount() const { return m_accepted.load(); }
    int openConnections() const { return m_open.load(); }

    // Closes every client connection now; with reset, the client gets RST.
    void dropAll(bool reset);

    // Passes at most this many bytes a second towards the client (0: as
    // fast as it goes), a link slower than the server; any thread.
    void setRate(qint64 bytesPerSecond) { m_rate = bytesPerSecond; }
    // Bytes passed towards the client so far.
    qint64 bytesToClient() const { return m_toClient.load(); }

private:
    struct Connection;

    void run();
    void buildPollSet(std::vector<pollfd> &fds) const;
    void acceptPending();
    bool pump(Connection &c, short netEvents, short srvEvents);
    void closeAll(bool reset);

    const bool m_passwordRequired;
    const quint16 m_upstreamPort = 0;
    ServerSocketHandler m_onServerSocket;
    MessageHandler m_onMessages;
    UniqueFd m_listen;
    quint16 m_port = 0;
    Waker m_waker;
    TaskQueue m_tasks {m_waker};
    std::thread m_thread;
    bool m_stopping = false; // relay thread only
    std::vector<std::unique_ptr<Connection>> m_conns; // relay thread only
    std::vector<char> m_chunk; // relay thread only: read buffer
    std::atomic<int> m_accepted {0};
    std::atomic<int> m_open {0};
    std::atomic<qint64> m_rate {0};
    std::atomic<qint64> m_toClient {0};
    double m_allowance = 0; // relay thread only: bytes the rate allows now
    std::chrono::steady_clock::time_point m_refilled; // relay thread only
    bool sendToClient(Connection &c);
};

} // namespace vemotest

// An UltraVNC-style repeater on 127.0.0.1 for tests: servers connect to
// serverPort() and name themselves with a 250-byte block "ID:..."; viewers
// connect to viewerPort(), are greeted with "RFB 000.000\n" and answer with
// the same kind of block. A viewer and a server with the same ID are
// joined, whichever came first waiting for the other; the repeater then
// copies bytes both ways until either side ends.
#pragma once

#include "socketutil.h"

#include <QByteArray>
#include <QMap>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace vemotest {

class VncRepeater
{
public:
    VncRepeater() = default;
    ~VncRepeater();
    VncRepeater(const VncRepeater &) = delete;
    VncRepeater &operator=(const VncRepeater &) = delete;

    bool start();
    quint16 viewerPort() const { return m_viewerPort; }
    quint16 serverPort() const { return m_serverPort; }

    // Connects the VNC server on 127.0.0.1:vncPort to the repeater under
    // 'id', as a server behind NAT dials out to one.
    bool registerServer(quint16 vncPort, const QByteArray &id);
    // Viewers joined to a server so far.
    int pairs() const { return m_pairs.load(); }
    // The IDs viewers asked for, in order.
    QList<QByteArray> askedIds() const;

private:
    void run();
    void admit(UniqueFd fd, bool viewer);
    void join(UniqueFd a, UniqueFd b);

    UniqueFd m_viewers;
    UniqueFd m_servers;
    quint16 m_viewerPort = 0;
    quint16 m_serverPort = 0;
    Waker m_waker;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
    mutable std::mutex m_lock; // guards the rest
    QMap<QByteArray, int> m_waitingServers; // ID -> socket
    QMap<QByteArray, int> m_waitingViewers;
    QList<QByteArray> m_askedIds;
    std::vector<std::thread> m_joins;
    std::atomic<int> m_pairs{0};
};

} // namespace vemotest

// An UltraVNC-style repeater on 127.0.0.1 for tests: a viewer is greeted
// with "RFB 000.000\n" and names the server it wants in a 250-byte block
// "ID:..."; the repeater joins it to the server registered under that ID
// and copies bytes both ways, one viewer at a time. Servers are registered
// by port here, where a real repeater waits for them to dial in.
#pragma once

#include "socketutil.h"

#include <QByteArray>
#include <QList>
#include <QMap>

#include <atomic>
#include <mutex>
#include <thread>

namespace vemotest {

class VncRepeater
{
public:
    ~VncRepeater();
    bool start();
    quint16 port() const { return m_port; }
    void registerServer(const QByteArray &id, quint16 vncPort);
    // The IDs viewers asked for, in order.
    QList<QByteArray> askedIds() const;

private:
    void run();
    void serve(int viewer);

    UniqueFd m_listen;
    quint16 m_port = 0;
    Waker m_waker;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
    mutable std::mutex m_lock; // guards the servers and the IDs asked for
    QMap<QByteArray, quint16> m_servers;
    QList<QByteArray> m_asked;
};

} // namespace vemotest

#ifndef CONNECTOR_H
#define CONNECTOR_H

#include <QByteArray>
#include <QString>

#include <functional>

// Name resolution and TCP connect that a stop request can interrupt at any
// moment: getaddrinfo() and a blocking connect() cannot be cancelled, so the
// lookup runs on a detached helper and the connect is non-blocking.
namespace Connector
{
struct Result
{
    int fd = -1;            // connected, non-blocking socket, or -1
    bool cancelled = false; // stopRequested() said so while waiting
    bool notFound = false;  // the name lookup failed
    QString error;          // what failed, for the log, when fd is -1
};

// Waits on wakeFd (an eventfd) as well; each time it fires, stopRequested()
// decides whether to give up. The eventfd is consumed while waiting.
Result connectToServer(const QByteArray &host, int port, int timeoutMs, int wakeFd,
                       const std::function<bool()> &stopRequested);
}

#endif

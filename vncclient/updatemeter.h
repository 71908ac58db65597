#ifndef UPDATEMETER_H
#define UPDATEMETER_H

#include "autoquality.h"

#include <QElapsedTimer>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <utility>

// The updates of the last few seconds, as rates at any time after: a copy
// taken now and then tells another thread the rates when it asks, so the
// connection thread need not wake to keep them current.
class RecentUpdates
{
public:
    void add(qint64 endMs, qint64 bytes);
    double updatesPerSecond(qint64 nowMs) const;
    double bytesPerSecond(qint64 nowMs) const;

    static constexpr qint64 windowMs = 3000;

private:
    std::deque<std::pair<qint64, qint64>> updates; // end time, bytes
};

// What each framebuffer update cost to arrive, for Auto and for the
// connection-information view, measured on the connection thread. Cheap
// by design: rectangles are counted from what the library already read,
// and the socket's counters are read once per update.
class UpdateMeter
{
public:
    UpdateMeter();

    // Connected over 'socket': its counters so far are not the updates'.
    void connected(int socket);
    // The next message is a FramebufferUpdate; its header is not read yet.
    void begin();
    bool measuring() const { return startUs >= 0; }
    // A rectangle of it (encoding -1: not known), before its payload.
    void rectangle(int32_t encoding, qint64 pixels, bool jpeg);
    // The update is handled: what it cost. The bytes are the TCP socket's
    // received bytes since the last update ended (below TLS, and with the
    // small messages in between); on another socket, what the library read.
    UpdateSample finish(int socket);

    // The socket's smoothed round trip at the last update; -1: not known.
    int roundTripMs() const { return roundTrip; }
    qint64 nowMs() const { return started.elapsed(); }
    // The encodings the server has used, by name.
    QStringList encodingsUsed() const;
    // Whether a new encoding was seen since the last call.
    bool takeNewEncoding();
    // The updates of the last few seconds, on the clock of 'clock()'.
    const RecentUpdates &recent() const { return recentUpdates; }
    const QElapsedTimer &clock() const { return started; }

private:
    // The bytes received so far, and the socket's round trip when it has one.
    qint64 received(int socket);

    QElapsedTimer started;
    qint64 startUs = -1;
    qint64 pixels = 0;
    qint64 jpegPixels = 0;
    bool tcp = true; // until the socket says otherwise
    qint64 lastReceived = -1; // the socket's count at the last update's end
    int roundTrip = -1;
    uint32_t used = 0; // bits of encodingNames' rows
    bool newEncoding = false;
    RecentUpdates recentUpdates;
};

#endif

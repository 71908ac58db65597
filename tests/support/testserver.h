// A libvncserver-based VNC server for tests, on 127.0.0.1 and a free port.
//
// Threads: libvncserver runs only on the server thread; the relay thread
// accepts connections and copies bytes between each client and
// libvncserver, recording the client's messages. Public methods may be
// called from any thread: they run their work on the server thread and
// return when it is done.
#pragma once

#include "clientmessage.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class TestServer
{
public:
    // An empty password means no authentication; otherwise VNC authentication.
    TestServer(int width, int height, const QByteArray &password = {});
    ~TestServer();
    TestServer(const TestServer &) = delete;
    TestServer &operator=(const TestServer &) = delete;

    bool start();
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const;

    // Initial content and content after resize(): 0x00RRGGBB, different for
    // neighbours in both directions and varying over the whole screen.
    static quint32 patternPixel(int x, int y);
    // The server's current pixels, Format_RGB32.
    QImage framebuffer() const;
    QSize size() const;

    // Paints r (clipped) and tells the clients it changed.
    void fillRect(const QRect &r, quint32 rgb);
    // Paints r (clipped) with the pattern moved 'shift' pixels left: a
    // picture that compresses badly, for traffic.
    void paintPattern(const QRect &r, int shift);
    // Moves the pixels of 'from' to 'to' (they may overlap) and sends the
    // clients a CopyRect where they take it.
    void copyRect(const QRect &from, const QPoint &to);
    // New desktop size with pattern content; clients get a size change.
    void resize(int width, int height);
    void sendCutText(const QByteArray &bytes);
    // The cursor sent to clients that take cursor shapes: 'shape' in
    // ARGB32, transparent where alpha is 0.
    void setCursor(const QImage &shape, const QPoint &hotSpot);
    // Closes every client connection at once; with reset, by TCP RST.
    void dropConnections(bool reset = false);

    // What the clients sent, in the order the server received it.
    QList<ClientMessage> messages() const;
    void clearMessages();
    // Waits until pred holds for the record; true if it did within timeoutMs.
    // pred runs under the record's lock: it must not call this object.
    bool waitForMessages(const std::function<bool(const QList<ClientMessage> &)> &pred,
                         int timeoutMs) const;

    // Connections accepted since start().
    int connectionCount() const;
    // Clients libvncserver serves right now.
    int clientCount() const;
    bool waitForClientCount(int count, int timeoutMs) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

#ifndef VNCCLIENTTHREAD_H
#define VNCCLIENTTHREAD_H

#include "handover.h"
#include "remoteview.h"

#include <QImage>
#include <QList>
#include <QMutex>
#include <QRect>
#include <QString>
#include <QThread>

#include <atomic>
#include <vector>

#include <rfb/rfbclient.h>

class OutgoingEvent;

// Owns one RFB connection made through libvncclient. Server traffic comes
// out as signals; user input goes in through the slots, queued for the
// connection thread. The locking rules are at the top of the source file.
class VncClientThread : public QThread
{
    Q_OBJECT

public:
    explicit VncClientThread(QObject *parent = nullptr);
    ~VncClientThread() override;

    void setHost(const QString &host);
    void setPort(int port);
    void setQuality(RemoteView::Quality quality);
    RemoteView::Quality quality() const;
    void setPassword(const QString &password);
    // Speaks RFB over an already connected socket instead of connecting to
    // host and port; the thread takes the socket over. Used once.
    void useSocket(int fd);
    void stop();

    void setImage(const QImage &img);
    QImage image(int x = 0, int y = 0, int w = 0, int h = 0) const;

    QString currentHost() const;
    int currentPort() const; // normalised once a connection attempt began

    // The port rule: 0 or less is 5900, 1 to 99 a display number, else a port.
    static int normalisedPort(int port);

    // Largest desktop accepted from a server: any side up to 16384 pixels,
    // at most 128 million pixels (512 MiB) in all, two 8K screens' worth.
    static constexpr int maximumSide = 16384;
    static constexpr qint64 maximumPixels = qint64(16384) * 8192;

signals:
    void imageUpdated(int x, int y, int w, int h);
    void gotCut(const QString &text);
    void passwordRequest();
    void outputErrorMessage(const QString &message);

public slots:
    void mouseEvent(int x, int y, int buttonMask);
    void keyEvent(int key, bool pressed);
    void clientCut(const QString &text);

private slots:
    void checkOutputErrorMessage();

protected:
    void run() override;

private:
    friend struct ClientHooks;

    rfbClient *newClient(const QString &host, int port, int socket);
    bool attemptConnection();
    void messageLoop();
    void drainQueue();
    void enqueue(OutgoingEvent *event);
    void wake();
    void setActiveSocket(int fd);
    void closeActiveSocket();
    void reportLine(const QString &line);
    void setPendingMessage(const QString &message);
    void reportUnexplainedEnd();
    QString currentPassword() const;
    template<typename Emission>
    void emitBlocking(Emission emission);

    QImage pixelBuffer; // owns the pixels lent to the library
    QImage frameImage;  // what the view is given; shares pixelBuffer's memory
    rfbClient *client = nullptr;
    QString host;
    QString password;
    int port = 0;
    int givenSocket = -1;
    mutable QMutex mutex;
    std::atomic<RemoteView::Quality> connectionQuality{RemoteView::Medium};
    QList<OutgoingEvent *> eventQueue;
    std::atomic<bool> stopped{false};
    std::atomic<bool> passwordRequested{false};

    // Guards pendingErrorMessage, password and activeSocket; never held
    // while calling out, so either thread may take it at any time.
    mutable QMutex sideLock;
    QString pendingErrorMessage;
    int activeSocket = -1;
    int wakeFd = -1;

    // Connection thread only.
    std::vector<QRect> damageRects; // updated so far in this update message
    bool requestedAhead = false; // next update asked for during this message
    bool holdingUpdateRequests = false; // the library's own request is held back
    QString suppliedPassword;
    bool userMessageGiven = false;
    bool protocolFault = false; // the server sent what the library cannot parse
};

// The receivers are connected blocking-queued: the emission returns only
// after their slots ran on the GUI thread.
template<typename Emission>
void VncClientThread::emitBlocking(Emission emission)
{
    Handover::release(this);
    {
        const Handover::Unrecorded marshalling;
        emission();
    }
    Handover::acquire(this);
}

#endif

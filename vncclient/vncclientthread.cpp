// The connection thread.
//
// Threads: the GUI thread owns this object (configuration, input slots,
// image(), the error timer, the destructor); the connection thread runs
// run() and every libvncclient hook.
//
// Locks:
// - mutex guards host, port, frameImage and eventQueue, and writes of
//   stopped. It is never held across a connection attempt or a network
//   write, so no GUI call ever waits on the network.
// - sideLock guards pendingErrorMessage, password and activeSocket; it is
//   never held while calling anything else.
//
// Blocking points of the connection thread, and what interrupts each:
// - name lookup and connect: Connector, woken through wakeFd by stop();
// - the handshake and reads inside libvncclient: stop() shuts the socket
//   down (the library gets a duplicate, so ours is always safe to shut);
// - waiting for server data or input: poll() on the socket and wakeFd;
// - the blocking emissions towards the GUI thread: the view removes their
//   pending calls when it goes away, and the hooks stop emitting once
//   stopped is set.
#include "vncclientthread.h"

#include "clienthooks.h"
#include "connector.h"
#include "handover.h"
#include "librarytext.h"
#include "outgoingevent.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMutexLocker>
#include <QTimer>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
// A server that accepts and never answers must not hold a connect or a
// read for ever; stop() interrupts both sooner.
constexpr int connectTimeoutMs = 15000;
constexpr unsigned readTimeoutSeconds = 30;

} // namespace

VncClientThread::VncClientThread(QObject *parent) : QThread(parent)
{
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    QMutexLocker locker(&mutex);
    stopped = false;
    auto *timer = new QTimer(this);
    timer->setInterval(500);
    connect(timer, SIGNAL(timeout()), this, SLOT(checkOutputErrorMessage()));
    timer->start();
}

VncClientThread::~VncClientThread()
{
    stop();
    // Every blocking point ends on stop() but one: an emission towards a
    // receiver on this thread, still connected, waits for this thread's
    // event loop, which is here. Deliver the calls it may be waiting for.
    while (!wait(10))
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    Handover::acquire(this);
    qDeleteAll(eventQueue);
    if (givenSocket >= 0)
        close(givenSocket);
    if (wakeFd >= 0)
        close(wakeFd);
}

void VncClientThread::setHost(const QString &host)
{
    QMutexLocker locker(&mutex);
    this->host = host;
}

void VncClientThread::setPort(int port)
{
    QMutexLocker locker(&mutex);
    this->port = port;
}

void VncClientThread::useSocket(int fd)
{
    QMutexLocker locker(&mutex);
    if (givenSocket >= 0)
        close(givenSocket);
    givenSocket = fd;
}

void VncClientThread::setQuality(RemoteView::Quality quality) { connectionQuality = quality; }
RemoteView::Quality VncClientThread::quality() const { return connectionQuality; }

void VncClientThread::setPassword(const QString &password)
{
    QMutexLocker locker(&sideLock);
    this->password = password;
}

QString VncClientThread::currentPassword() const
{
    QMutexLocker locker(&sideLock);
    return password;
}

QString VncClientThread::currentHost() const
{
    QMutexLocker locker(&mutex);
    return host;
}

int VncClientThread::currentPort() const
{
    QMutexLocker locker(&mutex);
    return port;
}

void VncClientThread::stop()
{
    {
        QMutexLocker locker(&mutex);
        stopped = true;
    }
    {
        QMutexLocker locker(&sideLock);
        if (activeSocket >= 0)
            shutdown(activeSocket, SHUT_RDWR);
    }
    wake();
}

void VncClientThread::setImage(const QImage &img)
{
    QMutexLocker locker(&mutex);
    frameImage = img;
}

QImage VncClientThread::image(int x, int y, int w, int h) const
{
    QMutexLocker locker(&mutex);
    if (w == 0)
        return frameImage;
    return frameImage.copy(x, y, w, h);
}

int VncClientThread::normalisedPort(int port)
{
    if (port <= 0)
        return 5900;
    if (port <= 99)
        return port + 5900;
    return port;
}

void VncClientThread::wake()
{
    if (wakeFd >= 0)
        eventfd_write(wakeFd, 1);
}

void VncClientThread::setActiveSocket(int fd)
{
    QMutexLocker locker(&sideLock);
    activeSocket = fd;
    // A stop() that came before the socket existed must still end it.
    if (stopped)
        shutdown(fd, SHUT_RDWR);
}

void VncClientThread::closeActiveSocket()
{
    QMutexLocker locker(&sideLock);
    if (activeSocket >= 0)
        close(activeSocket);
    activeSocket = -1;
}

void VncClientThread::setPendingMessage(const QString &message)
{
    QMutexLocker locker(&sideLock);
    pendingErrorMessage = message;
}

void VncClientThread::reportLine(const QString &line)
{
    // After an unknown message type 0.9.14 reads 256 more bytes before it
    // gives up: a server that sends fewer would hold the connection for the
    // whole read timeout. Shutting the socket makes that read end at once.
    if (line.startsWith(QLatin1String("Unknown message type"))) {
        setPendingMessage(tr("The VNC server sent a message this viewer does not understand."));
        userMessageGiven = true;
        protocolFault = true;
        QMutexLocker locker(&sideLock);
        if (activeSocket >= 0)
            shutdown(activeSocket, SHUT_RDWR);
        return;
    }
    // What the library logs next is the end we caused, not the server.
    if (protocolFault)
        return;
    const QString message = LibraryText::recognise(line);
    if (message.isNull())
        return;
    setPendingMessage(message);
    if (message != QLatin1String(LibraryText::compatibilityMarker))
        userMessageGiven = true;
}

void VncClientThread::reportUnexplainedEnd()
{
    if (userMessageGiven)
        return;
    setPendingMessage(passwordRequested ? LibraryText::authenticationFailed() : LibraryText::connectionFailed());
    userMessageGiven = true;
}

rfbClient *VncClientThread::newClient(const QString &host, int port, int socket)
{
    rfbClient *c = rfbGetClient(8, 3, 4);
    c->GotXCutText = ClientHooks::cutTextReceived;
    c->MallocFrameBuffer = ClientHooks::allocateFrameBuffer;
    c->canHandleNewFBSize = 1;
    c->GetPassword = ClientHooks::supplyPassword;
    c->GotFrameBufferUpdate = ClientHooks::frameBufferUpdated;
    c->FinishedFrameBufferUpdate = ClientHooks::frameBufferUpdateFinished;
    c->SoftCursorLockArea = ClientHooks::rectangleStarting;
    rfbClientSetClientData(c, nullptr, this);
    requestedAhead = false;
    holdingUpdateRequests = false;
    damageRects.clear();
    free(c->serverHost);
    c->serverHost = strdup(host.toUtf8().constData());
    c->serverPort = port;
    // Our own connected socket: the library then makes no connect() of its
    // own, which nothing could interrupt.
    c->sock = socket;
    c->listenSpecified = TRUE;
    c->readTimeout = readTimeoutSeconds;
    return c;
}

bool VncClientThread::attemptConnection()
{
    for (;;) {
        if (stopped)
            return false;
        passwordRequested = false;
        QString targetHost;
        int targetPort;
        int socket;
        {
            QMutexLocker locker(&mutex);
            port = normalisedPort(port);
            targetHost = host;
            targetPort = port;
            socket = givenSocket;
            givenSocket = -1;
        }
        qDebug() << "--------------------- trying init ---------------------";
        Connector::Result connection;
        if (socket >= 0) {
            // The library expects a non-blocking socket, as Connector makes.
            fcntl(socket, F_SETFL, fcntl(socket, F_GETFL) | O_NONBLOCK);
            connection.fd = socket;
        } else
            connection = Connector::connectToServer(targetHost.toUtf8(), targetPort, connectTimeoutMs, wakeFd,
                                                    [this] { return stopped.load(); });
        if (connection.fd < 0) {
            if (!connection.cancelled) {
                rfbClientErr("ConnectToVncServer: %s\n", qUtf8Printable(connection.error));
                rfbClientLog("Unable to connect to VNC server\n");
            }
            return false;
        }
        setActiveSocket(connection.fd);
        client = newClient(targetHost, targetPort, fcntl(connection.fd, F_DUPFD_CLOEXEC, 0));
        if (rfbInitClient(client, nullptr, nullptr))
            return true;
        // A failed rfbInitClient has already freed the client and its socket.
        client = nullptr;
        closeActiveSocket();
        // Retry only with a password other than the one just refused: a
        // server that never throttles must not see an endless loop.
        if (!passwordRequested || stopped || currentPassword() == suppliedPassword)
            return false;
    }
}

void VncClientThread::messageLoop()
{
    wake(); // input queued while connecting goes out at the first turn
    for (;;) {
        if (stopped)
            return;
        // 0.9.14's WaitForMessage ignores bytes the library already read
        // ahead, so those are handled without waiting.
        bool serverData = client->buffered > 0;
        if (!serverData) {
            pollfd fds[2] = {{client->sock, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                rfbClientErr("Waiting for message failed: %s\n", strerror(errno));
                return;
            }
            if (fds[1].revents & POLLIN) {
                eventfd_t value;
                eventfd_read(wakeFd, &value);
            }
            serverData = fds[0].revents != 0;
        }
        if (stopped)
            return;
        if (serverData && !HandleRFBServerMessage(client))
            return;
        drainQueue();
    }
}

void VncClientThread::drainQueue()
{
    // Taken out under the lock, sent without it: a server that stops
    // reading must not block the GUI thread's input calls.
    QList<OutgoingEvent *> batch;
    {
        QMutexLocker locker(&mutex);
        batch.swap(eventQueue);
    }
    for (OutgoingEvent *event : std::as_const(batch)) {
        event->send(client);
        delete event;
    }
}

void VncClientThread::run()
{
    // A server that closes while we write must end the connection, not the
    // process: the library writes with plain write().
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    ClientHooks::setLoggingThread(this);
    static std::once_flag hooksInstalled;
    std::call_once(hooksInstalled, [] {
        rfbClientLog = ClientHooks::libraryOutput;
        rfbClientErr = ClientHooks::libraryOutput;
    });
    userMessageGiven = false;
    protocolFault = false;

    if (attemptConnection())
        messageLoop();

    const bool asked = stopped;
    {
        QMutexLocker locker(&mutex);
        if (client) {
            rfbClientCleanup(client);
            client = nullptr;
        }
        // Also after a failed attempt: nobody would ever drain the queue.
        stopped = true;
    }
    closeActiveSocket();
    if (!asked)
        reportUnexplainedEnd();
    ClientHooks::setLoggingThread(nullptr);
    Handover::release(this);
}


void VncClientThread::enqueue(OutgoingEvent *event)
{
    {
        QMutexLocker locker(&mutex);
        if (stopped) {
            delete event;
            return;
        }
        eventQueue.append(event);
    }
    wake();
}

void VncClientThread::mouseEvent(int x, int y, int buttonMask)
{
    enqueue(new OutgoingPointerEvent(x, y, buttonMask));
}

void VncClientThread::keyEvent(int key, bool pressed)
{
    enqueue(new OutgoingKeyEvent(key, pressed));
}

void VncClientThread::clientCut(const QString &text)
{
    if (stopped)
        return;
    enqueue(new OutgoingCutTextEvent(strdup(LibraryText::encodeCutText(text).constData())));
}

void VncClientThread::checkOutputErrorMessage()
{
    QString message;
    {
        QMutexLocker locker(&sideLock);
        if (pendingErrorMessage.isEmpty())
            return;
        message.swap(pendingErrorMessage);
    }
    qDebug() << message;
    // A plain authentication failure outside a password exchange is noise.
    if (message != LibraryText::authenticationFailed() || passwordRequested)
        emit outputErrorMessage(message);
}

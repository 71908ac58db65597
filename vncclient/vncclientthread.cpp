// The connection thread.
//
// Threads: the GUI thread owns this object (configuration, input slots,
// the picture's reading side, the error report, rearm() between runs, the
// destructor); the connection thread runs run(), the session and every
// libvncclient hook.
//
// Locks:
// - mutex guards host, port and signIn, and writes of stopped. It is never
//   held across a connection attempt or a network write that may wait, so
//   no GUI call ever waits on the network: input goes to the InputQueue,
//   which never waits either.
// - sideLock guards pendingErrorMessage, tunnel, activeSocket and sessionInfo (the
//   session's part of connectionInfo(), published by the connection thread); it is
//   never held while calling anything else. The picture (FrameHandover),
//   the sign-in answers (SignInPrompts) and the input (InputQueue) have
//   locks of their own.
//
// Blocking points of the connection thread, and what interrupts each:
// - name lookup and connect: Connector, woken through wakeFd by stop();
// - the SSH handshake and sign-in: abort() interrupts the tunnel, which
//   shuts its socket to the gateway;
// - the handshake and reads inside libvncclient: stop() shuts the socket
//   down (the library gets a duplicate, so ours is always safe to shut);
// - the TLS handshake: poll() on wakeFd; waits for the user's answers:
//   poll() in SignInPrompts, which stop() interrupts;
// - waiting for server data or input: poll() on the socket and wakeFd,
//   where stop() lets the loop send what is queued before it ends (abort()
//   shuts the socket when that takes too long);
// - writes, the library's included, to a server that does not read: poll()
//   on the socket and abortFd, which abort() sets (SocketWrite); a shut
//   AF_UNIX socket whose peer does not read never becomes writable;
// - showing an update: frames' lock, held by the GUI thread only while it
//   paints. Nothing else waits for the GUI thread: every signal is queued.
#include "vncclientthread.h"

#include "connector.h"
#include "handover.h"
#include "librarytext.h"
#include "rfbsession.h"
#include "repeater.h"
#include "secret.h"
#include "socketwrite.h"
#include "sshtunnel.h"

#include "diagnostics.h"

#include <QDebug>
#include <QMetaMethod>
#include <QMutexLocker>

#include <cerrno>
#include <cstring>

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
// How long a stopping session may take to say goodbye to a TLS peer:
// well within stopGraceMs, after which abort() ends it.
constexpr int politeCloseMs = 150;
} // namespace

VncClientThread::VncClientThread(QObject *parent) : QThread(parent)
{
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    abortFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    QMutexLocker locker(&mutex);
    stopped = false;
}

VncClientThread::~VncClientThread()
{
    stop();
    // Every blocking point ends on stop() or, past a short bound, abort().
    if (!wait(stopGraceMs)) {
        abort();
        wait();
    }
    Handover::acquire(this);
    if (givenSocket >= 0)
        close(givenSocket);
    if (wakeFd >= 0)
        close(wakeFd);
    if (abortFd >= 0)
        close(abortFd);
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

// The connection thread hands it to the session at its next turn.
void VncClientThread::setQuality(Quality quality)
{
    connectionQuality = quality;
    wake();
}

Quality VncClientThread::quality() const { return connectionQuality; }

ConnectionInfo VncClientThread::connectionInfo() const
{
    ConnectionInfo info;
    {
        QMutexLocker locker(&sideLock);
        info = sessionInfo;
        info.tunnelled = tunnel != nullptr;
        // Now, not when published: they fall while the session is idle.
        if (rateClock.isValid()) {
            info.updatesPerSecond = recentUpdates.updatesPerSecond(rateClock.elapsed());
            info.bytesPerSecond = recentUpdates.bytesPerSecond(rateClock.elapsed());
        }
    }
    {
        QMutexLocker locker(&mutex);
        info.host = host;
        info.port = port;
    }
    info.connected = inMessageLoop;
    info.encrypted = encryptedSession;
    info.identity = sessionIdentity;
    if (!info.connected) {
        info.quality = connectionQuality;
        info.choice = EncodingChoice::forQuality(info.quality);
    }
    return info;
}

// At changes, and else at most every infoPeriodMs, as the connection
// thread comes by: a publication held back is made up after the next
// wait, which is then no longer (one wake-up after the last update).
void VncClientThread::publishInfo(bool force)
{
    const bool changed = session->takeDescriptionChanged();
    if (!force && !changed && infoClock.isValid() && infoClock.elapsed() < infoPeriodMs) {
        infoHeld = true;
        return;
    }
    infoHeld = false;
    infoClock.start();
    ConnectionInfo info;
    session->describe(&info);
    RecentUpdates recent;
    QElapsedTimer clock;
    session->copyRecentUpdates(&recent, &clock);
    QMutexLocker locker(&sideLock);
    sessionInfo = std::move(info);
    recentUpdates = std::move(recent);
    rateClock = clock;
}

void VncClientThread::setSignIn(const ConnectionOptions &options)
{
    QMutexLocker locker(&mutex);
    signIn = options;
    Secret::wipe(signIn.password);
}

void VncClientThread::setPassword(const QString &password)
{
    prompts.setPassword(password);
}

void VncClientThread::setUserName(const QString &userName)
{
    prompts.setUserName(userName);
}

void VncClientThread::cancelPassword()
{
    prompts.answer(false);
}

void VncClientThread::setSecret(const QString &secret)
{
    prompts.setSecret(secret);
}

void VncClientThread::answerQuestion(bool yes)
{
    prompts.answer(yes);
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

bool VncClientThread::rearm()
{
    if (isRunning())
        return false;
    // The ended run's writes, seen through wait() inside Qt.
    Handover::acquire(this);
    {
        QMutexLocker locker(&mutex);
        stopped = false;
    }
    input.reset();
    frames.rearm();
    passwordRequested = false;
    encryptedSession = false;
    sessionIdentity = ServerIdentity::Unproven;
    eventfd_t aborts;
    eventfd_read(abortFd, &aborts);
    prompts.reset();
    QMutexLocker locker(&sideLock);
    pendingErrorMessage.clear();
    sessionInfo = ConnectionInfo();
    recentUpdates = RecentUpdates();
    rateClock.invalidate();
    return true;
}

void VncClientThread::stop()
{
    {
        QMutexLocker locker(&mutex);
        stopped = true;
    }
    input.refuse();
    prompts.interrupt();
    // A connected loop ends by itself, after sending what is queued.
    if (!inMessageLoop)
        abort();
    wake();
}

void VncClientThread::abort()
{
    if (abortFd >= 0)
        eventfd_write(abortFd, 1);
    QMutexLocker locker(&sideLock);
    if (activeSocket >= 0)
        shutdown(activeSocket, SHUT_RDWR);
    if (tunnel)
        tunnel->interrupt();
}

QImage VncClientThread::image(int x, int y, int w, int h) const
{
    return frames.copy(w == 0 ? QRect() : QRect(x, y, w, h));
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
    {
        QMutexLocker locker(&sideLock);
        pendingErrorMessage = message;
    }
    // Looked at on this object's own thread; a later message replaces it
    // before it is, as the user needs one message only.
    emitQueued([this] {
        QMetaObject::invokeMethod(this, &VncClientThread::checkOutputErrorMessage, Qt::QueuedConnection);
    });
}

void VncClientThread::libraryMessage(const QString &message, bool final)
{
    setPendingMessage(message);
    if (final)
        userMessageGiven = true;
}

void VncClientThread::endUnreadableConnection()
{
    QMutexLocker locker(&sideLock);
    if (activeSocket >= 0)
        shutdown(activeSocket, SHUT_RDWR);
}

// Told by how far the session got, as the library's last line (a TLS
// error, a reset) rarely says: a signed-in session was lost, one that
// ended while its password was being checked was refused.
void VncClientThread::reportUnexplainedEnd()
{
    if (userMessageGiven)
        return;
    setPendingMessage(tunnelLost()       ? LibraryText::tunnelLost()
                      : signedIn         ? LibraryText::connectionLost()
                      : passwordSent ? LibraryText::authenticationFailed()
                                     : LibraryText::connectionFailed());
    userMessageGiven = true;
}

bool VncClientThread::attemptConnection()
{
    for (;;) {
        if (stopped)
            return false;
        passwordRequested = false;
        passwordSent = false;
        HandshakeSettings settings;
        int socket;
        QString via;
        QString repeaterId;
        {
            QMutexLocker locker(&mutex);
            port = normalisedPort(port);
            settings.server = host;
            settings.port = port;
            settings.userName = signIn.userName;
            settings.caFile = signIn.caFile;
            settings.securityTypes = signIn.securityTypes;
            via = signIn.via;
            repeaterId = signIn.repeaterId;
            socket = givenSocket;
            givenSocket = -1;
        }
        qCDebug(lcSession) << "--------------------- trying init ---------------------";
        Connector::Result connection;
        if (socket >= 0) {
            // The library expects a non-blocking socket, as Connector makes.
            fcntl(socket, F_SETFL, fcntl(socket, F_GETFL) | O_NONBLOCK);
            connection.fd = socket;
        } else if (!via.isEmpty()) {
            connection = openTunnel(via, settings.server, settings.port);
        } else
            connection = Connector::connectToServer(settings.server.toUtf8(), settings.port, connectTimeoutMs,
                                                    wakeFd, [this] { return stopped.load(); });
        QString repeaterError;
        if (connection.fd >= 0 && !repeaterId.isEmpty()
            && !Repeater::introduce(connection.fd, repeaterId, connectTimeoutMs, wakeFd,
                                    [this] { return stopped.load(); }, &repeaterError)) {
            close(connection.fd);
            connection.fd = -1;
            connection.cancelled = true;
            if (!repeaterError.isEmpty())
                fail(repeaterError);
        }
        if (connection.fd < 0) {
            if (!connection.cancelled) {
                rfbClientErr("ConnectToVncServer: %s\n", qUtf8Printable(connection.error));
                rfbClientLog("Unable to connect to VNC server\n");
            }
            return false;
        }
        setActiveSocket(connection.fd);
        SessionHost &self = *this;
        session = std::make_unique<RfbSession>(self, input, frames, settings, connectionQuality.load());
        if (session->open(fcntl(connection.fd, F_DUPFD_CLOEXEC, 0), readTimeoutSeconds)) {
            encryptedSession = session->encrypted();
            sessionIdentity = session->identity();
            signedIn = true;
            prompts.forgetPasswords();
            return true;
        }
        session.reset();
        closeActiveSocket();
        dropTunnel();
        // Retry only with a password other than the one just refused: a
        // server that never throttles must not see an endless loop.
        if (!passwordRequested || stopped || userMessageGiven || prompts.passwordUnchanged())
            return false;
    }
}

void VncClientThread::messageLoop()
{
    wake(); // input queued while connecting goes out at the first turn
    publishInfo(true);
    for (;;) {
        if (stopped)
            return;
        // Bytes the library or TLS already read ahead are handled without
        // waiting: poll() would not see them.
        bool serverData = session->hasPendingInput();
        if (!serverData) {
            if (!session->sendFenceAnswers())
                return;
            pollfd fds[2] = {{session->socket(), POLLIN, 0}, {wakeFd, POLLIN, 0}};
            // Nothing of the library runs while this thread waits: a key or
            // motion goes out at once from the GUI thread, which saves a
            // wake-up of this one on the way.
            session->openIdleOutput();
            const int wait = infoHeld ? std::max(1, infoPeriodMs - int(infoClock.elapsed())) : -1;
            const int polled = poll(fds, 2, wait);
            const int pollError = errno;
            if (!session->closeIdleOutput())
                return;
            if (polled < 0) {
                if (pollError == EINTR)
                    continue;
                rfbClientErr("Waiting for message failed: %s\n", strerror(pollError));
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
        if (serverData && !session->handleServerMessage())
            return;
        if (!session->setQuality(connectionQuality))
            return;
        publishInfo(false);
        serverTakesPhysicalKeys = session->takesPhysicalKeys();
        serverHasExtendedClipboard = session->hasExtendedClipboard();
        if (!resizeReported && session->canResizeDesktop()) {
            resizeReported = true;
            emitQueued([&] { emit desktopResizable(); });
        }
        session->sendInput();
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

    libraryLog.capture();
    SocketWrite::setAbortDescriptor(abortFd);
    userMessageGiven = false;
    signedIn = false;
    passwordSent = false;
    resizeReported = false;
    serverTakesPhysicalKeys = false;
    serverHasExtendedClipboard = false;

    if (attemptConnection()) {
        inMessageLoop = true;
        if (!stopped)
            messageLoop();
        inMessageLoop = false;
    }

    const bool asked = stopped;
    // The user's own end: what is queued (the releases of held keys and
    // buttons) still goes out, and a TLS peer is told goodbye.
    if (asked && session && session->client()) {
        session->sendInput();
        session->close(true, politeCloseMs);
    }
    {
        QMutexLocker locker(&mutex);
        session.reset();
        stopped = true;
    }
    // Also after a failed attempt: nobody would ever send the input.
    input.refuse();
    closeActiveSocket();
    if (!asked)
        reportUnexplainedEnd();
    dropTunnel();
    libraryLog.release();
    Handover::release(this);
}

bool VncClientThread::stopRequested() const
{
    return stopped;
}

int VncClientThread::wakeDescriptor() const
{
    return wakeFd;
}

void VncClientThread::showUpdate(const std::vector<QRect> &rects, bool tell)
{
    if (stopped)
        return;
    if (tell)
        emitQueued([&] { emit regionUpdated(); });
    if (!isSignalConnected(QMetaMethod::fromSignal(&VncClientThread::imageUpdated)))
        return;
    for (const QRect &r : rects)
        emitQueued([&] { emit imageUpdated(r.x(), r.y(), r.width(), r.height()); });
}

void VncClientThread::showCutText(const QString &text)
{
    if (!stopped)
        emitQueued([&] { emit gotCut(text); });
}

void VncClientThread::ringBell()
{
    if (!stopped)
        emitQueued([&] { emit bell(); });
}

void VncClientThread::showDesktopName(const QString &name)
{
    if (!stopped)
        emitQueued([&] { emit desktopName(name); });
}

void VncClientThread::showCursor(const QImage &shape, const QPoint &hotSpot)
{
    if (stopped)
        return;
    emitQueued([&] { emit cursorShape(shape, hotSpot); });
}

bool VncClientThread::password(QString *password, QString *userName)
{
    passwordRequested = true;
    // The question is posted: a receiver answers in its own time.
    prompts.askPassword(userName && userName->isEmpty(),
                        isSignalConnected(QMetaMethod::fromSignal(&VncClientThread::passwordRequest)));
    if (!stopped)
        emitQueued([&] { emit passwordRequest(); });
    if (!prompts.awaitPassword(password, userName)) {
        if (prompts.declined())
            fail(LibraryText::signInCancelled());
        return false;
    }
    passwordSent = true;
    return true;
}

Connector::Result VncClientThread::openTunnel(const QString &via, const QString &server, int port)
{
    {
        QMutexLocker locker(&sideLock);
        tunnel = std::make_unique<SshTunnel>(static_cast<SessionHost &>(*this));
        if (stopped)
            tunnel->interrupt();
    }
    Connector::Result result;
    result.fd = tunnel->open(via, server, port, connectTimeoutMs);
    // The tunnel told the user what failed.
    result.cancelled = result.fd < 0;
    return result;
}

bool VncClientThread::tunnelLost() const
{
    QMutexLocker locker(&sideLock);
    return tunnel && tunnel->lost();
}

void VncClientThread::dropTunnel()
{
    std::unique_ptr<SshTunnel> ending;
    {
        QMutexLocker locker(&sideLock);
        ending.swap(tunnel);
    }
    // Joins the tunnel's thread: outside the lock, which abort() takes.
}

bool VncClientThread::secret(const QString &prompt, QString *answer)
{
    prompts.askSecret();
    if (stopped)
        return false;
    emitQueued([&] { emit secretRequest(prompt); });
    return prompts.awaitSecret(answer);
}

bool VncClientThread::confirm(const QString &question)
{
    prompts.askConfirmation();
    if (stopped)
        return false;
    emitQueued([&] { emit certificateQuestion(question); });
    return prompts.awaitConfirmation();
}

void VncClientThread::fail(const QString &message)
{
    if (userMessageGiven)
        return;
    setPendingMessage(message);
    userMessageGiven = true;
}

void VncClientThread::mouseEvent(int x, int y, int buttonMask)
{
    if (input.add(OutgoingEvent::pointer(x, y, buttonMask)))
        wake();
}

void VncClientThread::keyEvent(int key, bool pressed, uint xt)
{
    if (input.add(OutgoingEvent::key(key, pressed, physicalKeys && serverTakesPhysicalKeys ? xt : 0)))
        wake();
}

void VncClientThread::desktopSize(int width, int height)
{
    if (input.add(OutgoingEvent::desktopSize(width, height)))
        wake();
}

void VncClientThread::clientCut(const QString &text)
{
    if (!stopped && input.add(OutgoingEvent::cutText(text, !serverHasExtendedClipboard)))
        wake();
}

void VncClientThread::checkOutputErrorMessage()
{
    Handover::acquire(this);
    QString message;
    {
        QMutexLocker locker(&sideLock);
        if (pendingErrorMessage.isEmpty())
            return;
        message.swap(pendingErrorMessage);
    }
    qCDebug(lcSession) << message;
    // A plain authentication failure outside a password exchange is noise.
    if (message != LibraryText::authenticationFailed() || passwordRequested)
        emit outputErrorMessage(message);
}

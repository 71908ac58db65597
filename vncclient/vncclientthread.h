#ifndef VNCCLIENTTHREAD_H
#define VNCCLIENTTHREAD_H

#include "connectioninfo.h"
#include "connectionoptions.h"
#include "connector.h"
#include "framehandover.h"
#include "handover.h"
#include "inputqueue.h"
#include "librarylog.h"
#include "serveridentity.h"
#include "sessionhost.h"
#include "updatemeter.h"
#include "signinprompts.h"

#include <QElapsedTimer>
#include <QImage>
#include <QMutex>
#include <QRect>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>
#include <vector>

class RfbSession;
class SshTunnel;

// Runs one RFB connection (an RfbSession) on a thread of its own. Server
// traffic comes out as signals; user input goes in through the slots,
// which hand it to the session's InputQueue. The locking rules are at the top of
// the source file.
class VncClientThread : public QThread, private SessionHost, private LibraryLog::Listener
{
    Q_OBJECT

public:
    explicit VncClientThread(QObject *parent = nullptr);
    ~VncClientThread() override;

    void setHost(const QString &host);
    void setPort(int port);
    void setQuality(Quality quality);
    Quality quality() const;
    // What the connection-information view shows; any thread.
    ConnectionInfo connectionInfo() const;
    // The user name, security types and certificate authorities to sign in
    // with; the password comes through passwordRequest.
    void setSignIn(const ConnectionOptions &options);
    // Answers passwordRequest; a password set before the request is used
    // when nobody answers it.
    void setPassword(const QString &password);
    // With setPassword(), when wantsUserName() asked for one too.
    void setUserName(const QString &userName);
    // Whether the pending passwordRequest wants a user name as well.
    bool wantsUserName() const { return prompts.wantsUserName(); }
    // The user declined to give a password.
    void cancelPassword();
    // Answers secretRequest; cancelPassword() declines it.
    void setSecret(const QString &secret);
    // Answers certificateQuestion.
    void answerQuestion(bool yes);
    // Speaks RFB over an already connected socket instead of connecting to
    // host and port; the thread takes the socket over. Used once.
    void useSocket(int fd);
    // Makes a thread whose run has ended ready for another connection (a
    // reconnect): no state of the last one is kept. False while it runs.
    bool rearm();
    // Asks the thread to end. Once connected it first sends the input still
    // queued (the releases of held keys) and closes TLS politely; abort()
    // ends a thread that does not get to it, by shutting the socket and
    // failing every write that waits for it.
    void stop();
    void abort();
    // How long a stopped thread is given to end by itself before abort():
    // a server that does not read holds the goodbye until then, and the
    // whole close must stay within 300 ms.
    static constexpr int stopGraceMs = 200;

    // A copy of the picture shown, or of a part of it (w > 0).
    QImage image(int x = 0, int y = 0, int w = 0, int h = 0) const;
    // On regionUpdated: what changed since the last call, and the picture's
    // size. Until it is called, no further regionUpdated comes.
    QRegion takeChanges(QSize *size) { return frames.take(size); }
    // The picture shown, under a lock that the connection thread waits
    // for while it lives: for painting, nothing slower.
    FrameHandover::Reading picture() const { return frames.read(); }
    // Before start(): where the pictures are made (see FrameHandover).
    void setPictureAllocator(std::function<QImage(QSize)> make) { frames.setAllocator(std::move(make)); }

    QString currentHost() const;
    int currentPort() const; // normalised once a connection attempt began
    // Once connected: whether the session is encrypted, and how the server
    // proved who it is.
    bool isEncrypted() const { return encryptedSession; }
    ServerIdentity identity() const { return sessionIdentity; }

    // The port rule: 0 or less is 5900, 1 to 99 a display number, else a port.
    static int normalisedPort(int port);

signals:
    // Each rectangle of an update once it is in the picture; emitted only
    // while connected to.
    void imageUpdated(int x, int y, int w, int h);
    // The picture changed: takeChanges() says where. Once until then, so
    // a busy receiver sees all that came meanwhile as one change.
    void regionUpdated();
    // Every signal is emitted from the connection thread and never waits
    // for its receiver.
    void gotCut(const QString &text);
    void bell();
    void desktopName(const QString &name);
    // Queued: the picture is the receiver's own.
    void cursorShape(const QImage &shape, const QPoint &hotSpot);
    void passwordRequest();
    // Another secret (an SSH passphrase or password): 'prompt' says which;
    // the receiver answers with setSecret() or cancelPassword().
    void secretRequest(const QString &prompt);
    // The receiver asks the user and answers with answerQuestion().
    void certificateQuestion(const QString &question);
    void outputErrorMessage(const QString &message);
    // The server takes requests to change its desktop size; once per
    // connection.
    void desktopResizable();
    // The server's lock keys (LedState::Lock bits), each time it reports them.
    void serverLocks(int locks);

public slots:
    void mouseEvent(int x, int y, int buttonMask);
    // 'xt' is the key's physical position (an XT scan code), 0 for a key
    // without one; it goes along while physical keys are on and the
    // server acknowledged them.
    void keyEvent(int key, bool pressed, uint xt = 0);
    void setPhysicalKeys(bool on) { physicalKeys = on; }
    void clientCut(const QString &text);
    // Asks the server to make its desktop width x height, once it can.
    void desktopSize(int width, int height);

private slots:
    void checkOutputErrorMessage();

protected:
    void run() override;

private:
    // SessionHost
    bool stopRequested() const override;
    int wakeDescriptor() const override;
    void showUpdate(const std::vector<QRect> &rects, bool tell) override;
    void showCutText(const QString &text) override;
    void ringBell() override;
    void showDesktopName(const QString &name) override;
    void showCursor(const QImage &shape, const QPoint &hotSpot) override;
    void showLocks(int locks) override
    {
        emitQueued([&] { emit serverLocks(locks); });
    }
    bool password(QString *password, QString *userName) override;
    bool secret(const QString &prompt, QString *answer) override;
    bool confirm(const QString &question) override;
    void fail(const QString &message) override;

    // LibraryLog::Listener
    void libraryMessage(const QString &message, bool final) override;
    void endUnreadableConnection() override;
    bool tunnelLost() const override;

    bool attemptConnection();
    Connector::Result openTunnel(const QString &via, const QString &server, int port);
    void dropTunnel();
    void messageLoop();
    void publishInfo(bool force);
    void wake();
    void setActiveSocket(int fd);
    void closeActiveSocket();
    void setPendingMessage(const QString &message);
    void reportUnexplainedEnd();
    template<typename Emission>
    void emitQueued(Emission emission);

    FrameHandover frames; // outlives every session, as the view paints from it
    InputQueue input; // outlives every session
    std::unique_ptr<RfbSession> session;
    QString host;
    int port = 0;
    int givenSocket = -1;
    ConnectionOptions signIn;
    mutable QMutex mutex;
    std::atomic<Quality> connectionQuality{Quality::Medium};
    std::atomic<bool> stopped{false};
    std::atomic<bool> passwordRequested{false};
    std::atomic<bool> encryptedSession{false};
    std::atomic<ServerIdentity> sessionIdentity{ServerIdentity::Unproven};
    std::atomic<bool> inMessageLoop{false};
    std::atomic<bool> physicalKeys{true};
    std::atomic<bool> serverTakesPhysicalKeys{false};
    std::atomic<bool> serverHasExtendedClipboard{false};
    bool resizeReported = false; // connection thread only
    QElapsedTimer infoClock; // connection thread only: since sessionInfo was published
    bool infoHeld = false; // connection thread only: a publication is due
    static constexpr int infoPeriodMs = 250;

    // Guards pendingErrorMessage, tunnel, activeSocket and sessionInfo; never held while
    // calling out, so either thread may take it at any time.
    mutable QMutex sideLock;
    QString pendingErrorMessage;
    std::unique_ptr<SshTunnel> tunnel; // set and reset by the connection thread
    int activeSocket = -1;
    ConnectionInfo sessionInfo; // the session's part, as last published
    RecentUpdates recentUpdates; // behind its rates, on rateClock
    QElapsedTimer rateClock;
    int wakeFd = -1;
    int abortFd = -1; // readable once abort() was called, until rearm()

    SignInPrompts prompts;
    LibraryLog libraryLog{*this};

    // Connection thread only.
    bool userMessageGiven = false;
    bool signedIn = false;     // past ServerInit: an unexplained end is a loss
    bool passwordSent = false; // awaiting the server's verdict on it
};

// Towards receivers on the GUI thread the emission posts a call, which
// carries what this thread wrote before it.
template<typename Emission>
void VncClientThread::emitQueued(Emission emission)
{
    Handover::release(this);
    const Handover::Unrecorded marshalling;
    emission();
}

#endif

#include "vncview.h"

#include "handover.h"
#include "keytap.h"
#include "locallocks.h"
#include "librarytext.h"
#include "scalemath.h"
#include "secret.h"
#include "signindialogs.h"

#include <QApplication>
#include <QClipboard>
#include "diagnostics.h"

#include <QDebug>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>

VncView::VncView(QWidget *parent, const QUrl &url)
    : RemoteView(parent),
      clipboard(nullptr),
      firstUpdateDone(false),
      buttonMask(0),
      shuttingDown(false),
      settingClipboard(false),
      horizontalFactor(1.0f),
      verticalFactor(1.0f)
{
    m_url = url;
    m_host = url.host();
    m_port = url.port();

    // One picture per update message, not one per rectangle: the server's
    // rectangles of one change (a scroll and its new line) show together.
    connect(&clientThread, &VncClientThread::regionUpdated, this, &VncView::updateImageRegion,
            Qt::QueuedConnection);
    connect(&clientThread, SIGNAL(gotCut(const QString &)), this, SLOT(setCut(const QString &)),
            Qt::QueuedConnection);
    connect(&clientThread, SIGNAL(passwordRequest()), this, SLOT(requestPassword()), Qt::QueuedConnection);
    connect(&clientThread, &VncClientThread::certificateQuestion, this, &VncView::askAboutCertificate,
            Qt::QueuedConnection);
    connect(&clientThread, &VncClientThread::secretRequest, this, &VncView::askForSecret, Qt::QueuedConnection);
    connect(&clientThread, &VncClientThread::cursorShape, this, &VncView::setRemoteCursor, Qt::QueuedConnection);
    connect(&clientThread, SIGNAL(outputErrorMessage(QString)), this, SLOT(outputErrorMessage(QString)));

    connect(&clientThread, &VncClientThread::desktopResizable, this, &VncView::noteRemoteResizable,
            Qt::QueuedConnection);
    connect(&clientThread, &VncClientThread::serverLocks, this, &VncView::setServerLocks, Qt::QueuedConnection);
    connect(&clientThread, &VncClientThread::bell, this, &VncView::ringBell, Qt::QueuedConnection);
    connect(&clientThread, &VncClientThread::desktopName, this, &VncView::setDesktopName, Qt::QueuedConnection);

    // The desktop goes to a window of the view's own, from memory the X
    // server shares: one pass over each changed pixel fewer than through
    // Qt's backing store, whose pages under the desktop stay untouched.
    surface = X11Surface::open();
    if (surface) {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_PaintOnScreen);
        clientThread.setPictureAllocator([shared = surface](QSize size) { return shared->allocate(size); });
    }

    // Text an input method composes (a dead key's, a compose sequence's)
    // reaches the server as its characters.
    setAttribute(Qt::WA_InputMethodEnabled);
    localLocks = LocalLocks::read;
    keyReader.reset(X11InputReader::create(
        &earlyKeys, &rulesLock, [this](quint32 window) { return takesKeysNow(window); },
        [this](const EarlyKeys::Key &key) { sendEarly(key); }));
    if (keyReader) {
        qApp->installNativeEventFilter(keyReader.get());
        // Keys read in a thread of their own go sooner still; Qt's reader
        // then only notes the keys it reads first.
        tapNumLock = LocalLocks::numLockModifier();
        keyTap = KeyTap::open(&earlyKeys, &rulesLock,
                              [this](EarlyKeys::Key &key, bool mayGo) { readTapped(key, mayGo); });
        keyReader->setReadsPointer(!keyTap);
        connect(this, &RemoteView::statusChanged, this, &VncView::refreshKeyGate);
    }
    // Touches are read as gestures here, not as the mouse Qt would make of them.
    setAttribute(Qt::WA_AcceptTouchEvents);
    holdTimer.setSingleShot(true);
    holdTimer.setInterval(TouchInterpreter::Thresholds().holdMs);
    connect(&holdTimer, &QTimer::timeout, this, [this] {
        if (touchpadMode)
            applyTouchpad(pad.holdExpired());
        else
            applyTouch(touches.holdExpired());
    });
    resizeTimer.setSingleShot(true);
    resizeTimer.setInterval(300);
    connect(&resizeTimer, &QTimer::timeout, this, &VncView::sendRemoteSize);
    pinchTimer.setSingleShot(true);
    pinchTimer.setInterval(16);
    connect(&pinchTimer, &QTimer::timeout, this, [this] { setZoom(pinchZoom, pinchAnchor); });
    bellTimer.setSingleShot(true);
    bellTimer.setInterval(150);
    connect(&bellTimer, &QTimer::timeout, this, [this] { update(visibleRegion()); });
    edgeTimer.setInterval(30);
    connect(&edgeTimer, &QTimer::timeout, this, &VncView::scrollAtEdge);

    clipboard = QApplication::clipboard();
    connect(clipboard, SIGNAL(selectionChanged()), this, SLOT(clipboardSelectionChanged()));
    connect(clipboard, SIGNAL(dataChanged()), this, SLOT(clipboardDataChanged()));
}

VncView::~VncView()
{
    keyTap.reset(); // no key goes early into a view half gone
    keyReader.reset();
    disconnectThread();
    beginShutdown();
    Secret::wipe(typedPassword);
    Secret::wipe(signedInPassword);
}

void VncView::disconnectThread()
{
    disconnect(&clientThread, &VncClientThread::regionUpdated, this, &VncView::updateImageRegion);
    disconnect(&clientThread, SIGNAL(gotCut(const QString &)), this, SLOT(setCut(const QString &)));
    disconnect(&clientThread, SIGNAL(passwordRequest()), this, SLOT(requestPassword()));
    disconnect(&clientThread, &VncClientThread::certificateQuestion, this, &VncView::askAboutCertificate);
    disconnect(&clientThread, &VncClientThread::secretRequest, this, &VncView::askForSecret);
    disconnect(&clientThread, &VncClientThread::cursorShape, this, &VncView::setRemoteCursor);
    disconnect(&clientThread, SIGNAL(outputErrorMessage(QString)), this, SLOT(outputErrorMessage(QString)));
}

bool VncView::canScale() const { return true; }
bool VncView::canShowDotCursor() const { return true; }

void VncView::setDotCursorMode(RemoteView::DotCursorState cursorState)
{
    RemoteView::setDotCursorMode(cursorState);
    applyCursor();
}

QSize VncView::remoteScreenSize() const { return frameSize; }
bool VncView::isShuttingDown() const { return shuttingDown; }
void VncView::setViewOnly(bool viewOnly)
{
    RemoteView::setViewOnly(viewOnly);
    refreshKeyGate();
}
QSize VncView::sizeHint() const { return size(); }
QSize VncView::minimumSizeHint() const { return size(); }

void VncView::setConnectionOptions(const ConnectionOptions &options)
{
    this->options = options;
}

bool VncView::isEncrypted() const
{
    return clientThread.isEncrypted();
}

ServerIdentity VncView::identity() const
{
    return clientThread.identity();
}

QString VncView::securityText() const
{
    if (!isEncrypted())
        return tr("not encrypted");
    switch (identity()) {
    case ServerIdentity::VerifiedByAuthority:
        return tr("encrypted, server verified");
    case ServerIdentity::TrustedByUser:
        return tr("encrypted, certificate trusted by you");
    case ServerIdentity::Unproven:
        break;
    }
    return tr("encrypted, server not verified");
}

bool VncView::startConnecting()
{
    clientThread.setHost(hostName());
    clientThread.setPort(portNumber());
    ConnectionOptions signIn = options;
    if (signIn.userName.isEmpty())
        signIn.userName = m_url.userName();
    if (signIn.userName.isEmpty())
        signIn.userName = signedInUserName;
    clientThread.setSignIn(signIn);
    remoteName.clear();

    Quality quality = options.quality;
    if (quality == Quality::Unknown) {
        // Without the shell's command line: "PROGRAM URL [QUALITY]".
        const QString given = QCoreApplication::arguments().value(2);
        quality = given.isEmpty() || given.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0
                      ? Quality::Auto
                      : Quality(given.toInt(nullptr, 10));
    }
    clientThread.setQuality(quality);
    // Fixed Low's 256 colours make a remote pointer hard to see; Auto's
    // moves stay without one, as they come and go with the link.
    if (quality == Quality::Low)
        setDotCursorMode(CursorOn);

    changeStatus(Connecting);
    clientThread.start(QThread::InheritPriority);
    return true;
}

void VncView::requestPassword()
{
    // A request still on its way when the view shut down must not move a
    // Disconnected view back to Authenticating.
    if (shuttingDown)
        return;
    changeStatus(Authenticating);
    // The password the user gave up front, or typed for an earlier
    // connection of this view, is used without asking.
    const QString given = !options.password.isNull()   ? options.password
                          : !m_url.password().isEmpty() ? m_url.password()
                                                        : signedInPassword;
    const bool askUserName = clientThread.wantsUserName();
    if (!given.isNull() && !askUserName) {
        clientThread.setPassword(given);
        return;
    }
    closeDialogs();
    const QString userName = options.userName.isEmpty() ? m_url.userName() : options.userName;
    auto *dialog = new PasswordDialog(window(), serverName(), userName, askUserName);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog, askUserName](int result) {
        if (result == QDialog::Accepted) {
            typedPassword = dialog->takePassword();
            if (askUserName) {
                typedUserName = dialog->userName();
                clientThread.setUserName(typedUserName);
            }
            clientThread.setPassword(typedPassword);
        } else
            clientThread.cancelPassword();
        emit showingPasswordDialog(false);
    });
    openDialog = dialog;
    emit showingPasswordDialog(true);
    dialog->open();
}

// Host and port, as the thread reached them; a server that connected to
// us is named by its address alone.
QString VncView::serverName() const
{
    if (reverseConnection)
        return hostName();
    const QString host = hostName().contains(QLatin1Char(':')) ? QLatin1Char('[') + hostName() + QLatin1Char(']')
                                                               : hostName();
    return host + QLatin1Char(':') + QString::number(clientThread.currentPort());
}

// The question of a certificate or an SSH host key seen for the first time.
void VncView::askAboutCertificate(const QString &question)
{
    if (shuttingDown)
        return;
    closeDialogs();
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Unknown server identity"), question,
                                QMessageBox::Yes | QMessageBox::No, window());
    box->setObjectName(QStringLiteral("certificateQuestion"));
    box->setDefaultButton(QMessageBox::No);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QDialog::finished, this,
            [this](int result) { clientThread.answerQuestion(result == QMessageBox::Yes); });
    openDialog = box;
    box->open();
}

// An SSH passphrase or password: asked every time, never kept.
void VncView::askForSecret(const QString &prompt)
{
    if (shuttingDown)
        return;
    closeDialogs();
    auto *dialog = new PasswordDialog(window(), prompt);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, dialog](int result) {
        if (result == QDialog::Accepted) {
            QString secret = dialog->takePassword();
            clientThread.setSecret(secret);
            Secret::wipe(secret);
        } else
            clientThread.cancelPassword();
        emit showingPasswordDialog(false);
    });
    openDialog = dialog;
    emit showingPasswordDialog(true);
    dialog->open();
}

void VncView::closeDialogs()
{
    // Unanswered: a stopping thread needs no answer, and a new question
    // must not receive the old one's.
    if (openDialog) {
        openDialog->disconnect(this);
        openDialog->reject();
    }
}

void VncView::outputErrorMessage(const QString &message)
{
    qCDebug(lcView) << message;
    if (message == QLatin1String("INTERNAL:APPLE_VNC_COMPATIBILTY"))
        return;
    lost = LibraryText::isConnectionLoss(message);
    // A refused password is not offered again.
    if (!lost) {
        Secret::wipe(signedInPassword);
        signedInUserName.clear();
    }
    Secret::wipe(typedPassword);
    typedUserName.clear();
    beginShutdown();
    emit errorMessage(tr("VNC failure"), message);
}

void VncView::beginShutdown()
{
    qCDebug(lcView) << "about to quit";
    const RemoteStatus previous = currentStatus();
    releaseHeldInput();
    changeStatus(Disconnecting);
    shuttingDown = true;
    closeDialogs();
    // Stopping is cheap in every state: the thread never holds its lock
    // across a connection attempt, and stop() interrupts the attempt.
    clientThread.stop();
    if (previous != Connected)
        clientThread.quit();
    if (!clientThread.wait(VncClientThread::stopGraceMs))
        clientThread.abort();
    if (clientThread.wait(500))
        Handover::acquire(&clientThread);
    changeStatus(Disconnected);
}

void VncView::setCut(const QString &text)
{
    settingClipboard = true;
    clipboard->setText(text, QClipboard::Clipboard);
    clipboard->setText(text, QClipboard::Selection);
    settingClipboard = false;
}

void VncView::clipboardDataChanged()
{
    if (currentStatus() != Connected || isViewOnly() || clipboard->ownsClipboard() || settingClipboard)
        return;
    clientThread.clientCut(clipboard->text(QClipboard::Clipboard));
}

void VncView::clipboardSelectionChanged()
{
    if (currentStatus() != Connected || isViewOnly() || clipboard->ownsSelection() || settingClipboard)
        return;
    clientThread.clientCut(clipboard->text(QClipboard::Selection));
}

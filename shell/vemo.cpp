#include "vemo.h"

#include "listener.h"
#include "qsoftmenubar.h"
#include "qtopiaapplication.h"
#include "serverurl.h"
#include "vncview.h"

#include <QLabel>
#include <QLoggingCategory>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include <unistd.h>

// What the window tells the user, for those who cannot look at it (a
// virtual screen, a test): QT_LOGGING_RULES="vemo.window.info=true".
Q_LOGGING_CATEGORY(lcWindow, "vemo.window", QtWarningMsg)

namespace {

QUrl &startupUrl()
{
    static QUrl url(QStringLiteral("vnc://localhost:0"));
    return url;
}

ConnectionOptions &startupOptions()
{
    static ConnectionOptions options;
    return options;
}

WindowOptions &startupWindowOptions()
{
    static WindowOptions options;
    return options;
}

struct StatusText {
    RemoteView::RemoteStatus status;
    const char *notice; // %1 is the server address
    const char *titleState;
};

// What the window says while it has no remote screen to show.
const StatusText statusTexts[] = {
    {RemoteView::Connecting, QT_TRANSLATE_NOOP("Vemo", "Connecting to %1…"),
     QT_TRANSLATE_NOOP("Vemo", "connecting")},
    {RemoteView::Authenticating, QT_TRANSLATE_NOOP("Vemo", "Authenticating with %1…"),
     QT_TRANSLATE_NOOP("Vemo", "authenticating")},
    {RemoteView::Preparing, QT_TRANSLATE_NOOP("Vemo", "Preparing the session with %1…"),
     QT_TRANSLATE_NOOP("Vemo", "preparing")},
    {RemoteView::Disconnecting, QT_TRANSLATE_NOOP("Vemo", "Disconnecting from %1…"),
     QT_TRANSLATE_NOOP("Vemo", "disconnecting")},
    {RemoteView::Disconnected, QT_TRANSLATE_NOOP("Vemo", "Not connected to %1."),
     QT_TRANSLATE_NOOP("Vemo", "not connected")},
};

// White text on a dark grey panel. Opaque, as it shows over the view's own
// X window, which Qt cannot blend with. Painted here: a style sheet would
// bring in Qt's style sheet machinery, most of a megabyte of memory.
class Notice : public QLabel
{
public:
    explicit Notice(QWidget *parent) : QLabel(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        painter.setPen(QColor(128, 128, 128));
        painter.setBrush(QColor(48, 48, 48));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.end();
        QLabel::paintEvent(event);
    }
};

// Below this a scaled remote screen is of no use.
const int minimumSide = 64;

// --reconnect waits 1, 2, 4 ... seconds between tries, at most this long.
const int longestRetrySeconds = 30;

} // namespace

Vemo::Vemo(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    QtopiaApplication::setInputMethodHint(this, QtopiaApplication::Text, QString());

    const QUrl url = startupUrl();
    const ConnectionOptions &options = startupOptions();
    windowSettings = startupWindowOptions();
    address = displayAddress(url);
    setMinimumSize(minimumSide, minimumSide);
    const QSize available = screen()->availableSize();
    resize(QSize(640, 480).boundedTo(available));
    // The view scrolls in here when zoomed beyond the window. The bars are
    // for the mouse: every key goes to the remote screen.
    area = new QScrollArea(this);
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::NoFocus);
    // A picture smaller than the window sits in its middle.
    area->setAlignment(Qt::AlignCenter);
    area->horizontalScrollBar()->setFocusPolicy(Qt::NoFocus);
    area->verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
    // The view reads two fingers itself: the area's own pan gesture
    // would scroll the picture a second time.
    area->viewport()->ungrabGesture(Qt::PanGesture);
    // Outside the remote screen the window is dark, not a dialog grey.
    QPalette dark = area->viewport()->palette();
    dark.setColor(QPalette::Window, Qt::black);
    area->viewport()->setPalette(dark);

    view = new VncView(area->viewport(), url);
    area->setWidget(view);
    view->setClassicTaps(windowSettings.classicTaps);
    view->setTouchpadMode(windowSettings.touchpad);
    view->setLogicalPixels(windowSettings.logicalPixels);
    createKeyBar();
    connect(view, &RemoteView::changeSize, this, &Vemo::remoteSizeChanged);
    connect(view, &RemoteView::statusChanged, this, &Vemo::showStatus);
    connect(view, &RemoteView::errorMessage, this, &Vemo::showError);
    connect(view, &VncView::sizingChanged, this, &Vemo::fitView);
    connect(view, &VncView::menuRequested, this, [this] { QSoftMenuBar::toggleMenu(view); });
    connect(view, &VncView::remoteResizeAvailable, this, [this] {
        updateMenu();
        askForRemoteSize();
    });

    notice = new Notice(this);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setAlignment(Qt::AlignCenter);
    notice->setWordWrap(true);
    notice->setTextFormat(Qt::PlainText);
    notice->setMargin(12);
    notice->setAttribute(Qt::WA_TransparentForMouseEvents);
    notice->setContentsMargins(1, 1, 1, 1);
    QPalette light = notice->palette();
    light.setColor(QPalette::WindowText, Qt::white);
    notice->setPalette(light);

    reconnectButton = new QPushButton(tr("&Reconnect"), this);
    reconnectButton->setObjectName(QStringLiteral("reconnectButton"));
    reconnectButton->hide();
    connect(reconnectButton, &QPushButton::clicked, this, &Vemo::retryNow);
    // A view with an X window of its own hides whatever Qt paints beneath
    // it: what shows over it needs a window too, for the X server to stack.
    if (view->testAttribute(Qt::WA_NativeWindow)) {
        for (QWidget *over : {static_cast<QWidget *>(notice), static_cast<QWidget *>(reconnectButton)}) {
            over->setAttribute(Qt::WA_DontCreateNativeAncestors);
            over->setAttribute(Qt::WA_NativeWindow);
        }
    }
    retryTimer.setInterval(1000);
    connect(&retryTimer, &QTimer::timeout, this, &Vemo::showRetryCountdown);

    buildMenu();
    QSoftMenuBar::setInputMethodEnabled(this, true);
    showStatus(view->currentStatus());

    view->setVisible(true);
    view->setConnectionOptions(options);
    view->setViewOnly(windowSettings.viewOnly);
    view->setPhysicalKeys(!windowSettings.keysymsOnly);
    view->setBellFlash(windowSettings.bellFlash);
    connect(view, &VncView::desktopNameChanged, this, [this] {
        if (view->currentStatus() == RemoteView::Connected)
            showStatus(RemoteView::Connected);
    });
    if (windowSettings.fullscreen) {
        setWindowState(windowState() | Qt::WindowFullScreen);
        remoteResizeBeforeFullscreen = windowSettings.remoteResize;
        // The platform may maximise the window as it shows it.
        QTimer::singleShot(0, this, [this] { setFullscreen(true); });
    }
    if (windowSettings.listenPort > 0) {
        address = tr("port %1").arg(windowSettings.listenPort);
        listener = new Listener(this);
        connect(listener, &Listener::serverConnected, this, &Vemo::acceptServer);
        if (listener->listen(quint16(windowSettings.listenPort)))
            showWaiting();
        else
            showError(tr("Cannot wait for servers"),
                      tr("Port %1 cannot be used: %2. Choose another port with --listen PORT.")
                          .arg(windowSettings.listenPort)
                          .arg(listener->errorString()));
    } else {
        view->startConnecting();
    }
}

Vemo::~Vemo()
{
    // The view announces its shutdown while QWidget deletes it, after this
    // object is gone: nothing here may hear that.
    disconnect(view, nullptr, this, nullptr);
}

void Vemo::setServerUrl(const QUrl &url)
{
    startupUrl() = url;
}

QUrl Vemo::serverUrl()
{
    return startupUrl();
}

void Vemo::setConnectionOptions(const ConnectionOptions &options)
{
    startupOptions() = options;
}

ConnectionOptions Vemo::connectionOptions()
{
    return startupOptions();
}

void Vemo::setWindowOptions(const WindowOptions &options)
{
    startupWindowOptions() = options;
}

WindowOptions Vemo::windowOptions()
{
    return startupWindowOptions();
}

quint16 Vemo::listeningPort() const
{
    return listener && listener->isListening() ? listener->serverPort() : 0;
}

// The window takes the remote screen's size when it first shows, and again
// when the desktop changes size and the new one fits on the screen; a
// maximized or full-screen window keeps its size.
void Vemo::remoteSizeChanged(int w, int h)
{
    const QSize previous = remoteSize;
    remoteSize = QSize(w, h);
    const bool sizedByUser = windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized);
    if (!remoteSize.isEmpty() && !sizedByUser) {
        const QSize fitted = windowSizeFor(remoteSize);
        if (!sizedToRemote) {
            sizedToRemote = true;
            resize(fitted);
        } else if (remoteSize != previous && fitted == remoteSize) {
            resize(fitted);
        }
    }
    fitView();
}

// The remote size if it fits on the screen, else the largest size with the
// same aspect ratio that does.
QSize Vemo::windowSizeFor(const QSize &remote) const
{
    QSize available = screen()->availableSize();
    if (isVisible() && isWindow()) {
        const QSize decoration = frameGeometry().size() - size();
        available -= decoration.expandedTo(QSize(0, 0));
    }
    // The key bar takes its height below the picture.
    const QSize bar(0, keyBarHeight());
    available = (available - bar).expandedTo(minimumSize());
    if (remote.width() <= available.width() && remote.height() <= available.height())
        return remote + bar;
    return remote.scaled(available, Qt::KeepAspectRatio).expandedTo(minimumSize()) + bar;
}

// Pixel for pixel while the remote screen fits, scaled to fit otherwise;
// a zoom of the user's own has scroll bars where the picture needs them.
void Vemo::fitView()
{
    const Qt::ScrollBarPolicy bars = view->isFitting() ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    area->setHorizontalScrollBarPolicy(bars);
    area->setVerticalScrollBarPolicy(bars);
    // Until the first picture the view's own black fills the area: what Qt
    // paints around it would take memory the size of the window.
    if (remoteSize.isEmpty()) {
        view->resize(area->maximumViewportSize());
        return;
    }
    if (!view->isFitting())
        return;
    const bool fits = remoteSize.width() <= area->width() && remoteSize.height() <= area->height();
    if (fits) {
        if (view->isScaling())
            view->enableScaling(false);
    } else if (!view->isScaling()) {
        view->enableScaling(true);
    } else {
        view->refitToParent();
    }
}

void Vemo::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOut();
    placeNotice();
    askForRemoteSize();
}

void Vemo::showStatus(RemoteView::RemoteStatus status)
{
    updateMenu();
    if (status == RemoteView::Connected) {
        failed = false;
        retryDelay = 0;
        retryTimer.stop();
        reconnectButton->hide();
        notice->hide();
        setTitle(view->securityText());
        qCInfo(lcWindow).noquote() << "title:" << windowTitle();
        return;
    }
    // A failure stays on screen until the next try.
    if (failed)
        return;
    // A listening window that lost its server waits for the next one.
    if (listener && status == RemoteView::Disconnected) {
        showWaiting();
        return;
    }
    for (const StatusText &s : statusTexts) {
        if (s.status == status)
            showNotice(tr(s.notice).arg(address), tr(s.titleState));
    }
}

void Vemo::showError(const QString &title, const QString &message)
{
    failed = true;
    failure = title + QLatin1Char('\n') + message;
    showNotice(failure, title);
    offerReconnect();
}

void Vemo::showNotice(const QString &text, const QString &titleState)
{
    notice->setText(text);
    setTitle(titleState);
    qCInfo(lcWindow).noquote() << "title:" << windowTitle() << "| notice:"
                               << QString(text).replace(QLatin1Char('\n'), QLatin1String(" | "));
    placeNotice();
    notice->raise();
    notice->show();
}

// The title names the server, the state of the session and whether the
// user's input reaches the server.
void Vemo::setTitle(const QString &state)
{
    titleState = state;
    const QString shown = view->isViewOnly() ? tr("%1, view only").arg(state) : state;
    // The server's own name for its desktop leads, when it gives one; the
    // address stays, as the name is the server's to choose.
    const QString name = view->currentStatus() == RemoteView::Connected
                             ? view->desktopName().simplified().left(maximumNameShown)
                             : QString();
    setWindowTitle(name.isEmpty() ? tr("%1 (%2) - vemo").arg(address, shown)
                                  : tr("%1 - %2 (%3) - vemo").arg(name, address, shown));
}

void Vemo::placeNotice()
{
    const int margin = 8;
    // Wider for a word that cannot wrap (a line of the certificate store),
    // as far as the window allows.
    int longest = 0;
    const QString text = QString(notice->text()).replace(QLatin1Char('\n'), QLatin1Char(' '));
    for (const QString &word : text.split(QLatin1Char(' ')))
        longest = qMax(longest, notice->fontMetrics().horizontalAdvance(word));
    const int w = qMin(width() - 2 * margin, qMax(420, longest + 2 * notice->margin() + 4));
    const int h = qMin(notice->heightForWidth(w), height() - 2 * margin);
    const int buttonHeight = reconnectButton->isHidden() ? 0 : reconnectButton->sizeHint().height() + margin;
    const int top = (height() - h - buttonHeight) / 2;
    notice->setGeometry((width() - w) / 2, top, w, h);
    const QSize button = reconnectButton->sizeHint();
    reconnectButton->setGeometry((width() - button.width()) / 2, top + h + margin, button.width(), button.height());
}

// After a failure: a button, or after a lost connection with --reconnect
// a countdown to the next try, each wait twice as long as the one before.
void Vemo::offerReconnect()
{
    if (listener) {
        // The server connects again, or another one does.
        if (listener->isListening())
            showNotice(failure + QLatin1Char('\n')
                           + tr("Waiting for a VNC server to connect on port %1…").arg(listener->serverPort()),
                       tr("listening"));
        return;
    }
    if (!windowSettings.reconnect || !view->connectionLost()) {
        reconnectButton->show();
        reconnectButton->raise();
        reconnectButton->setFocus();
        placeNotice();
        return;
    }
    retryDelay = retryDelay == 0 ? 1 : qMin(retryDelay * 2, longestRetrySeconds);
    retryLeft = retryDelay;
    retryTimer.start();
    showRetryCountdown();
}

void Vemo::showRetryCountdown()
{
    if (retryLeft <= 0) {
        retryNow();
        return;
    }
    showNotice(failure + QLatin1Char('\n')
                   + tr("Reconnecting in %1 s…").arg(retryLeft),
               tr("reconnecting"));
    --retryLeft;
}

void Vemo::retryNow()
{
    retryTimer.stop();
    reconnectButton->hide();
    if (listener || view->currentStatus() != RemoteView::Disconnected)
        return;
    failed = false;
    failure.clear();
    view->reconnect();
}

void Vemo::acceptServer(int socket, const QString &peer)
{
    // One server at a time; a second one is turned away.
    if (view->currentStatus() != RemoteView::Disconnected) {
        ::close(socket);
        return;
    }
    address = peer;
    failed = false;
    failure.clear();
    if (!view->startConnectingOver(socket, peer))
        ::close(socket);
}

void Vemo::showWaiting()
{
    showNotice(tr("Waiting for a VNC server to connect on port %1…").arg(listener->serverPort()),
               tr("listening"));
}

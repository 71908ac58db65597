#include "vemo.h"

#include "qsoftmenubar.h"
#include "qtopiaapplication.h"
#include "serverurl.h"
#include "vncview.h"

#include <QAction>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QPalette>
#include <QScreen>

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

// Below this a scaled remote screen is of no use.
const int minimumSide = 64;

} // namespace

Vemo::Vemo(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    QtopiaApplication::setInputMethodHint(this, QtopiaApplication::Text, QString());

    const QUrl url = startupUrl();
    const ConnectionOptions &options = startupOptions();
    address = displayAddress(url);
    setMinimumSize(minimumSide, minimumSide);
    const QSize available = screen()->availableSize();
    resize(QSize(640, 480).boundedTo(available));
    // Outside the remote screen the window is dark, not a dialog grey.
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Qt::black);
    setPalette(dark);
    setAutoFillBackground(true);

    view = new VncView(this, url);
    connect(view, &RemoteView::changeSize, this, &Vemo::remoteSizeChanged);
    connect(view, &RemoteView::statusChanged, this, &Vemo::showStatus);
    connect(view, &RemoteView::errorMessage, this, &Vemo::showError);

    notice = new QLabel(this);
    notice->setAlignment(Qt::AlignCenter);
    notice->setWordWrap(true);
    notice->setTextFormat(Qt::PlainText);
    notice->setMargin(12);
    notice->setAttribute(Qt::WA_TransparentForMouseEvents);
    notice->setStyleSheet(QStringLiteral(
        "QLabel { background: rgba(48, 48, 48, 220); color: white;"
        " border: 1px solid rgb(128, 128, 128); border-radius: 6px; }"));
    showStatus(view->currentStatus());

    view->setVisible(true);
    view->setConnectionOptions(options);
    view->startConnecting();

    QAction *openDocument = new QAction(tr("Open Document"), this);
    QSoftMenuBar::menuFor(this, QSoftMenuBar::AnyFocus)->addAction(openDocument);
    QSoftMenuBar::setInputMethodEnabled(this, true);
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

// The window takes the remote screen's size when it first shows, and again
// when the desktop changes size and the new one fits on the screen; a
// maximized or full-screen window keeps its size.
void Vemo::remoteSizeChanged(int w, int h)
{
    const QSize previous = remoteSize;
    remoteSize = QSize(w, h);
    if (!remoteSize.isEmpty()) {
        const QSize fitted = windowSizeFor(remoteSize);
        if (!sizedToRemote) {
            sizedToRemote = true;
            resize(fitted);
        } else if (remoteSize != previous && fitted == remoteSize && !isMaximized() && !isFullScreen()) {
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
    available = available.expandedTo(minimumSize());
    if (remote.width() <= available.width() && remote.height() <= available.height())
        return remote;
    return remote.scaled(available, Qt::KeepAspectRatio).expandedTo(minimumSize());
}

// Pixel for pixel while the remote screen fits, scaled to fit otherwise.
void Vemo::fitView()
{
    if (remoteSize.isEmpty())
        return;
    const bool fits = remoteSize.width() <= width() && remoteSize.height() <= height();
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
    fitView();
    placeNotice();
}

void Vemo::showStatus(RemoteView::RemoteStatus status)
{
    if (status == RemoteView::Connected) {
        failed = false;
        notice->hide();
        const QString security = !view->isEncrypted()       ? tr("not encrypted")
                                 : view->isIdentityVerified() ? tr("encrypted, server verified")
                                                              : tr("encrypted, server not verified");
        setWindowTitle(tr("%1 (%2) - vemo").arg(address, security));
        qCInfo(lcWindow).noquote() << "title:" << windowTitle();
        return;
    }
    // A failure stays on screen: nothing reconnects after it.
    if (failed)
        return;
    for (const StatusText &s : statusTexts) {
        if (s.status == status)
            showNotice(tr(s.notice).arg(address), tr(s.titleState));
    }
}

void Vemo::showError(const QString &title, const QString &message)
{
    failed = true;
    showNotice(title + QLatin1Char('\n') + message, title);
}

void Vemo::showNotice(const QString &text, const QString &titleState)
{
    notice->setText(text);
    setWindowTitle(tr("%1 (%2) - vemo").arg(address, titleState));
    qCInfo(lcWindow).noquote() << "title:" << windowTitle() << "| notice:"
                               << QString(text).replace(QLatin1Char('\n'), QLatin1String(" | "));
    placeNotice();
    notice->raise();
    notice->show();
}

void Vemo::placeNotice()
{
    const int margin = 8;
    const int w = qMin(width() - 2 * margin, 420);
    const int h = qMin(notice->heightForWidth(w), height() - 2 * margin);
    notice->setGeometry((width() - w) / 2, (height() - h) / 2, w, h);
}

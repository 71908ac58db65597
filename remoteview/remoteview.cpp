#include "remoteview.h"

RemoteView::RemoteView(QWidget *parent)
    : QWidget(parent),
      m_status(Disconnected),
      m_port(0),
      m_viewOnly(false),
      m_grabAllKeys(false),
      m_scale(false),
      m_keyboardIsGrabbed(false),
      m_dotCursorState(CursorOff)
{
}

RemoteView::~RemoteView() = default;

bool RemoteView::canScale() const { return false; }
bool RemoteView::isScaling() const { return m_scale; }
bool RemoteView::canShowDotCursor() const { return false; }

void RemoteView::setDotCursorMode(RemoteView::DotCursorState cursorState)
{
    m_dotCursorState = cursorState;
}

RemoteView::DotCursorState RemoteView::dotCursorMode() const
{
    return static_cast<DotCursorState>(m_dotCursorState);
}

bool RemoteView::isViewOnly() const { return m_viewOnly; }
bool RemoteView::isGrabbingAllKeys() const { return m_grabAllKeys; }
QSize RemoteView::remoteScreenSize() const { return QSize(0, 0); }
void RemoteView::beginShutdown() {}
bool RemoteView::isShuttingDown() const { return false; }
QString RemoteView::hostName() const { return m_host; }
int RemoteView::portNumber() const { return m_port; }
void RemoteView::refitToParent() {}
RemoteView::RemoteStatus RemoteView::currentStatus() const { return m_status; }
QUrl RemoteView::serverUrl() const { return m_url; }

void RemoteView::enableScaling(bool scale) { m_scale = scale; }
void RemoteView::setViewOnly(bool viewOnly) { m_viewOnly = viewOnly; }

void RemoteView::setGrabAllKeys(bool grabAllKeys)
{
    m_grabAllKeys = grabAllKeys;
    if (grabAllKeys) {
        m_keyboardIsGrabbed = true;
        grabKeyboard();
    } else if (m_keyboardIsGrabbed) {
        releaseKeyboard();
        m_keyboardIsGrabbed = false;
    }
}

void RemoteView::switchFullscreen(bool) {}
void RemoteView::keyEvent(QKeyEvent *) {}
void RemoteView::scaleResize(int, int) {}

void RemoteView::setStatus(RemoteView::RemoteStatus s)
{
    // Written before the emission, so receivers asking currentStatus() see it.
    m_status = s;
    emit statusChanged(s);
}

void RemoteView::changeStatus(RemoteView::RemoteStatus s)
{
    const RemoteStatus c = m_status;
    if (s == c)
        return;
    if (s == Disconnecting && c == Disconnected)
        return;
    if (s == c + 1 || s == Disconnected || s == Disconnecting) {
        setStatus(s);
        return;
    }
    // A jump of more than one step walks through every value in between,
    // announcing the current one again; a step back restarts from Disconnected.
    int from = c;
    if (c > s) {
        setStatus(Disconnected);
        from = Disconnected;
    }
    for (int v = from; v < s; ++v)
        setStatus(static_cast<RemoteStatus>(v));
    setStatus(s);
}

void RemoteView::focusInEvent(QFocusEvent *event)
{
    if (m_grabAllKeys) {
        m_keyboardIsGrabbed = true;
        grabKeyboard();
    }
    QWidget::focusInEvent(event);
}

void RemoteView::focusOutEvent(QFocusEvent *event)
{
    if (m_grabAllKeys || m_keyboardIsGrabbed) {
        m_keyboardIsGrabbed = false;
        releaseKeyboard();
    }
    QWidget::focusOutEvent(event);
}

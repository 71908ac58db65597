#ifndef VNCVIEW_H
#define VNCVIEW_H

#include "connectionoptions.h"
#include "gridscaler.h"
#include "remoteview.h"
#include "vncclientthread.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QUrl>

class QClipboard;
class QDialog;
class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

// The RFB implementation of RemoteView: owns the connection thread, draws
// (and optionally scales) the remote framebuffer, and turns local input and
// clipboard changes into outgoing RFB messages.
class VncView : public RemoteView
{
    Q_OBJECT

public:
    VncView(QWidget *parent, const QUrl &url);
    ~VncView() override;

    bool canScale() const override;
    bool canShowDotCursor() const override;
    void setDotCursorMode(RemoteView::DotCursorState cursorState) override;
    QSize remoteScreenSize() const override;
    void beginShutdown() override;
    bool isShuttingDown() const override;
    bool startConnecting() override;
    void refitToParent() override;

    // Sign-in and quality for the next startConnecting().
    void setConnectionOptions(const ConnectionOptions &options);
    // Once connected: whether the session is encrypted, and whether the
    // server proved who it is.
    bool isEncrypted() const;
    bool isIdentityVerified() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Scale factors (widget pixels per framebuffer pixel); 1.0 unless scaling.
    float horizontalScale() const { return horizontalFactor; }
    float verticalScale() const { return verticalFactor; }

public slots:
    void enableScaling(bool scale) override;
    void setViewOnly(bool viewOnly) override;
    void scaleResize(int w, int h) override;

private slots:
    void updateImage(int x, int y, int w, int h);
    void setCut(const QString &text);
    void requestPassword();
    void askAboutCertificate(const QString &question);
    void setRemoteCursor(const QImage &shape, const QPoint &hotSpot);
    void outputErrorMessage(const QString &message);
    void clipboardSelectionChanged();
    void clipboardDataChanged();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    friend class VncViewTest; // reaches clientThread to time server events
    friend struct ServerBytesFuzzer; // feeds the thread a socket of its own
    friend class VncViewInputTest; // checks the position mapping off the wire

    void forwardPointerEvent(QMouseEvent *event);
    void forwardWheelEvent(QWheelEvent *event);
    void forwardKeyEvent(QKeyEvent *event);
    void releaseHeldInput();
    QPoint toFramebuffer(const QPointF &widgetPos) const;
    QRect takePixels(const QRect &area);
    bool isScaled() const { return horizontalFactor != 1.0f || verticalFactor != 1.0f; }
    QSize pictureSize() const;
    QRect widgetArea(const QRect &framebufferArea);
    void disconnectThread();
    void closeDialogs();
    void applyCursor();

    VncClientThread clientThread;
    ConnectionOptions options;
    QPointer<QDialog> openDialog; // a question to the user, while one is open
    QImage remoteCursor; // the server's cursor, null until it sends one
    QPoint remoteHotSpot;
    QClipboard *clipboard;
    bool firstUpdateDone;
    int buttonMask;
    int modifierState;
    bool shuttingDown;
    bool settingClipboard;
    float horizontalFactor;
    float verticalFactor;
    // The view's own copy of the remote screen, taken while the connection
    // thread waits; every paint reads this, never the decoder's memory.
    QImage frame;
    GridScaler scaler;  // the frame's grid at the current scale
    QImage scaledPart;  // reused by scaled paints
    QPoint lastPointerPos;  // framebuffer position last sent
    QList<int> keysDown;    // keysyms the server holds pressed
    QHash<quint64, int> pressedKeysyms; // keysym each held key went down as
};

#endif

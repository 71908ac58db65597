#ifndef VNCVIEW_H
#define VNCVIEW_H

#include "connectionoptions.h"
#include "edgescroll.h"
#include "gridscaler.h"
#include "keytranslator.h"
#include "remoteview.h"
#include "touchinterpreter.h"
#include "vncclientthread.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QClipboard;
class QDialog;
class QKeyEvent;
class QMouseEvent;
class QScrollArea;
class QTouchEvent;
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
    // Once connected: whether the session is encrypted, and how the server
    // proved who it is; in words for the window title.
    bool isEncrypted() const;
    ServerIdentity identity() const;
    QString securityText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Speaks RFB over a connected socket (a server that connected to us),
    // which the view takes over; 'peer' names the server.
    bool startConnectingOver(int socket, const QString &peer);
    // After a lost connection: whether trying again makes sense (not after
    // a refused password or certificate, nor the user's own disconnect).
    bool connectionLost() const { return lost; }
    // Whether the server takes requests to change its desktop size.
    bool canResizeRemote() const { return remoteResizable; }
    // Modifiers latched for the next key (KeyTranslator::Sticky bits).
    int stickyModifiers() const { return keys.latched(); }
    // Fitted to the window (the default), or at a zoom of its own.
    bool isFitting() const { return fitting; }

    // Scale factors (widget pixels per framebuffer pixel); 1.0 unless scaling.
    float horizontalScale() const { return horizontalFactor; }
    float verticalScale() const { return verticalFactor; }

public slots:
    void enableScaling(bool scale) override;
    void setViewOnly(bool viewOnly) override;
    void scaleResize(int w, int h) override;

    // A new connection after the last one ended; false while one runs.
    bool reconnect();
    // The user's own end of the session.
    void disconnectFromServer();
    // Asks the server to change its desktop to 'size', once the user has
    // stopped resizing for a moment.
    void requestRemoteSize(const QSize &size);
    void setStickyModifier(int modifier, bool on);
    // A key pressed and released on the server, with the latched modifiers.
    void sendKeysym(uint keysym);
    void sendCtrlAltDel();
    // Sizing: fitted to the window, pixel for pixel, or zoomed in steps;
    // a picture larger than the window is scrolled to show another part
    // (by the bars of a scroll area holding the view, else by moving it).
    void fitToWindow();
    void showActualSize();
    void zoomIn();
    void zoomOut();
    // 'anchor' (the parent's coordinates) stays where it is.
    void zoomBy(qreal factor, const QPointF &anchor);
    void panBy(const QPointF &delta);

signals:
    void stickyModifiersChanged(int modifiers);
    void remoteResizeAvailable();
    void menuRequested();
    // Fit or zoom changed; the window lays the view out again.
    void sizingChanged();

private slots:
    void updateImage(int x, int y, int w, int h);
    void updateImageRegion();
    void setCut(const QString &text);
    void requestPassword();
    void askAboutCertificate(const QString &question);
    void askForSecret(const QString &prompt);
    void setRemoteCursor(const QImage &shape, const QPoint &hotSpot);
    void outputErrorMessage(const QString &message);
    void clipboardSelectionChanged();
    void clipboardDataChanged();
    void sendRemoteSize();
    void noteRemoteResizable();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeStatus(RemoteView::RemoteStatus s) override;

private:
    friend class VncViewTest; // reaches clientThread to time server events
    friend struct ServerBytesFuzzer; // feeds the thread a socket of its own
    friend class VncViewInputTest; // checks the position mapping off the wire

    void forwardPointerEvent(QMouseEvent *event);
    void forwardWheelEvent(QWheelEvent *event);
    void forwardKeyEvent(QKeyEvent *event);
    void forwardTouchEvent(QTouchEvent *event);
    void applyTouch(const QList<TouchInterpreter::Output> &outputs);
    void sendKeys(const QList<KeyTranslator::Record> &records);
    void setZoom(qreal wanted, const QPointF &anchor);
    // A pinch's step: the same as zoomBy(), the picture scaled at most
    // once a frame however often it is called.
    void pinchBy(qreal factor, const QPointF &anchor);
    void applyScale(float factor);
    QScrollArea *scrollArea() const;
    QPoint scrollOffset() const;
    void scrollTo(const QPoint &offset);
    void followMouse(const QMouseEvent *event);
    QPoint edgeStep() const;
    void scrollAtEdge();
    void releaseHeldInput();
    QPoint toFramebuffer(const QPointF &widgetPos) const;
    void showChange(const QRegion &area, bool atOrigin);
    QRegion takePixels(const QRegion &changed);
    bool isScaled() const { return horizontalFactor != 1.0f || verticalFactor != 1.0f; }
    QSize pictureSize() const;
    QRect widgetArea(const QRect &framebufferArea);
    QRegion widgetArea(const QRegion &framebufferArea);
    void disconnectThread();
    void closeDialogs();
    QString serverName() const;
    void applyCursor();

    VncClientThread clientThread;
    ConnectionOptions options;
    QPointer<QDialog> openDialog; // a question to the user, while one is open
    QImage remoteCursor; // the server's cursor, null until it sends one
    QPoint remoteHotSpot;
    QClipboard *clipboard;
    bool firstUpdateDone;
    int buttonMask;
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

    KeyTranslator keys;
    TouchInterpreter touches;
    QTimer holdTimer;       // a finger resting long enough right-clicks
    QTimer resizeTimer;     // remote resizes wait for the user to stop
    QSize wantedRemoteSize;
    bool remoteResizable = false;
    bool lost = false;
    bool fitting = true;
    qreal zoom = 1.0;       // the factor while not fitting
    QPointF panLeft;        // the part of a pan smaller than a pixel
    QTimer pinchTimer;      // a pinch's zoom waits for the next frame
    qreal pinchZoom = 0;    // the zoom this touch sequence asks for; 0 before it pinched
    QPointF pinchAnchor;
    EdgeScroll edges;
    QTimer edgeTimer;       // scrolls while the mouse rests at an edge
    QPointF mouseInWindow;  // where the mouse last was, in the parent's coordinates
    // Typed into the dialog; kept for reconnects once it signed in, but
    // never offered to another server that connects to a listening view.
    QString typedPassword;
    QString signedInPassword;
    QString typedUserName;
    QString signedInUserName;
    bool reverseConnection = false; // the server connected to us
};

#endif

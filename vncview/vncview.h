#ifndef VNCVIEW_H
#define VNCVIEW_H

#include "connectionoptions.h"
#include "earlykeys.h"
#include "edgescroll.h"
#include "gridscaler.h"
#include "keytranslator.h"
#include "locksync.h"
#include "remoteview.h"
#include "touchinterpreter.h"
#include "touchpad.h"
#include "vncclientthread.h"
#include "wheelaccumulator.h"
#include "x11surface.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class KeyTap;

class QClipboard;
class QDialog;
class QKeyEvent;
class QMouseEvent;
class QPainter;
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
    // The quality asked for; changed while connected, it takes effect
    // without a reconnect, and a reconnect keeps it.
    Quality quality() const;
    // What the connection-information view shows.
    ConnectionInfo connectionInfo() const;

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
    // Keys go with their physical position to servers that take it (QEMU's
    // extended key events), unless turned off. Before startConnecting().
    void setPhysicalKeys(bool on) { clientThread.setPhysicalKeys(on); }
    // Where the local Caps Lock and Num Lock are read (LockSync bits), given
    // the key about to go out if there is one; the X server's keyboard by default.
    using LockReader = std::function<std::optional<int>(const QKeyEvent *)>;
    void setLocalLockReader(LockReader reader) { localLocks = std::move(reader); }
    // Touchpad mode: a finger moves a pointer of the view's own, taps click
    // where that pointer is. Off (a touch clicks where it is) by default.
    bool isTouchpadMode() const { return touchpadMode; }
    QPointF touchpadPointer() const;
    // Fitted to the window (the default), or at a zoom of its own.
    bool isFitting() const { return fitting; }
    // Actual size: one remote pixel per device pixel of the screen, or with
    // logical pixels on, per logical pixel (as large as on a screen without
    // scaling, enlarged by the screen's ratio).
    bool isActualSize() const;
    bool logicalPixels() const { return logicalActual; }

    // Whether the server's bell flashes the view's frame besides beeping
    // (the default), and whether it is flashing now.
    void setBellFlash(bool on) { bellFlashWanted = on; }
    bool isFlashingBell() const { return bellTimer.isActive(); }
    // The server's name for its desktop; empty when it gave none.
    QString desktopName() const { return remoteName; }

    // Scale factors (widget pixels per framebuffer pixel); 1.0 unless scaling.
    float horizontalScale() const { return horizontalFactor; }
    float verticalScale() const { return verticalFactor; }
    // Device pixels per framebuffer pixel: what zoom steps and the picture's
    // smoothing go by.
    qreal deviceScale() const { return horizontalFactor * devicePixelRatioF(); }

public slots:
    void enableScaling(bool scale) override;
    void setViewOnly(bool viewOnly) override;
    void scaleResize(int w, int h) override;

    // A new connection after the last one ended; false while one runs.
    bool reconnect();
    // The user's own end of the session.
    void disconnectFromServer();
    void setQuality(Quality quality);
    // Asks the server to change its desktop to 'size', once the user has
    // stopped resizing for a moment.
    void requestRemoteSize(const QSize &size);
    void setStickyModifier(int modifier, bool on);
    void setTouchpadMode(bool on);
    // The classic taps: two fingers middle-click and three open the menu.
    void setClassicTaps(bool classic);
    // A key pressed and released on the server, with the latched modifiers.
    void sendKeysym(uint keysym);
    void sendCtrlAltDel();
    // Types 'text' on the server, a key press and release per character,
    // for servers without a clipboard and input methods without key events.
    void sendText(const QString &text);
    // Sizing: fitted to the window, pixel for pixel, or zoomed in steps;
    // a picture larger than the window is scrolled to show another part
    // (by the bars of a scroll area holding the view, else by moving it).
    void fitToWindow();
    void showActualSize();
    void setLogicalPixels(bool on);
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
    void desktopNameChanged(const QString &name);

private slots:
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
    void setServerLocks(int locks);
    void ringBell();
    void setDesktopName(const QString &name);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // None while the view puts its pictures into its own X window.
    QPaintEngine *paintEngine() const override;
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void changeStatus(RemoteView::RemoteStatus s) override;

private:
    friend class VncViewTest; // reaches clientThread to time server events
    friend struct ServerBytesFuzzer; // feeds the thread a socket of its own
    friend class VncViewInputTest; // checks the position mapping off the wire

    void forwardPointerEvent(QMouseEvent *event);
    void forwardWheelEvent(QWheelEvent *event);
    bool forwardKeyEvent(QKeyEvent *event);
    bool sendKey(int qtKey, quint32 virtualKey, bool pressed, const QString &text, quint32 scanCode, bool keypad,
                 const QKeyEvent *event, quint32 tappedState);
    void sendLockKeys(const QList<uint32_t> &keysyms);
    bool takesKeysNow(quint32 window) const;
    void sendEarly(const EarlyKeys::Key &key);
    void readTapped(EarlyKeys::Key &key, bool mayGo);
    void refreshKeyGate();
    void watchTopLevel();
    void forwardTouchEvent(QTouchEvent *event);
    void applyTouch(const QList<TouchInterpreter::Output> &outputs);
    static QList<TouchInterpreter::Point> touchPoints(const QTouchEvent *event);
    void forwardTouchpadEvent(QTouchEvent *event);
    void applyTouchpad(const QList<Touchpad::Output> &outputs);
    void keepPointerVisible();
    void placePointer();
    QRect pointerArea() const;
    void paintPointer(QPainter &painter);
    void sendKeys(const QList<KeyTranslator::Record> &records);
    void syncLocks(const QKeyEvent *key = nullptr);
    void setZoom(qreal wanted, const QPointF &anchor);
    void applyZoom();
    void followRatio();
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
    void showChange(const QRegion &changed, const QSize &taken);
    bool isScaled() const { return horizontalFactor != 1.0f || verticalFactor != 1.0f; }
    QSize pictureSize() const;
    QSize devicePictureSize() const;
    void paintPart(QPainter &painter, const QImage &source, const QRect &part);
    void paintOverlays(QPainter &painter);
    void putOnScreen(const QRegion &region);
    void composeAndPut(const QImage &frame, const QRect &part, unsigned window);
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
    // The size of the remote screen as the view last took it; the picture
    // itself is painted from the connection thread's, under its lock.
    QSize frameSize;
    GridScaler scaler;  // the frame's grid at the current scale
    QImage scaledPart;  // reused by scaled paints
    // The pictures straight to the view's X window, when the display allows.
    std::shared_ptr<X11Surface> surface;
    QPoint lastPointerPos;  // framebuffer position last sent

    // The translator and the locks' state: keys also leave from the key
    // tap's thread. Taken after rulesLock where both are.
    mutable std::mutex keyLock;
    KeyTranslator keys;
    std::mutex rulesLock; // earlyKeys
    EarlyKeys earlyKeys;
    std::unique_ptr<X11InputReader> keyReader; // feeds earlyKeys
    std::unique_ptr<KeyTap> keyTap;            // reads keys ahead of Qt
    std::atomic<bool> keysToView{false};       // for the tap: connected, the focus
    unsigned tapNumLock = 0;                   // Num Lock's modifier, looked up for the tap
    WheelAccumulator wheel;
    LockSync locks;
    LockReader localLocks;
    TouchInterpreter touches;
    Touchpad pad;
    bool touchpadMode = false;
    QTimer holdTimer;       // a finger resting long enough right-clicks
    QTimer resizeTimer;     // remote resizes wait for the user to stop
    QSize wantedRemoteSize;
    bool remoteResizable = false;
    bool lost = false;
    bool fitting = true;
    qreal zoom = 1.0;       // device pixels per remote pixel while not fitting
    bool logicalActual = false;
    qreal shownRatio = 1.0; // the screen's ratio the sizes were made for
    QPointF panLeft;        // the part of a pan smaller than a pixel
    QTimer pinchTimer;      // a pinch's zoom waits for the next frame
    qreal pinchZoom = 0;    // the zoom this touch sequence asks for; 0 before it pinched
    QPointF pinchAnchor;
    EdgeScroll edges;
    QTimer edgeTimer;       // scrolls while the mouse rests at an edge
    QTimer bellTimer;       // while it runs, the bell's flash shows
    bool bellFlashWanted = true;
    QString remoteName;
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

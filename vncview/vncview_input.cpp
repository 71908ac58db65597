// Pointer and keyboard input: Qt events to RFB pointer and key events; the
// key translator and the touch interpreter decide what each one means.
#include "vncview.h"

#include "physicalkeys.h"
#include "keytable.h"
#include "keytap.h"
#include "locallocks.h"
#include "scalemath.h"

#include "diagnostics.h"

#include <QApplication>
#include <QDebug>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

namespace
{
enum ButtonBit { LeftBit = 1, MiddleBit = 2, RightBit = 4 };

int maskOf(Qt::MouseButtons buttons)
{
    int mask = 0;
    if (buttons & Qt::LeftButton)
        mask |= LeftBit;
    if (buttons & Qt::MiddleButton)
        mask |= MiddleBit;
    if (buttons & Qt::RightButton)
        mask |= RightBit;
    return mask;
}

// Where the event is in `widget`, to the device pixel: Qt 6.4 hands
// widgets positions rounded to logical pixels, but keeps the one in the
// native window that got it (the widget's own, if it has one) exact. An
// event made up with a window position elsewhere keeps its own.
QPointF exactPosition(const QWidget *widget, const QSinglePointEvent *event)
{
    const QWidget *native = widget->internalWinId() ? widget : widget->nativeParentWidget();
    const QPointF exact = native ? widget->mapFrom(native, event->scenePosition()) : event->scenePosition();
    const QPointF off = exact - event->position();
    return qAbs(off.x()) <= 0.5 && qAbs(off.y()) <= 0.5 ? exact : event->position();
}

// The handheld's soft keys are the window's own, whatever has the focus.
bool isSoftKey(int key)
{
    return key >= Qt::Key_Context1 && key <= Qt::Key_Context4;
}

// Keys that may never reach the view: the soft keys, and the menu key the
// soft key menu takes when it serves the view.
bool goesElsewhere(int key)
{
    return isSoftKey(key) || key == Qt::Key_Menu;
}

bool isInputEvent(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
        return true;
    default:
        return false;
    }
}
} // namespace

bool VncView::event(QEvent *event)
{
    Handover::acquireOnCall(event, &clientThread);
    // Keys read after this may go early, once it went out.
    struct Delivered
    {
        VncView *view;
        QEvent *event;
        ~Delivered()
        {
            if (event->isPointerEvent() && event->spontaneous()) {
                const std::lock_guard<std::mutex> guard(view->rulesLock);
                view->earlyKeys.inputDelivered(quint32(static_cast<QInputEvent *>(event)->timestamp()));
            }
        }
    } delivered{this, event};
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        forwardPointerEvent(static_cast<QMouseEvent *>(event));
        return true;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate: {
        const bool handled = RemoteView::event(event);
        refreshKeyGate();
        return handled;
    }
    case QEvent::Show:
    case QEvent::ParentChange:
    case QEvent::WinIdChange:
        watchTopLevel();
        return RemoteView::event(event);
    case QEvent::ShortcutOverride:
        // A key typed into the remote desktop is the remote desktop's: it
        // makes no shortcut here (and Qt skips its search of them, a good
        // part of a key's way through it).
        if (currentStatus() == Connected && !isViewOnly()
            && !isSoftKey(static_cast<QKeyEvent *>(event)->key())) {
            event->accept();
            return true;
        }
        return RemoteView::event(event);
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (!event->spontaneous()) {
            forwardKeyEvent(key);
            return true;
        }
        bool early;
        {
            const std::lock_guard<std::mutex> guard(rulesLock);
            early = earlyKeys.wentEarly(key);
        }
        if (early)
            return true;
        // Out before the rules hear of it: a key read meanwhile waits.
        const bool sent = forwardKeyEvent(key) && !goesElsewhere(key->key());
        const std::lock_guard<std::mutex> guard(rulesLock);
        earlyKeys.keyDelivered(key);
        if (sent)
            earlyKeys.learn(key);
        return true;
    }
    case QEvent::Wheel:
        forwardWheelEvent(static_cast<QWheelEvent *>(event));
        return true;
    case QEvent::Leave:
        edgeTimer.stop();
        return RemoteView::event(event);
    case QEvent::ScreenChangeInternal:
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    case QEvent::DevicePixelRatioChange:
#endif
        followRatio();
        return RemoteView::event(event);
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
        forwardTouchEvent(static_cast<QTouchEvent *>(event));
        return true;
    default:
        return RemoteView::event(event);
    }
}

bool VncView::eventFilter(QObject *watched, QEvent *event)
{
    if (isViewOnly() && isInputEvent(event->type())) {
        // Scrolling at the window's edges is the viewer's own.
        if (event->type() == QEvent::MouseMove)
            followMouse(static_cast<QMouseEvent *>(event));
        return true;
    }
    return RemoteView::eventFilter(watched, event);
}

// The remote pixel shown on the device pixel under `widgetPos`, which
// comes as device pixels over the screen's ratio, fractional above 1.
QPoint VncView::toFramebuffer(const QPointF &widgetPos) const
{
    const qreal ratio = devicePixelRatioF();
    const auto remote = [ratio](qreal pos, float factor) {
        return sourcePixel(std::floor(pos * ratio + 1e-4), double(factor) * ratio);
    };
    return QPoint(remote(widgetPos.x(), horizontalFactor), remote(widgetPos.y(), verticalFactor));
}

// Input goes out only while connected: before that the user cannot see the
// remote screen, and the server is not listening yet.
void VncView::forwardPointerEvent(QMouseEvent *event)
{
    // The touch interpreter has seen the touches this mouse event stands for.
    if (currentStatus() != Connected || event->pointingDevice()->type() == QInputDevice::DeviceType::TouchScreen)
        return;
    const int bits = maskOf(event->button());
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        buttonMask |= bits;
        break;
    case QEvent::MouseButtonRelease:
        buttonMask &= ~bits;
        break;
    default:
        break;
    }
    lastPointerPos = toFramebuffer(exactPosition(this, event));
    clientThread.mouseEvent(lastPointerPos.x(), lastPointerPos.y(), buttonMask);
    if (touchpadMode)
        placePointer(); // where the mouse moved the server's pointer
    followMouse(event);
}

void VncView::forwardWheelEvent(QWheelEvent *event)
{
    if (currentStatus() != Connected)
        return;
    lastPointerPos = toFramebuffer(exactPosition(this, event));
    // Buttons 4 to 7 are mask bits 3 to 6, each clicked once a step. The
    // delta is the way the picture scrolls here ("natural" scrolling
    // included), and so there.
    for (int button : wheel.add(event->angleDelta())) {
        clientThread.mouseEvent(lastPointerPos.x(), lastPointerPos.y(), buttonMask | (1 << (button - 1)));
        clientThread.mouseEvent(lastPointerPos.x(), lastPointerPos.y(), buttonMask);
    }
}

// True when the key went out as Qt made it.
bool VncView::forwardKeyEvent(QKeyEvent *event)
{
    if (currentStatus() != Connected)
        return false;
    bool sent;
    int latchedBefore;
    int latched;
    {
        const std::lock_guard<std::mutex> guard(keyLock);
        latchedBefore = keys.latched();
        sent = sendKey(event->key(), event->nativeVirtualKey(), event->type() == QEvent::KeyPress, event->text(),
                       event->nativeScanCode(), event->modifiers() & Qt::KeypadModifier, event, 0);
        latched = keys.latched();
    }
    if (!sent) {
        qCDebug(lcView, "Unknown keysym: 0x%x", unsigned(event->key()));
        // Nothing is sent for a key without a keysym.
        RemoteView::event(event);
        return false;
    }
    if (latched != latchedBefore)
        emit stickyModifiersChanged(latched);
    return true;
}

// Under keyLock. False for a key without a keysym: nothing sent. The
// local locks come from 'event', or from the X state of a key the tap read.
bool VncView::sendKey(int qtKey, quint32 virtualKey, bool pressed, const QString &text, quint32 scanCode, bool keypad,
                      const QKeyEvent *event, quint32 tappedState)
{
    bool unknown = false;
    const int key = PhysicalKeys::refinedKey(qtKey, virtualKey);
    const QList<KeyTranslator::Record> records =
        keys.translate(key, pressed, text, scanCode, &unknown, keypad, PhysicalKeys::xtFromNative(scanCode));
    // The user's own lock key is not brought in line first: it changes
    // the lock it would be compared by.
    if (pressed && !records.isEmpty() && !LockSync::isLockKeysym(records.last().keysym)) {
        if (event)
            syncLocks(event);
        else
            sendLockKeys(locks.keysToSync(LocalLocks::fromState(tappedState, tapNumLock)));
    }
    if (unknown)
        return false;
    sendKeys(records);
    return true;
}

// Whether a key read from the display for 'window' would reach the view
// as it is now, and may go early: a latched modifier, the soft key menu or
// a dialog change that. With the key tap, keys go early from there only.
bool VncView::takesKeysNow(quint32 window) const
{
    if (keyTap)
        return false;
    const QWidget *target = QWidget::find(WId(window));
    const std::lock_guard<std::mutex> guard(keyLock);
    return currentStatus() == Connected && !isViewOnly() && keys.latched() == 0 && target
           && target->window() == this->window() && QApplication::focusWidget() == this
           && !QApplication::activePopupWidget();
}

// The key Qt will deliver, made as Qt made it last time.
void VncView::sendEarly(const EarlyKeys::Key &key)
{
    QKeyEvent event(key.pressed ? QEvent::KeyPress : QEvent::KeyRelease, key.qtKey, key.modifiers, key.keycode,
                    key.keysym, key.state, key.text);
    event.setTimestamp(key.time);
    forwardKeyEvent(&event);
}

// In the key tap's thread, under rulesLock: a key that goes early goes as
// the view sent it last time, unless a latched modifier would change it.
void VncView::readTapped(EarlyKeys::Key &key, bool mayGo)
{
    const std::lock_guard<std::mutex> guard(keyLock);
    const bool go = mayGo && keysToView && keys.latched() == 0;
    if (earlyKeys.keyRead(&key, go, EarlyKeys::Reader::Tap))
        sendKey(key.qtKey, key.keysym, key.pressed, key.text, key.keycode, key.modifiers & Qt::KeypadModifier, nullptr,
                key.state);
}

// What the key tap's thread may know of the view: connected, taking keys,
// and the focus in the active window.
void VncView::refreshKeyGate()
{
    keysToView = currentStatus() == Connected && !isViewOnly() && hasFocus() && isActiveWindow()
                 && !QApplication::activePopupWidget();
}

void VncView::watchTopLevel()
{
    if (keyTap && window()->internalWinId())
        keyTap->watch(quint32(window()->internalWinId()));
}

void VncView::sendKeys(const QList<KeyTranslator::Record> &records)
{
    for (const KeyTranslator::Record &r : records) {
        if (LockSync::isLockKeysym(r.keysym))
            locks.lockKeySent();
        clientThread.keyEvent(int(r.keysym), r.down, r.xt);
    }
}

// Acted on at the next key or focus, not now: a report may be on its way
// while the user's own lock key goes out, and would undo it.
void VncView::setServerLocks(int serverLocks)
{
    const std::lock_guard<std::mutex> guard(keyLock);
    locks.serverReported(serverLocks);
}

// Lock keys pressed on the server (no physical position: the server has
// no such key held) until its locks are the local ones. Under keyLock.
void VncView::syncLocks(const QKeyEvent *key)
{
    if (locks.wantsLocal() && currentStatus() == Connected && !isViewOnly() && localLocks)
        sendLockKeys(locks.keysToSync(localLocks(key)));
}

void VncView::sendLockKeys(const QList<uint32_t> &keysyms)
{
    for (uint32_t keysym : keysyms) {
        clientThread.keyEvent(int(keysym), true);
        clientThread.keyEvent(int(keysym), false);
    }
}

void VncView::inputMethodEvent(QInputMethodEvent *event)
{
    if (currentStatus() == Connected && !isViewOnly() && !event->commitString().isEmpty()) {
        int latched;
        {
            const std::lock_guard<std::mutex> guard(keyLock);
            syncLocks();
            sendKeys(keys.typeText(event->commitString()));
            latched = keys.latched();
        }
        emit stickyModifiersChanged(latched);
    }
    event->accept();
}

QVariant VncView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImHints:
        // Keys go to the remote desktop as they are: no guessing of words.
        return int(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    default:
        return RemoteView::inputMethodQuery(query);
    }
}

void VncView::setStickyModifier(int modifier, bool on)
{
    int latched;
    {
        const std::lock_guard<std::mutex> guard(keyLock);
        keys.setLatched(KeyTranslator::Sticky(modifier), on);
        latched = keys.latched();
    }
    emit stickyModifiersChanged(latched);
}

void VncView::sendKeysym(uint keysym)
{
    if (currentStatus() != Connected || isViewOnly())
        return;
    int latched;
    {
        const std::lock_guard<std::mutex> guard(keyLock);
        sendKeys(keys.tap(keysym));
        latched = keys.latched();
    }
    emit stickyModifiersChanged(latched);
}

void VncView::sendCtrlAltDel()
{
    if (currentStatus() != Connected || isViewOnly())
        return;
    int latched;
    {
        const std::lock_guard<std::mutex> guard(keyLock);
        // Control_L, Alt_L, Delete.
        sendKeys(keys.chord({0xFFE3, 0xFFE9, 0xFFFF}));
        latched = keys.latched();
    }
    emit stickyModifiersChanged(latched);
}

void VncView::focusInEvent(QFocusEvent *event)
{
    {
        const std::lock_guard<std::mutex> guard(keyLock);
        syncLocks();
    }
    RemoteView::focusInEvent(event);
}

void VncView::sendText(const QString &text)
{
    if (currentStatus() != Connected || isViewOnly())
        return;
    for (const char32_t c : text.toUcs4()) {
        const uint32_t keysym = KeyTable::keysymForCharacter(c);
        if (keysym == 0)
            continue;
        clientThread.keyEvent(int(keysym), true);
        clientThread.keyEvent(int(keysym), false);
    }
}

void VncView::focusOutEvent(QFocusEvent *event)
{
    releaseHeldInput();
    RemoteView::focusOutEvent(event);
}

// A key or button released while the focus was elsewhere never reaches the
// view: let go of everything on the server, or it stays pressed there.
void VncView::releaseHeldInput()
{
    const std::unique_lock<std::mutex> guard(keyLock);
    const QList<KeyTranslator::Record> releases = keys.releaseAll();
    if (currentStatus() == Connected) {
        sendKeys(releases);
        if (buttonMask != 0)
            clientThread.mouseEvent(lastPointerPos.x(), lastPointerPos.y(), 0);
    }
    (void)touches.cancel();
    (void)pad.cancel();
    holdTimer.stop();
    buttonMask = 0;
}

QList<TouchInterpreter::Point> VncView::touchPoints(const QTouchEvent *event)
{
    QList<TouchInterpreter::Point> points;
    for (const QEventPoint &p : event->points()) {
        const TouchInterpreter::State state = p.state() == QEventPoint::Pressed    ? TouchInterpreter::State::Pressed
                                              : p.state() == QEventPoint::Released ? TouchInterpreter::State::Released
                                              : p.state() == QEventPoint::Updated  ? TouchInterpreter::State::Moved
                                                                                   : TouchInterpreter::State::Stationary;
        // The screen's coordinates: the view itself moves while panning.
        points.append({p.id(), p.globalPosition(), state});
    }
    return points;
}

void VncView::forwardTouchEvent(QTouchEvent *event)
{
    event->accept();
    if (touchpadMode) {
        forwardTouchpadEvent(event);
        return;
    }
    QList<TouchInterpreter::Output> outputs;
    if (event->type() == QEvent::TouchCancel) {
        outputs = touches.cancel();
    } else {
        if (event->type() == QEvent::TouchBegin) {
            holdTimer.start();
            edgeTimer.stop();
            pinchZoom = 0;
        }
        const QWidget *parent = parentWidget();
        touches.setPannable(parent && (width() > parent->width() || height() > parent->height()));
        outputs = touches.touch(touchPoints(event), event->timestamp());
    }
    if (!touches.waitingForHold())
        holdTimer.stop();
    applyTouch(outputs);
}

void VncView::applyTouch(const QList<TouchInterpreter::Output> &outputs)
{
    for (const TouchInterpreter::Output &o : outputs) {
        switch (o.kind) {
        case TouchInterpreter::Output::Pointer:
            // The view-only state holds back what reaches the server only.
            if (currentStatus() != Connected || isViewOnly())
                break;
            buttonMask = o.buttons & 7;
            lastPointerPos = toFramebuffer(mapFromGlobal(o.pos));
            clientThread.mouseEvent(lastPointerPos.x(), lastPointerPos.y(), o.buttons);
            break;
        case TouchInterpreter::Output::Zoom:
            if (parentWidget())
                pinchBy(o.factor, parentWidget()->mapFromGlobal(o.pos));
            break;
        case TouchInterpreter::Output::Pan:
            panBy(o.delta);
            break;
        case TouchInterpreter::Output::Menu:
            emit menuRequested();
            break;
        }
    }
}

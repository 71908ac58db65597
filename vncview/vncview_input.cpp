// Pointer and keyboard input: Qt events to RFB pointer and key events.
#include "vncview.h"

#include "keytable.h"
#include "scalemath.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <rfb/rfbclient.h>

namespace
{
enum ButtonBit { LeftBit = 1, MiddleBit = 2, RightBit = 4, WheelAwayBit = 8, WheelTowardBit = 16 };

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
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        forwardPointerEvent(static_cast<QMouseEvent *>(event));
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        forwardKeyEvent(static_cast<QKeyEvent *>(event));
        return true;
    case QEvent::Wheel:
        forwardWheelEvent(static_cast<QWheelEvent *>(event));
        return true;
    default:
        return RemoteView::event(event);
    }
}

bool VncView::eventFilter(QObject *watched, QEvent *event)
{
    if (isViewOnly() && isInputEvent(event->type()))
        return true;
    return RemoteView::eventFilter(watched, event);
}

QPoint VncView::toFramebuffer(const QPointF &widgetPos) const
{
    return QPoint(roundHalfUp(float(widgetPos.x()) / horizontalFactor),
                  roundHalfUp(float(widgetPos.y()) / verticalFactor));
}

// Input goes out only while connected: before that the user cannot see the
// remote screen, and the server is not listening yet.
void VncView::forwardPointerEvent(QMouseEvent *event)
{
    if (currentStatus() != Connected)
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
    lastPointerPos = toFramebuffer(event->position());
    clientThread.mouseEvent(lastPointerPos.x(), lastPointerPos.y(), buttonMask);
}

void VncView::forwardWheelEvent(QWheelEvent *event)
{
    if (currentStatus() != Connected)
        return;
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    const int wheelBit = delta < 0 ? WheelTowardBit : WheelAwayBit;
    lastPointerPos = toFramebuffer(event->position());
    clientThread.mouseEvent(lastPointerPos.x(), lastPointerPos.y(), buttonMask | wheelBit);
    clientThread.mouseEvent(lastPointerPos.x(), lastPointerPos.y(), buttonMask);
}

void VncView::forwardKeyEvent(QKeyEvent *event)
{
    if (currentStatus() != Connected)
        return;
    const int k = event->key();
    const bool pressed = event->type() == QEvent::KeyPress;
    const KeyTable::Entry entry = KeyTable::lookup(k);

    if (pressed)
        modifierState |= entry.modifierBit;
    else
        modifierState &= ~entry.modifierBit;

    const int heldModifiers = KeyTable::AltGrBit | KeyTable::AltBit | KeyTable::MetaBit | KeyTable::ControlBit;
    const bool shift = modifierState & KeyTable::ShiftBit;
    // A key comes up as the keysym it went down as: with Shift let go first
    // its text (or Meta's Alt_L) is another, and the server would keep the
    // first one pressed for ever.
    const quint64 physicalKey = event->nativeScanCode() ? quint64(event->nativeScanCode())
                                                        : quint64(uint32_t(k)) << 32;
    uint32_t v;
    if (!pressed && pressedKeysyms.contains(physicalKey)) {
        v = uint32_t(pressedKeysyms.take(physicalKey));
    } else if (entry.keysym == KeyTable::metaLeft && shift) {
        v = KeyTable::altLeft;
    } else if (entry.keysym != 0) {
        v = entry.keysym;
    } else if ((modifierState & heldModifiers) && (k < Qt::Key_A || k > Qt::Key_Z || shift)) {
        v = uint32_t(k);
    } else if (k > 0xff || event->text().isEmpty()) {
        rfbClientLog("Unknown keysym: 0x%x\n", k);
        RemoteView::event(event);
        // Nothing is sent for a key without a keysym.
        return;
    } else {
        v = event->text().at(0).unicode();
    }
    // Control with a letter yields a control character; send the letter.
    if (v <= 26)
        v += 0x60;

    if (pressed) {
        if (!keysDown.contains(int(v)))
            keysDown.append(int(v));
        if (!pressedKeysyms.contains(physicalKey))
            pressedKeysyms.insert(physicalKey, int(v));
    } else {
        keysDown.removeAll(int(v));
    }
    clientThread.keyEvent(int(v), pressed);
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
    if (currentStatus() == Connected) {
        for (int keysym : std::as_const(keysDown))
            clientThread.keyEvent(keysym, false);
        if (buttonMask != 0)
            clientThread.mouseEvent(lastPointerPos.x(), lastPointerPos.y(), 0);
    }
    keysDown.clear();
    pressedKeysyms.clear();
    buttonMask = 0;
    modifierState = 0;
}

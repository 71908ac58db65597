// Touchpad mode: the finger moves a pointer the view draws itself instead
// of clicking where it rests, and a zoomed view pans to keep that pointer
// in sight.
#include "vncview.h"

#include <QPainter>
#include <QPainterPath>
#include <QTouchEvent>

namespace
{
// The pointer's outline, its tip at the origin, in screen pixels: the same
// size at every zoom.
QPainterPath arrow()
{
    QPainterPath path;
    path.moveTo(0, 0);
    path.lineTo(0, 17);
    path.lineTo(4.5, 13);
    path.lineTo(8, 20);
    path.lineTo(10.5, 19);
    path.lineTo(7, 12);
    path.lineTo(12.5, 12);
    path.closeSubpath();
    return path;
}

// How near an edge of the window the pointer may come before the picture
// moves under it.
const int followMargin = 32;
} // namespace

void VncView::setTouchpadMode(bool on)
{
    if (on == touchpadMode)
        return;
    releaseHeldInput();
    touchpadMode = on;
    if (on)
        placePointer();
    update();
}

// Where the server's pointer last was, or in the middle of a new picture.
void VncView::placePointer()
{
    update(pointerArea());
    pad.setPicture(frameSize, horizontalFactor);
    pad.setPointer(lastPointerPos.isNull() ? QPointF(frameSize.width() / 2, frameSize.height() / 2)
                                           : QPointF(lastPointerPos));
    update(pointerArea());
}

void VncView::setClassicTaps(bool classic)
{
    touches.setClassicTaps(classic);
    pad.setClassicTaps(classic);
}

// Where the pointer is drawn, in the view's coordinates.
QPointF VncView::touchpadPointer() const
{
    return QPointF(pad.pointer().x() * horizontalFactor, pad.pointer().y() * verticalFactor);
}

QRect VncView::pointerArea() const
{
    return QRectF(touchpadPointer() - QPointF(2, 2), QSizeF(17, 24)).toAlignedRect();
}

void VncView::forwardTouchpadEvent(QTouchEvent *event)
{
    QList<Touchpad::Output> outputs;
    if (event->type() == QEvent::TouchCancel) {
        outputs = pad.cancel();
    } else {
        if (event->type() == QEvent::TouchBegin) {
            holdTimer.start();
            pinchZoom = 0;
        }
        pad.setPicture(frameSize, horizontalFactor);
        outputs = pad.touch(touchPoints(event), event->timestamp());
    }
    if (!pad.waitingForHold())
        holdTimer.stop();
    applyTouchpad(outputs);
}

void VncView::applyTouchpad(const QList<Touchpad::Output> &outputs)
{
    for (const Touchpad::Output &o : outputs) {
        if (o.kind == Touchpad::Output::Menu) {
            emit menuRequested();
            continue;
        }
        if (o.kind == Touchpad::Output::Zoom) {
            if (parentWidget())
                pinchBy(o.factor, parentWidget()->mapFromGlobal(o.pos));
            continue;
        }
        update(pointerArea());
        keepPointerVisible();
        update(pointerArea());
        if (currentStatus() != Connected || isViewOnly())
            continue;
        buttonMask = o.buttons & 7;
        lastPointerPos = o.pos.toPoint();
        clientThread.mouseEvent(lastPointerPos.x(), lastPointerPos.y(), o.buttons);
    }
}

// A picture larger than the window moves so that the pointer stays inside
// it, a margin away from its edges.
void VncView::keepPointerVisible()
{
    const QWidget *parent = parentWidget();
    if (!parent)
        return;
    const QPoint offset = scrollOffset();
    const QRect shown(offset, parent->size());
    const QRect inside = shown.marginsRemoved(QMargins(followMargin, followMargin, followMargin, followMargin));
    if (inside.isEmpty())
        return;
    const QPoint p = touchpadPointer().toPoint();
    QPoint shift;
    if (p.x() < inside.left())
        shift.rx() = p.x() - inside.left();
    else if (p.x() > inside.right())
        shift.rx() = p.x() - inside.right();
    if (p.y() < inside.top())
        shift.ry() = p.y() - inside.top();
    else if (p.y() > inside.bottom())
        shift.ry() = p.y() - inside.bottom();
    if (!shift.isNull())
        scrollTo(offset + shift);
}

void VncView::paintPointer(QPainter &painter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(touchpadPointer());
    painter.setPen(QPen(Qt::black, 1.2));
    painter.setBrush(Qt::white);
    painter.drawPath(arrow());
    painter.restore();
}

// Zoom and scrolling: the view is sized to the zoomed picture and shows a
// part of it by where it sits in its parent, so its own coordinates (and
// every pointer position) stay those of the picture. In a scroll area the
// area's bars place it; elsewhere it moves itself.
#include "vncview.h"

#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>

#include <cmath>

namespace
{
const qreal zoomSteps[] = {0.25, 0.33, 0.5, 0.67, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};
const qreal smallestZoom = zoomSteps[0];
const qreal largestZoom = zoomSteps[std::size(zoomSteps) - 1];
// A zoom this near 1:1 is 1:1, so that a pinch can end on sharp pixels.
const qreal snapToActual = 0.04;
} // namespace

void VncView::fitToWindow()
{
    pinchTimer.stop();
    fitting = true;
    panLeft = QPointF();
    scrollTo(QPoint());
    emit sizingChanged();
}

void VncView::showActualSize()
{
    if (parentWidget())
        setZoom(logicalActual ? devicePixelRatioF() : 1.0, QRectF(parentWidget()->rect()).center());
}

bool VncView::isActualSize() const
{
    return !fitting && zoom == (logicalActual ? devicePixelRatioF() : 1.0);
}

// Which size Actual size shows; shown at once while the view is at the other.
void VncView::setLogicalPixels(bool on)
{
    const bool wasActual = isActualSize();
    logicalActual = on;
    if (wasActual)
        showActualSize();
}

void VncView::zoomIn()
{
    const qreal now = deviceScale();
    for (qreal step : zoomSteps) {
        if (step > now * 1.01) {
            setZoom(step, parentWidget() ? QRectF(parentWidget()->rect()).center() : QPointF());
            return;
        }
    }
}

void VncView::zoomOut()
{
    const qreal now = deviceScale();
    for (auto it = std::rbegin(zoomSteps); it != std::rend(zoomSteps); ++it) {
        if (*it < now * 0.99) {
            setZoom(*it, parentWidget() ? QRectF(parentWidget()->rect()).center() : QPointF());
            return;
        }
    }
}

void VncView::zoomBy(qreal factor, const QPointF &anchor)
{
    setZoom(deviceScale() * factor, anchor);
}

// A pinch asks for a little more or less zoom at every small movement;
// scaling the whole picture that often would lag behind the fingers. The
// zoom asked for is noted (unsnapped, so that a slow pinch can leave 1:1)
// and the picture scaled at most once a frame, around where the fingers
// are by then.
void VncView::pinchBy(qreal factor, const QPointF &anchor)
{
    if (pinchZoom <= 0)
        pinchZoom = deviceScale();
    pinchZoom = qBound(smallestZoom, pinchZoom * factor, largestZoom);
    pinchAnchor = anchor;
    if (!pinchTimer.isActive())
        pinchTimer.start();
}

void VncView::setZoom(qreal wanted, const QPointF &anchor)
{
    pinchTimer.stop();
    if (frameSize.isEmpty() || !parentWidget())
        return;
    wanted = qBound(smallestZoom, wanted, largestZoom);
    // Sharp: a remote pixel per device pixel, or per logical one.
    for (const qreal sharp : {1.0, devicePixelRatioF()}) {
        if (std::abs(wanted - sharp) < snapToActual)
            wanted = sharp;
    }
    const qreal before = horizontalScale();
    // The anchor's place in the picture, kept under the anchor.
    const QPointF inView = anchor + QPointF(scrollOffset());
    fitting = false;
    zoom = wanted;
    applyZoom();
    scrollTo((inView * (horizontalScale() / before) - anchor).toPoint());
    emit sizingChanged();
}

// The zoom, in device pixels, made logical factors for this screen; one
// remote pixel per logical pixel is the unscaled view.
void VncView::applyZoom()
{
    shownRatio = devicePixelRatioF();
    const float factor = float(zoom / shownRatio);
    if (factor == 1.0f) {
        enableScaling(false);
        return;
    }
    if (!isScaling())
        RemoteView::enableScaling(true);
    applyScale(factor);
}

// On a screen of another ratio, the same zoom is another logical size; a
// fitted picture keeps its size and is recomputed for the new pixels.
void VncView::followRatio()
{
    if (devicePixelRatioF() == shownRatio)
        return;
    shownRatio = devicePixelRatioF();
    if (frameSize.isEmpty())
        return;
    if (!fitting)
        applyZoom();
    else if (isScaled())
        applyScale(horizontalFactor);
    applyCursor();
    update();
}

void VncView::panBy(const QPointF &delta)
{
    panLeft += delta;
    const QPoint whole = panLeft.toPoint();
    panLeft -= whole;
    scrollTo(scrollOffset() - whole);
}

// The scroll area whose viewport holds the view, if it is in one.
QScrollArea *VncView::scrollArea() const
{
    QWidget *viewport = parentWidget();
    auto *area = viewport ? qobject_cast<QScrollArea *>(viewport->parentWidget()) : nullptr;
    return area && area->widget() == this ? area : nullptr;
}

// How far the view's origin lies left of and above its parent's.
QPoint VncView::scrollOffset() const
{
    return -pos();
}

// Shows the picture from 'offset' on, as far as it reaches: a picture
// larger than the window leaves no gap at either edge, a smaller one sits
// at the origin.
void VncView::scrollTo(const QPoint &offset)
{
    if (QScrollArea *area = scrollArea()) {
        // The bars keep to their ranges and place the view.
        area->horizontalScrollBar()->setValue(offset.x());
        area->verticalScrollBar()->setValue(offset.y());
        return;
    }
    if (const QWidget *parent = parentWidget()) {
        const QSize beyond = (size() - parent->size()).expandedTo(QSize(0, 0));
        move(-qBound(0, offset.x(), beyond.width()), -qBound(0, offset.y(), beyond.height()));
    }
}

// The mouse resting near an edge, where the picture goes on, scrolls it.
// A finger's mouse events do not count: the finger pans instead.
void VncView::followMouse(const QMouseEvent *event)
{
    if (event->pointingDevice()->type() == QInputDevice::DeviceType::TouchScreen)
        return;
    mouseInWindow = mapToParent(event->position());
    if (!edgeTimer.isActive() && !edgeStep().isNull())
        edgeTimer.start();
}

QPoint VncView::edgeStep() const
{
    const QWidget *parent = parentWidget();
    if (!parent)
        return QPoint();
    const QPoint offset = scrollOffset();
    const QSize beyond = size() - parent->size();
    return edges.step(mouseInWindow, parent->size(),
                      QMargins(offset.x(), offset.y(), beyond.width() - offset.x(), beyond.height() - offset.y()));
}

void VncView::scrollAtEdge()
{
    const QPoint step = edgeStep();
    if (step.isNull()) {
        edgeTimer.stop();
        return;
    }
    scrollTo(scrollOffset() + step);
    // The picture moved under the resting pointer, which now points at
    // another place on the server.
    if (currentStatus() != Connected || isViewOnly())
        return;
    lastPointerPos = toFramebuffer(mouseInWindow + QPointF(scrollOffset()));
    clientThread.mouseEvent(lastPointerPos.x(), lastPointerPos.y(), buttonMask);
}

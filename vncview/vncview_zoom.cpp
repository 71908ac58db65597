// Zoom and pan: the view is sized to the zoomed picture and moved inside
// its parent, so its own coordinates (and every pointer position) stay
// those of the picture.
#include "vncview.h"

#include <cmath>

namespace
{
const qreal zoomSteps[] = {0.25, 0.33, 0.5, 0.67, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};
const qreal smallestZoom = zoomSteps[0];
const qreal largestZoom = zoomSteps[std::size(zoomSteps) - 1];

// Where the view may be along one axis: at the start while the picture
// fits, else anywhere that leaves no gap at either edge.
int clampAxis(int at, int view, int window)
{
    return view <= window ? 0 : qBound(window - view, at, 0);
}
} // namespace

void VncView::fitToWindow()
{
    fitting = true;
    panLeft = QPointF();
    move(0, 0);
    emit sizingChanged();
}

void VncView::showActualSize()
{
    if (parentWidget())
        setZoom(1.0, QRectF(parentWidget()->rect()).center());
}

void VncView::zoomIn()
{
    const qreal now = horizontalScale();
    for (qreal step : zoomSteps) {
        if (step > now * 1.01) {
            setZoom(step, parentWidget() ? QRectF(parentWidget()->rect()).center() : QPointF());
            return;
        }
    }
}

void VncView::zoomOut()
{
    const qreal now = horizontalScale();
    for (auto it = std::rbegin(zoomSteps); it != std::rend(zoomSteps); ++it) {
        if (*it < now * 0.99) {
            setZoom(*it, parentWidget() ? QRectF(parentWidget()->rect()).center() : QPointF());
            return;
        }
    }
}

void VncView::zoomBy(qreal factor, const QPointF &anchor)
{
    setZoom(horizontalScale() * factor, anchor);
}

void VncView::setZoom(qreal zoom, const QPointF &anchor)
{
    if (frame.isNull() || !parentWidget())
        return;
    zoom = qBound(smallestZoom, zoom, largestZoom);
    const qreal before = horizontalScale();
    // The anchor's place in the picture, kept under the anchor.
    const QPointF inView = anchor - QPointF(pos());
    fitting = false;
    if (std::abs(zoom - 1.0) < 0.005) {
        enableScaling(false);
    } else {
        if (!isScaling())
            enableScaling(true);
        scaleResize(int(std::lround(frame.width() * zoom)), int(std::lround(frame.height() * zoom)));
    }
    const QPointF at = anchor - inView * (horizontalScale() / before);
    move(at.toPoint());
    keepInWindow();
    emit sizingChanged();
}

void VncView::panBy(const QPointF &delta)
{
    panLeft += delta;
    const QPoint whole = panLeft.toPoint();
    panLeft -= whole;
    move(pos() + whole);
    keepInWindow();
}

void VncView::keepInWindow()
{
    const QWidget *parent = parentWidget();
    if (!parent)
        return;
    const QPoint at(clampAxis(x(), width(), parent->width()), clampAxis(y(), height(), parent->height()));
    if (at != pos())
        move(at);
}

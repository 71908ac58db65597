// Drawing and scaling of the remote framebuffer.
#include "vncview.h"

#include "diagnostics.h"

#include <QDebug>
#include <QPaintEvent>
#include <QPainter>

namespace
{
const QSize unlimited(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

// Qt's raster engine spreads a blit of about 96 rows or more over its
// worker threads and waits for them: other threads woken for every large
// paint, and a hand-over inside Qt that the race detector cannot see.
// Blits of at most this many rows stay on this thread.
constexpr int bandRows = 64;

void drawInBands(QPainter &painter, const QPoint &to, const QImage &image, const QRect &from)
{
    for (int y = 0; y < from.height(); y += bandRows) {
        const int rows = qMin(bandRows, from.height() - y);
        painter.drawImage(to + QPoint(0, y), image, QRect(from.x(), from.y() + y, from.width(), rows));
    }
}
} // namespace

// The widget pixels the whole frame covers at the current factors.
QSize VncView::pictureSize() const
{
    if (!isScaled())
        return frameSize;
    return QSize(int(frameSize.width() * horizontalFactor), int(frameSize.height() * verticalFactor));
}

// The widget pixels that show any of `area` of the frame: when scaled,
// every target pixel whose samples reach into it.
QRect VncView::widgetArea(const QRect &area)
{
    if (!isScaled())
        return area;
    scaler.setSizes(frameSize, pictureSize());
    return scaler.targetsOf(area);
}

QRegion VncView::widgetArea(const QRegion &area)
{
    if (!isScaled())
        return area;
    QRegion covered;
    for (const QRect &r : area)
        covered += widgetArea(r);
    return covered;
}

void VncView::updateImageRegion()
{
    // A late update after shutdown must not reconfigure or reconnect the view.
    if (shuttingDown)
        return;
    QSize taken;
    const QRegion changed = clientThread.takeChanges(&taken);
    showChange(changed, taken);
}

// A picture that starts at the origin brings a new desktop size to the
// widget; others never resize it.
void VncView::showChange(const QRegion &changed, const QSize &taken)
{
    const bool atOrigin = changed.contains(QPoint(0, 0));
    const bool resized = taken != frameSize;
    frameSize = taken;

    if (!firstUpdateDone) {
        setAttribute(Qt::WA_StaticContents);
        setAttribute(Qt::WA_OpaquePaintEvent);
        installEventFilter(this);
        setAttribute(Qt::WA_MouseTracking);
        setFocusPolicy(Qt::WheelFocus);
        // A window activated while connecting gave its focus to nobody, as
        // the view took none then: typing would reach the remote screen
        // only after a click. (Held by the window until it is active.)
        setFocus(Qt::OtherFocusReason);
        resize(frameSize);
        changeStatus(Connected);
        emit changeSize(frameSize.width(), frameSize.height());
        emit connected();
        firstUpdateDone = true;
        placePointer();
    } else if (atOrigin && resized) {
        if (isScaling()) {
            // The resized desktop fitted again, or zoomed as much as before.
            if (!fitting)
                applyScale(float(zoom));
            else if (parentWidget())
                refitToParent();
            emit changeSize(frameSize.width(), frameSize.height());
        }
    }

    if (!isScaling() && atOrigin && size() != frameSize) {
        // The maximum follows the frame, so a larger desktop can be shown.
        if (maximumSize() != unlimited)
            setMaximumSize(frameSize);
        resize(frameSize);
        emit changeSize(frameSize.width(), frameSize.height());
    }
    // A smaller picture may leave a gap where the window was scrolled to.
    if (resized)
        scrollTo(scrollOffset());

    // Painted as soon as the event loop is free, with whatever else Qt has
    // pending: updates that came in a burst show as one picture of the
    // latest pixels.
    update(widgetArea(changed));
}

// Paints the whole region asked for from the connection thread's picture,
// under its lock: pixel for pixel, or sampled on the whole frame's grid, so
// that each part equals the same part of the whole frame scaled at once.
// Beyond the picture (while the widget has not caught up with a new desktop
// size) it is black, and so is a picture of a size the view has not taken
// yet: the change on its way paints it.
void VncView::paintEvent(QPaintEvent *event)
{
    if (frameSize.isEmpty()) {
        qCDebug(lcView) << "no valid image to paint";
        QWidget::paintEvent(event);
        return;
    }
    event->accept();
    QPainter painter(this);
    const QRect picture(QPoint(), pictureSize());
    if (isScaled())
        scaler.setSizes(frameSize, picture.size());
    const FrameHandover::Reading reading = clientThread.picture();
    const QImage &frame = reading.picture;
    for (const QRect &r : event->region()) {
        const QRect part = r & picture;
        if (part.isEmpty())
            continue;
        if (frame.size() != frameSize) {
            painter.fillRect(part, Qt::black);
            continue;
        }
        if (!isScaled()) {
            drawInBands(painter, part.topLeft(), frame, part);
            continue;
        }
        const QRect done = scaler.scale(frame, part, scaledPart);
        drawInBands(painter, done.topLeft(), scaledPart, QRect(QPoint(), done.size()));
    }
    for (const QRect &r : event->region().subtracted(picture))
        painter.fillRect(r, Qt::black);
    if (touchpadMode)
        paintPointer(painter);
    if (bellTimer.isActive()) {
        const int width = 6;
        painter.setPen(QPen(palette().highlight(), width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.setBrush(Qt::NoBrush);
        const QRect shown = visibleRegion().boundingRect();
        painter.drawRect(shown.adjusted(width / 2, width / 2, -width / 2, -width / 2));
    }
}

void VncView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    update();
}

void VncView::scaleResize(int w, int h)
{
    qCDebug(lcView) << w << h;
    if (!isScaling())
        return;
    // Without a frame there is nothing to fit yet.
    if (frameSize.width() <= 0 || frameSize.height() <= 0)
        return;
    applyScale(qMin(float(w) / frameSize.width(), float(h) / frameSize.height()));
}

// The same factor both ways, the view sized to the picture.
void VncView::applyScale(float factor)
{
    horizontalFactor = verticalFactor = factor;
    const QSize scaled = pictureSize();
    setMaximumSize(scaled);
    resize(scaled);
    applyCursor(); // scaled with the picture
}

void VncView::enableScaling(bool scale)
{
    RemoteView::enableScaling(scale);
    if (scale) {
        setMaximumSize(unlimited);
        if (parentWidget())
            scaleResize(parentWidget()->width(), parentWidget()->height());
        return;
    }
    horizontalFactor = 1.0f;
    verticalFactor = 1.0f;
    applyCursor();
    // Before the first frame a maximum of 0 x 0 would keep the view empty.
    if (!frameSize.isEmpty()) {
        setMaximumSize(frameSize);
        resize(frameSize);
    }
    emit changeSize(frameSize.width(), frameSize.height());
}

void VncView::refitToParent()
{
    RemoteView::refitToParent();
    if (parentWidget())
        scaleResize(parentWidget()->width(), parentWidget()->height());
}

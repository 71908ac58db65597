// Drawing and scaling of the remote framebuffer.
#include "vncview.h"

#include "diagnostics.h"

#include <QDebug>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace
{
const QSize unlimited(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

// `pixels` times `factor`, whole: a product a rounding error short of a
// whole number counts as that number, so that no pixel column is lost.
int scaledExtent(int pixels, double factor)
{
    const double exact = pixels * factor;
    const double nearest = std::round(exact);
    return int(std::abs(exact - nearest) < 1e-3 ? nearest : std::floor(exact));
}

// The logical rectangle `device` pixels cover, fractional at ratios like 1.5.
QRectF logical(const QRect &device, qreal ratio)
{
    return QRectF(device.x() / ratio, device.y() / ratio, device.width() / ratio, device.height() / ratio);
}

// Qt's raster engine spreads a blit of about 96 rows or more over its
// worker threads and waits for them: other threads woken for every large
// paint, and a hand-over inside Qt that the race detector cannot see.
// Blits of at most this many rows stay on this thread.
constexpr int bandRows = 64;

// Rows composed and put at a time when the picture cannot go as it is: a
// few puts per paint, and rows of the staging picture used again soon.
constexpr int composeRows = 128;

void drawInBands(QPainter &painter, const QRectF &to, const QImage &image, const QRect &from)
{
    const qreal scale = to.height() / from.height();
    for (int y = 0; y < from.height(); y += bandRows) {
        const int rows = qMin(bandRows, from.height() - y);
        painter.drawImage(QRectF(to.x(), to.y() + y * scale, to.width(), rows * scale), image,
                          QRect(from.x(), from.y() + y, from.width(), rows));
    }
}
} // namespace

// The device pixels of the screen the scaled picture fills: the scale
// applies to these, so that a screen of a ratio above 1 shows every detail
// instead of Qt enlarging a picture made for logical pixels.
QSize VncView::devicePictureSize() const
{
    const qreal ratio = devicePixelRatioF();
    if (!isScaled())
        return frameSize * ratio;
    return QSize(scaledExtent(frameSize.width(), double(horizontalFactor) * ratio),
                 scaledExtent(frameSize.height(), double(verticalFactor) * ratio));
}

// The widget pixels the whole frame covers at the current factors: every
// logical pixel that holds a device pixel of the picture.
QSize VncView::pictureSize() const
{
    if (!isScaled())
        return frameSize;
    const qreal ratio = devicePixelRatioF();
    const QSize device = devicePictureSize();
    return QSize(int(std::ceil(device.width() / ratio - 1e-6)), int(std::ceil(device.height() / ratio - 1e-6)));
}

// The widget pixels that show any of `area` of the frame: when scaled,
// every target pixel whose samples reach into it.
QRect VncView::widgetArea(const QRect &area)
{
    if (!isScaled())
        return area;
    scaler.setSizes(frameSize, devicePictureSize());
    return logical(scaler.targetsOf(area), devicePixelRatioF()).toAlignedRect();
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
                applyZoom();
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
// under its lock. Beyond the picture (while the widget has not caught up
// with a new desktop size) it is black, and so is a picture of a size the
// view has not taken yet: the change on its way paints it.
void VncView::paintEvent(QPaintEvent *event)
{
    // QWidget::render() (a grab, of the view or of a window holding it)
    // paints into its own device, as usual.
    if (surface && !redirected(nullptr) && !sharedPainter()) {
        event->accept();
        putOnScreen(event->region());
        return;
    }
    if (frameSize.isEmpty()) {
        qCDebug(lcView) << "no valid image to paint";
        QWidget::paintEvent(event);
        return;
    }
    event->accept();
    QPainter painter(this);
    if (isScaled())
        scaler.setSizes(frameSize, devicePictureSize());
    const FrameHandover::Reading reading = clientThread.picture();
    const QImage &frame = reading.picture;
    for (const QRect &r : event->region()) {
        if (frame.size() != frameSize)
            painter.fillRect(r, Qt::black);
        else
            paintPart(painter, frame, r);
    }
    paintOverlays(painter);
}

// What is drawn over the desktop: the touchpad's pointer and the bell's flash.
void VncView::paintOverlays(QPainter &painter)
{
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

QPaintEngine *VncView::paintEngine() const
{
    return surface ? nullptr : QWidget::paintEngine();
}

// The paint of `region` into the view's X window. Pixel for pixel, without
// overlays, straight from the shared picture; otherwise each part is
// painted as Qt would (scaled, at the screen's ratio, with the overlays)
// into a picture of its own and that is put.
void VncView::putOnScreen(const QRegion &region)
{
    const unsigned window = unsigned(winId());
    const qreal ratio = devicePixelRatioF();
    if (isScaled())
        scaler.setSizes(frameSize, devicePictureSize());
    const bool direct = !isScaled() && ratio == 1.0 && !touchpadMode && !bellTimer.isActive();
    const FrameHandover::Reading reading = clientThread.picture();
    const QImage &frame = reading.picture;
    const bool current = !frameSize.isEmpty() && frame.size() == frameSize;
    for (const QRect &r : region) {
        const QRect device = QRectF(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio).toAlignedRect();
        if (!current) {
            surface->fillBlack(window, device);
        } else if (direct) {
            surface->put(window, frame, r, r.topLeft());
            for (const QRect &outside : QRegion(r).subtracted(frame.rect()))
                surface->fillBlack(window, outside);
        } else {
            composeAndPut(frame, r, window);
        }
    }
    surface->flush();
}

// Painted as Qt would (scaled, at the screen's ratio, with the overlays),
// in bands of a few rows, so that no picture of the whole part is made.
void VncView::composeAndPut(const QImage &frame, const QRect &part, unsigned window)
{
    const qreal ratio = devicePixelRatioF();
    const int rows = qMax(1, int(composeRows / ratio));
    for (int y = part.top(); y <= part.bottom(); y += rows) {
        const QRect band(part.left(), y, part.width(), qMin(rows, part.bottom() + 1 - y));
        const QRect device = QRectF(QPointF(band.topLeft()) * ratio, QSizeF(band.size()) * ratio).toAlignedRect();
        QImage composed = surface->stage(device.size());
        if (composed.isNull())
            continue;
        composed.setDevicePixelRatio(ratio);
        QPainter painter(&composed);
        painter.translate(-QPointF(device.topLeft()) / ratio);
        paintPart(painter, frame, band);
        paintOverlays(painter);
        painter.end();
        surface->put(window, composed, composed.rect(), device.topLeft());
    }
}

// Paints `part` of the widget from `source`, the whole remote screen:
// pixel for logical pixel (enlarged by Qt on a screen of a higher ratio),
// or in device pixels, sampled on the whole picture's grid, so that each
// part equals the same part of the whole picture scaled at once. A part
// whose edges fall between device pixels (ratios like 1.5) is painted out
// to every device pixel it touches, so that neighbours leave no seam.
// When scaled, the scaler is set for the source and the device picture.
void VncView::paintPart(QPainter &painter, const QImage &source, const QRect &part)
{
    if (!isScaled()) {
        const QRect inside = part & source.rect();
        if (!inside.isEmpty())
            drawInBands(painter, inside, source, inside);
        for (const QRect &r : QRegion(part).subtracted(source.rect()))
            painter.fillRect(r, Qt::black);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QRect device = QRectF(QPointF(part.topLeft()) * ratio, QSizeF(part.size()) * ratio).toAlignedRect();
    const QRect picture(QPoint(), scaler.targetSize());
    const QRect inside = device & picture;
    if (!inside.isEmpty() && picture.size() == source.size()) {
        drawInBands(painter, logical(inside, ratio), source, inside);
    } else if (!inside.isEmpty()) {
        const QRect done = scaler.scale(source, inside, scaledPart);
        drawInBands(painter, logical(done, ratio), scaledPart, QRect(QPoint(), done.size()));
    }
    for (const QRect &r : QRegion(device).subtracted(picture))
        painter.fillRect(logical(r, ratio), Qt::black);
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

// Drawing and scaling of the remote framebuffer.
#include "vncview.h"

#include "handover.h"
#include "scalemath.h"

#include <QDebug>
#include <QPaintEvent>
#include <QPainter>

namespace
{
const QSize unlimited(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

// Draws the part `source` of `image`, scaled to `scaledSize`, into
// `target`. Parts of `source` outside the image come out black.
void drawPart(QPainter &painter, const QImage &image, const QRect &source, const QSize &scaledSize,
              const QRectF &target)
{
    // 1:1 needs neither a copy nor a scaling pass.
    if (scaledSize == source.size() && target.size() == QSizeF(source.size()) && image.rect().contains(source)) {
        painter.drawImage(target.topLeft(), image, source);
        return;
    }
    const QImage part =
        image.copy(source).scaled(scaledSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(target, part, QRectF(part.rect()));
}
} // namespace

QRect VncView::widgetRect(const QRect &r) const
{
    return QRect(roundHalfUp(r.x() * horizontalFactor), roundHalfUp(r.y() * verticalFactor),
                 roundHalfUp(r.width() * horizontalFactor), roundHalfUp(r.height() * verticalFactor));
}

void VncView::updateImage(int x, int y, int w, int h)
{
    const Handover::Scope handover(&clientThread);
    // A late update after shutdown must not reconfigure or reconnect the view.
    if (shuttingDown)
        return;
    updateX = x;
    updateY = y;
    updateWidth = w;
    updateHeight = h;
    if (horizontalFactor != 1.0f || verticalFactor != 1.0f) {
        // Smooth scaling blends neighbours: repaint a pixel more on each side.
        updateX = x - 1;
        updateY = y - 1;
        updateWidth = w + 2;
        updateHeight = h + 2;
    }
    const QSize previousSize = frame.size();
    frame = clientThread.image();

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
        resize(frame.size());
        changeStatus(Connected);
        emit changeSize(frame.width(), frame.height());
        emit connected();
        firstUpdateDone = true;
    } else if (x == 0 && y == 0 && frame.size() != previousSize) {
        if (isScaling()) {
            // Keep the whole (resized) desktop fitted to the parent.
            if (parentWidget())
                refitToParent();
            emit changeSize(frame.width(), frame.height());
        }
    }

    if (!isScaling() && x == 0 && y == 0 && size() != frame.size()) {
        // The maximum follows the frame, so a larger desktop can be shown.
        if (maximumSize() != unlimited)
            setMaximumSize(frame.size());
        resize(frame.size());
        emit changeSize(frame.width(), frame.height());
    }

    repainting = true;
    repaint(widgetRect(QRect(updateX, updateY, updateWidth, updateHeight)));
    repainting = false;
}

void VncView::paintEvent(QPaintEvent *event)
{
    if (frame.isNull() || frame.format() == QImage::Format_Invalid) {
        qDebug() << "no valid image to paint";
        QWidget::paintEvent(event);
        return;
    }
    event->accept();
    QPainter painter(this);

    if (repainting) {
        const QRect source(updateX, updateY, updateWidth, updateHeight);
        const QRect target = widgetRect(source);
        drawPart(painter, frame, source, target.size(), QRectF(target));
    } else if (event->rect().width() == width() && event->rect().height() == height()) {
        qDebug() << "Full repaint";
        const QSize scaled(int(frame.width() * horizontalFactor), int(frame.height() * verticalFactor));
        drawPart(painter, frame, frame.rect(), scaled, QRectF(rect()));
    } else {
        qDebug() << "Partial repaint";
        const QRect e = event->rect();
        const QRect source(int(e.x() / horizontalFactor), int(e.y() / verticalFactor),
                           int(e.width() / horizontalFactor), int(e.height() / verticalFactor));
        drawPart(painter, frame, source, e.size(), QRectF(e));
    }
    QWidget::paintEvent(event);
}

void VncView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    update();
}

void VncView::scaleResize(int w, int h)
{
    qDebug() << w << h;
    if (!isScaling())
        return;
    // Without a frame there is nothing to fit yet.
    if (frame.width() <= 0 || frame.height() <= 0)
        return;
    verticalFactor = float(h) / frame.height();
    horizontalFactor = float(w) / frame.width();
    if (verticalFactor < horizontalFactor)
        horizontalFactor = verticalFactor;
    else
        verticalFactor = horizontalFactor;
    const QSize scaled(int(frame.width() * horizontalFactor), int(frame.height() * verticalFactor));
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
    if (!frame.isNull()) {
        setMaximumSize(frame.size());
        resize(frame.size());
    }
    emit changeSize(frame.width(), frame.height());
}

void VncView::refitToParent()
{
    RemoteView::refitToParent();
    if (parentWidget())
        scaleResize(parentWidget()->width(), parentWidget()->height());
}

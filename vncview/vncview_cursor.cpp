// The pointer shown over the remote screen: the server's own cursor shape
// when it sends one, scaled with the view, so that it follows the hand
// without a round trip.
#include "vncview.h"

#include <QPainter>
#include <QPixmap>

namespace
{
// A small dot, for when the server's cursor is unknown or invisible and
// the dot cursor is wanted.
QCursor dotCursor()
{
    QPixmap dot(5, 5);
    dot.fill(Qt::transparent);
    QPainter painter(&dot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::white);
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRectF(0.5, 0.5, 4, 4));
    painter.end();
    return QCursor(dot, 2, 2);
}

bool invisible(const QImage &shape)
{
    for (int y = 0; y < shape.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(shape.constScanLine(y));
        for (int x = 0; x < shape.width(); ++x) {
            if (qAlpha(line[x]))
                return false;
        }
    }
    return true;
}
} // namespace

void VncView::setRemoteCursor(const QImage &shape, const QPoint &hotSpot)
{
    remoteCursor = shape;
    remoteHotSpot = hotSpot;
    applyCursor();
}

void VncView::applyCursor()
{
    const bool dotWanted = dotCursorMode() == CursorOn;
    if (remoteCursor.isNull() || invisible(remoteCursor)) {
        if (dotWanted)
            setCursor(dotCursor());
        else if (remoteCursor.isNull())
            unsetCursor();
        else
            setCursor(Qt::BlankCursor);
        return;
    }
    // Made for device pixels, so that it matches the picture at any zoom and
    // at actual size each remote pixel of the shape is one of the screen's.
    // Qt 6.4 on X11 shows the pixmap and its hot spot in device pixels.
    const qreal scale = deviceScale();
    const QSize size(qMax(1, qRound(remoteCursor.width() * scale)), qMax(1, qRound(remoteCursor.height() * scale)));
    QPixmap shape = QPixmap::fromImage(size == remoteCursor.size()
                                           ? remoteCursor
                                           : remoteCursor.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    shape.setDevicePixelRatio(devicePixelRatioF());
    setCursor(QCursor(shape, qRound(remoteHotSpot.x() * scale), qRound(remoteHotSpot.y() * scale)));
}

#include "edgescroll.h"

#include <QtGlobal>

#include <cmath>

QPoint EdgeScroll::step(const QPointF &pointer, const QSize &window, const QMargins &room) const
{
    // A pointer off the window in either direction is not resting in it.
    if (pointer.x() < 0 || pointer.y() < 0 || pointer.x() >= window.width() || pointer.y() >= window.height())
        return QPoint();
    return QPoint(along(pointer.x(), window.width(), room.left(), room.right()),
                  along(pointer.y(), window.height(), room.top(), room.bottom()));
}

// One axis: the nearer edge decides, and the step never goes past the end
// of the picture.
int EdgeScroll::along(qreal at, int length, int roomBefore, int roomAfter) const
{
    const qreal toStart = std::floor(at);
    const qreal toEnd = length - 1 - std::floor(at);
    const qreal distance = qMin(toStart, toEnd);
    if (distance >= limits.margin)
        return 0;
    const int speed = int(std::lround(limits.fastest - (limits.fastest - limits.slowest) * distance / limits.margin));
    return toStart <= toEnd ? -qMin(speed, qMax(0, roomBefore)) : qMin(speed, qMax(0, roomAfter));
}

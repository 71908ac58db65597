#ifndef EDGESCROLL_H
#define EDGESCROLL_H

#include <QMargins>
#include <QPoint>
#include <QPointF>
#include <QSize>

// The mouse resting near an edge of the window, where the picture goes on
// beyond that edge, scrolls the picture: the nearer the edge, the faster.
// Arithmetic only, so it runs without a window or a clock; the view asks
// for a step on a timer while the mouse rests.
class EdgeScroll
{
public:
    struct Settings
    {
        int margin = 16;  // the band along each edge, in pixels
        int slowest = 2;  // pixels per step at the band's inner side
        int fastest = 24; // pixels per step on the edge itself
    };

    EdgeScroll() = default;
    explicit EdgeScroll(const Settings &settings) : limits(settings) {}

    // How far the scroll offset moves now. 'pointer' is in the window's
    // coordinates, 'window' its size, 'room' how far the picture goes on
    // beyond each edge. Null when the pointer is in no band with room
    // beyond it (or outside the window).
    QPoint step(const QPointF &pointer, const QSize &window, const QMargins &room) const;

private:
    int along(qreal at, int length, int roomBefore, int roomAfter) const;

    Settings limits;
};

#endif

#ifndef WHEELACCUMULATOR_H
#define WHEELACCUMULATOR_H

#include <QList>
#include <QPoint>

// Wheel turns in, RFB wheel buttons out. A notched wheel turns 120 eighths
// of a degree a step; high-resolution wheels and touchpads send parts of
// one. The parts add up to a click of a button, 4 and 5 (up, down) for the
// vertical axis, 6 and 7 (left, right) for the horizontal one, and what is
// left over waits for the next turn, so the remote side scrolls as far as
// the local one would. Turning back drops the rest of the other way.
class WheelAccumulator
{
public:
    static constexpr int step = 120;

    // The buttons to click, in order, for one wheel event's angle delta.
    QList<int> add(QPoint angleDelta);
    void reset() { rest = QPoint(); }

private:
    QPoint rest;
};

#endif

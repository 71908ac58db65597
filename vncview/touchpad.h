#ifndef TOUCHPAD_H
#define TOUCHPAD_H

#include "touchinterpreter.h"

#include <QList>
#include <QPointF>
#include <QSizeF>

// The screen as a touchpad: touch points in, pointer records out. One
// finger moves a pointer of our own relative to where it went down, faster
// the faster it moves and slower the larger the picture is shown, so that
// the finger never hides what it points at. A tap clicks where the pointer
// is, a tap followed at once by a finger that moves drags with the button
// held, a finger held still right-clicks, two fingers moving turn the
// wheel, two fingers pinching zoom, several fingers tapping click as
// TouchInterpreter::tapButton says.
// The pointer is in picture (framebuffer) pixels; finger positions in
// screen pixels. Time comes from the events and holdExpired(), as for
// TouchInterpreter.
class Touchpad
{
public:
    using Point = TouchInterpreter::Point;
    using State = TouchInterpreter::State;

    struct Output
    {
        enum Kind { Pointer, Zoom, Menu };
        Kind kind;
        QPointF pos;     // Pointer: the pointer, in picture pixels; Zoom: the fingers' centre
        int buttons;     // Pointer: the RFB button mask
        qreal factor = 1; // Zoom: relative to the previous request
    };

    struct Thresholds
    {
        qreal slop = 8;          // a finger moving less stays still
        int holdMs = 600;        // a still finger held this long right-clicks
        int dragAfterTapMs = 300; // a finger down this soon after a tap drags
        qreal wheelStep = 40;    // two fingers moving this far turn the wheel once
        qreal pinchSlop = 24;    // fingers moving apart this far pinch
        // Acceleration: up to 'slowSpeed' (screen pixels a millisecond) the
        // pointer keeps the finger's pace, from 'fastSpeed' on it goes
        // 'maxGain' times as far, linearly between.
        qreal slowSpeed = 0.2;
        qreal fastSpeed = 1.2;
        qreal maxGain = 3;
    };

    Touchpad() = default;
    explicit Touchpad(const Thresholds &thresholds) : limits(thresholds) {}

    // The picture's size, which bounds the pointer, and how many screen
    // pixels one of its pixels takes.
    void setPicture(const QSizeF &size, qreal scale);
    void setPointer(const QPointF &pos);
    QPointF pointer() const { return at; }
    void setClassicTaps(bool classic) { classicTaps = classic; }

    QList<Output> touch(const QList<Point> &points, quint64 timestampMs);
    QList<Output> holdExpired();
    QList<Output> cancel();
    bool waitingForHold() const { return phase == Phase::OneUndecided; }

private:
    enum class Phase { Idle, OneUndecided, Moving, Dragging, Held, Several, Scrolling, Pinching, Done };

    QList<Output> oneFinger(const Point &p, quint64 timestampMs);
    QList<Output> severalFingers();
    void moveBy(QPointF fingerDelta, quint64 elapsedMs);
    void click(QList<Output> *out, int button) const;
    int held() const { return phase == Phase::Dragging ? 1 : 0; }

    Thresholds limits;
    QSizeF picture{1, 1};
    qreal scale = 1;
    bool classicTaps = false;
    QPointF at;            // the pointer
    Phase phase = Phase::Idle;
    QList<Point> active;   // fingers down, as last seen
    int primaryId = -1;
    int fingersSeen = 0;
    QPointF startPos;      // where the first finger went down
    QPointF lastPos;       // and where it last was
    quint64 lastMs = 0;
    QPointF startCentre;   // several fingers: where they went down
    QPointF lastCentre;
    qreal startSpread = 0; // and how far apart
    qreal lastSpread = 0;
    QPointF wheelLeft;     // movement not yet turned into wheel steps
    bool dragArmed = false; // this finger came down right after a tap
    quint64 lastTapMs = 0;
    bool tapped = false;
};

#endif

#include "touchinterpreter.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

namespace
{
// RFB button bits: buttons 1-3, then the wheel as buttons 4-7.
enum Bit { Left = 1, Middle = 2, Right = 4, WheelUp = 8, WheelDown = 16, WheelLeft = 32, WheelRight = 64 };

qreal distance(QPointF a, QPointF b)
{
    return QLineF(a, b).length();
}
} // namespace

QPointF TouchInterpreter::centre(const QList<Point> &points)
{
    QPointF sum;
    for (const Point &p : points)
        sum += p.pos;
    return points.isEmpty() ? sum : sum / qreal(points.size());
}

// How far apart the fingers are: their mean distance from their centre.
qreal TouchInterpreter::spread(const QList<Point> &points)
{
    const QPointF c = centre(points);
    qreal sum = 0;
    for (const Point &p : points)
        sum += distance(p.pos, c);
    return points.isEmpty() ? 0 : sum / qreal(points.size());
}

int TouchInterpreter::tapButton(int fingers, bool classic)
{
    if (classic)
        return fingers == 2 ? Middle : 0;
    return fingers == 2 ? Right : fingers == 3 ? Middle : 0;
}

void TouchInterpreter::click(QList<Output> *out, QPointF at, int button) const
{
    out->append({Output::Pointer, at, button, 1, {}});
    out->append({Output::Pointer, at, 0, 1, {}});
}

void TouchInterpreter::follow(QList<Point> *active, const QList<Point> &points)
{
    for (const Point &p : points) {
        auto known = std::find_if(active->begin(), active->end(), [&](const Point &a) { return a.id == p.id; });
        if (p.state == State::Released) {
            if (known != active->end())
                active->erase(known);
        } else if (known != active->end()) {
            *known = p;
        } else {
            active->append(p);
        }
    }
}

QList<TouchInterpreter::Output> TouchInterpreter::touch(const QList<Point> &points, quint64 timestampMs)
{
    follow(&active, points);
    fingersSeen = qMax(fingersSeen, int(active.size()));

    if (phase == Phase::Idle) {
        if (active.isEmpty())
            return {};
        phase = Phase::OneUndecided;
        primaryId = active.constFirst().id;
        startPos = active.constFirst().pos;
        dragPos = startPos;
        fingersSeen = int(active.size());
    }
    // A second finger before the first was decided makes a two-finger gesture.
    if (phase == Phase::OneUndecided && active.size() >= 2) {
        phase = Phase::Two;
        startCentre = lastCentre = centre(active);
        startSpread = lastSpread = spread(active);
        wheelLeft = QPointF();
        tapped = false;
    }

    QList<Output> out;
    switch (phase) {
    case Phase::OneUndecided:
    case Phase::Dragging:
    case Phase::Held:
        for (const Point &p : points) {
            if (p.id == primaryId)
                out += oneFinger(p, timestampMs);
        }
        break;
    case Phase::Two:
    case Phase::Scrolling:
    case Phase::Pinching:
        out = severalFingers(active.isEmpty());
        break;
    case Phase::Done:
    case Phase::Idle:
        break;
    }
    if (active.isEmpty()) {
        phase = Phase::Idle;
        fingersSeen = 0;
    }
    return out;
}

QList<TouchInterpreter::Output> TouchInterpreter::oneFinger(const Point &p, quint64 timestampMs)
{
    QList<Output> out;
    const bool up = p.state == State::Released;
    switch (phase) {
    case Phase::OneUndecided:
        if (up) {
            QPointF at = startPos;
            if (tapped && timestampMs - lastTapMs <= quint64(limits.doubleTapMs)
                && distance(at, lastTapPos) <= limits.doubleTapSlop)
                at = lastTapPos; // where the server counts a double click
            click(&out, at, Left);
            tapped = true;
            lastTapPos = at;
            lastTapMs = timestampMs;
        } else if (distance(p.pos, startPos) > limits.slop) {
            // The press goes where the finger went down, so nothing is lost.
            phase = Phase::Dragging;
            tapped = false;
            dragPos = p.pos;
            out.append({Output::Pointer, startPos, Left, 1, {}});
            out.append({Output::Pointer, p.pos, Left, 1, {}});
        }
        break;
    case Phase::Dragging:
        dragPos = p.pos;
        out.append({Output::Pointer, p.pos, up ? 0 : int(Left), 1, {}});
        // Fingers added meanwhile are ignored until all are up.
        if (up)
            phase = Phase::Done;
        break;
    default:
        break;
    }
    return out;
}

QList<TouchInterpreter::Output> TouchInterpreter::severalFingers(bool allUp)
{
    QList<Output> out;
    if (allUp) {
        if (phase == Phase::Two) {
            const int button = tapButton(fingersSeen, classicTaps);
            if (button)
                click(&out, startCentre, button);
            else
                out.append({Output::Menu, startCentre, 0, 1, {}});
        }
        return out;
    }
    // With one of the fingers lifted the gesture waits for the other.
    if (active.size() < 2)
        return out;
    const QPointF c = centre(active);
    const qreal s = spread(active);
    if (phase == Phase::Two) {
        const bool pinched = std::abs(s - startSpread) > limits.pinchSlop;
        const bool shifted = distance(c, startCentre) > limits.slop;
        if (fingersSeen >= 3) {
            if (pinched || shifted)
                phase = Phase::Done;
            return out;
        }
        if (pinched)
            phase = Phase::Pinching;
        else if (shifted)
            phase = Phase::Scrolling;
    }
    if (phase == Phase::Pinching && lastSpread > 0) {
        const qreal factor = s / lastSpread;
        if (std::abs(factor - 1) >= 0.02) {
            out.append({Output::Zoom, c, 0, factor, {}});
            lastSpread = s;
        }
    } else if (phase == Phase::Scrolling) {
        const QPointF delta = c - lastCentre;
        lastCentre = c;
        if (panning) {
            out.append({Output::Pan, c, 0, 1, delta});
            return out;
        }
        wheelLeft += delta;
        // The picture follows the fingers: moving them up scrolls down.
        const auto steps = [&](qreal &left, int towardBit, int awayBit) {
            while (std::abs(left) >= limits.wheelStep) {
                const int bit = left < 0 ? towardBit : awayBit;
                left += left < 0 ? limits.wheelStep : -limits.wheelStep;
                click(&out, startCentre, bit);
            }
        };
        steps(wheelLeft.ry(), WheelDown, WheelUp);
        steps(wheelLeft.rx(), WheelRight, WheelLeft);
    }
    return out;
}

QList<TouchInterpreter::Output> TouchInterpreter::holdExpired()
{
    QList<Output> out;
    if (phase != Phase::OneUndecided)
        return out;
    phase = Phase::Held;
    tapped = false;
    click(&out, startPos, Right);
    return out;
}

QList<TouchInterpreter::Output> TouchInterpreter::cancel()
{
    QList<Output> out;
    if (phase == Phase::Dragging)
        out.append({Output::Pointer, dragPos, 0, 1, {}});
    phase = Phase::Idle;
    active.clear();
    fingersSeen = 0;
    return out;
}

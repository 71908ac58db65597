#include "touchpad.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

namespace
{
enum Bit { Left = 1, Right = 4, WheelUp = 8, WheelDown = 16, WheelLeft = 32, WheelRight = 64 };

qreal distance(QPointF a, QPointF b)
{
    return QLineF(a, b).length();
}

QPointF centre(const QList<Touchpad::Point> &points)
{
    QPointF sum;
    for (const Touchpad::Point &p : points)
        sum += p.pos;
    return points.isEmpty() ? sum : sum / qreal(points.size());
}

// The fingers' mean distance from their centre.
qreal spread(const QList<Touchpad::Point> &points)
{
    const QPointF c = centre(points);
    qreal sum = 0;
    for (const Touchpad::Point &p : points)
        sum += distance(p.pos, c);
    return points.isEmpty() ? 0 : sum / qreal(points.size());
}
} // namespace

void Touchpad::setPicture(const QSizeF &size, qreal pixelScale)
{
    picture = size.expandedTo(QSizeF(1, 1));
    scale = pixelScale > 0 ? pixelScale : 1;
    setPointer(at);
}

void Touchpad::setPointer(const QPointF &pos)
{
    at = QPointF(qBound(0.0, pos.x(), picture.width() - 1), qBound(0.0, pos.y(), picture.height() - 1));
}

// A finger's movement in screen pixels becomes the pointer's in picture
// pixels: at the finger's pace on the screen when slow, faster when fast.
void Touchpad::moveBy(QPointF fingerDelta, quint64 elapsedMs)
{
    const qreal speed = QLineF(QPointF(), fingerDelta).length() / qreal(qMax<quint64>(elapsedMs, 1));
    const qreal share = qBound(0.0, (speed - limits.slowSpeed) / (limits.fastSpeed - limits.slowSpeed), 1.0);
    const qreal gain = 1 + share * (limits.maxGain - 1);
    setPointer(at + fingerDelta * gain / scale);
}

void Touchpad::click(QList<Output> *out, int button) const
{
    out->append({Output::Pointer, at, button});
    out->append({Output::Pointer, at, 0});
}

QList<Touchpad::Output> Touchpad::touch(const QList<Point> &points, quint64 timestampMs)
{
    TouchInterpreter::follow(&active, points);
    fingersSeen = qMax(fingersSeen, int(active.size()));

    if (phase == Phase::Idle) {
        if (active.isEmpty())
            return {};
        phase = Phase::OneUndecided;
        primaryId = active.constFirst().id;
        startPos = lastPos = active.constFirst().pos;
        lastMs = timestampMs;
        fingersSeen = int(active.size());
        dragArmed = tapped && timestampMs - lastTapMs <= quint64(limits.dragAfterTapMs);
    }
    if (phase == Phase::OneUndecided && active.size() >= 2) {
        phase = Phase::Several;
        startCentre = lastCentre = centre(active);
        startSpread = lastSpread = spread(active);
        wheelLeft = QPointF();
        tapped = false;
    }

    QList<Output> out;
    if (phase == Phase::Several || phase == Phase::Scrolling || phase == Phase::Pinching) {
        out = severalFingers();
    } else {
        for (const Point &p : points) {
            if (p.id == primaryId)
                out += oneFinger(p, timestampMs);
        }
    }
    if (active.isEmpty()) {
        phase = Phase::Idle;
        fingersSeen = 0;
    }
    return out;
}

QList<Touchpad::Output> Touchpad::oneFinger(const Point &p, quint64 timestampMs)
{
    QList<Output> out;
    const bool up = p.state == State::Released;
    if (phase == Phase::OneUndecided && up) {
        click(&out, Left);
        tapped = !dragArmed; // a double tap is no start of a drag
        lastTapMs = timestampMs;
        return out;
    }
    if (phase == Phase::OneUndecided && distance(p.pos, startPos) > limits.slop) {
        tapped = false;
        if (dragArmed) {
            phase = Phase::Dragging;
            out.append({Output::Pointer, at, Left});
        } else {
            phase = Phase::Moving;
        }
    }
    if (phase == Phase::Moving || phase == Phase::Dragging) {
        const QPointF before = at;
        moveBy(p.pos - lastPos, timestampMs - lastMs);
        if (at != before || (up && phase == Phase::Dragging))
            out.append({Output::Pointer, at, up ? 0 : held()});
        if (up)
            phase = Phase::Done;
    }
    lastPos = p.pos;
    lastMs = timestampMs;
    return out;
}

QList<Touchpad::Output> Touchpad::severalFingers()
{
    QList<Output> out;
    if (active.isEmpty()) {
        if (phase == Phase::Several) {
            const int button = TouchInterpreter::tapButton(fingersSeen, classicTaps);
            if (button)
                click(&out, button);
            else
                out.append({Output::Menu, at, 0});
        }
        return out;
    }
    if (active.size() < 2)
        return out;
    const QPointF c = centre(active);
    const qreal s = spread(active);
    if (phase == Phase::Several && fingersSeen == 2 && std::abs(s - startSpread) > limits.pinchSlop)
        phase = Phase::Pinching;
    else if (phase == Phase::Several && distance(c, startCentre) > limits.slop)
        phase = fingersSeen == 2 ? Phase::Scrolling : Phase::Done;
    if (phase == Phase::Pinching && lastSpread > 0 && std::abs(s / lastSpread - 1) >= 0.02) {
        out.append({Output::Zoom, c, 0, s / lastSpread});
        lastSpread = s;
    }
    if (phase != Phase::Scrolling)
        return out;
    wheelLeft += c - lastCentre;
    lastCentre = c;
    // As in direct mode: the picture follows the fingers.
    const auto steps = [&](qreal &left, int towardBit, int awayBit) {
        while (std::abs(left) >= limits.wheelStep) {
            const int bit = left < 0 ? towardBit : awayBit;
            left += left < 0 ? limits.wheelStep : -limits.wheelStep;
            click(&out, bit);
        }
    };
    steps(wheelLeft.ry(), WheelDown, WheelUp);
    steps(wheelLeft.rx(), WheelRight, WheelLeft);
    return out;
}

QList<Touchpad::Output> Touchpad::holdExpired()
{
    QList<Output> out;
    if (phase != Phase::OneUndecided)
        return out;
    phase = Phase::Held;
    tapped = false;
    click(&out, Right);
    return out;
}

QList<Touchpad::Output> Touchpad::cancel()
{
    QList<Output> out;
    if (phase == Phase::Dragging)
        out.append({Output::Pointer, at, 0});
    phase = Phase::Idle;
    active.clear();
    fingersSeen = 0;
    tapped = false;
    return out;
}

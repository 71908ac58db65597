#ifndef TOUCHINTERPRETER_H
#define TOUCHINTERPRETER_H

#include <QList>
#include <QPointF>

// Touch points in, pointer records and view requests out: tap is a left
// click, a held finger a right click, several fingers tapping what
// tapButton() says, two fingers dragging wheel steps (or panning a picture
// larger than the window), a pinch a zoom. One finger that
// moves drags with the left button held. Positions come out in the space
// they came in (the view uses the screen's, as it moves itself); time comes from the events and from holdExpired(), which the owner calls
// once a finger has rested for holdMs: so it runs without a clock.
class TouchInterpreter
{
public:
    enum class State { Pressed, Moved, Stationary, Released };
    struct Point
    {
        int id;
        QPointF pos;
        State state;
    };

    // Brings the fingers down ('active') in step with an event's points.
    static void follow(QList<Point> *active, const QList<Point> &points);

    struct Output
    {
        enum Kind { Pointer, Zoom, Pan, Menu };
        Kind kind;
        QPointF pos;   // Pointer: where; Zoom: the point that stays still
        int buttons;   // Pointer: the RFB button mask
        qreal factor;  // Zoom: relative to the previous request
        QPointF delta; // Pan: how far the picture moves
    };

    struct Thresholds
    {
        qreal slop = 12;        // a finger moving less stays still
        int holdMs = 600;       // a still finger held this long right-clicks
        int doubleTapMs = 400;  // two taps within this time ...
        qreal doubleTapSlop = 24; // ... and this distance are a double click
        qreal wheelStep = 40;   // two fingers moving this far turn the wheel once
        qreal pinchSlop = 24;   // fingers moving apart this far pinch
    };

    TouchInterpreter() = default;
    explicit TouchInterpreter(const Thresholds &thresholds) : limits(thresholds) {}

    // Every point of one touch event; 'timestampMs' from the event.
    QList<Output> touch(const QList<Point> &points, quint64 timestampMs);
    // The first finger has rested for holdMs since it went down.
    QList<Output> holdExpired();
    // The touch sequence was cancelled: let go of a held button.
    QList<Output> cancel();
    // Whether a hold timer should run now (a single finger, undecided).
    bool waitingForHold() const { return phase == Phase::OneUndecided; }

    // What a tap of several fingers clicks: an RFB button bit, or 0 for the
    // menu. Two fingers right-click and three middle-click, as on touchpads
    // and in other viewers, four open the menu; the classic mapping has two
    // fingers middle-click and three open the menu.
    static int tapButton(int fingers, bool classic);
    void setClassicTaps(bool classic) { classicTaps = classic; }

    // Two fingers pan instead of turning the wheel while the picture is
    // larger than the window.
    void setPannable(bool pannable) { panning = pannable; }

private:
    enum class Phase { Idle, OneUndecided, Dragging, Held, Two, Scrolling, Pinching, Done };

    QList<Output> oneFinger(const Point &p, quint64 timestampMs);
    QList<Output> severalFingers(bool allUp);
    void click(QList<Output> *out, QPointF at, int button) const;
    static QPointF centre(const QList<Point> &points);
    static qreal spread(const QList<Point> &points);

    Thresholds limits;
    bool panning = false;
    bool classicTaps = false;
    Phase phase = Phase::Idle;
    QList<Point> active;   // fingers down, as last seen
    int primaryId = -1;    // the finger that began the sequence
    QPointF dragPos;       // where a drag last was
    int fingersSeen = 0;   // most fingers down at once in this sequence
    QPointF startPos;      // first finger where it went down
    QPointF startCentre;   // several fingers: where they went down
    QPointF lastCentre;
    qreal startSpread = 0;
    qreal lastSpread = 0;
    QPointF wheelLeft;     // movement not yet turned into wheel steps
    // The last tap, for double taps.
    bool tapped = false;
    QPointF lastTapPos;
    quint64 lastTapMs = 0;
};

#endif

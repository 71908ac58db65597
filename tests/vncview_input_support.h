// Helpers for the input tests: a view that notes the non-input events it
// handles, a window with a connected view, and readers of what the server got.
#pragma once

#include "testserver.h"
#include "touchscript.h"
#include "vncview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTest>
#include <QWheelEvent>

#include <X11/keysym.h>

namespace inputtest
{
// A view that notes which non-input events reach its handlers.
class ProbeView : public VncView
{
public:
    using VncView::VncView;
    QStringList seen;

protected:
    void paintEvent(QPaintEvent *e) override { seen << "paint"; VncView::paintEvent(e); }
    void resizeEvent(QResizeEvent *e) override { seen << "resize"; VncView::resizeEvent(e); }
    void focusInEvent(QFocusEvent *e) override { seen << "focusIn"; VncView::focusInEvent(e); }
    void focusOutEvent(QFocusEvent *e) override { seen << "focusOut"; VncView::focusOutEvent(e); }
};

struct Rig
{
    Rig(int serverW, int serverH, QSize windowSize = QSize(800, 600)) : server(serverW, serverH)
    {
        window.resize(windowSize);
        QUrl url;
        url.setScheme("vnc");
        url.setHost(server.host());
        started = server.start();
        url.setPort(server.port());
        view = new ProbeView(&window, url);
        window.show();
        view->show();
    }
    ~Rig() { delete view; }

    bool connect()
    {
        return started && view->startConnecting()
            && QTest::qWaitFor([this] { return view->currentStatus() == RemoteView::Connected; }, 5000);
    }

    TestServer server;
    QWidget window;
    ProbeView *view = nullptr;
    bool started = false;
};

inline QList<ClientMessage> ofType(const QList<ClientMessage> &all, ClientMessage::Type type)
{
    QList<ClientMessage> out;
    for (const ClientMessage &m : all) {
        if (m.type == type)
            out << m;
    }
    return out;
}

// Polls with the event loop running: the connection thread may wait on
// the GUI thread (blocking-queued updates) before it sends.
inline bool waitFor(TestServer &server, ClientMessage::Type type, int count)
{
    return QTest::qWaitFor([&] { return ofType(server.messages(), type).size() >= count; }, 15000);
}

inline QStringList pointerOf(const QList<ClientMessage> &all)
{
    QStringList out;
    for (const ClientMessage &m : ofType(all, ClientMessage::Pointer))
        out << QStringLiteral("%1,%2 %3").arg(m.x).arg(m.y).arg(m.buttonMask);
    return out;
}

// Plays a touch script (touchscript.h) on a window as real touch events,
// positions in the window's coordinates; "hold" waits for what the held
// finger sends, "@ms" until that long after the start. Without 'settle'
// the events come as a burst, nothing else handled between them.
inline void playTouches(QWidget *window, TestServer &server, QPointingDevice *device, const QString &script,
                        bool settle = true)
{
    QElapsedTimer clock;
    clock.start();
    for (const TouchStep &step : parseTouchScript(script)) {
        if (qint64(step.time) > clock.elapsed())
            QTest::qWait(int(qint64(step.time) - clock.elapsed()));
        if (step.kind == TouchStep::Hold) {
            const qsizetype before = ofType(server.messages(), ClientMessage::Pointer).size();
            (void)QTest::qWaitFor([&] { return ofType(server.messages(), ClientMessage::Pointer).size() >= before + 2; },
                            5000);
            continue;
        }
        QTest::QTouchEventWidgetSequence touch = QTest::touchEvent(window, device, false);
        for (const TouchStep::Point &p : step.points) {
            const QPoint at = p.pos.toPoint();
            if (p.change == '+')
                touch.press(p.id, at, window);
            else if (p.change == '-')
                touch.release(p.id, at, window);
            else
                touch.move(p.id, at, window);
        }
        touch.commit(settle);
    }
}

inline QStringList keysOf(const QList<ClientMessage> &all)
{
    QStringList out;
    for (const ClientMessage &m : ofType(all, ClientMessage::Key))
        out << QStringLiteral("%1:%2").arg(m.down ? "d" : "u").arg(m.key, 0, 16);
    return out;
}

inline QList<int> masksOf(const QList<ClientMessage> &all)
{
    QList<int> out;
    for (const ClientMessage &m : ofType(all, ClientMessage::Pointer))
        out << m.buttonMask;
    return out;
}

inline void sendKey(QWidget *w, QEvent::Type type, int key, const QString &text = {},
             Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent e(type, key, mods, text);
    QApplication::sendEvent(w, &e);
}

inline void tap(QWidget *w, int key, const QString &text = {})
{
    sendKey(w, QEvent::KeyPress, key, text);
    sendKey(w, QEvent::KeyRelease, key, text);
}

inline void sendWheel(QWidget *w, QPoint pos, QPoint angle, Qt::MouseButtons held)
{
    QWheelEvent e(pos, w->mapToGlobal(pos), QPoint(), angle, held, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

// A tap of a key no test sends otherwise (y with diaeresis, keysym 0xff)
// marks the end of what came before: everything sent earlier reaches the
// server first, so "nothing sent" is decided without a timeout. The wait is
// for the marker itself, not for a count, which earlier input still on its
// way would satisfy.
inline QList<ClientMessage> beforeSentinel(Rig &rig)
{
    constexpr quint32 marker = XK_ydiaeresis;
    tap(rig.view, Qt::Key_ydiaeresis, QString(QChar(marker)));
    auto markerAt = [](const QList<ClientMessage> &all, bool down) {
        for (qsizetype i = all.size() - 1; i >= 0; --i) {
            if (all[i].type == ClientMessage::Key && all[i].key == marker && all[i].down == down)
                return i;
        }
        return qsizetype(-1);
    };
    if (!QTest::qWaitFor([&] { return markerAt(rig.server.messages(), false) >= 0; }, 15000))
        return {};
    const QList<ClientMessage> all = rig.server.messages();
    const qsizetype down = markerAt(all, true);
    return down >= 0 ? all.mid(0, down) : QList<ClientMessage>();
}
} // namespace inputtest

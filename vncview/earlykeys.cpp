#include "earlykeys.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace
{
// Keys Qt never delivered are forgotten beyond this many.
constexpr qsizetype maxPending = 64;
constexpr qsizetype maxLearnt = 1024;
// Keys noted as read, for the reader that lags behind the other.
constexpr qsizetype maxRecent = 256;

template <typename T> void push(QList<T> &list, const T &item, qsizetype cap = maxPending)
{
    if (list.size() >= cap)
        list.removeFirst();
    list.append(item);
}
} // namespace

quint64 EarlyKeys::id(bool pressed, quint32 keycode, quint32 state)
{
    return (quint64(pressed) << 48) | (quint64(keycode & 0xffff) << 32) | state;
}

bool EarlyKeys::keyRead(Key *key, bool mayGo, Reader reader)
{
    // Read by the other reader first: the earliest of its millisecond not
    // yet read here (a burst of sent keys may hold the same key twice).
    // The two readers note keys in their own order, never a second apart.
    const int by = int(reader);
    Read *first = nullptr;
    for (qsizetype i = recent.size() - 1; i >= 0 && !older(recent[i].time + 1000, key->time); --i) {
        Read &r = recent[i];
        if (!r.by[by] && r.keycode == key->keycode && r.pressed == key->pressed && r.time == key->time)
            first = &r;
    }
    if (first) {
        first->by[by] = true;
        return false;
    }
    // Older than all noted: the other reader had it long ago.
    if (recent.size() >= maxRecent && older(key->time, recent.first().time))
        return false;
    Read read{key->keycode, key->pressed, key->time, {false, false}};
    read.by[by] = true;
    push(recent, read, maxRecent);
    const Seen seen{key->keycode, key->pressed, key->time, generation};
    const bool waits = !mayGo || composing || !viaQt.isEmpty() || !allDelivered();
    const auto found = waits ? learnt.constEnd() : learnt.constFind(id(key->pressed, key->keycode, key->state));
    if (found == learnt.constEnd()) {
        noteRead(key->time);
        push(viaQt, seen);
        return false;
    }
    key->qtKey = found->qtKey;
    key->modifiers = found->modifiers;
    key->keysym = found->keysym;
    key->text = found->text;
    push(ahead, seen);
    return true;
}

void EarlyKeys::inputRead(quint32 time)
{
    noteRead(time);
}

// Keys learnt, and those on their way through Qt, went by the old map.
void EarlyKeys::keymapChanged()
{
    learnt.clear();
    ++generation;
}

namespace
{
bool same(const QKeyEvent *event, quint32 keycode, bool pressed, quint32 time)
{
    return keycode == event->nativeScanCode() && pressed == (event->type() == QEvent::KeyPress)
           && time == quint32(event->timestamp());
}
} // namespace

bool EarlyKeys::wentEarly(const QKeyEvent *event)
{
    if (event->nativeScanCode() == 0)
        return false; // made in the process, not read
    const quint32 time = quint32(event->timestamp());
    // Older keys Qt gave to someone else, or kept (a release it reads as a
    // key repeat's); one of the same millisecond may be passed over.
    while (!ahead.isEmpty() && older(ahead.first().time, time))
        ahead.removeFirst();
    for (qsizetype i = 0; i < ahead.size() && ahead[i].time == time; ++i) {
        if (same(event, ahead[i].keycode, ahead[i].pressed, time)) {
            ahead.remove(i);
            return true;
        }
    }
    return false;
}

void EarlyKeys::keyDelivered(const QKeyEvent *event)
{
    learnable = false;
    if (event->nativeScanCode() == 0)
        return;
    const quint32 time = quint32(event->timestamp());
    const bool pressed = event->type() == QEvent::KeyPress;
    noteDelivered(time);
    while (!viaQt.isEmpty()) {
        const Seen s = viaQt.takeFirst();
        if (same(event, s.keycode, s.pressed, s.time)) {
            if (pressed)
                composing = false;
            learnable = s.generation == generation;
            break;
        }
        // A press that never came: an input method took it, and may
        // be in the middle of a sequence.
        if (s.pressed)
            composing = true;
    }
}

void EarlyKeys::inputDelivered(quint32 time)
{
    noteDelivered(time);
}

void EarlyKeys::learn(const QKeyEvent *event)
{
    if (!learnable)
        return;
    learnable = false;
    if (learnt.size() >= maxLearnt)
        learnt.clear();
    Key key;
    key.qtKey = event->key();
    key.modifiers = event->modifiers();
    key.keysym = event->nativeVirtualKey();
    key.text = event->text();
    learnt.insert(id(event->type() == QEvent::KeyPress, event->nativeScanCode(), event->nativeModifiers()), key);
}

void EarlyKeys::noteRead(quint32 time)
{
    if (time != readTime) {
        readTime = time;
        readCount = 0;
    }
    ++readCount;
}

void EarlyKeys::noteDelivered(quint32 time)
{
    if (older(time, deliveredTime))
        return;
    if (time != deliveredTime) {
        deliveredTime = time;
        deliveredCount = 0;
    }
    ++deliveredCount;
}

// X times are milliseconds: input read in the same one as the newest
// delivered is told apart by counting.
bool EarlyKeys::allDelivered() const
{
    return older(readTime, deliveredTime) || (readTime == deliveredTime && deliveredCount >= readCount);
}

X11InputReader *X11InputReader::create(EarlyKeys *keys, std::mutex *lock, Gate mayGo, Sender send)
{
    // Qt's default input context is Compose; another (IBus, Fcitx) may
    // take or change any key, and only Qt knows what it did.
    const QString im = qEnvironmentVariable("QT_IM_MODULE");
    if (!im.isEmpty() && im != QLatin1String("compose") && im != QLatin1String("none"))
        return nullptr;
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return nullptr;
    const auto query = [connection](const char *name) {
        return xcb_query_extension(connection, uint16_t(std::strlen(name)), name);
    };
    const xcb_query_extension_cookie_t xkbCookie = query("XKEYBOARD");
    const xcb_query_extension_cookie_t xiCookie = query("XInputExtension");
    xcb_query_extension_reply_t *xkb = xcb_query_extension_reply(connection, xkbCookie, nullptr);
    xcb_query_extension_reply_t *xi = xcb_query_extension_reply(connection, xiCookie, nullptr);
    const int xkbEvent = xkb && xkb->present ? xkb->first_event : -1;
    const int xinput = xi && xi->present ? xi->major_opcode : -1;
    std::free(xkb);
    std::free(xi);
    return new X11InputReader(keys, lock, std::move(mayGo), std::move(send), xkbEvent, xinput);
}

X11InputReader::X11InputReader(EarlyKeys *keys, std::mutex *lock, Gate mayGo, Sender send, int xkbEvent, int xinput)
    : keys(keys), lock(lock), mayGo(std::move(mayGo)), send(std::move(send)), xkbEvent(xkbEvent), xinput(xinput)
{
}

X11Input X11Input::of(const void *message, int xkbEvent, int xinput)
{
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const uint8_t type = event->response_type & 0x7f;
    X11Input in;
    switch (type) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
        const auto *k = reinterpret_cast<const xcb_key_press_event_t *>(event);
        in.kind = Key;
        in.key.pressed = type == XCB_KEY_PRESS;
        in.key.keycode = k->detail;
        in.key.state = k->state;
        in.key.time = k->time;
        in.sent = event->response_type & 0x80;
        in.window = k->event;
        break;
    }
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY:
        in.kind = Pointer;
        in.time = reinterpret_cast<const xcb_button_press_event_t *>(event)->time;
        break;
    case XCB_MAPPING_NOTIFY:
        in.kind = Keymap;
        break;
    case XCB_GE_GENERIC: {
        const auto *ge = reinterpret_cast<const xcb_ge_generic_event_t *>(event);
        if (ge->extension != xinput)
            break;
        // Device and raw events alike: the time follows the device id.
        in.kind = Pointer;
        in.xiType = ge->event_type;
        std::memcpy(&in.time, reinterpret_cast<const char *>(event) + 12, sizeof in.time);
        break;
    }
    default:
        // XKB's new keyboard and map notifications.
        if (type == xkbEvent && (event->pad0 == 0 || event->pad0 == 1))
            in.kind = Keymap;
        break;
    }
    return in;
}

bool X11InputReader::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    X11Input in = X11Input::of(message, xkbEvent, xinput);
    switch (in.kind) {
    case X11Input::Key: {
        // Qt reads a sent event's keys with a state of their own.
        const std::lock_guard<std::mutex> guard(*lock);
        if (keys->keyRead(&in.key, !in.sent && mayGo(in.window)))
            send(in.key);
        break;
    }
    case X11Input::Pointer: {
        // XI2 device events: key, button and motion (2 to 6), touch (18 to 20).
        const int t = in.xiType;
        if (readsPointer && (t == 0 || (t >= 2 && t <= 6) || (t >= 18 && t <= 20))) {
            const std::lock_guard<std::mutex> guard(*lock);
            keys->inputRead(in.time);
        }
        break;
    }
    case X11Input::Keymap: {
        const std::lock_guard<std::mutex> guard(*lock);
        keys->keymapChanged();
        break;
    }
    case X11Input::Other:
        break;
    }
    return false;
}

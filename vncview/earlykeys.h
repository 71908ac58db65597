#ifndef EARLYKEYS_H
#define EARLYKEYS_H

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <mutex>

class QKeyEvent;

// Keys sent the moment they are read from the display, ahead of Qt's own
// way to the view (its translation, the window's user time, its event
// queue). A key goes early only as Qt delivered the same key code in the
// same modifier state before, and only when all input read before it has
// reached the view: nothing overtakes a click, and a key that follows one
// an input method took (a dead key, Compose) waits for Qt. Qt's own copy
// of a key that went early is dropped.
class EarlyKeys
{
public:
    struct Key
    {
        bool pressed = false;
        quint32 keycode = 0;
        quint32 state = 0; // the X modifier state
        quint32 time = 0;  // X server time, ms
        // Filled in for a key that goes early: the event Qt made of it.
        int qtKey = 0;
        Qt::KeyboardModifiers modifiers;
        quint32 keysym = 0;
        QString text;
    };

    // Qt's X connection, or one of the view's own.
    enum class Reader { Qt, Tap };

    // Read from the display, before Qt saw it. A key: true when it goes
    // now, *key completed; 'mayGo' says the view would take it now. A key
    // counts once, read by whichever connection gives it first.
    bool keyRead(Key *key, bool mayGo, Reader reader = Reader::Qt);
    // Other input the view may be given (pointer, touch).
    void inputRead(quint32 time);
    void keymapChanged();

    // Given to the view by Qt (spontaneous events only), and after it went
    // out (a key read meanwhile must not pass it). A key that went early
    // is not delivered: Qt's copy of it is dropped.
    bool wentEarly(const QKeyEvent *event);
    void keyDelivered(const QKeyEvent *event);
    void inputDelivered(quint32 time);
    // The view sent the key just delivered as it was: it may go early
    // next time.
    void learn(const QKeyEvent *event);

private:
    struct Seen
    {
        quint32 keycode;
        bool pressed;
        quint32 time;
        quint32 generation;
    };
    static quint64 id(bool pressed, quint32 keycode, quint32 state);
    static bool older(quint32 a, quint32 b) { return qint32(a - b) < 0; }
    void noteRead(quint32 time);
    void noteDelivered(quint32 time);
    bool allDelivered() const;

    QHash<quint64, Key> learnt;
    QList<Seen> viaQt;   // keys left to Qt, not delivered yet
    QList<Seen> ahead;   // keys that went early, Qt's copy not delivered yet
    struct Read
    {
        quint32 keycode;
        bool pressed;
        quint32 time;
        bool by[2]; // Reader
    };
    QList<Read> recent;  // keys read lately, to know them when read again
    quint32 generation = 0; // of the keymap
    bool composing = false; // a press Qt read never reached the view
    bool learnable = false; // the key just delivered
    // The newest input read and delivered: its time and how many at it.
    quint32 readTime = 0;
    int readCount = 0;
    quint32 deliveredTime = 0;
    int deliveredCount = 0;
};

// An X event (an xcb_generic_event_t) as the early keys' readers take it.
struct X11Input
{
    enum Kind { Other, Key, Pointer, Keymap } kind = Other;
    EarlyKeys::Key key; // Key
    bool sent = false;  // Key: sent by another client
    quint32 window = 0; // Key
    int xiType = 0;     // Pointer: the XInput event type, 0 for a core event
    quint32 time = 0;   // Pointer
    static X11Input of(const void *event, int xkbEvent, int xinput);
};

// Qt's X events as it reads them, for the early keys: a key goes to 'send'
// when 'mayGo' for its window and the rules allow.
class X11InputReader : public QAbstractNativeEventFilter
{
public:
    using Sender = std::function<void(const EarlyKeys::Key &)>;
    using Gate = std::function<bool(quint32 window)>;
    // Null where Qt reads no X events, or an input method other than
    // Compose may take keys anywhere.
    static X11InputReader *create(EarlyKeys *keys, std::mutex *lock, Gate mayGo, Sender send);
    // Off while pointer input is read on a connection of its own, in the
    // X server's order with the keys.
    void setReadsPointer(bool on) { readsPointer = on; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    X11InputReader(EarlyKeys *keys, std::mutex *lock, Gate mayGo, Sender send, int xkbEvent, int xinput);

    EarlyKeys *keys;
    std::mutex *lock;
    bool readsPointer = true;
    Gate mayGo;
    Sender send;
    int xkbEvent;
    int xinput; // XInput's major opcode, for its generic events
};

#endif

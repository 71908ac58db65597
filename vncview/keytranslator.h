#ifndef KEYTRANSLATOR_H
#define KEYTRANSLATOR_H

#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>

// Qt key events in, RFB key records out: the key table, the local
// modifier state, which keysym each held key went down as, and the sticky
// modifiers of on-screen keyboards. Knows nothing of sockets or widgets.
class KeyTranslator
{
public:
    struct Record
    {
        uint32_t keysym;
        bool down;
        // The key's physical position as an XT scan code (0xE0 xx as
        // 0x80 | xx); 0 for keys without one (soft keys, latches, text).
        uint32_t xt = 0;
        bool operator==(const Record &o) const { return keysym == o.keysym && down == o.down && xt == o.xt; }
    };

    // Modifiers an on-screen keyboard cannot hold: latched until the next
    // key, which they then wrap.
    enum Sticky { StickyControl = 0x1, StickyAlt = 0x2, StickyShift = 0x4, StickySuper = 0x8 };
    static constexpr int allSticky = StickyControl | StickyAlt | StickyShift | StickySuper;

    // A key event. 'scanCode' tells keys apart (the native scan code, or 0
    // to use the Qt key); 'keypad' says it came from the keypad; 'xt' is its
    // physical position, when known. Empty when the key has no keysym;
    // *unknown says so.
    QList<Record> translate(int qtKey, bool pressed, const QString &text, quint32 scanCode,
                            bool *unknown = nullptr, bool keypad = false, uint32_t xt = 0);
    // Committed text of an input method (a dead key's or a compose
    // sequence's result): each character pressed and released.
    QList<Record> typeText(const QString &text);
    // A keysym pressed and released, wrapped in the latched modifiers.
    QList<Record> tap(uint32_t keysym);
    // Keysyms pressed in order and released in reverse (Ctrl+Alt+Del).
    QList<Record> chord(const QList<uint32_t> &keysyms);
    // Releases of every key the server holds down; forgets what is held.
    // A latch not yet spent stays: the menu that sets it takes the focus.
    QList<Record> releaseAll();

    void setLatched(Sticky modifier, bool on);
    int latched() const { return latchedModifiers; }

private:
    QList<uint32_t> takeLatch();
    // Keeps keysDown in step with what goes out.
    QList<Record> noted(const QList<Record> &records);

    int modifierState = 0;
    int latchedModifiers = 0;
    // The keys the server holds pressed: keysym and physical position.
    QList<Record> keysDown;
    bool holds(uint32_t keysym) const;
    QHash<quint64, uint32_t> pressedKeysyms; // keysym each held key went down as
    QList<uint32_t> heldByLatch; // latched modifiers wrapping the key below
    quint64 wrappingKey = 0;     // the key they wrap until it comes up
    bool wrapping = false;
};

#endif

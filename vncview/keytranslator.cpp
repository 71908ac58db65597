#include "keytranslator.h"

#include "keytable.h"

#include <Qt>

#include <algorithm>

namespace
{
struct StickyKey
{
    KeyTranslator::Sticky modifier;
    uint32_t keysym;
};

// The left-hand keys: Control_L, Alt_L, Shift_L, Super_L.
const StickyKey stickyKeys[] = {
    {KeyTranslator::StickyControl, 0xFFE3},
    {KeyTranslator::StickyAlt, KeyTable::altLeft},
    {KeyTranslator::StickyShift, 0xFFE1},
    {KeyTranslator::StickySuper, 0xFFEB},
};
} // namespace

void KeyTranslator::setLatched(Sticky modifier, bool on)
{
    if (on)
        latchedModifiers |= modifier;
    else
        latchedModifiers &= ~modifier;
}

// The latched modifiers the next key is wrapped in; the latch is spent.
// A modifier the server already holds is left alone.
QList<uint32_t> KeyTranslator::takeLatch()
{
    QList<uint32_t> wrap;
    for (const StickyKey &key : stickyKeys) {
        if ((latchedModifiers & key.modifier) && !holds(key.keysym))
            wrap.append(key.keysym);
    }
    latchedModifiers = 0;
    return wrap;
}

QList<KeyTranslator::Record> KeyTranslator::noted(const QList<Record> &records)
{
    for (const Record &r : records) {
        const Record held{r.keysym, true, r.xt};
        if (!r.down)
            keysDown.removeAll(held);
        else if (!keysDown.contains(held))
            keysDown.append(held);
    }
    return records;
}

bool KeyTranslator::holds(uint32_t keysym) const
{
    return std::any_of(keysDown.cbegin(), keysDown.cend(), [keysym](const Record &r) { return r.keysym == keysym; });
}

QList<KeyTranslator::Record> KeyTranslator::tap(uint32_t keysym)
{
    return chord({keysym});
}

QList<KeyTranslator::Record> KeyTranslator::chord(const QList<uint32_t> &keysyms)
{
    QList<uint32_t> all = takeLatch();
    for (uint32_t keysym : keysyms) {
        if (!all.contains(keysym))
            all.append(keysym);
    }
    QList<Record> records;
    for (uint32_t keysym : all)
        records.append({keysym, true});
    for (auto it = all.crbegin(); it != all.crend(); ++it)
        records.append({*it, false});
    return noted(records);
}

QList<KeyTranslator::Record> KeyTranslator::typeText(const QString &text)
{
    QList<Record> out;
    for (char32_t c : text.toUcs4()) {
        if (const uint32_t keysym = KeyTable::keysymForCharacter(c))
            out += tap(keysym);
    }
    return out;
}

namespace
{
// The keysym of a key that is not in the key table: its character.
uint32_t characterKeysym(int k, const QString &text, int modifierState)
{
    const int heldModifiers = KeyTable::AltGrBit | KeyTable::AltBit | KeyTable::MetaBit | KeyTable::ControlBit;
    const bool shift = modifierState & KeyTable::ShiftBit;
    // With Control or Alt the text is a control character, or none: the
    // key's own Latin-1 code says which key it was.
    if ((modifierState & heldModifiers) && k >= 0x20 && k <= 0xff && (k < Qt::Key_A || k > Qt::Key_Z || shift))
        return uint32_t(k);
    const QList<uint> codePoints = text.toUcs4();
    if (codePoints.isEmpty())
        return 0;
    // Control with a letter yields a control character; send the letter.
    // Without Control it is a key's own: a new line, a tab.
    if ((modifierState & KeyTable::ControlBit) && codePoints[0] >= 1 && codePoints[0] <= 26)
        return codePoints[0] + 0x60;
    return KeyTable::keysymForCharacter(char32_t(codePoints[0]));
}
} // namespace

QList<KeyTranslator::Record> KeyTranslator::translate(int k, bool pressed, const QString &text, quint32 scanCode,
                                                      bool *unknown, bool keypad, uint32_t xt)
{
    if (unknown)
        *unknown = false;
    const KeyTable::Entry entry = KeyTable::lookup(k);
    if (pressed)
        modifierState |= entry.modifierBit;
    else
        modifierState &= ~entry.modifierBit;

    const bool shift = modifierState & KeyTable::ShiftBit;
    // A key comes up as the keysym it went down as: with Shift let go first
    // its text (or Meta's Alt_L) is another, and the server would keep the
    // first one pressed for ever.
    const quint64 physicalKey = scanCode ? quint64(scanCode) : quint64(uint32_t(k)) << 32;
    const uint32_t keypadKeysym = keypad ? KeyTable::keypadKeysym(k) : 0;
    // A real key that never went down here (its press went to an input
    // method, or to another window) does not come up on the server.
    if (!pressed && scanCode && !pressedKeysyms.contains(physicalKey))
        return {};
    uint32_t v;
    if (!pressed && pressedKeysyms.contains(physicalKey)) {
        v = pressedKeysyms.take(physicalKey);
    } else if (entry.keysym == KeyTable::metaLeft && shift) {
        v = KeyTable::altLeft;
    } else if (keypadKeysym != 0) {
        v = keypadKeysym;
    } else if (entry.keysym != 0) {
        v = entry.keysym;
    } else {
        v = characterKeysym(k, text, modifierState);
    }
    if (v == 0) {
        if (unknown)
            *unknown = true;
        return {};
    }

    QList<Record> out;
    if (pressed) {
        // A latch wraps the next key that is no modifier itself, from its
        // press to its release.
        if (latchedModifiers && entry.modifierBit == 0 && !wrapping) {
            heldByLatch = takeLatch();
            wrappingKey = physicalKey;
            wrapping = true;
            for (uint32_t keysym : std::as_const(heldByLatch))
                out.append({keysym, true});
        }
        if (!pressedKeysyms.contains(physicalKey))
            pressedKeysyms.insert(physicalKey, v);
        out.append({v, true, xt});
    } else {
        out.append({v, false, xt});
        if (wrapping && physicalKey == wrappingKey) {
            for (auto it = heldByLatch.crbegin(); it != heldByLatch.crend(); ++it)
                out.append({*it, false});
            heldByLatch.clear();
            wrapping = false;
        }
    }
    return noted(out);
}

QList<KeyTranslator::Record> KeyTranslator::releaseAll()
{
    QList<Record> out;
    for (const Record &held : std::as_const(keysDown))
        out.append({held.keysym, false, held.xt});
    keysDown.clear();
    pressedKeysyms.clear();
    heldByLatch.clear();
    wrapping = false;
    modifierState = 0;
    return out;
}

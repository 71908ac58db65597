#ifndef KEYTABLE_H
#define KEYTABLE_H

#include <cstdint>

// Qt keys that have an X11 keysym of their own, and the local modifier bit
// of the five modifier keys; characters as keysyms.
namespace KeyTable
{
enum ModifierBit { AltGrBit = 0x01, AltBit = 0x02, MetaBit = 0x04, ControlBit = 0x08, ShiftBit = 0x10 };

constexpr uint32_t metaLeft = 0xFFE7;
constexpr uint32_t altLeft = 0xFFE9;

struct Entry
{
    uint32_t keysym; // 0 when the key is not in the table
    int modifierBit;
};

Entry lookup(int qtKey);
// The keypad's own keysym (KP_1, KP_Add, KP_Home ...) of a key that came
// with Qt::KeypadModifier; 0 when the keypad has no such key.
uint32_t keypadKeysym(int qtKey);
// The keysym that types 'codePoint': the legacy one where X11 has it, else
// the Unicode keysym 0x01000000 + code point. 0 for what no keysym types
// (control characters, surrogates, beyond Unicode).
uint32_t keysymForCharacter(char32_t codePoint);

// Number of Qt keys the table covers (for tests walking it).
int size();
}

#endif

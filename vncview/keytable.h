#ifndef KEYTABLE_H
#define KEYTABLE_H

#include <cstdint>

// Qt keys that have an X11 keysym of their own, and the local modifier bit
// of the five modifier keys.
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

// Number of Qt keys the table covers (for tests walking it).
int size();

// The keysym that types one character: Return for a line break, Tab for a
// tab, a Latin-1 character's own code, the Unicode keysym beyond; 0 for a
// character no key types (other control characters).
uint32_t keysymForCharacter(char32_t codePoint);
}

#endif

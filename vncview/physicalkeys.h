#ifndef PHYSICALKEYS_H
#define PHYSICALKEYS_H

#include <QtGlobal>

#include <cstdint>

// Where a key sits on the keyboard, as the PC's XT scan code (set 1) that a
// virtual machine's keyboard sends: one byte, or 0xE0 xx sent as 0x80 | xx.
// Only X11 and Wayland say which physical key was pressed (their native
// scan code is the Linux evdev code + 8); elsewhere keys have no position.
namespace PhysicalKeys
{
// 0 for a key the XT set has no code for.
uint32_t xtFromEvdev(uint32_t evdevCode);
// A key event's native scan code on this platform; 0 when unknown.
uint32_t xtFromNative(quint32 nativeScanCode);
// The Qt key of a key event, told apart where Qt gives two keys one code:
// on X11 and Wayland Super comes as Qt::Key_Meta, and only the native
// keysym says which it was.
int refinedKey(int qtKey, quint32 nativeVirtualKey);
}

#endif

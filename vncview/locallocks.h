#ifndef LOCALLOCKS_H
#define LOCALLOCKS_H

#include <optional>

class QKeyEvent;

// The local keyboard's Caps Lock and Num Lock, as LockSync bits. Read from
// the X server's keyboard state; nullopt where there is none to read
// (Wayland does not tell applications, nor do the other platforms).
namespace LocalLocks
{
// From the modifier state an X key event carries when 'key' is one (no
// round trip to the X server on the way of a key), else asked of the server.
std::optional<int> read(const QKeyEvent *key = nullptr);
// The modifier the keymap binds Num Lock to (0 if none, or no X display).
unsigned numLockModifier();
// The locks in an X modifier state.
int fromState(unsigned mods, unsigned numLock);
}

#endif

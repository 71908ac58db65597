#ifndef LOCALLOCKS_H
#define LOCALLOCKS_H

#include <optional>

// The local keyboard's Caps Lock and Num Lock, as LockSync bits. Read from
// the X server's keyboard state; nullopt where there is none to read
// (Wayland does not tell applications, nor do the other platforms).
namespace LocalLocks
{
std::optional<int> read();
}

#endif

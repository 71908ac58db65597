#include "locallocks.h"

#include "locksync.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace LocalLocks
{
std::optional<int> read(const QKeyEvent *key)
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 ? x11->display() : nullptr;
    if (!display)
        return std::nullopt;
    unsigned mods = 0;
    // A key event made in the process (no X key code) carries no state. An
    // X event's state is the modifiers in effect: a lock key held down
    // reads as locked, which only a key typed while holding it tells apart.
    if (key && key->nativeScanCode() != 0) {
        mods = key->nativeModifiers();
    } else {
        XkbStateRec state;
        if (XkbGetState(display, XkbUseCoreKbd, &state) != Success)
            return std::nullopt;
        mods = state.locked_mods;
    }
    return fromState(mods, numLockModifier());
}

// Whichever modifier the keymap binds it to, usually Mod2.
unsigned numLockModifier()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 ? x11->display() : nullptr;
    return display ? XkbKeysymToModifiers(display, XK_Num_Lock) : 0;
}

int fromState(unsigned mods, unsigned numLock)
{
    int locks = 0;
    if (mods & LockMask)
        locks |= LockSync::Caps;
    if (numLock && (mods & numLock))
        locks |= LockSync::Num;
    return locks;
}
} // namespace LocalLocks

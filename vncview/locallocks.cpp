#include "locallocks.h"

#include "locksync.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace LocalLocks
{
std::optional<int> read()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display *display = x11 ? x11->display() : nullptr;
    if (!display)
        return std::nullopt;
    XkbStateRec state;
    if (XkbGetState(display, XkbUseCoreKbd, &state) != Success)
        return std::nullopt;
    int locks = 0;
    if (state.locked_mods & LockMask)
        locks |= LockSync::Caps;
    // Num Lock is whichever modifier the keymap binds it to, usually Mod2.
    const unsigned numLock = XkbKeysymToModifiers(display, XK_Num_Lock);
    if (numLock && (state.locked_mods & numLock))
        locks |= LockSync::Num;
    return locks;
}
} // namespace LocalLocks

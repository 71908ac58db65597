#include "locksync.h"

namespace
{
struct LockKey
{
    LockSync::Lock lock;
    uint32_t keysym;
};

// Scroll Lock is left alone: it locks nothing on most desktops, and a VM
// guest's state of it is rarely what the user sees.
const LockKey lockKeys[] = {
    {LockSync::Caps, 0xFFE5}, // Caps_Lock
    {LockSync::Num, 0xFF7F},  // Num_Lock
};
} // namespace

void LockSync::serverReported(int locks)
{
    server = locks;
    fresh = true;
}

QList<uint32_t> LockSync::keysToSync(std::optional<int> local)
{
    QList<uint32_t> keys;
    if (!wantsLocal() || !local)
        return keys;
    for (const LockKey &key : lockKeys) {
        if ((*server & key.lock) != (*local & key.lock))
            keys.append(key.keysym);
    }
    if (!keys.isEmpty())
        fresh = false;
    return keys;
}

void LockSync::reset()
{
    server.reset();
    fresh = false;
}

bool LockSync::isLockKeysym(uint32_t keysym)
{
    for (const LockKey &key : lockKeys) {
        if (key.keysym == keysym)
            return true;
    }
    return false;
}

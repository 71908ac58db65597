#ifndef LOCKSYNC_H
#define LOCKSYNC_H

#include <QList>

#include <cstdint>
#include <optional>

// Keeps the server's Caps Lock and Num Lock as the local keyboard has them.
// The server reports its lock state (LED state pseudo-encodings); when the
// view takes the focus, and before each key, the states are compared and
// the lock keys that differ are pressed once on the server. After a lock
// key went out (ours or the user's) the server's report is stale until the
// next one comes: nothing is pressed on its word meanwhile.
class LockSync
{
public:
    enum Lock { Scroll = 0x1, Num = 0x2, Caps = 0x4 }; // the report's bits

    // The server reported its locks.
    void serverReported(int locks);
    // A lock key the user pressed goes out to the server.
    void lockKeySent() { fresh = false; }
    // The lock keysyms to tap so that the server's locks match 'local'
    // (Lock bits; nullopt when the local state cannot be read).
    QList<uint32_t> keysToSync(std::optional<int> local);
    // Whether keysToSync could press anything: the local state is worth
    // reading (a round trip to the X server) only then.
    bool wantsLocal() const { return server && fresh; }
    void reset();

    static bool isLockKeysym(uint32_t keysym);

private:
    std::optional<int> server;
    bool fresh = false;
};

#endif

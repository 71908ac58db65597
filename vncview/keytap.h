#ifndef KEYTAP_H
#define KEYTAP_H

#include "earlykeys.h"

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

struct xcb_connection_t;

// Keys read from the X server on a connection and in a thread of their
// own, the moment it sends them: a key the view has been given before goes
// to the server from here, where Qt would first wake its reader thread,
// which wakes the GUI thread. Pointer moves in the same windows, and
// buttons and touches anywhere, are read here as well, so that the early
// keys' rules see all input in the X server's order. Keys Qt reads first,
// or that reach windows not read here, take Qt's way as before.
class KeyTap
{
public:
    // Called in the tap's thread, with the rules' lock held, for each key
    // read; 'mayGo' is false for keys the rules must not send early
    // whatever the view says (a button held, a key another client sent).
    using Reader = std::function<void(EarlyKeys::Key &key, bool mayGo)>;

    // Null without an X server with XInput 2.2 and XKB (or with no
    // display): keys then take Qt's way.
    static std::unique_ptr<KeyTap> open(EarlyKeys *rules, std::mutex *rulesLock, Reader read);
    ~KeyTap();
    KeyTap(const KeyTap &) = delete;
    KeyTap &operator=(const KeyTap &) = delete;

    // Reads the keys of this top-level window and of every window in it.
    void watch(quint32 topLevel);

private:
    KeyTap(xcb_connection_t *connection, int wake, EarlyKeys *rules, std::mutex *rulesLock, Reader read);
    void run();
    void handle(const void *message); // an xcb_generic_event_t
    void select(quint32 window, bool on);

    xcb_connection_t *connection;
    int wake; // eventfd: a new window to watch, or the end
    EarlyKeys *rules;
    std::mutex *rulesLock;
    Reader read;
    int xkbEvent = -1;
    int xinput = -1;
    std::atomic<quint32> wanted{0};
    std::atomic<bool> stopping{false};
    // The tap's thread only.
    quint32 topLevel = 0;
    std::set<quint32> watched;
    std::thread thread;
};

#endif

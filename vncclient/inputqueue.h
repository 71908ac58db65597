#ifndef INPUTQUEUE_H
#define INPUTQUEUE_H

#include "directoutput.h"
#include "outgoingevent.h"

#include <functional>
#include <mutex>
#include <vector>

// The user's input on its way to the server. It leaves at once while the
// connection thread has the direct output open (the library reads a long
// rectangle, or the thread waits for the server); otherwise it waits here until the connection thread sends it,
// between server messages and between rectangles.
//
// While input waits, a newer pointer motion replaces the queued motion just
// before it when both carry the same buttons: a busy or slow link gets the
// latest position, not every step on the way. Button changes, keys,
// clipboard text and size requests are never merged, dropped or reordered.
class InputQueue
{
public:
    InputQueue() = default;
    InputQueue(const InputQueue &) = delete;
    InputQueue &operator=(const InputQueue &) = delete;

    // Any thread. True when the event waits as a new entry, and the
    // connection thread should be woken to send it.
    bool add(OutgoingEvent event);
    // Any thread: input from now on is dropped, as the connection ends;
    // what waits already still goes out with send().
    void refuse();
    // Between connections: forgets what waits and takes input again.
    void reset();

    // Connection thread: see DirectOutput.
    void openDirect(int socket, void *tlsSession) { direct.open(socket, tlsSession); }
    bool closeDirect() { return direct.close(); }
    // Connection thread: sends what waits, in order, through the library;
    // 'before' runs first when there is anything to send.
    void send(rfbClient *client, const std::function<void()> &before);

private:
    std::mutex lock;
    // Guarded by lock.
    std::vector<OutgoingEvent> waiting;
    bool refused = false;
    int lastButtons = -1;     // of the newest pointer event taken
    bool motionLast = false;  // waiting.back() is a motion a newer one may replace
    // Connection thread: the batch being sent; it keeps its capacity, so
    // waiting input costs no allocation once the queue has grown.
    std::vector<OutgoingEvent> sending;
    DirectOutput direct;
};

#endif

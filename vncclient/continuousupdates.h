#ifndef CONTINUOUSUPDATES_H
#define CONTINUOUSUPDATES_H

#include <rfb/rfbclient.h>

#include <utility>

// Continuous updates and fences for one connection. With them the server
// sends updates as the desktop changes, without waiting for a request per
// update (one per round trip, the ceiling on a slow link), and paces them by
// timing its Fence requests, which we answer once we have handled
// everything before them.
//
// libvncclient 0.9.14 knows neither: a protocol extension of ours announces
// the pseudo-encodings and is handed the server messages the library does
// not know, after their type byte; answers go out through the library's
// write function. All of it runs on the connection thread, inside
// HandleRFBServerMessage, between the other messages and input: nothing is
// reordered. Servers that do not confirm keep the request rhythm.
class ContinuousUpdates
{
public:
    ContinuousUpdates() = default;
    ContinuousUpdates(const ContinuousUpdates &) = delete;
    ContinuousUpdates &operator=(const ContinuousUpdates &) = delete;

    // Makes this the extension's state for 'client', which announces the
    // pseudo-encodings in its SetEncodings from then on.
    void attach(rfbClient *client);

    // The server sends updates of the whole desktop unasked: no incremental
    // request may go out, the library's own included.
    bool active() const { return enabled; }
    // After a new desktop size: the enabled area follows it.
    bool resized(rfbClient *client);
    // Asks the server to stop for a change of pixel format: updates in the
    // old format may still come until takePaused() says the last one did.
    // Requests stay held meanwhile (active() holds); resume() enables again.
    bool pause(rfbClient *client);
    bool pausing() const { return pauseAsked; }
    bool takePaused() { return std::exchange(paused, false); }
    bool resume(rfbClient *client) { return enable(client); }
    // A fence's answer is held when the next fence request is already
    // here: the server brackets each update with two, and an answer of its
    // own for each costs a packet and its acknowledgement every time, a
    // fifth of the bytes on a slow link for small updates. Any other answer
    // goes out at once: the server counts the bytes it sent before a fence
    // as on their way until the answer comes, and a late answer slows it.
    // Held answers go out before anything else we send and before the
    // connection waits.
    bool sendAnswers(rfbClient *client);
    bool nothingHeld() const { return heldBytes == 0; }
    // Why the last message ended the connection: its bytes did not all
    // come (the library logged why), or they broke the message's format.
    enum class Fault { None, Lost, Malformed };
    Fault fault() const { return failure; }

    // Wire values.
    static constexpr int continuousUpdatesEncoding = -313;
    static constexpr int fenceEncoding = -312;
    static constexpr uint8_t endOfContinuousUpdates = 150; // server
    static constexpr uint8_t enableContinuousUpdates = 150; // client
    static constexpr uint8_t fenceMessage = 248; // both ways
    enum FenceFlag : uint32_t {
        BlockBefore = 1u << 0,
        BlockAfter = 1u << 1,
        SyncNext = 1u << 2,
        Request = 1u << 31,
    };
    static constexpr int maximumFencePayload = 64;
    // The flags a response carries: the request's, less Request and the
    // ones we do not implement. Handling every message in order before the
    // next honours both blocks; SyncNext we do not offer.
    static constexpr uint32_t answeredFlags = BlockBefore | BlockAfter;

private:
    static rfbBool handleMessage(rfbClient *client, rfbServerToClientMsg *message);
    void confirmed(rfbClient *client);
    void fence(rfbClient *client);
    bool enable(rfbClient *client);
    bool send(rfbClient *client, bool on);
    static bool anotherFenceHere(rfbClient *client);

    bool enabled = false;
    bool pauseAsked = false; // until the server's EndOfContinuousUpdates
    bool paused = false; // it came, not yet taken
    // Room for the answers to one burst; a fuller burst sends them early.
    uint8_t held[4 * (9 + maximumFencePayload)];
    size_t heldBytes = 0;
    Fault failure = Fault::None;
};

#endif

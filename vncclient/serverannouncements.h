#ifndef SERVERANNOUNCEMENTS_H
#define SERVERANNOUNCEMENTS_H

#include <rfb/rfbclient.h>

#include <utility>

class SessionHost;

// Pseudo-rectangles in which the server tells about itself, which
// libvncclient 0.9.14 does not know: a new name for its desktop, and its
// cursor with an alpha channel (smooth edges and shadows, where the
// library's cursor has a one-bit mask; the library's stays the fallback
// for servers without it). A protocol extension of ours announces both and
// reads them inside HandleRFBServerMessage, on the connection thread.
class ServerAnnouncements
{
public:
    explicit ServerAnnouncements(SessionHost &host) : host(host) {}
    ServerAnnouncements(const ServerAnnouncements &) = delete;
    ServerAnnouncements &operator=(const ServerAnnouncements &) = delete;

    void attach(rfbClient *client);
    // The name the server gave in its greeting.
    void greeted(rfbClient *client);
    // Whether the rectangle the library reports as updated was one of ours,
    // which changed no pixels; asked once per rectangle.
    bool tookRectangle() { return std::exchange(took, false); }

    static constexpr int desktopNameEncoding = -307;
    static constexpr int alphaCursorEncoding = -314;
    // A longer name is not shown, and a larger cursor not taken.
    static constexpr uint32_t maximumNameBytes = 4096;
    static constexpr int maximumCursorSide = 1024;

private:
    static rfbBool handleEncoding(rfbClient *client, rfbFramebufferUpdateRectHeader *rect);
    bool desktopName(rfbClient *client);
    bool alphaCursor(rfbClient *client, const rfbFramebufferUpdateRectHeader &rect);
    void malformed();

    SessionHost &host;
    bool took = false;
};

#endif

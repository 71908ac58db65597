#ifndef LEDSTATE_H
#define LEDSTATE_H

#include <rfb/rfbclient.h>

#include <functional>

// The server's Caps Lock, Num Lock and Scroll Lock. Announced with the
// QEMU and the VMware LED state pseudo-encodings; the server then sends a
// rectangle of one of them after SetEncodings and whenever a lock changes.
// libvncclient 0.9.14 knows neither: a protocol extension of ours is handed
// their rectangles. Runs on the connection thread, inside
// HandleRFBServerMessage.
class LedState
{
public:
    LedState() = default;
    LedState(const LedState &) = delete;
    LedState &operator=(const LedState &) = delete;

    // Bits of a report: both encodings use the same ones.
    enum Lock { Scroll = 0x1, Num = 0x2, Caps = 0x4 };
    static constexpr int qemuEncoding = -261;             // one byte
    static constexpr int vmwareEncoding = 0x574D5668;     // four bytes

    // Makes this the extension's state for 'client'; each report reaches
    // 'changed' with its Lock bits.
    void attach(rfbClient *client, std::function<void(int locks)> changed);

private:
    static rfbBool handleEncoding(rfbClient *client, rfbFramebufferUpdateRectHeader *rect);

    std::function<void(int)> report;
};

#endif

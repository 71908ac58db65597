#ifndef OUTGOINGEVENT_H
#define OUTGOINGEVENT_H

#include <QString>

#include <rfb/rfbclient.h>

#include <cstdint>
#include <string>

// One piece of input for the server, a small value: made on the GUI thread,
// then either written at once or queued (see InputQueue) and sent by the
// connection thread. Only clipboard text carries anything on the heap.
class OutgoingEvent
{
public:
    enum class Kind : uint8_t { Pointer, Key, CutText, DesktopSize };

    static OutgoingEvent pointer(int x, int y, int buttonMask);
    // A keysym; with an XT scan code (not 0), QEMU's extended key event,
    // which also tells where the key sits on the keyboard.
    static OutgoingEvent key(int keysym, bool pressed, uint32_t xt = 0);
    // The user's clipboard text: extended or ISO 8859-1, as the server can
    // take it (see ExtendedClipboard), so made on the connection thread.
    // 'legacy': the server has not offered the extended clipboard, so the
    // text may leave in the plain form directly. The plain form is valid
    // whatever the server offers later; only then is it Latin-1.
    static OutgoingEvent cutText(const QString &text, bool legacy);
    // Asks the server to change its desktop to width x height.
    static OutgoingEvent desktopSize(int width, int height);

    Kind kind() const { return type; }
    // Pointer events only.
    int buttonMask() const { return buttons; }

    // The message as it goes on the wire; empty for one that needs the
    // connection's state to be made.
    std::string message() const;
    // Sends it through the library, on the connection thread.
    void send(rfbClient *client) const;

private:
    explicit OutgoingEvent(Kind kind) : type(kind) {}

    Kind type;
    bool pressed = false; // Key
    bool legacy = false;  // CutText
    int x = 0;            // Pointer; DesktopSize: the width
    int y = 0;            // Pointer; DesktopSize: the height
    int buttons = 0;      // Pointer
    uint32_t keysym = 0;  // Key
    uint32_t xt = 0;      // Key
    QString text;         // CutText
};

#endif

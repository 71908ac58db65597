#ifndef OUTGOINGEVENT_H
#define OUTGOINGEVENT_H

#include <QString>

#include <rfb/rfbclient.h>

#include <string>

// Input for the server. Records are created on the GUI thread and either
// written at once (see DirectOutput) or queued, then sent (and deleted) by
// the connection thread.
class OutgoingEvent
{
public:
    virtual ~OutgoingEvent() = default;
    // The message as it goes on the wire; empty for one that needs the
    // connection's state to be made.
    virtual std::string message() const { return {}; }
    // Sends it through the library, on the connection thread.
    virtual void send(rfbClient *client);
};

// The user's clipboard text: extended or ISO 8859-1, as the server can
// take it (see ExtendedClipboard), so always made on the connection thread.
class OutgoingCutTextEvent : public OutgoingEvent
{
public:
    // 'legacy': the server has not offered the extended clipboard, so the
    // text may leave in the plain form directly. The plain form is valid
    // whatever the server offers later; only then is it Latin-1.
    OutgoingCutTextEvent(const QString &text, bool legacy);
    std::string message() const override;
    void send(rfbClient *client) override;

private:
    QString text;
    bool legacy;
};

class OutgoingPointerEvent : public OutgoingEvent
{
public:
    OutgoingPointerEvent(int x, int y, int buttonMask);
    std::string message() const override;

private:
    int x;
    int y;
    int buttonMask;
};

// A keysym; with an XT scan code (not 0), QEMU's extended key event, which
// also tells where the key sits on the keyboard.
class OutgoingKeyEvent : public OutgoingEvent
{
public:
    OutgoingKeyEvent(int key, bool pressed, uint32_t xt = 0);
    std::string message() const override;

private:
    int key;
    bool pressed;
    uint32_t xt;
};

// Asks the server to change its desktop to width x height.
class OutgoingDesktopSizeEvent : public OutgoingEvent
{
public:
    OutgoingDesktopSizeEvent(int width, int height);
    void send(rfbClient *client) override;

private:
    int width;
    int height;
};

#endif

#ifndef OUTGOINGEVENT_H
#define OUTGOINGEVENT_H

#include <rfb/rfbclient.h>

// Input waiting to be sent to the server. Records are created on the GUI
// thread and sent (then deleted) by the connection thread.
class OutgoingEvent
{
public:
    virtual ~OutgoingEvent() = default;
    virtual void send(rfbClient *client) = 0;
};

class OutgoingCutTextEvent : public OutgoingEvent
{
public:
    // Takes ownership of a malloc'ed, NUL-terminated copy of the text.
    explicit OutgoingCutTextEvent(char *text);
    ~OutgoingCutTextEvent() override;
    void send(rfbClient *client) override;

private:
    OutgoingCutTextEvent(const OutgoingCutTextEvent &) = delete;
    OutgoingCutTextEvent &operator=(const OutgoingCutTextEvent &) = delete;
    char *text;
};

class OutgoingPointerEvent : public OutgoingEvent
{
public:
    OutgoingPointerEvent(int x, int y, int buttonMask);
    void send(rfbClient *client) override;

private:
    int x;
    int y;
    int buttonMask;
};

class OutgoingKeyEvent : public OutgoingEvent
{
public:
    OutgoingKeyEvent(int key, bool pressed);
    void send(rfbClient *client) override;

private:
    int key;
    bool pressed;
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

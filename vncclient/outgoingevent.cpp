#include "outgoingevent.h"

#include "desktopsize.h"

#include <cstdlib>
#include <cstring>

OutgoingCutTextEvent::OutgoingCutTextEvent(char *text) : text(text) {}

OutgoingCutTextEvent::~OutgoingCutTextEvent()
{
    free(text);
}

void OutgoingCutTextEvent::send(rfbClient *client)
{
    SendClientCutText(client, text, text ? int(strlen(text)) : 0);
}

OutgoingPointerEvent::OutgoingPointerEvent(int x, int y, int buttonMask)
    : x(x), y(y), buttonMask(buttonMask)
{
}

void OutgoingPointerEvent::send(rfbClient *client)
{
    SendPointerEvent(client, x, y, buttonMask);
}

OutgoingKeyEvent::OutgoingKeyEvent(int key, bool pressed) : key(key), pressed(pressed) {}

void OutgoingKeyEvent::send(rfbClient *client)
{
    SendKeyEvent(client, uint32_t(key), pressed ? TRUE : FALSE);
}

OutgoingDesktopSizeEvent::OutgoingDesktopSizeEvent(int width, int height) : width(width), height(height) {}

void OutgoingDesktopSizeEvent::send(rfbClient *client)
{
    DesktopSize::request(client, width, height);
}

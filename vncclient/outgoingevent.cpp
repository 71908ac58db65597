#include "outgoingevent.h"

#include "desktopsize.h"
#include "extendedclipboard.h"
#include "librarytext.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{
void append16(std::string &to, unsigned value)
{
    to += char(value >> 8);
    to += char(value & 0xff);
}

void append32(std::string &to, uint32_t value)
{
    append16(to, value >> 16);
    append16(to, value & 0xffff);
}
} // namespace

void OutgoingEvent::send(rfbClient *client)
{
    const std::string bytes = message();
    WriteToRFBServer(client, bytes.data(), unsigned(bytes.size()));
}

OutgoingCutTextEvent::OutgoingCutTextEvent(const QString &text, bool legacy) : text(text), legacy(legacy) {}

std::string OutgoingCutTextEvent::message() const
{
    if (!legacy)
        return {};
    const QByteArray latin1 = LibraryText::encodeCutText(text);
    if (latin1.size() > ExtendedClipboard::maximumText)
        return {};
    std::string bytes(4, '\0');
    bytes[0] = char(rfbClientCutText);
    append32(bytes, uint32_t(latin1.size()));
    return bytes + latin1.toStdString();
}

void OutgoingCutTextEvent::send(rfbClient *client)
{
    if (ExtendedClipboard *clipboard = ExtendedClipboard::of(client)) {
        clipboard->send(client, text);
        return;
    }
    ExtendedClipboard().send(client, text);
}

OutgoingPointerEvent::OutgoingPointerEvent(int x, int y, int buttonMask)
    : x(x), y(y), buttonMask(buttonMask)
{
}

std::string OutgoingPointerEvent::message() const
{
    std::string bytes;
    bytes += char(rfbPointerEvent);
    bytes += char(buttonMask);
    append16(bytes, unsigned(std::clamp(x, 0, 0xffff)));
    append16(bytes, unsigned(std::clamp(y, 0, 0xffff)));
    return bytes;
}

OutgoingKeyEvent::OutgoingKeyEvent(int key, bool pressed, uint32_t xt) : key(key), pressed(pressed), xt(xt) {}

std::string OutgoingKeyEvent::message() const
{
    if (xt != 0) {
        std::string bytes;
        bytes += char(rfbQemuEvent);
        bytes += char(0); // key event
        append16(bytes, pressed ? 1 : 0);
        append32(bytes, uint32_t(key));
        append32(bytes, xt);
        return bytes;
    }
    std::string bytes(4, '\0');
    bytes[0] = char(rfbKeyEvent);
    bytes[1] = pressed ? 1 : 0;
    append32(bytes, uint32_t(key));
    return bytes;
}

OutgoingDesktopSizeEvent::OutgoingDesktopSizeEvent(int width, int height) : width(width), height(height) {}

void OutgoingDesktopSizeEvent::send(rfbClient *client)
{
    DesktopSize::request(client, width, height);
}

#include "outgoingevent.h"

#include "desktopsize.h"
#include "extendedclipboard.h"
#include "librarytext.h"

#include <algorithm>

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

OutgoingEvent OutgoingEvent::pointer(int x, int y, int buttonMask)
{
    OutgoingEvent event(Kind::Pointer);
    event.x = x;
    event.y = y;
    event.buttons = buttonMask;
    return event;
}

OutgoingEvent OutgoingEvent::key(int keysym, bool pressed, uint32_t xt)
{
    OutgoingEvent event(Kind::Key);
    event.keysym = uint32_t(keysym);
    event.pressed = pressed;
    event.xt = xt;
    return event;
}

OutgoingEvent OutgoingEvent::cutText(const QString &text, bool legacy)
{
    OutgoingEvent event(Kind::CutText);
    event.text = text;
    event.legacy = legacy;
    return event;
}

OutgoingEvent OutgoingEvent::desktopSize(int width, int height)
{
    OutgoingEvent event(Kind::DesktopSize);
    event.x = width;
    event.y = height;
    return event;
}

// Pointer and key messages fit std::string's own storage: no allocation.
std::string OutgoingEvent::message() const
{
    std::string bytes;
    switch (type) {
    case Kind::Pointer:
        bytes += char(rfbPointerEvent);
        bytes += char(buttons);
        append16(bytes, unsigned(std::clamp(x, 0, 0xffff)));
        append16(bytes, unsigned(std::clamp(y, 0, 0xffff)));
        break;
    case Kind::Key:
        if (xt != 0) {
            bytes += char(rfbQemuEvent);
            bytes += char(0); // key event
            append16(bytes, pressed ? 1 : 0);
            append32(bytes, keysym);
            append32(bytes, xt);
        } else {
            bytes += char(rfbKeyEvent);
            bytes += char(pressed ? 1 : 0);
            append16(bytes, 0);
            append32(bytes, keysym);
        }
        break;
    case Kind::CutText: {
        if (!legacy)
            break;
        const QByteArray latin1 = LibraryText::encodeCutText(text);
        if (latin1.size() > ExtendedClipboard::maximumText)
            break;
        bytes += char(rfbClientCutText);
        bytes.append(3, '\0');
        append32(bytes, uint32_t(latin1.size()));
        bytes.append(latin1.constData(), size_t(latin1.size()));
        break;
    }
    case Kind::DesktopSize:
        break;
    }
    return bytes;
}

void OutgoingEvent::send(rfbClient *client) const
{
    switch (type) {
    case Kind::CutText:
        if (ExtendedClipboard *clipboard = ExtendedClipboard::of(client))
            clipboard->send(client, text);
        else
            ExtendedClipboard().send(client, text);
        return;
    case Kind::DesktopSize:
        DesktopSize::request(client, x, y);
        return;
    case Kind::Pointer:
    case Kind::Key:
        break;
    }
    const std::string bytes = message();
    WriteToRFBServer(client, bytes.data(), unsigned(bytes.size()));
}

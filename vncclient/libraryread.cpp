// Counts what the library reads: a connection that is not TCP (a tunnel's
// socket pair) has no counters of its own.
#include "libraryinternals.h"

#include <dlfcn.h>

namespace
{
thread_local uint64_t consumed = 0;

// The reads of an update message's start, in the order 0.9.14 makes them:
// its type, the rest of its header, the first rectangle's header.
enum class Watch { Off, Type, Header, FirstRectangle };
thread_local Watch watch = Watch::Off;
thread_local bool sizeAlone = false;

bool isDesktopSize(const char *rectangleHeader)
{
    const auto *b = reinterpret_cast<const uint8_t *>(rectangleHeader) + 8;
    const uint32_t encoding = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    return encoding == rfbEncodingExtDesktopSize || encoding == rfbEncodingNewFBSize;
}

void watchRead(const char *out, unsigned n)
{
    if (watch == Watch::Type && n == 1) {
        watch = Watch::Header;
    } else if (watch == Watch::Header && n == sz_rfbFramebufferUpdateMsg - 1) {
        const auto *b = reinterpret_cast<const uint8_t *>(out);
        const bool one = (b[1] << 8 | b[2]) == 1;
        watch = one ? Watch::FirstRectangle : Watch::Off;
    } else if (watch == Watch::FirstRectangle && n == sz_rfbFramebufferUpdateRectHeader) {
        sizeAlone = isDesktopSize(out);
        watch = Watch::Off;
    } else {
        watch = Watch::Off;
    }
}

using Reader = rfbBool (*)(rfbClient *, char *, unsigned int);

Reader libraryReader()
{
    static const Reader reader = reinterpret_cast<Reader>(dlsym(RTLD_NEXT, "ReadFromRFBServer"));
    return reader;
}
} // namespace

// Takes the library's place as WriteToRFBServer does (see
// libraryinternals.h), and hands every read on to the library's own.
//
// A server's SupportedMessages rectangle is read straight over the
// client's list of messages, and would let the library's own update
// request go out while the session holds it back (a request asked ahead,
// continuous updates, a pixel format waiting for the last old update):
// a second request outstanding, whose answer in the old format would then
// be decoded in the new one. A hold stays a hold.
extern "C" rfbBool ReadFromRFBServer(rfbClient *client, char *out, unsigned int n)
{
    const bool messageList = out == reinterpret_cast<char *>(&client->supportedMessages);
    const bool held = messageList && !SupportsClient2Server(client, rfbFramebufferUpdateRequest);
    const rfbBool read = libraryReader()(client, out, n);
    if (read)
        consumed += n;
    if (read && watch != Watch::Off)
        watchRead(out, n);
    if (held)
        client->supportedMessages.client2server[rfbFramebufferUpdateRequest / 8]
            &= uint8_t(~(1u << (rfbFramebufferUpdateRequest % 8)));
    return read;
}

uint64_t LibraryInternals::bytesRead()
{
    return consumed;
}

void LibraryInternals::watchUpdate()
{
    watch = Watch::Type;
    sizeAlone = false;
}

bool LibraryInternals::updateWasDesktopSizeAlone()
{
    return sizeAlone;
}

void LibraryInternals::unread(unsigned n)
{
    consumed -= n;
}

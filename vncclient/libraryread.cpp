// Counts what the library reads: a connection that is not TCP (a tunnel's
// socket pair) has no counters of its own.
#include "libraryinternals.h"

#include <dlfcn.h>

namespace
{
thread_local uint64_t consumed = 0;

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
    if (held)
        client->supportedMessages.client2server[rfbFramebufferUpdateRequest / 8]
            &= uint8_t(~(1u << (rfbFramebufferUpdateRequest % 8)));
    return read;
}

uint64_t LibraryInternals::bytesRead()
{
    return consumed;
}

void LibraryInternals::unread(unsigned n)
{
    consumed -= n;
}

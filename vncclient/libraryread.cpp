// Counts what the library reads: a connection that is not TCP (a tunnel's
// socket pair) has no counters of its own.
#include "libraryinternals.h"

#include <dlfcn.h>

#include <utility>

namespace
{
thread_local uint64_t consumed = 0;

// The reads of an update message's start, in the order 0.9.14 makes them:
// its type, the rest of its header, the first rectangle's header.
enum class Watch { Off, Type, Header, FirstRectangle };
thread_local Watch watch = Watch::Off;
thread_local bool sizeAlone = false;
thread_local bool requestHeld = false; // by us, for this update
thread_local LibraryInternals::NetworkWait *waitHook = nullptr;

uint8_t &requestBits(rfbClient *client)
{
    return client->supportedMessages.client2server[rfbFramebufferUpdateRequest / 8];
}
constexpr uint8_t requestBit = uint8_t(1u << (rfbFramebufferUpdateRequest % 8));

// ExtendedDesktopSize at the size the library has, not the answer to a
// resize of ours (its reason, in x, is the server's): it changes nothing,
// and the library then only asks for the next update.
bool isSameDesktopSize(const rfbClient *client, const char *rectangleHeader)
{
    const auto *b = reinterpret_cast<const uint8_t *>(rectangleHeader);
    const auto get16 = [b](int i) { return int(b[i]) << 8 | b[i + 1]; };
    const uint32_t encoding = uint32_t(b[8]) << 24 | uint32_t(b[9]) << 16 | uint32_t(b[10]) << 8 | b[11];
    return encoding == rfbEncodingExtDesktopSize && get16(0) == 0 && get16(4) == client->width
        && get16(6) == client->height;
}

void watchRead(rfbClient *client, const char *out, unsigned n)
{
    if (watch == Watch::Type && n == 1) {
        watch = Watch::Header;
    } else if (watch == Watch::Header && n == sz_rfbFramebufferUpdateMsg - 1) {
        const auto *b = reinterpret_cast<const uint8_t *>(out);
        const bool one = (b[1] << 8 | b[2]) == 1;
        watch = one ? Watch::FirstRectangle : Watch::Off;
    } else if (watch == Watch::FirstRectangle && n == sz_rfbFramebufferUpdateRectHeader) {
        sizeAlone = isSameDesktopSize(client, out);
        // The request it answers is still open: no other goes with it.
        requestHeld = sizeAlone && (requestBits(client) & requestBit);
        if (requestHeld)
            requestBits(client) &= uint8_t(~requestBit);
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
    rfbBool read;
    {
        // The library's buffer serves a read without touching the socket.
        const LibraryInternals::WaitingForNetwork waiting(client->buffered < n);
        read = libraryReader()(client, out, n);
    }
    if (read)
        consumed += n;
    if (read && watch != Watch::Off)
        watchRead(client, out, n);
    if (held)
        requestBits(client) &= uint8_t(~requestBit);
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
    requestHeld = false;
}

bool LibraryInternals::endUpdateWatch(rfbClient *client)
{
    watch = Watch::Off;
    if (std::exchange(requestHeld, false))
        requestBits(client) |= requestBit;
    return std::exchange(sizeAlone, false);
}

void LibraryInternals::unread(unsigned n)
{
    consumed -= n;
}

void LibraryInternals::setNetworkWait(NetworkWait *wait)
{
    waitHook = wait;
}

LibraryInternals::WaitingForNetwork::WaitingForNetwork(bool needed) : wait(needed ? waitHook : nullptr)
{
    if (wait)
        wait->waiting();
}

LibraryInternals::WaitingForNetwork::~WaitingForNetwork()
{
    if (wait)
        wait->resumed();
}

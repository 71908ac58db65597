#ifndef LIBRARYINTERNALS_H
#define LIBRARYINTERNALS_H

#include <rfb/rfbclient.h>

#include <cstddef>
#include <cstdint>

// Functions libvncclient 0.9.14 exports but does not declare in its header.
extern "C" {
// Sets the messages every RFB 3.3 server understands as supported.
void DefaultSupportedMessages(rfbClient *client);
void DefaultSupportedMessagesTightVNC(rfbClient *client);
void DefaultSupportedMessagesUltraVNC(rfbClient *client);
// Encrypts a 16-byte VNC authentication challenge in place with the first
// eight bytes of 'passwd'.
void rfbClientEncryptBytes(unsigned char *bytes, char *passwd);
}

// WriteToRFBServer, which rfbclient.h declares, is defined again by us
// (socketwrite.cpp) and so replaced for the whole process: 0.9.14 waits
// for a full socket in select() without a time-out, which only the peer's
// reading ends. The library calls it through its procedure linkage table,
// so its own messages go through ours too.

namespace LibraryInternals
{
// The bytes of the RFB stream (after TLS) the library has read on the
// calling thread: ReadFromRFBServer is ours too, counting and handing on
// to the library's (libraryread.cpp).
uint64_t bytesRead();
// Takes back bytes counted twice: a peeked byte is read again.
void unread(unsigned n);
// Called with an update message next, unread, and at its end: whether
// that update held only the desktop's size, unchanged (ExtendedDesktopSize
// as its one rectangle), told from the reads of its header and first
// rectangle's. libvncserver answers a request for the whole desktop with
// such an update, then with the pixels: it answers nothing, so the
// library's own request at its end is held back, and the hold lifted here.
void watchUpdate();
bool endUpdateWatch(rfbClient *client);

// Told around every wait for the network on the calling thread while set
// (a read the library's buffer cannot serve, a write into a full socket):
// what the thread holds for others, it lets go meanwhile.
class NetworkWait
{
public:
    virtual void waiting() = 0;
    virtual void resumed() = 0;

protected:
    ~NetworkWait() = default;
};
void setNetworkWait(NetworkWait *wait); // nullptr: none
// Tells the one set, if any and 'needed', for as long as it lives.
class WaitingForNetwork
{
public:
    explicit WaitingForNetwork(bool needed = true);
    ~WaitingForNetwork();
    WaitingForNetwork(const WaitingForNetwork &) = delete;
    WaitingForNetwork &operator=(const WaitingForNetwork &) = delete;

private:
    NetworkWait *wait;
};

// The type of the next server message, left unread for
// HandleRFBServerMessage; false when the connection ended (the library
// logged why). Call only between messages.
//
// ReadFromRFBServer serves every read, TLS included, from client->buf: a
// one-byte read leaves that byte just before bufoutptr, whether it came
// from the bytes already buffered or from a refill at the buffer's start,
// so one step back puts it back. The build requires 0.9.14, whose reader
// this relies on; libraryinternals_test pins it.
inline bool peekMessageType(rfbClient *client, uint8_t *type)
{
    char byte;
    if (!ReadFromRFBServer(client, &byte, 1))
        return false;
    --client->bufoutptr;
    ++client->buffered;
    unread(1);
    *type = uint8_t(byte);
    return true;
}

// The encoding of the rectangle whose header the library has just read,
// called from SoftCursorLockArea, which gets only the rectangle's place.
// The 12 header bytes lie just before bufoutptr unless a refill split
// them: then the place read there does not match and nothing is known
// (false). No read, no system call.
inline bool rectangleEncoding(rfbClient *client, int x, int y, int w, int h, int32_t *encoding)
{
    constexpr unsigned headerSize = sz_rfbFramebufferUpdateRectHeader;
    if (client->bufoutptr - client->buf < ptrdiff_t(headerSize))
        return false;
    const auto *at = reinterpret_cast<const uint8_t *>(client->bufoutptr) - headerSize;
    const auto get16 = [at](int i) { return int(at[i]) << 8 | at[i + 1]; };
    if (get16(0) != x || get16(2) != y || get16(4) != w || get16(6) != h)
        return false;
    *encoding = int32_t(uint32_t(at[8]) << 24 | uint32_t(at[9]) << 16 | uint32_t(at[10]) << 8 | at[11]);
    return true;
}

// Whether the tight rectangle about to be decoded is JPEG: its first byte,
// the compression control, holds 9 in its upper half. Peeked as above,
// from the buffer, or read from the socket as the decoder would next.
inline bool tightRectangleIsJpeg(rfbClient *client)
{
    uint8_t control = 0;
    return peekMessageType(client, &control) && (control >> 4) == rfbTightJpeg;
}

// SetEncodings alone, from the library's own list (its pseudo-encodings
// and every extension's): SetFormatAndEncodings writes SetPixelFormat
// first, in one write of its own, which must not go out while an update
// request is outstanding. Our WriteToRFBServer drops that one write.
bool sendEncodingsOnly(rfbClient *client);
} // namespace LibraryInternals

#endif

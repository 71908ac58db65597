#ifndef LIBRARYINTERNALS_H
#define LIBRARYINTERNALS_H

#include <rfb/rfbclient.h>

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
    *type = uint8_t(byte);
    return true;
}
} // namespace LibraryInternals

#endif

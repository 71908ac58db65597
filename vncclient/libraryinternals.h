#ifndef LIBRARYINTERNALS_H
#define LIBRARYINTERNALS_H

#include <rfb/rfbclient.h>

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

#endif

#ifndef DESKTOPSIZE_H
#define DESKTOPSIZE_H

#include <rfb/rfbclient.h>

// Asking the server to change its desktop size (SetDesktopSize, the
// ExtendedDesktopSize extension). Connection thread only.
namespace DesktopSize
{
// Whether the server has described its screen with ExtendedDesktopSize,
// which it does only when it supports the extension.
bool offered(const rfbClient *client);
// Asks for one screen of width x height. False when the write failed.
bool request(rfbClient *client, int width, int height);
}

#endif

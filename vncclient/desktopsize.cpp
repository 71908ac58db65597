// 0.9.14's SendExtDesktopSize sends its screen with the id, position and
// flags left uninitialised (stack bytes), and then holds back every update
// request until the server answers; so the message is built here.
#include "desktopsize.h"

#include <QtEndian>

#include <cstring>

namespace DesktopSize
{
bool offered(const rfbClient *client)
{
    // The library keeps the last valid screen the server described (its id
    // is never 0 then), in wire byte order.
    return client && client->screen.width != 0 && client->screen.height != 0;
}

bool request(rfbClient *client, int width, int height)
{
    if (!offered(client) || width < 1 || height < 1 || width > 0xffff || height > 0xffff)
        return true;
    unsigned char message[sz_rfbSetDesktopSizeMsg + sz_rfbExtDesktopScreen] = {};
    message[0] = rfbSetDesktopSize;
    qToBigEndian<quint16>(quint16(width), message + 2);
    qToBigEndian<quint16>(quint16(height), message + 4);
    message[6] = 1; // one screen
    unsigned char *screen = message + sz_rfbSetDesktopSizeMsg;
    // The server's own id, so that it resizes its screen instead of adding one.
    std::memcpy(screen, &client->screen.id, 4);
    qToBigEndian<quint16>(quint16(width), screen + 8);
    qToBigEndian<quint16>(quint16(height), screen + 10);
    return WriteToRFBServer(client, reinterpret_cast<const char *>(message), sizeof message);
}
}

#ifndef CLIENTHOOKS_H
#define CLIENTHOOKS_H

#include <rfb/rfbclient.h>

class VncClientThread;

// The callbacks a connection installs in libvncclient. Each finds its
// thread through the client data stored under the null tag.
struct ClientHooks
{
    static VncClientThread *owner(rfbClient *client);
    static rfbBool allocateFrameBuffer(rfbClient *client);
    static void rectangleStarting(rfbClient *client, int x, int y, int w, int h);
    static void frameBufferUpdated(rfbClient *client, int x, int y, int w, int h);
    static void frameBufferUpdateFinished(rfbClient *client);
    static void cutTextReceived(rfbClient *client, const char *text, int length);
    static char *supplyPassword(rfbClient *client);
    // The process-wide log hook; lines go to the connection whose thread
    // logs them (see setLoggingThread).
    static void libraryOutput(const char *format, ...);
    static void setLoggingThread(VncClientThread *thread);

private:
    static void holdLibraryUpdateRequests(rfbClient *client, bool hold);
};

#endif
